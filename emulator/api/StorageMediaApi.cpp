// Cloud Storage object bytes: simple uploads, and downloads on the JSON paths, on the mediaLink and on the
// XML API's plain path.
// https://cloud.google.com/storage/docs/uploading-objects
#include <string>

#include "emulator/GoogleErrors.h"
#include "emulator/StorageModel.h"
#include "emulator/api/StorageApi.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

Response StorageApi::InsertObject(const Request& request) {
    const std::string bucketName = request.Param("bucket");
    if (!request.HasQuery("uploadType"))
        return StorageError(400, "wrongUrlForUpload",
                            "Upload requests must include an uploadType URL parameter and a URL path "
                            "beginning with /upload/");
    if (request.Query("uploadType") != "media") {
        GoogleError error = ForStatus(501);
        error.message = "gcemu takes simple uploads only (uploadType=media), not uploadType=" +
                        request.Query("uploadType");
        error.status.clear();
        return error.ToResponse();
    }
    const std::string name = request.Query("name");
    if (name.empty()) return StorageError(400, "required", "Required");
    if (!IsValidObjectName(name))
        return StorageError(400, "invalid", "The specified object name is not valid.");
    std::string contentType = request.Header("content-type");
    if (contentType.empty()) contentType = "application/octet-stream";

    World::Txn world = m_context->world.Lock();
    const mObject* bucket = world.Find(collections::kBuckets, bucketName);
    if (!bucket) return NoSuchBucket();
    const int64_t now = host::Now();
    return Response::Json(PutObject(world, *bucket, name, request.body, contentType, NextGeneration(world),
                                    FormatRfc3339(now)));
}

Response StorageApi::DownloadObject(const Request& request) {
    World::Txn world = m_context->world.Lock();
    if (!world.Find(collections::kBuckets, request.Param("bucket"))) return NoSuchBucket();
    const std::string key = ObjectKey(request.Param("bucket"), request.Param("object"));
    const mObject* object = world.Find(collections::kObjects, key);
    if (!object || !GenerationMatches(request, *object)) return NoSuchObject(request);
    return Media(*object, *world.Find(collections::kObjectData, key));
}

Response StorageApi::PlainDownload(const Request& request) {
    World::Txn world = m_context->world.Lock();
    if (!world.Find(collections::kBuckets, request.Param("bucket")))
        return XmlError(404, "NoSuchBucket", "The specified bucket does not exist.");
    const std::string key = ObjectKey(request.Param("bucket"), request.Param("object"));
    const mObject* object = world.Find(collections::kObjects, key);
    if (!object)
        return XmlError(404, "NoSuchKey", "The specified key does not exist.",
                        "No such object: " + request.Param("bucket") + "/" + request.Param("object"));
    return Media(*object, *world.Find(collections::kObjectData, key));
}

Response StorageApi::Media(const mObject& object, const mObject& data) {
    Response response;
    response.body = data.at("data").get_str();
    response.contentType = ZkJson::GetStringValue(object, "contentType");
    response.headers.emplace("x-goog-generation", ZkJson::GetStringValue(object, "generation"));
    response.headers.emplace("x-goog-metageneration", ZkJson::GetStringValue(object, "metageneration"));
    response.headers.emplace("x-goog-stored-content-length", ZkJson::GetStringValue(object, "size"));
    response.headers.emplace("x-goog-hash", "crc32c=" + ZkJson::GetStringValue(object, "crc32c"));
    response.headers.emplace("x-goog-hash", "md5=" + ZkJson::GetStringValue(object, "md5Hash"));
    return response;
}

}  // namespace gcemu
