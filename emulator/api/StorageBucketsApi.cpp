// Cloud Storage buckets: insert, get and list (by project id or number, with a prefix).
// https://cloud.google.com/storage/docs/json_api/v1/buckets
#include <string>

#include "emulator/ComputeLists.h"
#include "emulator/StorageModel.h"
#include "emulator/api/StorageApi.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

Response StorageApi::InsertBucket(const Request& request) {
    const std::string projectParam = request.Query("project");
    if (projectParam.empty()) return StorageError(400, "required", "Required parameter: project");
    mObject body;
    if (!ZkJson::Unserialize(request.body, body)) return StorageError(400, "parseError", "Parse Error");
    BucketFields fields;
    fields.name = ZkJson::GetStringValue(body, "name");
    if (fields.name.empty()) return StorageError(400, "required", "Required");
    if (!IsValidBucketName(fields.name))
        return StorageError(400, "invalid", "Invalid bucket name: '" + fields.name + "'");
    std::string location;
    std::string locationType;
    if (body.count("location")) fields.location = ZkJson::GetStringValue(body, "location");
    if (!ReadLocation(fields.location, location, locationType))
        return StorageError(400, "invalid", "The specified location constraint is not valid.");
    if (body.count("storageClass")) {
        fields.storageClass = ZkJson::GetStringValue(body, "storageClass");
        if (!IsStorageClass(fields.storageClass))
            return StorageError(400, "invalid", "Invalid argument: storageClass " + fields.storageClass);
    }
    if (const mObject* labels = ZkJson::FindObject(body, "labels")) fields.labels = *labels;

    World::Txn world = m_context->world.Lock();
    const mObject* project = FindProjectByIdOrNumber(world, projectParam);
    if (!project) return StorageError(400, "invalid", "Unknown project id: " + projectParam);
    const std::string projectNumber = ZkJson::GetStringValue(*project, "projectNumber");
    if (const mObject* existing = world.Find(collections::kBuckets, fields.name)) {
        if (ZkJson::GetStringValue(*existing, "projectNumber") == projectNumber)
            return StorageError(409, "conflict",
                                "Your previous request to create the named bucket succeeded and you "
                                "already own it.");
        return StorageError(409, "conflict",
                            "The requested bucket name is not available. The bucket namespace is shared "
                            "by all users of the system. Please select a different name and try again.");
    }
    fields.timeCreated = FormatRfc3339(host::Now());
    return Response::Json(world.Put(collections::kBuckets, fields.name,
                                    BucketResource(fields, projectNumber, location, locationType)));
}

Response StorageApi::GetBucket(const Request& request) {
    const std::string name = request.Param("bucket");
    if (!IsValidBucketName(name)) return StorageError(400, "invalid", "Invalid bucket name: '" + name + "'");
    World::Txn world = m_context->world.Lock();
    const mObject* bucket = world.Find(collections::kBuckets, name);
    return bucket ? Response::Json(*bucket) : NoSuchBucket();
}

Response StorageApi::ListBuckets(const Request& request) {
    const std::string projectParam = request.Query("project");
    if (projectParam.empty()) return StorageError(400, "required", "Required parameter: project");
    size_t pageSize = 0;
    if (!ReadPageSize(*m_context, request, pageSize)) return InvalidPageSize(request);
    const std::string prefix = request.Query("prefix");

    World::Txn world = m_context->world.Lock();
    const mObject* project = FindProjectByIdOrNumber(world, projectParam);
    if (!project) return StorageError(400, "invalid", "Unknown project id: " + projectParam);
    const std::string projectNumber = ZkJson::GetStringValue(*project, "projectNumber");
    KeyedResources owned;
    for (const auto& [name, bucket] : world.List(collections::kBuckets, prefix)) {
        if (ZkJson::GetStringValue(*bucket, "projectNumber") == projectNumber)
            owned.emplace_back(name, bucket);
    }
    PageSlice slice;
    if (!SlicePage(owned, pageSize, request.Query("pageToken"),
                   "storage.buckets\n" + projectNumber + "\n" + prefix, slice))
        return InvalidPageToken();
    mObject body;
    body["kind"] = "storage#buckets";
    if (!slice.items.empty()) {
        mArray items;
        for (const mObject* bucket : slice.items) items.push_back(*bucket);
        body["items"] = std::move(items);
    }
    if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
    return Response::Json(body);
}

}  // namespace gcemu
