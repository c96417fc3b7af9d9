// The API endpoint hosts: the public ones unless the settings name others (private or restricted
// endpoints). The cloud-platform scope never changes with an override.
#pragma once

#include <string>

namespace GoogleCloudSDKWrapper {
namespace endpoints {

std::string ComputeHost();
std::string ResourceManagerHost();
std::string SqlAdminHost();
std::string KmsHost();
std::string SpannerHost();
std::string DataflowHost();
std::string StorageHost();
std::string OAuthHost();

// Whether an URL's authority (host, optionally ":port") is one of the API hosts: one of the settings'
// hosts or its public default. Links a response names go nowhere else, or the token would go with them.
bool IsApiHost(const std::string& authority);

// "https://" + the OAuth host + "/oauth2/v3/token": the JWT's audience and where it is posted.
std::string TokenEndpointUrl();
// The scope every token is asked for.
const char* CloudPlatformScope();

}  // namespace endpoints
}  // namespace GoogleCloudSDKWrapper
