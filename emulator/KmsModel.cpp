#include "emulator/KmsModel.h"

#include <cctype>
#include <cstdio>

#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

namespace {

constexpr char kVersions[] = "/cryptoKeyVersions/";

bool Digits(const std::string& text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// "2023-05-04T10:11:12" of a time, without fraction or zone.
std::string WholeSeconds(int64_t epochSecs) {
    const std::string text = FormatRfc3339(epochSecs);
    return text.substr(0, text.find('.'));
}

// Fraction digits as protobuf's JSON writes them: none, or groups of 3 up to 9, given nanoseconds.
std::string Fraction(int32_t nanos) {
    if (nanos <= 0) return "";
    char digits[16];
    std::snprintf(digits, sizeof digits, "%09d", nanos);
    std::string text = digits;
    while (text.size() > 3 && text.compare(text.size() - 3, 3, "000") == 0) text.resize(text.size() - 3);
    return "." + text;
}

mObject Version(const std::string& keyName, const mObject& key, const std::string& createTime,
                const std::string& state) {
    const mObject& versionTemplate = key.at("versionTemplate").get_obj();
    mObject version;
    version["name"] = keyName + kVersions + "1";
    version["state"] = state;
    version["createTime"] = createTime;
    version["protectionLevel"] = versionTemplate.at("protectionLevel");
    version["algorithm"] = versionTemplate.at("algorithm");
    if (state != "PENDING_GENERATION") version["generateTime"] = createTime;
    // A version that is destroyed, or to be, went that way after the key's destroy period.
    if (state == "DESTROYED" || state == "DESTROY_SCHEDULED") {
        Duration wait;
        ParseDuration(ZkJson::GetStringValue(key, "destroyScheduledDuration"), wait);
        version[state == "DESTROYED" ? "destroyEventTime" : "destroyTime"] =
            KmsTime(ParseRfc3339(createTime) + wait.seconds, version["name"].get_str());
    }
    return version;
}

}  // namespace

GoogleError KmsError(int code, const std::string& message) {
    GoogleError error;
    error.code = code;
    error.message = message;
    error.reason = code == 400 ? "badRequest" : CanonicalReason(code);
    error.status = CanonicalStatus(code);
    return error;
}

GoogleError KmsNotFound(const std::string& kind, const std::string& name) {
    return KmsError(404, kind + " " + name + " not found.");
}

GoogleError KmsAlreadyExists(const std::string& kind, const std::string& name) {
    return KmsError(409, kind + " " + name + " already exists.");
}

GoogleError KmsPermissionDenied(const std::string& permission, const std::string& resource) {
    return KmsError(403, "Permission 'cloudkms." + permission + "' denied on resource '" + resource +
                             "' (or it may not exist).");
}

bool IsKmsId(const std::string& id) {
    if (id.empty() || id.size() > 63) return false;
    for (const char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

bool IsKmsLocation(const std::string& location) {
    if (location == "global") return true;
    // Parts of lower-case letters joined by '-'; only the last may end in digits.
    size_t start = 0;
    while (true) {
        const size_t dash = location.find('-', start);
        const size_t end = dash == std::string::npos ? location.size() : dash;
        size_t letters = start;
        while (letters < end && std::islower(static_cast<unsigned char>(location[letters]))) ++letters;
        if (letters == start) return false;
        if (dash == std::string::npos) return Digits(location, letters, end);
        if (letters != end) return false;
        start = dash + 1;
    }
}

bool ParseDuration(const std::string& text, Duration& duration) {
    if (text.size() < 2 || text.back() != 's') return false;
    const size_t sign = text[0] == '-' ? 1 : 0;
    const size_t end = text.size() - 1;
    const size_t dot = text.find('.');
    const size_t wholeEnd = dot == std::string::npos ? end : dot;
    if (wholeEnd == sign || wholeEnd - sign > 12 || !Digits(text, sign, wholeEnd)) return false;
    int32_t nanos = 0;
    if (dot != std::string::npos) {
        const std::string fraction = text.substr(dot + 1, end - dot - 1);
        if (fraction.empty() || fraction.size() > 9 || !Digits(fraction, 0, fraction.size())) return false;
        nanos = std::stoi((fraction + "000000000").substr(0, 9));
    }
    const int64_t seconds = std::stoll(text.substr(sign, wholeEnd - sign));
    duration.seconds = sign ? -seconds : seconds;
    duration.nanos = sign ? -nanos : nanos;
    return true;
}

std::string FormatDuration(const Duration& duration) {
    const bool negative = duration.seconds < 0 || duration.nanos < 0;
    const int64_t seconds = negative ? -duration.seconds : duration.seconds;
    return (negative ? "-" : "") + std::to_string(seconds) +
           Fraction(negative ? -duration.nanos : duration.nanos) + "s";
}

std::string NormalTimestamp(const std::string& text) {
    const int64_t seconds = ParseRfc3339(text);
    if (seconds < 0 || text.size() < 20) return "";
    int32_t nanos = 0;
    if (text[19] == '.') {
        size_t end = 20;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end == 20 || end - 20 > 9) return "";
        nanos = std::stoi((text.substr(20, end - 20) + "000000000").substr(0, 9));
    }
    return WholeSeconds(seconds) + Fraction(nanos) + "Z";
}

std::string KmsTime(int64_t epochSecs, const std::string& key) {
    char nanos[16];
    std::snprintf(nanos, sizeof nanos, "%09llu", std::stoull(StableId(key)) % 1000000000ULL);
    return WholeSeconds(epochSecs) + "." + nanos + "Z";
}

mObject CryptoKeyResource(const std::string& name, mObject settings, const std::string& createTime,
                          const std::string& primaryState) {
    settings["name"] = name;
    settings["createTime"] = createTime;
    // Only keys for Encrypt and Decrypt have a primary version.
    if (!primaryState.empty() && ZkJson::GetStringValue(settings, "purpose") == "ENCRYPT_DECRYPT")
        settings["primary"] = Version(name, settings, createTime, primaryState);
    return settings;
}

std::string CryptoKeyOf(const std::string& name) {
    return name.substr(0, name.find(kVersions));
}

bool UsableDiskKey(World::Txn& world, const std::string& keyName, std::string& version,
                   std::string& problem) {
    const std::string key = CryptoKeyOf(keyName);
    const std::string prefix = "Cloud KMS error when using key " + key + ": ";
    const mObject* found = world.Find(collections::kKmsCryptoKeys, key);
    const mObject* primary = found ? ZkJson::FindObject(*found, "primary") : nullptr;
    const std::string primaryName = primary ? ZkJson::GetStringValue(*primary, "name") : "";
    // Another version than the primary is one gcemu does not keep.
    if (!found || (keyName != key && keyName != primaryName)) {
        problem = prefix + "Permission 'cloudkms.cryptoKeyVersions.useToEncrypt' denied on resource '" +
                  keyName + "' (or it may not exist).";
        return false;
    }
    const std::string purpose = ZkJson::GetStringValue(*found, "purpose");
    if (purpose != "ENCRYPT_DECRYPT") {
        problem = prefix + "the key's purpose is " + purpose + ", not ENCRYPT_DECRYPT.";
        return false;
    }
    if (!primary) {
        problem = prefix + key + " has no primary version.";
        return false;
    }
    const std::string state = ZkJson::GetStringValue(*primary, "state");
    if (state != "ENABLED") {
        problem = "Cloud KMS error when using key " + primaryName + ": " + primaryName +
                  " is not enabled, current state is: " + state + ".";
        return false;
    }
    version = primaryName;
    return true;
}

}  // namespace gcemu
