// What the Cloud Storage handlers share: their collections, Google's rules for names, locations and
// storage classes, the bucket and object resources with their digests and etags, Cloud Storage's errors
// (JSON, and XML on the plain path) and its page sizes.
#pragma once

#include <cstdint>
#include <string>

#include "emulator/ApiFamily.h"
#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// storage#bucket resources by bucket name.
inline constexpr char kBuckets[] = "storage.buckets";
// storage#object resources by "<bucket>/<object name>", so a prefix scan lists a bucket in name order.
inline constexpr char kObjects[] = "storage.objects";
// {"data": bytes} by the same key as the object.
inline constexpr char kObjectData[] = "storage.objectData";
// {"last": the latest generation given} under "generation".
inline constexpr char kStorageState[] = "storage.state";
}  // namespace collections

// Cloud Storage's JSON errors carry no "status" member.
Response StorageError(int code, const std::string& reason, const std::string& message);
Response NoSuchBucket();
// What the XML API answers on the plain /bucket/object path; details (escaped here) name what is missing.
Response XmlError(int code, const std::string& errorCode, const std::string& message,
                  const std::string& details = "");

// Google's naming rules: 3-63 characters (222 when dotted, 63 per dot-separated part) of lower-case
// letters, digits, '-', '_' and '.', a letter or digit at both ends, no IPv4 address, nothing that
// starts with "goog" or holds "google".
bool IsValidBucketName(const std::string& name);
// 1-1024 bytes of UTF-8 without line breaks, and not "." or "..".
bool IsValidObjectName(const std::string& name);
// The location as Google stores it (upper case) and its locationType; false when Google would refuse it.
bool ReadLocation(const std::string& given, std::string& location, std::string& locationType);
bool IsStorageClass(const std::string& text);

struct BucketFields {
    std::string name;
    std::string location = "US";
    std::string storageClass = "STANDARD";
    json_spirit::mObject labels;
    std::string timeCreated;
};

json_spirit::mObject BucketResource(const BucketFields& fields, const std::string& projectNumber,
                                    const std::string& location, const std::string& locationType);

std::string ObjectKey(const std::string& bucket, const std::string& name);

// Stores the object (replacing any of that name, as an upload does) with its bytes.
const json_spirit::mObject& PutObject(World::Txn& world, const json_spirit::mObject& bucket,
                                      const std::string& name, const std::string& content,
                                      const std::string& contentType, uint64_t generation,
                                      const std::string& timeCreated);

// Generations are creation times in microseconds, as on Google, and grow with every upload: the next one,
// and a seeded object's noted so that later uploads come after it even in a world dated ahead.
uint64_t NextGeneration(World::Txn& world);
void NoteGeneration(World::Txn& world, uint64_t generation);

// The Resource Manager project named by id or number; null when the world has none.
const json_spirit::mObject* FindProjectByIdOrNumber(World::Txn& world, const std::string& project);

// maxResults as Cloud Storage reads it (absent or 0: the largest page; more than that is cut down), then
// cut to the emulator's page size. False when it is not a number.
bool ReadPageSize(const EmulatorContext& context, const Request& request, size_t& pageSize);
Response InvalidPageSize(const Request& request);
Response InvalidPageToken();

}  // namespace gcemu
