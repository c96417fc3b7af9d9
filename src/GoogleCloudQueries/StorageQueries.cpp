// Cloud Storage buckets of a project, and the objects of a bucket.
#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudQueries/QueryPatterns.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string BucketsBase() {
    return "https://" + endpoints::StorageHost() + "/storage/v1/b";
}

}  // namespace

bool CGoogleCloudQueries::GetStorageBuckets(const std::string& projectId,
                                            std::vector<SStorageBucketInfoLib>& buckets) {
    const std::string url = BucketsBase() + "?project=" + url::QueryValue(projectId);
    std::vector<SStorageBucketInfoLib> found;
    std::string pageToken, response;
    std::set<std::string> seenTokens;
    bool listed = false;
    do {
        if (!connection->get(projectId, PagePath(url, pageToken), response)) {
            logger.Debug(__PRETTY_FUNCTION__,
                         "Failed to retrieve storage bucket info for project [%s]. Received response : [%s]",
                         projectId.c_str(), response.c_str());
            return false;
        }
        logger.Debug(__PRETTY_FUNCTION__, "Retrieved storage bucket info [%s]", response.c_str());
        listed = parser->ParseList(response, "items", found, &pageToken) || listed;
    } while (!pageToken.empty() && seenTokens.insert(pageToken).second);
    if (!listed) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to parse storage bucket info from response [%s]",
                     response.c_str());
        return false;
    }
    buckets.insert(buckets.end(), found.begin(), found.end());
    return true;
}

bool CGoogleCloudQueries::GetStorageObjects(const std::string& bucket, const std::string& delimiter,
                                            const std::string& prefix, SStorageObjectsInfoLib& objects) {
    std::string url =
        BucketsBase() + "/" + url::Segment(bucket) + "/o?delimiter=" + url::QueryValue(delimiter);
    if (!prefix.empty()) url += "&prefix=" + url::QueryValue(prefix);
    logger.Debug(__PRETTY_FUNCTION__, "Requesting List of Storage Objects. URL [%s]", url.c_str());

    SStorageObjectsInfoLib listing;
    std::string pageToken, response;
    std::set<std::string> seenTokens;
    do {
        if (!connection->get(std::string(), PagePath(url, pageToken), response)) {
            logger.Debug(
                __PRETTY_FUNCTION__,
                "Failed to retrieve storage bucket objects for Bucket [%s] Delimiter [%s] Prefix [%s]. "
                "Received response : [%s]",
                bucket.c_str(), delimiter.c_str(), prefix.c_str(), response.c_str());
            return false;
        }
        logger.Debug(__PRETTY_FUNCTION__, "Retrieved storage bucket object info [%s]", response.c_str());
        // Each page adds its objects and prefixes to the one listing.
        if (!parser->ParseObject(response, listing)) {
            logger.Debug(__PRETTY_FUNCTION__,
                         "Failed to parse storage bucket object items info from response [%s]",
                         response.c_str());
            return false;
        }
        mObject page;
        pageToken = ZkJson::Unserialize(response, page) ? ZkJson::GetStringValue(page, "nextPageToken") : "";
    } while (!pageToken.empty() && seenTokens.insert(pageToken).second);
    objects.prefixes.insert(objects.prefixes.end(), listing.prefixes.begin(), listing.prefixes.end());
    objects.items.insert(objects.items.end(), listing.items.begin(), listing.items.end());
    return true;
}

}  // namespace GoogleCloudSDKWrapper
