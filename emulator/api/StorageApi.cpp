// Cloud Storage JSON API v1 as the library uses it: buckets (create, get, list), media uploads, object
// listings with delimiter and prefix, and downloads on the JSON paths and on the plain XML-API path.
// https://cloud.google.com/storage/docs/json_api/v1
//
// Bucket names are global, as on Google: one namespace across every project of the world. Object bytes
// are kept in memory beside their metadata.
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "emulator/Encoding.h"
#include "emulator/GoogleErrors.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

namespace collections {
// storage#bucket resources by bucket name.
inline constexpr char kBuckets[] = "storage.buckets";
// storage#object resources by "<bucket>/<object name>", so a prefix scan lists a bucket in name order.
inline constexpr char kObjects[] = "storage.objects";
// {"data": bytes} by the same key as the object.
inline constexpr char kObjectData[] = "storage.objectData";
}  // namespace collections

namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

constexpr char kApiBase[] = "https://www.googleapis.com/storage/v1/b/";
constexpr char kDownloadBase[] = "https://storage.googleapis.com/download/storage/v1/b/";
constexpr int kLargestPage = 1000;
constexpr int64_t kSoftDeleteSecs = 7 * 24 * 3600;

// Cloud Storage's JSON errors carry no "status" member.
Response StorageError(int code, const std::string& reason, const std::string& message) {
    GoogleError error;
    error.code = code;
    error.message = message;
    error.reason = reason;
    return error.ToResponse();
}

Response NoSuchBucket() {
    return StorageError(404, "notFound", "The specified bucket does not exist.");
}

// What the XML API answers on the plain /bucket/object path.
Response XmlError(int code, const std::string& errorCode, const std::string& message) {
    Response response;
    response.status = code;
    response.contentType = "application/xml; charset=UTF-8";
    response.body = "<?xml version='1.0' encoding='UTF-8'?><Error><Code>" + errorCode + "</Code><Message>" +
                    message + "</Message></Error>";
    return response;
}

// --- checks -----------------------------------------------------------------------------------------

bool IsLowerAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Google's naming rules: 3-63 characters (222 when dotted, 63 per dot-separated part) of lower-case
// letters, digits, '-', '_' and '.', a letter or digit at both ends, no IPv4 address, nothing that
// starts with "goog" or holds "google".
bool IsValidBucketName(const std::string& name) {
    if (name.size() < 3 || name.size() > 222) return false;
    if (!IsLowerAlnum(name.front()) || !IsLowerAlnum(name.back())) return false;
    size_t part = 0;
    bool allDigitsAndDots = true;
    for (char c : name) {
        if (!IsLowerAlnum(c) && c != '-' && c != '_' && c != '.') return false;
        if (c != '.' && !(c >= '0' && c <= '9')) allDigitsAndDots = false;
        part = c == '.' ? 0 : part + 1;
        if (part > 63) return false;
    }
    if (name.find('.') == std::string::npos && name.size() > 63) return false;
    if (name.find("..") != std::string::npos) return false;
    if (allDigitsAndDots && std::count(name.begin(), name.end(), '.') == 3) return false;
    return name.compare(0, 4, "goog") != 0 && name.find("google") == std::string::npos;
}

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// 1-1024 bytes of UTF-8 without line breaks, and not "." or "..".
bool IsValidObjectName(const std::string& name) {
    return !name.empty() && name.size() <= 1024 && name != "." && name != ".." &&
           name.find_first_of("\r\n") == std::string::npos && IsValidUtf8(name);
}

