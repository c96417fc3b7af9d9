// Cloud SQL database instances (admin API v1beta4) and the cache the facade's refresh fills.
#include <iterator>
#include <string>
#include <vector>

#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudQueries/QueryPatterns.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string InstancesUrl(const std::string& projectId) {
    return "https://" + endpoints::SqlAdminHost() + "/sql/v1beta4/projects/" + url::Segment(projectId) +
           "/instances";
}

// Cloud SQL leaves "items" out for a project without instances. An object without the member is that
// empty list; text that is no object, or whose "items" could not be read, is no list at all.
bool IsEmptyList(const std::string& response) {
    mObject page;
    return ZkJson::Unserialize(response, page) && page.count("items") == 0;
}

}  // namespace

bool CGoogleCloudQueries::RefreshDBInstanceInfoList(std::string projectId, UINT64, int) {
    const std::string url = InstancesUrl(projectId);
    logger.Debug(__PRETTY_FUNCTION__, "Calling GET for URL [%s]", url.c_str());
    // Read aside: a project whose later page fails adds nothing rather than half its instances.
    std::vector<SDBInstanceInfoLib> found;
    std::string response;
    const ListOutcome outcome = FetchAllPages(std::string(), url, "items", found, response);
    if (outcome == ListOutcome::kRequestFailed) {
        SetLastErrorFromResponse(response);
        logger.Debug(__PRETTY_FUNCTION__, "Failed:  GET for URL [%s]", url.c_str());
        return false;
    }
    logger.Debug(__PRETTY_FUNCTION__, "Parsing response from GET for URL [%s]", url.c_str());
    if (outcome == ListOutcome::kNoList && !IsEmptyList(response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed:  Parsing response from GET for URL [%s]", url.c_str());
        return false;
    }
    dbInstances.insert(dbInstances.end(), std::make_move_iterator(found.begin()),
                       std::make_move_iterator(found.end()));
    logger.Debug(__PRETTY_FUNCTION__, "Success:  Parsing response from GET for URL [%s]", url.c_str());
    return true;
}

bool CGoogleCloudQueries::GetDBInstanceInfoList(std::vector<SDBInstanceInfoLib>& instances, UINT64, int) {
    instances = dbInstances;
    logger.Debug(__PRETTY_FUNCTION__, "Returning DB Instance Info List");
    return true;
}

void CGoogleCloudQueries::BeginDBInstanceRefresh() {
    dbInstancesBeforeRefresh.clear();
    dbInstancesBeforeRefresh.swap(dbInstances);
}

void CGoogleCloudQueries::EndDBInstanceRefresh(bool keepFound) {
    if (!keepFound) dbInstances.swap(dbInstancesBeforeRefresh);
    dbInstancesBeforeRefresh.clear();
}

}  // namespace GoogleCloudSDKWrapper
