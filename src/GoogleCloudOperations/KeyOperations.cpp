// Cloud KMS: creating a key ring and a key, and changing a key's rotation.
#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string KeyRingsUrl(const std::string& projectId, const std::string& location) {
    return "https://" + endpoints::KmsHost() + "/v1/projects/" + url::Segment(projectId) + "/locations/" +
           url::Segment(location) + "/keyRings";
}

}  // namespace

bool CGoogleCloudOperations::CreateKeyRing(const std::string& projectId, const std::string& location,
                                           const std::string& keyRing) {
    std::string response;
    return PostObjectToLinkAndGetResult(
        std::string(), KeyRingsUrl(projectId, location) + "?keyRingId=" + url::QueryValue(keyRing),
        std::string(), response);
}

bool CGoogleCloudOperations::CreateKey(const std::string& projectId, const std::string& location,
                                       const std::string& keyRing, const std::string& keyId,
                                       const SKeyInfoLib& key) {
    std::string body;
    if (!parser->GetRequestBody(key, body)) return false;
    std::string response;
    return PostObjectToLinkAndGetResult(std::string(),
                                        KeyRingsUrl(projectId, location) + "/" + url::Segment(keyRing) +
                                            "/cryptoKeys?cryptoKeyId=" + url::QueryValue(keyId),
                                        body, response);
}

bool CGoogleCloudOperations::UpdateKey(const std::string& keyPath, const SKeyInfoLib& key) {
    std::string body;
    if (!parser->GetRequestBody(key, body)) return false;
    const std::string url = "https://" + endpoints::KmsHost() + "/v1/" + url::ResourceName(keyPath) +
                            "?updateMask=next_rotation_time%2Crotation_period";
    std::string response;
    if (connection->patch(std::string(), url, body, response)) return true;
    // Recorded as every other refusal is, so that the caller reads why.
    SetLastErrorFromResponse(response);
    return false;
}

}  // namespace GoogleCloudSDKWrapper