// The location as Google stores it (upper case) and its locationType; false when Google would refuse it.
bool ReadLocation(const std::string& given, std::string& location, std::string& locationType) {
    location.clear();
    for (char c : given) location += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (location == "US" || location == "EU" || location == "ASIA") {
        locationType = "multi-region";
        return true;
    }
    for (const char* dual : {"NAM4", "EUR4", "EUR5", "EUR7", "EUR8", "ASIA1"}) {
        if (location == dual) {
            locationType = "dual-region";
            return true;
        }
    }
    // A region: "US-CENTRAL1", "EUROPE-WEST4", "NORTHAMERICA-NORTHEAST2".
    const size_t dash = location.find('-');
    if (dash == std::string::npos || dash == 0) return false;
    size_t at = dash + 1;
    const size_t lettersStart = at;
    while (at < location.size() && std::isupper(static_cast<unsigned char>(location[at]))) ++at;
    const size_t digitsStart = at;
    while (at < location.size() && std::isdigit(static_cast<unsigned char>(location[at]))) ++at;
    if (at != location.size() || digitsStart == lettersStart || at == digitsStart) return false;
    for (size_t i = 0; i < dash; ++i) {
        if (!std::isupper(static_cast<unsigned char>(location[i]))) return false;
    }
    locationType = "region";
    return true;
}

bool IsStorageClass(const std::string& text) {
    for (const char* known : {"STANDARD", "NEARLINE", "COLDLINE", "ARCHIVE", "MULTI_REGIONAL", "REGIONAL",
                              "DURABLE_REDUCED_AVAILABILITY"}) {
        if (text == known) return true;
    }
    return false;
}

// --- digests ----------------------------------------------------------------------------------------

uint32_t Crc32c(const std::string& bytes) {
    static const std::array<uint32_t, 256> kTable = [] {
        std::array<uint32_t, 256> table{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ (value & 1 ? 0x82F63B78u : 0);
            table[i] = value;
        }
        return table;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) crc = kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// Both as Google sends them: base64 of the big-endian CRC, base64 of the MD5 digest.
std::string Crc32cBase64(const std::string& bytes) {
    const uint32_t crc = Crc32c(bytes);
    const char big[4] = {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16),
                         static_cast<char>(crc >> 8), static_cast<char>(crc)};
    return Base64Encode(std::string(big, 4));
}

std::string Md5Base64(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 is not available");
    return Base64Encode(std::string(reinterpret_cast<const char*>(digest), length));
}

// Google's etags are the protobuf encoding of {1: generation, 2: metageneration}, in base64.
std::string Etag(uint64_t generation, uint64_t metageneration) {
    std::string bytes;
    const auto varint = [&bytes](uint64_t value) {
        do {
            bytes += static_cast<char>((value & 0x7F) | (value > 0x7F ? 0x80 : 0));
            value >>= 7;
        } while (value != 0);
    };
    if (generation != 0) {
        bytes += '\x08';
        varint(generation);
    }
    bytes += generation != 0 ? '\x10' : '\x08';
    varint(metageneration);
    return Base64Encode(bytes);
}

// --- resources --------------------------------------------------------------------------------------

struct BucketFields {
    std::string name;
    std::string location = "US";
    std::string storageClass = "STANDARD";
    mObject labels;
    std::string timeCreated;
};

mObject BucketResource(const BucketFields& fields, const std::string& projectNumber, const std::string& location,
                       const std::string& locationType) {
    mObject bucket;
    bucket["kind"] = "storage#bucket";
    bucket["selfLink"] = kApiBase + fields.name;
    bucket["id"] = fields.name;
    bucket["name"] = fields.name;
    bucket["projectNumber"] = projectNumber;
    bucket["metageneration"] = "1";
    bucket["location"] = location;
    bucket["locationType"] = locationType;
    bucket["storageClass"] = fields.storageClass;
    bucket["etag"] = Etag(0, 1);
    bucket["timeCreated"] = fields.timeCreated;
    bucket["updated"] = fields.timeCreated;
    if (!fields.labels.empty()) bucket["labels"] = fields.labels;
    mObject disabled;
    disabled["enabled"] = false;
    mObject iam;
    iam["bucketPolicyOnly"] = disabled;
    iam["uniformBucketLevelAccess"] = disabled;
    iam["publicAccessPrevention"] = "inherited";
    bucket["iamConfiguration"] = iam;
    mObject softDelete;
    softDelete["retentionDurationSeconds"] = std::to_string(kSoftDeleteSecs);
    softDelete["effectiveTime"] = fields.timeCreated;
    bucket["softDeletePolicy"] = softDelete;
    if (locationType != "region") bucket["rpo"] = "DEFAULT";
    return bucket;
}

std::string ObjectKey(const std::string& bucket, const std::string& name) {
    return bucket + "/" + name;
}

