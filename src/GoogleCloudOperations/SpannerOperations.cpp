// Cloud Spanner databases copied to and from Cloud Storage by Google's Dataflow templates, and created
// empty; the Dataflow jobs and Spanner operations followed to their end.
#include <cctype>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "host/HostClock.h"
#include "host/JtString.h"
#include "host/XwSleep.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string DataflowBase() {
    return "https://" + endpoints::DataflowHost() + "/v1b3";
}

std::string SpannerBase() {
    return "https://" + endpoints::SpannerHost() + "/v1";
}

// Dataflow takes job names of lower-case letters, digits and '-'; Spanner ids may hold '_'.
std::string JobNamePart(const std::string& id) {
    std::string part;
    for (const char c : id) {
        const unsigned char byte = static_cast<unsigned char>(c);
        part += std::isalnum(byte) && byte < 0x80 ? static_cast<char>(std::tolower(byte)) : '-';
    }
    return part;
}

// Spanner's rule for database ids; an id outside it could also change the DDL statement it goes into.
bool IsSpannerDatabaseId(const std::string& id) {
    if (id.size() < 2 || id.size() > 30 || id.front() < 'a' || id.front() > 'z') return false;
    for (const char c : id)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) return false;
    return id.back() != '_' && id.back() != '-';
}

const char kDoneState[] = "JOB_STATE_DONE";

// A Spanner operation that carries an error has failed, done or not: the error state gets its code and
// message.
bool EndedWithError(const char* tag, const HbDebug& log, CGoogleCloudErrorHandler& errors,
                    const std::string& projectId, const std::string& operationName,
                    const SSpannerOperationInfoLib& operation) {
    if (operation.error.code.empty() && operation.error.message.empty()) return false;
    log.Error(tag, "Failed to complete the spanner operation [%s][%s]. Error Code [%s], Error Message [%s]",
              projectId.c_str(), operationName.c_str(), operation.error.code.c_str(),
              operation.error.message.c_str());
    errors.SetErrorCode(operation.error.code);
    errors.SetErrorMessage(operation.error.message);
    return true;
}

}  // namespace

bool CGoogleCloudOperations::LaunchDataflowTemplate(const std::string& projectId, const std::string& location,
                                                    const std::string& templatePath,
                                                    const SDataflowLaunchTemplateParametersInfoLib& launch,
                                                    SDataflowJobInfoLib& job) {
    std::string body;
    if (!parser->GetRequestBody(launch, body)) {
        logger.Error(__PRETTY_FUNCTION__,
                     "Unable to convert launch parameters to request body in json format");
        return false;
    }
    const std::string url = DataflowBase() + "/projects/" + url::Segment(projectId) + "/locations/" +
                            url::Segment(location) +
                            "/templates:launch?gcsPath=" + url::QueryValue(templatePath);
    std::string response;
    if (!PostObjectToLinkAndGetResult(std::string(), url, body, response)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to retrieve response. URL [%s] Body [%s] Response [%s]",
                     url.c_str(), body.c_str(), response.c_str());
        return false;
    }
    logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Launch Dataflow template success : response : %s",
                    response.c_str());
    if (!parser->ParseObject(response, job)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to parse response object resp : [%s]", response.c_str());
        return false;
    }
    // The job is followed where it runs.
    if (job.location.empty()) job.location = location;
    return true;
}

