#include "GoogleCloudOperations/CGoogleCloudOperations.h"

#include "host/Settings.h"
#include "host/ZKPlatformInfo.h"

namespace GoogleCloudSDKWrapper {

namespace settings = host::settings;

CGoogleCloudOperations::CGoogleCloudOperations(ZkGoogleCloudErrorState* state,
                                               CGoogleCloudConnection* connection, CGoogleCloudParser* parser)
    : CGoogleCloudErrorHandler(state),
      logger(nullptr),
      connection(connection),
      parser(parser),
      operationTimeout(settings::kOperationTimeout.defaultValue),
      operationWaitTime(settings::kOperationWaitTime.defaultValue),
      retryAttempts(settings::kOperationRetryAttempts.defaultValue),
      retryInterval(settings::kOperationRetryInterval.defaultValue) {
    // One snapshot for the four keys, read in this order; a configured 0 is used as 0.
    ZKPlatformInfo info;
    settings::Read(info, settings::kOperationTimeout, operationTimeout);
    settings::Read(info, settings::kOperationWaitTime, operationWaitTime);
    settings::Read(info, settings::kOperationRetryAttempts, retryAttempts);
    settings::Read(info, settings::kOperationRetryInterval, retryInterval);
}

CGoogleCloudOperations::~CGoogleCloudOperations() {
    connection = nullptr;
    parser = nullptr;
}

}  // namespace GoogleCloudSDKWrapper
