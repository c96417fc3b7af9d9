// Cloud Spanner instance configurations, instances and databases; Dataflow jobs.
#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudQueries/QueryPatterns.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string SpannerProject(const std::string& projectId) {
    return "https://" + endpoints::SpannerHost() + "/v1/projects/" + url::Segment(projectId);
}

// A JSON object without the list: how Spanner answers a list with nothing in it. A list that is there
// but cannot be read is no empty list.
bool IsEmptyList(const std::string& text, const std::string& listKey) {
    mObject object;
    return ZkJson::Unserialize(text, object) && object.count(listKey) == 0;
}

}  // namespace

bool CGoogleCloudQueries::GetSpannerInstanceConfig(const std::string& projectId,
                                                   const std::string& configName,
                                                   SSpannerInstanceConfigInfoLib& config) {
    std::string response;
    if (!connection->get(projectId,
                         SpannerProject(projectId) + "/instanceConfigs/" + url::Segment(configName),
                         response)) {
        logger.Debug(__PRETTY_FUNCTION__,
                     "Failed to retrieve Google cloud spanner instance config info for [%s]",
                     projectId.c_str());
        return false;
    }
    if (parser->ParseObject(response, config)) return true;
    logger.Debug(__PRETTY_FUNCTION__, "Failed to parse instance config info from response [%s]",
                 response.c_str());
    return false;
}

bool CGoogleCloudQueries::GetSpannerInstancesList(const std::string& projectId,
                                                  std::vector<SSpannerInstanceInfoLib>& instances) {
    std::string response;
    std::vector<SSpannerInstanceInfoLib> found;
    switch (
        FetchAllPages(projectId, SpannerProject(projectId) + "/instances", "instances", found, response)) {
        case ListOutcome::kRequestFailed:
            SetLastErrorFromResponse(response);
            if (GetErrorCode() == "404") {
                logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find spanner instances in the project [%s]",
                                projectId.c_str());
                return true;
            }
            logger.Debug(__PRETTY_FUNCTION__,
                         "Failed to retrieve Google cloud spanner instances list for project [%s]",
                         projectId.c_str());
            return false;
        case ListOutcome::kNoList:
            // Spanner leaves the list out when the project has no instance: an empty list, not a failure.
            if (IsEmptyList(response, "instances")) return true;
            logger.Debug(__PRETTY_FUNCTION__, "Failed to parse Instance List from response [%s]",
                         response.c_str());
            return false;
        case ListOutcome::kListed:
            break;
    }
    instances.insert(instances.end(), found.begin(), found.end());
    return true;
}

bool CGoogleCloudQueries::GetSpannerDatabasesList(const std::string& projectId, const std::string& instanceId,
                                                  std::vector<SSpannerDatabaseInfoLib>& databases) {
    const std::string url =
        SpannerProject(projectId) + "/instances/" + url::Segment(instanceId) + "/databases";
    std::string response;
    std::vector<SSpannerDatabaseInfoLib> found;
    const ListOutcome outcome = FetchAllPages(projectId, url, "databases", found, response);
    if (outcome == ListOutcome::kRequestFailed) {
        SetLastErrorFromResponse(response);
        if (GetErrorCode() == "404") {
            logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find spanner databases in the project [%s]",
                            projectId.c_str());
            return true;
        }
        logger.Debug(
            __PRETTY_FUNCTION__,
            "Failed to retrieve Google cloud spanner databases list for project [%s] and instance [%s]",
            projectId.c_str(), instanceId.c_str());
        return false;
    }
    logger.Debug(__PRETTY_FUNCTION__, "Retrieved Database List as [%s]", response.c_str());
    if (outcome == ListOutcome::kNoList) {
        // An instance without databases answers without the list.
        if (IsEmptyList(response, "databases")) return true;
        logger.Debug(__PRETTY_FUNCTION__, "Failed to parse Database List from response [%s]",
                     response.c_str());
        return false;
    }
    databases.insert(databases.end(), found.begin(), found.end());
    return true;
}

bool CGoogleCloudQueries::GetDataflowJobInfo(const std::string& projectId, const std::string& jobId,
                                             SDataflowJobInfoLib& job) {
    const std::string url = "https://" + endpoints::DataflowHost() + "/v1b3/projects/" +
                            url::Segment(projectId) + "/jobs/" + url::Segment(jobId);
    std::string response;
    if (!connection->get(projectId, url, response)) {
        logger.Debug(__PRETTY_FUNCTION__,
                     "Failed to retrieve job info for project [%s] job Id [%s]. Recieved response : [%s]",
                     projectId.c_str(), jobId.c_str(), response.c_str());
        return false;
    }
    logger.Debug(__PRETTY_FUNCTION__, "Retrieved job info [%s]", response.c_str());
    if (parser->ParseObject(response, job)) return true;
    logger.Debug(__PRETTY_FUNCTION__, "Failed to parse job info object from response [%s]", response.c_str());
    return false;
}

}  // namespace GoogleCloudSDKWrapper
