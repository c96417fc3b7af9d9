#include "emulator/KmsUpdateMask.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <vector>

#include "emulator/KmsModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

namespace {

// Paths of an update mask (snake_case) that Google lets change, and those of fields it keeps.
constexpr std::initializer_list<const char*> kUpdatable = {"labels",
                                                           "rotation_period",
                                                           "next_rotation_time",
                                                           "version_template",
                                                           "version_template.algorithm",
                                                           "key_access_justifications_policy"};
constexpr std::initializer_list<const char*> kImmutable = {"name",
                                                           "primary",
                                                           "create_time",
                                                           "purpose",
                                                           "import_only",
                                                           "destroy_scheduled_duration",
                                                           "crypto_key_backend",
                                                           "version_template.protection_level"};

bool OneOf(const std::string& text, std::initializer_list<const char*> values) {
    for (const char* value : values)
        if (text == value) return true;
    return false;
}

GoogleError BadRequest(const std::string& message) {
    return KmsError(400, message);
}

// "rotationPeriod" -> "rotation_period"; a path already in snake_case stays as it is.
std::string SnakeCase(const std::string& path) {
    std::string snake;
    for (const char c : path) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            snake += '_';
            snake += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            snake += c;
        }
    }
    return snake;
}

// Segments of letters, digits and '_' that start with a letter, joined by '.'.
bool IsFieldPath(const std::string& path) {
    bool segmentStart = true;
    for (const char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '.') {
            if (segmentStart) return false;
            segmentStart = true;
        } else if (segmentStart ? std::isalpha(u) : (std::isalnum(u) || c == '_')) {
            segmentStart = false;
        } else {
            return false;
        }
    }
    return !segmentStart;
}

void CopyOrErase(const mObject& from, mObject& to, const std::string& member) {
    const auto found = from.find(member);
    if (found == from.end()) {
        to.erase(member);
    } else {
        to[member] = found->second;
    }
}

}  // namespace

bool ApplyUpdateMask(const std::string& mask, const mObject& given, mObject& key, GoogleError& error) {
    if (mask.empty()) {
        error = BadRequest("update_mask must name at least one field of CryptoKey.");
        return false;
    }
    std::vector<std::string> paths;
    for (size_t start = 0; start <= mask.size();) {
        const size_t comma = std::min(mask.find(',', start), mask.size());
        const std::string path = mask.substr(start, comma - start);
        start = comma + 1;
        if (!IsFieldPath(path)) {
            error = BadRequest("Invalid update_mask: '" + mask + "' is not a list of field paths.");
            return false;
        }
        const std::string snake = SnakeCase(path);
        if (OneOf(snake, kImmutable)) {
            error = BadRequest("Invalid update_mask: CryptoKey." + snake + " cannot be updated.");
            return false;
        }
        if (!OneOf(snake, kUpdatable)) {
            error = BadRequest("Invalid update_mask: CryptoKey has no field '" + path + "'.");
            return false;
        }
        paths.push_back(snake);
    }
    for (const std::string& path : paths) {
        const mObject* givenTemplate = ZkJson::FindObject(given, "versionTemplate");
        if (path == "version_template" || path == "version_template.algorithm") {
            mObject& versionTemplate = key.emplace("versionTemplate", mObject()).first->second.get_obj();
            const std::string level = ZkJson::GetStringValue(versionTemplate, "protectionLevel");
            const mObject wanted = givenTemplate ? *givenTemplate : mObject();
            CopyOrErase(wanted, versionTemplate, "algorithm");
            if (path == "version_template" && wanted.count("protectionLevel") &&
                ZkJson::GetStringValue(wanted, "protectionLevel") != level) {
                error = BadRequest(
                    "Invalid update_mask: CryptoKey.version_template.protection_level cannot "
                    "be updated.");
                return false;
            }
            continue;
        }
        // rotation_period -> rotationPeriod
        std::string member;
        for (size_t i = 0; i < path.size(); ++i)
            member += path[i] == '_' ? static_cast<char>(std::toupper(static_cast<unsigned char>(path[++i])))
                                     : path[i];
        CopyOrErase(given, key, member);
    }
    return true;
}

}  // namespace gcemu
