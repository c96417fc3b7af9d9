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
    const char* tag = __PRETTY_FUNCTION__;
    std::vector<SStorageBucketInfoLib> found;
    std::string response;
    bool listed = false;
    const bool read = ReadPages(projectId, url, response, [&](const std::string& page, std::string& next) {
        logger.Debug(tag, "Retrieved storage bucket info [%s]", page.c_str());
        listed = parser->ParseList(page, "items", found, &next) || listed;
        return true;
    });
    if (!read) {
        logger.Debug(tag, "Failed to retrieve storage bucket info for project [%s]. Received response : [%s]",
                     projectId.c_str(), response.c_str());
        return false;
    }
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

    const char* tag = __PRETTY_FUNCTION__;
    SStorageObjectsInfoLib listing;
    std::string response;
    bool parsed = true;
    const bool read = ReadPages("", url, response, [&](const std::string& text, std::string& next) {
        logger.Debug(tag, "Retrieved storage bucket object info [%s]", text.c_str());
        // Each page adds its objects and prefixes to the one listing.
        if (!parser->ParseObject(text, listing)) return parsed = false;
        mObject page;
        if (ZkJson::Unserialize(text, page)) next = ZkJson::GetStringValue(page, "nextPageToken");
        return true;
    });
    if (!read) {
        logger.Debug(tag,
                     "Failed to retrieve storage bucket objects for Bucket [%s] Delimiter [%s] Prefix [%s]. "
                     "Received response : [%s]",
                     bucket.c_str(), delimiter.c_str(), prefix.c_str(), response.c_str());
        return false;
    }
    if (!parsed) {
        logger.Debug(tag, "Failed to parse storage bucket object items info from response [%s]",
                     response.c_str());
        return false;
    }
    objects.prefixes.insert(objects.prefixes.end(), listing.prefixes.begin(), listing.prefixes.end());
    objects.items.insert(objects.items.end(), listing.items.begin(), listing.items.end());
    return true;
}

}  // namespace GoogleCloudSDKWrapper
