// Temporary folders and settings files for tests.
#pragma once

#include <string>

namespace testsupport {

// A fresh folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Writes the file (creating parent folders) and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);

// Points the process at a settings file holding the given INI text while alive; the previous
// settings (and log settings) come back at destruction.
class ScopedSettings {
public:
    explicit ScopedSettings(const std::string& iniText);
    ~ScopedSettings();
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

    const std::string& path() const { return m_path; }
    // Replaces the file's content.
    void Rewrite(const std::string& iniText) const;

private:
    TempDir m_dir;
    std::string m_path;
    std::string m_previous;
};

}  // namespace testsupport
