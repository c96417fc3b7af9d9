// Cloud Storage's family: its routes, and its buckets and objects seeded from the world.
#include "emulator/api/StorageApi.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "emulator/StorageModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

void StorageApi::Register(Router& router, EmulatorContext& context) {
    m_context = &context;
    const auto route = [this, &router](const std::vector<std::string>& hosts, const char* method,
                                       const char* path, Response (StorageApi::*handler)(const Request&)) {
        router.Add(hosts, method, path, [this, handler](const Request& request, Response& response) {
            response = (this->*handler)(request);
        });
    };
    route(hosts::kStorage, "POST", "/storage/v1/b/?", &StorageApi::InsertBucket);
    route(hosts::kStorage, "GET", "/storage/v1/b/?", &StorageApi::ListBuckets);
    route(hosts::kStorage, "GET", "/storage/v1/b/{bucket}/?", &StorageApi::GetBucket);
    route(hosts::kStorage, "GET", "/storage/v1/b/{bucket}/o/?", &StorageApi::ListObjects);
    route(hosts::kStorage, "GET", "/storage/v1/b/{bucket}/o/{object=**}", &StorageApi::GetObject);
    route(hosts::kStorage, "GET", "/download/storage/v1/b/{bucket}/o/{object=**}",
          &StorageApi::DownloadObject);
    route(hosts::kStorage, "POST", "/upload/storage/v1/b/{bucket}/o/?", &StorageApi::InsertObject);
    // The XML API's plain path answers on storage.googleapis.com only; on www.googleapis.com it would
    // catch the paths of every other API.
    route({"storage.googleapis.com"}, "GET", "/{bucket}/{object=**}", &StorageApi::PlainDownload);
}

void StorageApi::Seed(World::Txn& world) {
    for (const auto& [projectId, seed] : SeedProjects(world)) {
        const mObject* project = world.FindProject(projectId);
        const std::string projectNumber = ZkJson::GetStringValue(*project, "projectNumber");
        const int64_t projectCreated = ParseRfc3339(ZkJson::GetStringValue(*project, "createTime"));
        for (const SeedEntry& entry : SeedSection(*seed, "buckets", "project " + projectId)) {
            entry.Allow({"name", "location", "storageClass", "labels", "timeCreated", "objects"});
            BucketFields fields;
            fields.name = entry.RequiredText("name");
            if (!IsValidBucketName(fields.name))
                entry.Fail("'" + fields.name + "' is not a valid bucket name");
            if (world.Find(collections::kBuckets, fields.name))
                entry.Fail("the bucket name " + fields.name + " is taken (bucket names are global)");
            std::string location;
            std::string locationType;
            if (!ReadLocation(entry.Text("location", "US"), location, locationType))
                entry.Fail("'" + entry.Text("location") + "' is not a Cloud Storage location");
            fields.storageClass = entry.Text("storageClass", "STANDARD");
            if (!IsStorageClass(fields.storageClass))
                entry.Fail("'" + fields.storageClass + "' is not a storage class");
            fields.labels = entry.TextMap("labels");
            const int64_t created = SeededTime(entry, "timeCreated", projectCreated, 180, fields.name);
            fields.timeCreated = FormatRfc3339(created);
            const mObject& bucket = world.Put(collections::kBuckets, fields.name,
                                              BucketResource(fields, projectNumber, location, locationType));
            const mObject* objects = entry.Object("objects");
            if (!objects) continue;
            for (const auto& [name, content] : *objects) {
                if (!IsValidObjectName(name)) entry.Fail("'" + name + "' is not a valid object name");
                if (content.type() != json_spirit::str_type)
                    entry.Fail("the content of object '" + name + "' is not text");
                const int64_t objectCreated =
                    created +
                    static_cast<int64_t>(std::stoull(StableId(fields.name + "/" + name)) % (30 * 86400));
                const uint64_t generation = static_cast<uint64_t>(objectCreated) * 1000000 + 1;
                NoteGeneration(world, generation);
                PutObject(world, bucket, name, content.get_str(), "text/plain", generation,
                          FormatRfc3339(objectCreated));
            }
        }
    }
}

int64_t StorageApi::SeededTime(const SeedEntry& entry, const char* member, int64_t start, int days,
                               const std::string& key) {
    if (entry.Has(member)) {
        const int64_t given = ParseRfc3339(entry.Text(member));
        if (given < 0) entry.Fail(std::string("'") + member + "' is not an RFC 3339 time");
        return given;
    }
    return std::max<int64_t>(start, 0) +
           static_cast<int64_t>(std::stoull(StableId(key)) % (static_cast<uint64_t>(days) * 86400));
}

std::unique_ptr<ApiFamily> MakeStorageApi() {
    return std::make_unique<StorageApi>();
}

}  // namespace gcemu
