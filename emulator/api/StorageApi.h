// Cloud Storage JSON API v1 as the library uses it: buckets (create, get, list), media uploads, object
// listings with delimiter and prefix, and downloads on the JSON paths and on the plain XML-API path.
// https://cloud.google.com/storage/docs/json_api/v1
//
// Bucket names are global, as on Google: one namespace across every project of the world. Object bytes
// are kept in memory beside their metadata.
//
// One family, its handlers by resource: buckets (StorageBucketsApi.cpp), object listings and metadata
// (StorageObjectsApi.cpp), uploads and downloads (StorageMediaApi.cpp); the routes and the seeding of
// buckets and objects from the world in StorageApi.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeModel.h"
#include "host/json/JsonValue.h"

namespace gcemu {

class StorageApi : public ApiFamily {
public:
    const char* Name() const override { return "storage"; }
    void Register(Router& router, EmulatorContext& context) override;
    // Buckets: {"name", "location" (US), "storageClass" (STANDARD), "labels", "timeCreated",
    // "objects": {"name": "text content"}}. Bucket names are unique across the whole world.
    void Seed(World::Txn& world) override;

private:
    // The entry's time, or one derived from the key within some days after the start.
    static int64_t SeededTime(const SeedEntry& entry, const char* member, int64_t start, int days,
                              const std::string& key);

    Response InsertBucket(const Request& request);
    Response GetBucket(const Request& request);
    Response ListBuckets(const Request& request);

    // Names that hold the delimiter after the prefix collapse into one entry of "prefixes" each (up to
    // and with the first delimiter); a page counts objects and prefixes alike.
    Response ListObjects(const Request& request);
    // The metadata, or with alt=media the bytes.
    Response GetObject(const Request& request);
    static bool GenerationMatches(const Request& request, const json_spirit::mObject& object);
    static Response NoSuchObject(const Request& request);

    Response InsertObject(const Request& request);
    Response DownloadObject(const Request& request);
    Response PlainDownload(const Request& request);
    static Response Media(const json_spirit::mObject& object, const json_spirit::mObject& data);

    EmulatorContext* m_context = nullptr;
};

}  // namespace gcemu
