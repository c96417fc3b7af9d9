#include "Settings.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "HbDebug.h"
#include "JtString.h"
#include "ZKPlatformInfo.h"

namespace host {
namespace settings {

namespace {

const TextKey* const kTextKeys[] = {
    &kBaseHome,      &kCaBundle, &kConnectTo,   &kProxy,        &kComputeHost, &kResourceManagerHost,
    &kSqlAdminHost,  &kKmsHost,  &kSpannerHost, &kDataflowHost, &kStorageHost, &kOAuthHost,
    &kGuidCacheFile, &kLogFile};
const NumberKey* const kNumberKeys[] = {
    &kOperationTimeout,   &kOperationWaitTime, &kOperationRetryAttempts, &kOperationRetryInterval,
    &kSnapshotTimeout,    &kSnapshotPolling,   &kHttpConnectTimeout,     &kHttpStallTimeout,
    &kHttpRetryAttempts,  &kHttpRetryMaxDelay, &kHttpMaxResponseMB,      &kLogLevel,
    &kAggregatedDiscovery};

// The section whose every key is ours; the others are shared with the agent.
const char kOwnSection[] = "GoogleCloud";

bool IsKnown(const std::string& section, const std::string& key) {
    auto same = [&](const char* keySection, const char* name) {
        return section == keySection && key == name;
    };
    return std::any_of(std::begin(kTextKeys), std::end(kTextKeys),
                       [&](const TextKey* k) { return same(k->section, k->key); }) ||
           std::any_of(std::begin(kNumberKeys), std::end(kNumberKeys),
                       [&](const NumberKey* k) { return same(k->section, k->key); });
}

std::string OutOfRange(const NumberKey& key, uint32_t value) {
    return JtString::Format("Setting [%s/%s] = [%u] is not in the range %u to %u; the default %u is used.",
                            key.section, key.key, value, key.minimum, key.maximum, key.defaultValue);
}

}  // namespace

std::string Read(const TextKey& key) {
    std::string value = key.defaultValue;
    ZKPlatformInfo().getString(key.section, key.key, value);
    return value;
}

uint32_t Read(const NumberKey& key) {
    uint32_t value = key.defaultValue;
    Read(ZKPlatformInfo(), key, value);
    return value;
}

bool Read(const ZKPlatformInfo& info, const NumberKey& key, uint32_t& value) {
    uint32_t number = 0;
    if (!ZKPlatformInfoGetNumber(info, key.section, key.key, number)) return false;
    if (number < key.minimum || number > key.maximum) {
        HbDebug().Error(__PRETTY_FUNCTION__, "%s", OutOfRange(key, number).c_str());
        return false;
    }
    value = number;
    return true;
}

std::vector<std::string> Problems() {
    std::vector<std::string> problems;
    const ZKPlatformInfo info;
    const std::string& path = info.getFilePath();
    if (path.empty()) return problems;
    if (!info.fileExists()) {
        problems.push_back("settings file [" + path + "] does not exist");
        return problems;
    }
    if (!info.getLoadError().empty()) {
        problems.push_back("settings file [" + path + "] cannot be read: " + info.getLoadError());
        return problems;
    }
    for (const std::string& key : info.getKeys(kOwnSection))
        if (!IsKnown(kOwnSection, key))
            problems.push_back("settings file [" + path + "]: [" + kOwnSection + "] has no key [" + key +
                               "]");
    for (const NumberKey* key : kNumberKeys) {
        std::string text;
        if (!info.getString(key->section, key->key, text)) continue;
        // Read quietly: the problem is the caller's to tell.
        const bool digits =
            !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
        const unsigned long long number = digits ? std::stoull(text) : 0;
        if (!digits || number < key->minimum || number > key->maximum)
            problems.push_back(JtString::Format(
                "settings file [%s]: [%s] %s = [%s] is not a number from %u to %u", path.c_str(),
                key->section, key->key, text.c_str(), key->minimum, key->maximum));
    }
    return problems;
}

}  // namespace settings
}  // namespace host
