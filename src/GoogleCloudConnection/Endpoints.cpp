#include "GoogleCloudConnection/Endpoints.h"

#include "host/HbDebug.h"
#include "host/Settings.h"
#include "host/ZKPlatformInfo.h"

namespace GoogleCloudSDKWrapper {
namespace endpoints {
namespace {

namespace settings = host::settings;

// An override is a host name with an optional port; anything else would change the URL's meaning,
// so it is refused in favour of the public host.
bool IsHostAndPort(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '-' || c == ':' || c == '[' || c == ']'))
            return false;
    return true;
}

std::string Host(const ZKPlatformInfo& info, const settings::TextKey& key) {
    std::string host = key.defaultValue;
    info.getString(key.section, key.key, host);
    if (IsHostAndPort(host)) return host;
    HbDebug().Error(__PRETTY_FUNCTION__, "Setting [%s/%s] = [%s] is not a host name; using [%s].",
                    key.section, key.key, host.c_str(), key.defaultValue);
    return key.defaultValue;
}

std::string Host(const settings::TextKey& key) {
    return Host(ZKPlatformInfo(), key);
}

}  // namespace

std::string ComputeHost() {
    return Host(settings::kComputeHost);
}
std::string ResourceManagerHost() {
    return Host(settings::kResourceManagerHost);
}
std::string SqlAdminHost() {
    return Host(settings::kSqlAdminHost);
}
std::string KmsHost() {
    return Host(settings::kKmsHost);
}
std::string SpannerHost() {
    return Host(settings::kSpannerHost);
}
std::string DataflowHost() {
    return Host(settings::kDataflowHost);
}
std::string StorageHost() {
    return Host(settings::kStorageHost);
}
std::string OAuthHost() {
    return Host(settings::kOAuthHost);
}

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// "host:443" is "host" in an https URL.
std::string WithoutHttpsPort(const std::string& authority) {
    const std::string port = ":443";
    if (authority.size() > port.size() &&
        authority.compare(authority.size() - port.size(), port.size(), port) == 0)
        return authority.substr(0, authority.size() - port.size());
    return authority;
}

}  // namespace

bool IsApiHost(const std::string& authority) {
    static const settings::TextKey* const kHosts[] = {
        &settings::kComputeHost,  &settings::kResourceManagerHost,
        &settings::kSqlAdminHost, &settings::kKmsHost,
        &settings::kSpannerHost,  &settings::kDataflowHost,
        &settings::kStorageHost,  &settings::kOAuthHost};
    if (authority.empty() || authority.find_first_of("@\\ ") != std::string::npos) return false;
    const std::string wanted = WithoutHttpsPort(Lower(authority));
    // One look at the settings file for all of them.
    const ZKPlatformInfo info;
    for (const settings::TextKey* key : kHosts)
        if (wanted == WithoutHttpsPort(Lower(Host(info, *key))) || wanted == key->defaultValue) return true;
    return false;
}

std::string TokenEndpointUrl() {
    return "https://" + OAuthHost() + "/oauth2/v3/token";
}

const char* CloudPlatformScope() {
    return "https://www.googleapis.com/auth/cloud-platform";
}

}  // namespace endpoints
}  // namespace GoogleCloudSDKWrapper
