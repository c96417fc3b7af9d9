// Settings registry: one INI file named by the environment variable GCSDK_SETTINGS (or by
// SetSettingsFile in this process). No variable or no file: every caller's default holds.
//
// Objects are cheap: each takes a snapshot of the parsed file, which is shared and re-read only when
// the file's path, size or modification time changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HostApi.h"

class HOST_API ZKPlatformInfo {
public:
    ZKPlatformInfo();
    ~ZKPlatformInfo();

    // Value text of section/key; false (and value untouched) when the key is not set.
    bool getString(const std::string& section, const std::string& key, std::string& value) const;
    // Non-zero when the key is set to a decimal number that fits; value untouched otherwise.
    int getNumber(const std::string& section, const std::string& key, unsigned long& value) const;
    // The keys set in a section, in file order.
    std::vector<std::string> getKeys(const std::string& section) const;
    // The file this snapshot was read from (empty when none is named), whether it existed, and why it
    // could not be read (empty when it could, or when there was nothing to read).
    const std::string& getFilePath() const;
    bool fileExists() const;
    const std::string& getLoadError() const;

    // Points this process at a settings file; an empty path returns to GCSDK_SETTINGS. Returns the
    // previous override (empty when there was none).
    static std::string SetSettingsFile(const std::string& path);
    // The file in use (may not exist); empty when none is named.
    static std::string SettingsFilePath();

    struct Snapshot;

private:
    std::shared_ptr<const Snapshot> m_snapshot;
};

// The adapter every numeric read goes through: the value is copied into the 32-bit variable only when
// the key was found and fits 32 bits (a larger number is refused with an error line, not wrapped), so
// the caller's default survives otherwise. Returns whether it was copied.
HOST_API bool ZKPlatformInfoGetNumber(const ZKPlatformInfo& info, const std::string& section,
                                      const std::string& key, uint32_t& value);