bool CGoogleCloudOperations::WaitForDataflowJob(const std::string& projectId,
                                                const SDataflowJobInfoLib& job) {
    // projects/P/jobs/ID finds only us-central1 jobs; a job elsewhere would look lost while it runs.
    const std::string url = DataflowBase() + "/projects/" + url::Segment(projectId) +
                            (job.location.empty() ? "" : "/locations/" + url::Segment(job.location)) +
                            "/jobs/" + url::Segment(job.id);
    const int64_t start = host::Now();
    for (;;) {
        XWSLEEP_InTeRnAl(retryInterval * 1000, __FILE__, __LINE__);
        std::string response;
        if (!connection->get(std::string(), url, response)) {
            logger.Error(__PRETTY_FUNCTION__, "Unable to retrieve job info for id [%s], response [%s]",
                         job.id.c_str(), response.c_str());
            return false;
        }
        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Retrieved Job [%s] info as : response : %s", job.id.c_str(),
                        response.c_str());
        SDataflowJobInfoLib polled;
        if (!parser->ParseObject(response, polled)) {
            logger.Error(__PRETTY_FUNCTION__, "Failed to parse response [%s]", response.c_str());
            return false;
        }
        const std::string& state = polled.currentState;
        if (state == kDoneState) return true;
        if (state == "JOB_STATE_FAILED" || state == "JOB_STATE_CANCELLED" || state == "JOB_STATE_UPDATED") {
            logger.Error(__PRETTY_FUNCTION__, "Failed to complete the dataflow job [%s][%s]. Job State [%s]",
                         projectId.c_str(), job.id.c_str(), state.c_str());
            // The state is the code; the message says so too, or an earlier call's would stand beside it.
            SetErrorMessage("The Dataflow job [" + job.id + "] ended in state [" + state + "].");
            SetErrorCode(state);
            return false;
        }
        if (host::Now() - start > static_cast<int64_t>(operationTimeout)) {
            logger.Error(__PRETTY_FUNCTION__, "Timeout waiting for status end state for Job [%s]",
                         polled.id.c_str());
            return false;
        }
        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Job [%s] Current status : [%s], waiting for status : [%s]",
                        job.id.c_str(), state.c_str(), kDoneState);
    }
}

bool CGoogleCloudOperations::RunSpannerCopy(const SpannerCopy& copy, const std::string& projectId,
                                            const std::string& location, const std::string& instanceId,
                                            const std::string& databaseId, const std::string& folder,
                                            bool wait) {
    SDataflowLaunchTemplateParametersInfoLib launch;
    launch.jobName = std::string(copy.jobPrefix) + JobNamePart(instanceId) + "-" + JobNamePart(databaseId);
    launch.parameters["instanceId"] = instanceId;
    launch.parameters["databaseId"] = databaseId;
    launch.parameters[copy.folderParameter] = folder;
    SDataflowJobInfoLib job;
    if (!LaunchDataflowTemplate(projectId, location, copy.templatePath, launch, job)) {
        logger.Error(copy.tag, "%s", copy.launchFailure);
        return false;
    }
    if (!wait) return true;
    logger.DebugLvl(copy.tag, 0, "Monitoring Job [%s] progress", job.id.c_str());
    if (WaitForDataflowJob(projectId, job)) return true;
    logger.Error(copy.tag, copy.copyFailureFormat, projectId.c_str(), instanceId.c_str(), databaseId.c_str(),
                 folder.c_str());
    return false;
}

bool CGoogleCloudOperations::ExportSpannerDatabase(const std::string& projectId, const std::string& location,
                                                   const std::string& instanceId,
                                                   const std::string& databaseId,
                                                   const std::string& outputFolder, bool wait) {
    static const SpannerCopy kExport{__PRETTY_FUNCTION__,
                                     "gs://dataflow-templates/latest/Cloud_Spanner_to_GCS_Avro",
                                     "cloud-spanner-export-",
                                     "outputDir",
                                     "Failed to Launch Dataflow template Cloud_Spanner_to_GCS_Avro",
                                     "Failed to export Spanner Database [%s][%s][%s] to [%s]"};
    return RunSpannerCopy(kExport, projectId, location, instanceId, databaseId, outputFolder, wait);
}

bool CGoogleCloudOperations::ImportSpannerDatabase(const std::string& projectId, const std::string& location,
                                                   const std::string& instanceId,
                                                   const std::string& databaseId,
                                                   const std::string& inputFolder, bool wait) {
    static const SpannerCopy kImport{__PRETTY_FUNCTION__,
                                     "gs://dataflow-templates/latest/GCS_Avro_to_Cloud_Spanner",
                                     "cloud-spanner-import-",
                                     "inputDir",
                                     "Failed to launch Dataflow template GCS_Avro_to_Cloud_Spanner",
                                     "Failed to import Spanner Database [%s][%s][%s] from [%s]"};
    return RunSpannerCopy(kImport, projectId, location, instanceId, databaseId, inputFolder, wait);
}