// Stores the object (replacing any of that name, as an upload does) with its bytes.
const mObject& PutObject(World::Txn& world, const mObject& bucket, const std::string& name,
                         const std::string& content, const std::string& contentType, uint64_t generation,
                         const std::string& timeCreated) {
    const std::string bucketName = ZkJson::GetStringValue(bucket, "name");
    const std::string encoded = PercentEncode(name);
    const std::string generationText = std::to_string(generation);
    mObject object;
    object["kind"] = "storage#object";
    object["id"] = bucketName + "/" + name + "/" + generationText;
    object["selfLink"] = kApiBase + bucketName + "/o/" + encoded;
    object["mediaLink"] =
        kDownloadBase + bucketName + "/o/" + encoded + "?generation=" + generationText + "&alt=media";
    object["name"] = name;
    object["bucket"] = bucketName;
    object["generation"] = generationText;
    object["metageneration"] = "1";
    object["contentType"] = contentType;
    object["storageClass"] = ZkJson::GetStringValue(bucket, "storageClass");
    object["size"] = std::to_string(content.size());
    object["md5Hash"] = Md5Base64(content);
    object["crc32c"] = Crc32cBase64(content);
    object["etag"] = Etag(generation, 1);
    object["timeCreated"] = timeCreated;
    object["updated"] = timeCreated;
    object["timeStorageClassUpdated"] = timeCreated;
    const std::string key = ObjectKey(bucketName, name);
    mObject data;
    data["data"] = content;
    world.Put(collections::kObjectData, key, std::move(data));
    return world.Put(collections::kObjects, key, std::move(object));
}

// The Resource Manager project named by id or number; null when the world has none.
const mObject* FindProjectByIdOrNumber(World::Txn& world, const std::string& project) {
    if (const mObject* byId = world.FindProject(project)) return byId;
    for (const auto& [id, resource] : world.List(collections::kProjects)) {
        if (ZkJson::GetStringValue(*resource, "projectNumber") == project) return resource;
    }
    return nullptr;
}

// maxResults as Cloud Storage reads it (absent or 0: the largest page; more than that is cut down), then
// cut to the emulator's page size. False when it is not a number.
bool ReadPageSize(const EmulatorContext& context, const Request& request, size_t& pageSize) {
    int64_t value = kLargestPage;
    if (request.HasQuery("maxResults")) {
        const std::string text = request.Query("maxResults");
        if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoll(text);
        if (value == 0 || value > kLargestPage) value = kLargestPage;
    }
    if (context.options.pageSize > 0) value = std::min<int64_t>(value, context.options.pageSize);
    pageSize = static_cast<size_t>(value);
    return true;
}

Response InvalidPageSize(const Request& request) {
    return StorageError(400, "invalid",
                        "Invalid value '" + request.Query("maxResults") + "' for maxResults.");
}

Response InvalidPageToken() {
    return StorageError(400, "invalid", "The page token is invalid.");
}

// --- the family -------------------------------------------------------------------------------------

class StorageApi : public ApiFamily {
public:
    const char* Name() const override { return "storage"; }

    void Register(Router& router, EmulatorContext& context) override {
        m_context = &context;
        const auto route = [this, &router](const std::vector<std::string>& hosts, const char* method,
                                           const char* path,
                                           Response (StorageApi::*handler)(const Request&)) {
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

    // Buckets: {"name", "location" (US), "storageClass" (STANDARD), "labels", "timeCreated",
    // "objects": {"name": "text content"}}. Bucket names are unique across the whole world.
    void Seed(World::Txn& world) override {
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
                const mObject& bucket =
                    world.Put(collections::kBuckets, fields.name,
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
                    // Uploads over a seeded object get a later generation even in a world dated ahead.
                    m_lastGeneration = std::max(m_lastGeneration, generation);
                    PutObject(world, bucket, name, content.get_str(), "text/plain", generation,
                              FormatRfc3339(objectCreated));
                }
            }
        }
    }

private:
    // The entry's time, or one derived from the key within some days after the start.
    static int64_t SeededTime(const SeedEntry& entry, const char* member, int64_t start, int days,
                              const std::string& key) {
        if (entry.Has(member)) {
            const int64_t given = ParseRfc3339(entry.Text(member));
            if (given < 0) entry.Fail(std::string("'") + member + "' is not an RFC 3339 time");
            return given;
        }
        return std::max<int64_t>(start, 0) +
               static_cast<int64_t>(std::stoull(StableId(key)) % (static_cast<uint64_t>(days) * 86400));
    }

