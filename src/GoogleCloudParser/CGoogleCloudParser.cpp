// The mapping framework: value getters, list and nested conversions, text helpers.
#include "GoogleCloudParser/CGoogleCloudParser.h"

#include <cstdlib>
#include <exception>

#include "host/CXwString.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

namespace {

// The member, or null when it is absent or JSON null: both give the getter's default without a log.
const mValue* Present(const mObject& object, const std::string& key) {
    auto found = object.find(key);
    if (found == object.end() || found->second.is_null()) return nullptr;
    return &found->second;
}

}  // namespace

CGoogleCloudParser::CGoogleCloudParser() = default;

CGoogleCloudParser::~CGoogleCloudParser() = default;

bool CGoogleCloudParser::Convert(const mObject& object, SKeyValueInfoLib& pair) {
    pair.key = GetStringValue(object, "key");
    pair.value = GetStringValue(object, "value");
    return true;
}

bool CGoogleCloudParser::Convert(const std::string& in, std::string& out) {
    out = in;
    return true;
}

bool CGoogleCloudParser::ConvertList(const mArray& array, SGuestOSFeaturesLib& features) {
    for (const mValue& element : array)
        if (element.type() == json_spirit::obj_type) Convert(element.get_obj(), features);
    return true;
}

bool CGoogleCloudParser::ConvertListString(const mArray& array, std::vector<std::string>& strings) {
    for (const mValue& element : array) {
        if (element.type() != json_spirit::str_type) continue;
        std::string text;
        Convert(element.get_str(), text);
        strings.push_back(std::move(text));
    }
    return true;
}

bool CGoogleCloudParser::ConvertNestedListString(const mObject& object, const std::string& key,
                                                 std::vector<std::string>& strings) {
    const mArray* array = ZkJson::FindArray(object, key);
    if (!array) return false;
    return ConvertListString(*array, strings);
}

bool CGoogleCloudParser::ConvertNestedItemListString(const mObject& object, const std::string& key,
                                                     std::vector<std::string>& strings) {
    const mObject* member = ZkJson::FindObject(object, key);
    if (!member) return false;
    ConvertNestedListString(*member, "items", strings);
    return true;
}

bool CGoogleCloudParser::ConvertObjtoKeyPairList(const mObject& object, const std::string& key,
                                                 std::vector<SKeyValueInfoLib>& pairs) {
    const mObject* member = ZkJson::FindObject(object, key);
    if (!member) return false;
    for (const auto& [name, value] : *member) pairs.push_back(SKeyValueInfoLib{name, value.get_str()});
    return true;
}

std::string CGoogleCloudParser::GetStringValue(const mObject& object, const std::string& key) {
    const mValue* value = Present(object, key);
    if (!value) return std::string();
    try {
        return value->get_str();
    } catch (const std::exception& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception getting value [%s] - %s", key.c_str(), e.what());
        return std::string();
    }
}

bool CGoogleCloudParser::GetBoolValue(const mObject& object, const std::string& key) {
    const mValue* value = Present(object, key);
    if (!value) return false;
    try {
        return value->get_bool();
    } catch (const std::exception& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception getting value [%s] - %s", key.c_str(), e.what());
        return false;
    }
}

int32_t CGoogleCloudParser::GetIntValue(const mObject& object, const std::string& key) {
    const mValue* value = Present(object, key);
    if (!value) return 0;
    try {
        return value->get_int();
    } catch (const std::exception& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception getting value [%s] - %s", key.c_str(), e.what());
        return 0;
    }
}

int64_t CGoogleCloudParser::GetLongValue(const mObject& object, const std::string& key) {
    const mValue* value = Present(object, key);
    if (!value) return 0;
    try {
        // The APIs send 64-bit integers as decimal strings; leading digits count, no digits give 0.
        return std::strtoll(value->get_str().c_str(), nullptr, 10);
    } catch (const std::exception& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception getting value [%s] - %s", key.c_str(), e.what());
        return 0;
    }
}

uint64_t CGoogleCloudParser::GetUInt64Value(const mObject& object, const std::string& key) {
    const mValue* value = Present(object, key);
    if (!value) return 0;
    try {
        return value->get_uint64();
    } catch (const std::exception& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception getting value [%s] - %s", key.c_str(), e.what());
        return 0;
    }
}

double CGoogleCloudParser::GetDoubleValue(const mObject& object, const std::string& key) {
    const mValue* value = Present(object, key);
    if (!value) return 0.0;
    try {
        return value->get_real();
    } catch (const std::exception& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception getting value [%s] - %s", key.c_str(), e.what());
        return 0.0;
    }
}

std::string CGoogleCloudParser::GetRSubStrFromLastSlash(const std::string& text) {
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) return std::string();
    return text.substr(slash + 1);
}

bool CGoogleCloudParser::IsLicenseOfOSImage(const std::string& licenseUrl) {
    static const char* const kImageProjects[] = {"windows-cloud",   "rhel-cloud",   "suse-cloud",
                                                 "ubuntu-os-cloud", "centos-cloud", "fedora-cloud"};
    // Lower-cased once: every license of every disk of a listed VM comes here.
    std::string url = licenseUrl;
    for (char& c : url)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* project : kImageProjects)
        if (url.find(project) != std::string::npos) return true;
    return false;
}

bool CGoogleCloudParser::GetKeyTypeAndKeyPath(const std::string& text, std::string& keyType,
                                              std::string& keyPath) {
    keyType.clear();
    keyPath.clear();
    if (text.empty()) return false;
    std::vector<std::string> tokens;
    CXwString(text).Tokenize(tokens, 0, 0, false, ':', false);
    if (tokens.size() < 2) return false;
    keyType = tokens[0];
    keyPath = tokens[1];
    return true;
}

}  // namespace GoogleCloudSDKWrapper
