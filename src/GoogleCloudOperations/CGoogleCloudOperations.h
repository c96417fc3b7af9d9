// Every request that changes a resource, and the following of long-running operations.
#pragma once

#include <cstdint>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "host/HbDebug.h"

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudParser;

class CGoogleCloudOperations : public CGoogleCloudErrorHandler {
public:
    // The connection and the parser are borrowed from the facade. The operation timing settings are
    // read once, here.
    CGoogleCloudOperations(ZkGoogleCloudErrorState* state, CGoogleCloudConnection* connection,
                           CGoogleCloudParser* parser);
    ~CGoogleCloudOperations();
    CGoogleCloudOperations(const CGoogleCloudOperations&) = delete;
    CGoogleCloudOperations& operator=(const CGoogleCloudOperations&) = delete;

    uint32_t GetOperationTimeout() const { return operationTimeout; }
    uint32_t GetOperationWaitTime() const { return operationWaitTime; }
    uint32_t GetRetryAttempts() const { return retryAttempts; }
    uint32_t GetRetryInterval() const { return retryInterval; }

private:
    HbDebug logger;
    CGoogleCloudConnection* connection;
    CGoogleCloudParser* parser;
    uint32_t operationTimeout;   // seconds
    uint32_t operationWaitTime;  // seconds between polls
    uint32_t retryAttempts;      // instance creation
    uint32_t retryInterval;      // seconds
};

}  // namespace GoogleCloudSDKWrapper