    // Generations are creation times in microseconds, as on Google, and grow with every upload.
    uint64_t NextGeneration() {
        const uint64_t now = static_cast<uint64_t>(std::max<int64_t>(host::Now(), 0)) * 1000000;
        m_lastGeneration = std::max(now, m_lastGeneration + 1);
        return m_lastGeneration;
    }

    Response InsertBucket(const Request& request) {
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

    Response GetBucket(const Request& request) {
        const std::string name = request.Param("bucket");
        if (!IsValidBucketName(name))
            return StorageError(400, "invalid", "Invalid bucket name: '" + name + "'");
        World::Txn world = m_context->world.Lock();
        const mObject* bucket = world.Find(collections::kBuckets, name);
        return bucket ? Response::Json(*bucket) : NoSuchBucket();
    }

    Response ListBuckets(const Request& request) {
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

    // Names that hold the delimiter after the prefix collapse into one entry of "prefixes" each (up to
    // and with the first delimiter); a page counts objects and prefixes alike.
    Response ListObjects(const Request& request) {
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
        if (!SlicePage(entries, pageSize, request.Query("pageToken"), scope, slice))
            return InvalidPageToken();
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

    Response InsertObject(const Request& request) {
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
        return Response::Json(
            PutObject(world, *bucket, name, request.body, contentType, NextGeneration(), FormatRfc3339(now)));
    }

    // The metadata, or with alt=media the bytes.
    Response GetObject(const Request& request) {
        if (request.Query("alt") == "media") return DownloadObject(request);
        World::Txn world = m_context->world.Lock();
        if (!world.Find(collections::kBuckets, request.Param("bucket"))) return NoSuchBucket();
        const mObject* object =
            world.Find(collections::kObjects, ObjectKey(request.Param("bucket"), request.Param("object")));
        if (!object || !GenerationMatches(request, *object)) return NoSuchObject(request);
        return Response::Json(*object);
    }

    Response DownloadObject(const Request& request) {
        World::Txn world = m_context->world.Lock();
        if (!world.Find(collections::kBuckets, request.Param("bucket"))) return NoSuchBucket();
        const std::string key = ObjectKey(request.Param("bucket"), request.Param("object"));
        const mObject* object = world.Find(collections::kObjects, key);
        if (!object || !GenerationMatches(request, *object)) return NoSuchObject(request);
        return Media(*object, *world.Find(collections::kObjectData, key));
    }

    Response PlainDownload(const Request& request) {
        World::Txn world = m_context->world.Lock();
        if (!world.Find(collections::kBuckets, request.Param("bucket")))
            return XmlError(404, "NoSuchBucket", "The specified bucket does not exist.");
        const std::string key = ObjectKey(request.Param("bucket"), request.Param("object"));
        const mObject* object = world.Find(collections::kObjects, key);
        if (!object) return XmlError(404, "NoSuchKey", "The specified key does not exist.");
        return Media(*object, *world.Find(collections::kObjectData, key));
    }

    static bool GenerationMatches(const Request& request, const mObject& object) {
        return !request.HasQuery("generation") ||
               request.Query("generation") == ZkJson::GetStringValue(object, "generation");
    }

    static Response NoSuchObject(const Request& request) {
        std::string name = request.Param("bucket") + "/" + request.Param("object");
        if (request.HasQuery("generation")) name += "#" + request.Query("generation");
        return StorageError(404, "notFound", "No such object: " + name);
    }

    static Response Media(const mObject& object, const mObject& data) {
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

    EmulatorContext* m_context = nullptr;
    uint64_t m_lastGeneration = 0;  // under the world's lock
};

}  // namespace

std::unique_ptr<ApiFamily> MakeStorageApi() {
    return std::make_unique<StorageApi>();
}

}  // namespace gcemu