bool CGoogleCloudOperations::WaitForSpannerOperation(const std::string& projectId,
                                                     const SSpannerOperationInfoLib& operation) {
    const std::string url =
        JtString::Format("%s/%s", SpannerBase().c_str(), url::ResourceName(operation.name).c_str());
    const int64_t start = host::Now();
    for (;;) {
        XWSLEEP_InTeRnAl(retryInterval * 1000, __FILE__, __LINE__);
        std::string response;
        if (!connection->get(std::string(), url, response)) {
            logger.Error(__PRETTY_FUNCTION__, "Unable to retrieve operation info for id [%s], response [%s]",
                         operation.name.c_str(), response.c_str());
            return false;
        }
        logger.DebugLvl(__PRETTY_FUNCTION__, 0, "Retrieved Operation [%s] info as : response : %s",
                        operation.name.c_str(), response.c_str());
        SSpannerOperationInfoLib polled;
        if (!parser->ParseObject(response, polled)) {
            logger.Error(__PRETTY_FUNCTION__, "Failed to parse response [%s]", response.c_str());
            return false;
        }
        if (EndedWithError(__PRETTY_FUNCTION__, logger, *this, projectId, operation.name, polled))
            return false;
        if (polled.done) return true;
        if (host::Now() - start > static_cast<int64_t>(operationTimeout)) {
            logger.Error(__PRETTY_FUNCTION__, "Timeout waiting for status end state for operation [%s]",
                         operation.name.c_str());
            return false;
        }
        logger.DebugLvl(__PRETTY_FUNCTION__, 0,
                        "Operation [%s] Current status : [WAITING], waiting for status : [DONE]",
                        operation.name.c_str());
    }
}

bool CGoogleCloudOperations::CreateSpannerDatabase(const std::string& projectId,
                                                   const std::string& instanceId,
                                                   const std::string& databaseId, bool wait) {
    if (!IsSpannerDatabaseId(databaseId)) {
        const std::string message = JtString::Format(
            "[%s] is not a Spanner database id: 2 to 30 lowercase letters, digits, '_' and '-', starting "
            "with a "
            "letter and ending with a letter or digit.",
            databaseId.c_str());
        logger.Error(__PRETTY_FUNCTION__, "%s", message.c_str());
        SetErrorMessage(message);
        SetErrorCode("INVALID_ARGUMENT");
        return false;
    }
    std::string body;
    try {
        mObject request;
        request["createStatement"] = JtString::Format("CREATE DATABASE `%s`", databaseId.c_str());
        body = ZkJson::Serialize(request);
    } catch (const std::runtime_error& failure) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to parse json object : %s", failure.what());
        return false;
    }
    const std::string url =
        JtString::Format("%s/projects/%s/instances/%s/databases", SpannerBase().c_str(),
                         url::Segment(projectId).c_str(), url::Segment(instanceId).c_str());
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, url, body, response)) return false;
    if (!wait) return true;
    logger.DebugLvl(__PRETTY_FUNCTION__, 0, "Retrieved Operation info as : response : %s", response.c_str());
    SSpannerOperationInfoLib operation;
    if (!parser->ParseObject(response, operation)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to parse response object resp : [%s]", response.c_str());
        return false;
    }
    if (EndedWithError(__PRETTY_FUNCTION__, logger, *this, projectId, operation.name, operation))
        return false;
    if (WaitForSpannerOperation(projectId, operation)) return true;
    logger.Error(__PRETTY_FUNCTION__, "Failed to create spanner instance [%s][%s]", projectId.c_str(),
                 instanceId.c_str());
    return false;
}

}  // namespace GoogleCloudSDKWrapper
