// Sending mutations and following Compute Engine's long-running operations.
#include "GoogleCloudOperations/CGoogleCloudOperations.h"

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "host/HostClock.h"
#include "host/Settings.h"
#include "host/XwSleep.h"
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

bool CGoogleCloudOperations::PostObjectToLinkAndGetResult(const std::string& projectId,
                                                          const std::string& link, const std::string& body,
                                                          std::string& response) {
    if (connection->post(projectId, link, body, response)) return true;
    SetLastErrorFromResponse(response);
    return false;
}

bool CGoogleCloudOperations::DeleteObjectFromLinkAndGetResult(const std::string& projectId,
                                                              const std::string& link,
                                                              std::string& response) {
    if (connection->del(projectId, link, std::string(), response)) return true;
    SetLastErrorFromResponse(response);
    return false;
}

// Even an operation that is "DONE" in the reply is polled once: the reply is not taken as the outcome.
bool CGoogleCloudOperations::ParseOperationResp(const std::string& response, uint32_t timeoutSecs,
                                                uint32_t waitSecs) {
    if (timeoutSecs == 0) timeoutSecs = operationTimeout;
    if (waitSecs == 0) waitSecs = operationWaitTime;
    SOperationInfoLib operation;
    if (!parser->ParseObject(response, operation)) return false;
    return WaitForObjectToReachEndState(operation.selfLink, operation, "DONE", timeoutSecs, waitSecs);
}

bool CGoogleCloudOperations::WaitForObjectToReachEndState(const std::string& link, SOperationInfoLib&,
                                                          const std::string& wantedStatus,
                                                          uint32_t timeoutSecs, uint32_t waitSecs) {
    const int64_t start = host::Now();
    for (;;) {
        XWSLEEP_InTeRnAl(waitSecs * 1000, __FILE__, __LINE__);
        std::string response;
        if (!connection->get(std::string(), link, response)) {
            SetLastErrorFromResponse(response);
            return false;
        }
        SOperationInfoLib polled;
        if (!parser->ParseObject(response, polled)) return false;

        // An error decides before the status: "DONE" with errors is a failure.
        if (polled.httpErrorStatusCode != 0 || !polled.httpErrorMessage.empty() || !polled.errors.empty()) {
            logger.Error(__PRETTY_FUNCTION__, "Operation failed with HTTP error [%d][%s].",
                         polled.httpErrorStatusCode, polled.httpErrorMessage.c_str());
            SetHttpErrorCode(polled.httpErrorStatusCode);
            SetHttpErrorMessage(polled.httpErrorMessage);
            for (const SOperationErrorInfoLib& error : polled.errors) {
                logger.Error(__PRETTY_FUNCTION__, "Error : [%s][%s].", error.code.c_str(),
                             error.message.c_str());
                SetErrorCode(error.code);
                SetErrorMessage(error.message);
            }
            return false;
        }
        if (polled.status == wantedStatus) return true;
        if (host::Now() - start > static_cast<int64_t>(timeoutSecs)) {
            logger.Error(__PRETTY_FUNCTION__, "Timeout waiting for status end state for  [%s]",
                         polled.name.c_str());
            return false;
        }
        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Current  status : [%s], waiting for status : [%s]",
                        polled.status.c_str(), wantedStatus.c_str());
    }
}

void CGoogleCloudOperations::SnapshotTiming(uint32_t& timeoutSecs, uint32_t& waitSecs) const {
    ZKPlatformInfo info;
    timeoutSecs = settings::kSnapshotTimeout.defaultValue;
    waitSecs = settings::kSnapshotPolling.defaultValue;
    settings::Read(info, settings::kSnapshotTimeout, timeoutSecs);
    settings::Read(info, settings::kSnapshotPolling, waitSecs);
}

}  // namespace GoogleCloudSDKWrapper
