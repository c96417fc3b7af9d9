#include "GoogleCloudConnection/Endpoints.h"

#include "host/HbDebug.h"
#include "host/Settings.h"

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

std::string Host(const settings::TextKey& key) {
    std::string host = settings::Read(key);
    if (IsHostAndPort(host)) return host;
    HbDebug().Error(__PRETTY_FUNCTION__, "Setting [%s/%s] = [%s] is not a host name; using [%s].",
                    key.section, key.key, host.c_str(), key.defaultValue);
    return key.defaultValue;
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

std::string TokenEndpointUrl() {
    return "https://" + OAuthHost() + "/oauth2/v3/token";
}

const char* CloudPlatformScope() {
    return "https://www.googleapis.com/auth/cloud-platform";
}

}  // namespace endpoints
}  // namespace GoogleCloudSDKWrapper
