// Cloud Storage object listings (prefix, delimiter, pages) and object metadata.
// https://cloud.google.com/storage/docs/json_api/v1/objects
#include <deque>
#include <string>

#include "emulator/ComputeLists.h"
#include "emulator/StorageModel.h"
#include "emulator/api/StorageApi.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

Response StorageApi::ListObjects(const Request& request) {
    const std::string bucketName = request.Param("bucket");
    const std::string delimiter = request.Query("delimiter");
    const std::string prefix = request.Query("prefix");
    size_t pageSize = 0;
    if (!ReadPageSize(*m_context, request, pageSize)) return InvalidPageSize(request);

    World::Txn world = m_context->world.Lock();
    if (!world.Find(collections::kBuckets, bucketName)) return NoSuchBucket();
    KeyedResources entries;
    std::deque<mObject> prefixes;  // stable addresses for the entries
    const std::string keyStart = ObjectKey(bucketName, "");
    for (const auto& [key, object] : world.List(collections::kObjects, keyStart + prefix)) {
        const std::string name = key.substr(keyStart.size());
        const size_t found = delimiter.empty() ? std::string::npos : name.find(delimiter, prefix.size());
        if (found == std::string::npos) {
            entries.emplace_back(name, object);
            continue;
        }
        // Names sharing a prefix sit together in name order, and the prefix sorts where its first
        // name does, so the entries stay in key order.
        const std::string collapsed = name.substr(0, found + delimiter.size());
        if (!prefixes.empty() && prefixes.back().at("prefix").get_str() == collapsed) continue;
        mObject entry;
        entry["prefix"] = collapsed;
        prefixes.push_back(std::move(entry));
        entries.emplace_back(collapsed, &prefixes.back());
    }
    PageSlice slice;
    const std::string scope = "storage.objects\n" + bucketName + "\n" + prefix + "\n" + delimiter;
    if (!SlicePage(entries, pageSize, request.Query("pageToken"), scope, slice)) return InvalidPageToken();
    mObject body;
    body["kind"] = "storage#objects";
    mArray items;
    mArray prefixList;
    for (const mObject* entry : slice.items) {
        if (entry->count("prefix")) {
            prefixList.push_back(entry->at("prefix"));
        } else {
            items.push_back(*entry);
        }
    }
    if (!items.empty()) body["items"] = std::move(items);
    if (!prefixList.empty()) body["prefixes"] = std::move(prefixList);
    if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
    return Response::Json(body);
}

Response StorageApi::GetObject(const Request& request) {
    if (request.Query("alt") == "media") return DownloadObject(request);
    World::Txn world = m_context->world.Lock();
    if (!world.Find(collections::kBuckets, request.Param("bucket"))) return NoSuchBucket();
    const mObject* object =
        world.Find(collections::kObjects, ObjectKey(request.Param("bucket"), request.Param("object")));
    if (!object || !GenerationMatches(request, *object)) return NoSuchObject(request);
    return Response::Json(*object);
}

bool StorageApi::GenerationMatches(const Request& request, const mObject& object) {
    return !request.HasQuery("generation") ||
           request.Query("generation") == ZkJson::GetStringValue(object, "generation");
}

Response StorageApi::NoSuchObject(const Request& request) {
    std::string name = request.Param("bucket") + "/" + request.Param("object");
    if (request.HasQuery("generation")) name += "#" + request.Query("generation");
    return StorageError(404, "notFound", "No such object: " + name);
}

}  // namespace gcemu
