// The single door to the network: URL composition, bearer token, sending, renewal on expiry and 401.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "host/HbDebug.h"

class ZKLibCurl;

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection : public CGoogleCloudErrorHandler {
public:
    explicit CGoogleCloudConnection(ZkGoogleCloudErrorState* state);
    ~CGoogleCloudConnection();
    CGoogleCloudConnection(const CGoogleCloudConnection&) = delete;
    CGoogleCloudConnection& operator=(const CGoogleCloudConnection&) = delete;

private:
    std::unique_ptr<ZKLibCurl> httpClient;  // the one HTTP client of this connection
    bool curlInitialized = false;
    HbDebug logger;
    std::string accessToken;
    int64_t tokenExpiry = 0;  // seconds since the epoch after which the token counts as expired
    bool fetchingToken = false;
    std::string clientEmail;
    std::string keyOrPassword;  // PEM private key (JSON credential) or key-file password (PKCS#12)
    std::string keyFilePath;    // resolved PKCS#12 key file; empty for a JSON credential
};

}  // namespace GoogleCloudSDKWrapper
