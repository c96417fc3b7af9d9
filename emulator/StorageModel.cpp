#include "emulator/StorageModel.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "emulator/Encoding.h"
#include "emulator/GoogleErrors.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

namespace {

constexpr char kApiBase[] = "https://www.googleapis.com/storage/v1/b/";
constexpr char kDownloadBase[] = "https://storage.googleapis.com/download/storage/v1/b/";
constexpr int kLargestPage = 1000;
constexpr int64_t kSoftDeleteSecs = 7 * 24 * 3600;

bool IsLowerAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
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

// Element text: object names may hold '&' and '<'.
std::string XmlText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '&'   ? std::string("&amp;")
                   : c == '<' ? std::string("&lt;")
                   : c == '>' ? std::string("&gt;")
                              : std::string(1, c);
    }
    return escaped;
}

}  // namespace

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

Response XmlError(int code, const std::string& errorCode, const std::string& message,
                  const std::string& details) {
    Response response;
    response.status = code;
    response.contentType = "application/xml; charset=UTF-8";
    response.body = "<?xml version='1.0' encoding='UTF-8'?><Error><Code>" + errorCode + "</Code><Message>" +
                    message + "</Message>" +
                    (details.empty() ? "" : "<Details>" + XmlText(details) + "</Details>") + "</Error>";
    return response;
}

// --- checks -----------------------------------------------------------------------------------------

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

bool IsValidObjectName(const std::string& name) {
    return !name.empty() && name.size() <= 1024 && name != "." && name != ".." &&
           name.find_first_of("\r\n") == std::string::npos && IsValidUtf8(name);
}

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

// --- resources --------------------------------------------------------------------------------------

mObject BucketResource(const BucketFields& fields, const std::string& projectNumber,
                       const std::string& location, const std::string& locationType) {
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

namespace {
constexpr char kGenerationKey[] = "generation";

uint64_t LastGeneration(World::Txn& world) {
    const mObject* state = world.Find(collections::kStorageState, kGenerationKey);
    return state ? static_cast<uint64_t>(state->at("last").get_int64()) : 0;
}
}  // namespace

uint64_t NextGeneration(World::Txn& world) {
    const uint64_t now = static_cast<uint64_t>(std::max<int64_t>(host::Now(), 0)) * 1000000;
    const uint64_t next = std::max(now, LastGeneration(world) + 1);
    world.Put(collections::kStorageState, kGenerationKey, mObject{{"last", static_cast<int64_t>(next)}});
    return next;
}

void NoteGeneration(World::Txn& world, uint64_t generation) {
    if (generation > LastGeneration(world))
        world.Put(collections::kStorageState, kGenerationKey,
                  mObject{{"last", static_cast<int64_t>(generation)}});
}

const mObject* FindProjectByIdOrNumber(World::Txn& world, const std::string& project) {
    if (const mObject* byId = world.FindProject(project)) return byId;
    for (const auto& [id, resource] : world.List(collections::kProjects)) {
        if (ZkJson::GetStringValue(*resource, "projectNumber") == project) return resource;
    }
    return nullptr;
}

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

}  // namespace gcemu
