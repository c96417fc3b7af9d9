// The settings file: any text, written to a file of its own and read through the settings registry.
// Every number read is in its key's range, and a number key Problems() does not complain about is
// read as written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/Settings.h"
#include "host/ZKPlatformInfo.h"

namespace settings = host::settings;

namespace {

const settings::TextKey* const kTextKeys[] = {
    &settings::kBaseHome,    &settings::kCaBundle,           &settings::kConnectTo,
    &settings::kProxy,       &settings::kComputeHost,        &settings::kSqlAdminHost,
    &settings::kKmsHost,     &settings::kSpannerHost,        &settings::kDataflowHost,
    &settings::kStorageHost, &settings::kOAuthHost,          &settings::kGuidCacheFile,
    &settings::kLogFile,     &settings::kResourceManagerHost};
const settings::NumberKey* const kNumberKeys[] = {
    &settings::kOperationTimeout,       &settings::kOperationWaitTime, &settings::kOperationRetryAttempts,
    &settings::kOperationRetryInterval, &settings::kSnapshotTimeout,   &settings::kSnapshotPolling,
    &settings::kHttpConnectTimeout,     &settings::kHttpStallTimeout,  &settings::kLogLevel};

std::string g_folder;

bool Mentions(const std::vector<std::string>& problems, const settings::NumberKey& key) {
    const std::string named = std::string("] ") + key.key + " = [";
    for (const std::string& problem : problems)
        if (problem.find(named) != std::string::npos) return true;
    return false;
}

// "007" as 7 prints it; "000" as "0".
std::string WithoutLeadingZeros(const std::string& digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? digits.substr(digits.empty() ? 0 : digits.size() - 1)
                                      : digits.substr(first);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietLog();
    // The log reads its settings once, at its first line: now, with no file, so that a fuzzed
    // sLogFile never opens a file.
    unsetenv("GCSDK_SETTINGS");
    host::ConfiguredLogLevel();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/gcsdk-settings-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    g_folder = pattern;
    std::atexit([] { std::filesystem::remove_all(g_folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A new name each time: the registry re-reads a file when its name, size or time changes.
    static unsigned long long runs = 0;
    const std::string path = g_folder + "/s" + std::to_string(++runs) + ".ini";
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ZKPlatformInfo::SetSettingsFile(path);

    const std::vector<std::string> problems = settings::Problems();
    for (const settings::TextKey* key : kTextKeys) settings::Read(*key);
    const ZKPlatformInfo info;
    for (const settings::NumberKey* key : kNumberKeys) {
        const uint32_t value = settings::Read(*key);
        FUZZ_CHECK(value >= key->minimum && value <= key->maximum);
        std::string text;
        if (info.getString(key->section, key->key, text) && !Mentions(problems, *key))
            FUZZ_CHECK(std::to_string(value) == WithoutLeadingZeros(text));
    }
    for (const char* section : {"Base", "VirtualServer", "GoogleCloud"}) info.getKeys(section);

    ZKPlatformInfo::SetSettingsFile("");
    std::filesystem::remove(path);
    return 0;
}
