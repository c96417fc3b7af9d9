#include "GoogleCloudConnection/CGoogleCloudConnection.h"

#include "host/ZKLibCurl.h"

namespace GoogleCloudSDKWrapper {

CGoogleCloudConnection::CGoogleCloudConnection(ZkGoogleCloudErrorState* state)
    : CGoogleCloudErrorHandler(state), httpClient(new ZKLibCurl), logger(nullptr) {}

CGoogleCloudConnection::~CGoogleCloudConnection() = default;

}  // namespace GoogleCloudSDKWrapper
