// Every read-only request against the APIs.
#pragma once

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "host/HbDebug.h"

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudParser;

class CGoogleCloudQueries : public CGoogleCloudErrorHandler {
public:
    // The connection and the parser are borrowed from the facade, never freed here.
    CGoogleCloudQueries(ZkGoogleCloudErrorState* state, CGoogleCloudConnection* connection,
                        CGoogleCloudParser* parser);
    ~CGoogleCloudQueries();
    CGoogleCloudQueries(const CGoogleCloudQueries&) = delete;
    CGoogleCloudQueries& operator=(const CGoogleCloudQueries&) = delete;

private:
    CGoogleCloudConnection* connection;
    CGoogleCloudParser* parser;
    HbDebug logger;
};

}  // namespace GoogleCloudSDKWrapper
