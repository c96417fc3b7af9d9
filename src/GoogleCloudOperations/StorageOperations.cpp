// Cloud Storage: creating and probing a bucket, uploading and downloading one object.
#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string BucketsBase() {
    return "https://" + endpoints::StorageHost() + "/storage/v1/b";
}
std::string UploadBase() {
    return "https://" + endpoints::StorageHost() + "/upload/storage/v1/b";
}

}  // namespace

bool CGoogleCloudOperations::CreateBucket(const std::string& projectId, const SStorageBucketInfoLib& bucket) {
    std::string body;
    if (!parser->GetRequestBody(bucket, body)) return false;
    std::string response;
    if (!connection->post(projectId, BucketsBase() + "?project=" + url::QueryValue(projectId), body,
                          response)) {
        SetLastErrorFromResponse(response);
        return false;
    }
    return true;
}

bool CGoogleCloudOperations::DoesBucketExist(const std::string& projectId,
                                             const SStorageBucketInfoLib& bucket) {
    std::string response;
    if (!connection->get(projectId, BucketsBase() + "/" + url::Segment(bucket.name), response)) return false;
    SStorageBucketInfoLib found;
    return parser->ParseObject(response, found);
}

// A refused upload is recorded like any other refused request, so the caller does not read an
// unrelated earlier error.
bool CGoogleCloudOperations::UploadObjectToBucket(const std::string& projectId, const std::string& bucketName,
                                                  const std::string& objectName, const std::string& content) {
    std::string url = UploadBase() + "/" + url::Segment(bucketName) +
                      "/o?name=" + url::QueryValue(objectName) + "&uploadType=media";
    std::string response;
    if (connection->post(projectId, url, content, response)) return true;
    SetLastErrorFromResponse(response);
    return false;
}

// The object's bytes from the storage host's plain bucket/object path.
bool CGoogleCloudOperations::DownloadObjectFromBucket(const std::string& projectId,
                                                      const SStorageBucketInfoLib& bucket,
                                                      const std::string& objectName, std::string& content) {
    std::string url = "https://" + endpoints::StorageHost() + "/" + url::Segment(bucket.name) + "/" +
                      url::ObjectPath(objectName);
    if (connection->get(projectId, url, content)) return true;
    SetLastErrorFromResponse(content);
    return false;
}

}  // namespace GoogleCloudSDKWrapper
