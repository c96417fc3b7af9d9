// Cloud KMS's family: its routes, and its key rings and keys seeded from the world.
#include "emulator/api/KmsApi.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/KmsCryptoKeyBody.h"
#include "emulator/KmsModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

namespace {

constexpr std::initializer_list<const char*> kVersionStates = {"ENABLED", "DISABLED", "DESTROYED",
                                                               "DESTROY_SCHEDULED", "PENDING_GENERATION"};

// The entry's time, or one derived from the name within some days after the start.
int64_t SeededTime(const SeedEntry& entry, int64_t start, int days, const std::string& name) {
    if (entry.Has("createTime")) {
        const int64_t given = ParseRfc3339(entry.Text("createTime"));
        if (given < 0) entry.Fail("'createTime' is not an RFC 3339 time");
        return given;
    }
    return std::max<int64_t>(start, 0) + 3600 +
           static_cast<int64_t>(std::stoull(StableId(name)) % (static_cast<uint64_t>(days) * 86400));
}

// A world key in the members of a CryptoKey body, read and checked as the API reads one.
mObject SeedSettings(const SeedEntry& entry, int64_t created) {
    mObject body;
    body["purpose"] = entry.Text("purpose", "ENCRYPT_DECRYPT");
    mObject versionTemplate;
    for (const char* member : {"algorithm", "protectionLevel"})
        if (entry.Has(member)) versionTemplate[member] = entry.Text(member);
    body["versionTemplate"] = versionTemplate;
    for (const char* member : {"rotationPeriod", "nextRotationTime"})
        if (entry.Has(member)) body[member] = entry.Text(member);
    if (entry.Has("labels")) body["labels"] = entry.TextMap("labels");
    mObject settings;
    GoogleError error;
    if (!ReadCryptoKey(body, settings, error)) entry.Fail(error.message);
    // A key that rotates turns next one period after it was made, unless the world says when.
    Duration period;
    if (settings.count("rotationPeriod") && !settings.count("nextRotationTime") &&
        ParseDuration(settings["rotationPeriod"].get_str(), period))
        settings["nextRotationTime"] = NormalTimestamp(FormatRfc3339(created + period.seconds));
    AddCryptoKeyDefaults(settings);
    if (!CheckCryptoKey(settings, true, error)) entry.Fail(error.message);
    return settings;
}

}  // namespace

void KmsApi::Register(Router& router, EmulatorContext& context) {
    m_context = &context;
    const auto route = [this, &router](const char* method, const std::string& tail,
                                       Response (KmsApi::*handler)(const Request&)) {
        router.Add(hosts::kKms, method, "/v1/projects/{project}/locations/{location}/" + tail,
                   [this, handler](const Request& request, Response& response) {
                       response = (this->*handler)(request);
                   });
    };
    route("POST", "keyRings/?", &KmsApi::CreateKeyRing);
    route("GET", "keyRings/{keyRing}", &KmsApi::GetKeyRing);
    route("POST", "keyRings/{keyRing}/cryptoKeys/?", &KmsApi::CreateCryptoKey);
    route("GET", "keyRings/{keyRing}/cryptoKeys/{cryptoKey}", &KmsApi::GetCryptoKey);
    route("PATCH", "keyRings/{keyRing}/cryptoKeys/{cryptoKey}", &KmsApi::PatchCryptoKey);
}

void KmsApi::Seed(World::Txn& world) {
    for (const auto& [projectId, seed] : SeedProjects(world)) {
        const int64_t projectCreated =
            ParseRfc3339(ZkJson::GetStringValue(*world.FindProject(projectId), "createTime"));
        for (const SeedEntry& ring : SeedSection(*seed, "keyRings", "project " + projectId)) {
            ring.Allow({"name", "location", "createTime", "cryptoKeys"});
            const std::string id = ring.RequiredText("name");
            const std::string location = ring.RequiredText("location");
            if (!IsKmsId(id)) ring.Fail("'" + id + "' is not a key ring id ([a-zA-Z0-9_-]{1,63})");
            if (!IsKmsLocation(location)) ring.Fail("'" + location + "' is not a Cloud KMS location");
            const std::string ringName =
                "projects/" + projectId + "/locations/" + location + "/keyRings/" + id;
            if (world.Find(collections::kKmsKeyRings, ringName))
                ring.Fail(ringName + " is in the world twice");
            const int64_t ringCreated = SeededTime(ring, projectCreated, 180, ringName);
            world.Put(collections::kKmsKeyRings, ringName,
                      mObject{{"name", ringName}, {"createTime", KmsTime(ringCreated, ringName)}});

            for (const SeedEntry& key : SeedSection(ring.object(), "cryptoKeys", ring.where())) {
                key.Allow({"name", "purpose", "protectionLevel", "algorithm", "rotationPeriod",
                           "nextRotationTime", "labels", "createTime", "primaryState"});
                const std::string keyId = key.RequiredText("name");
                if (!IsKmsId(keyId)) key.Fail("'" + keyId + "' is not a key id ([a-zA-Z0-9_-]{1,63})");
                const std::string keyName = ringName + "/cryptoKeys/" + keyId;
                if (world.Find(collections::kKmsCryptoKeys, keyName))
                    key.Fail(keyName + " is in the world twice");
                const int64_t created = SeededTime(key, ringCreated, 30, keyName);
                const std::string state = key.Text("primaryState", "ENABLED");
                if (std::find_if(kVersionStates.begin(), kVersionStates.end(), [&state](const char* known) {
                        return state == known;
                    }) == kVersionStates.end())
                    key.Fail("'" + state + "' is not a state of a key version");
                world.Put(
                    collections::kKmsCryptoKeys, keyName,
                    CryptoKeyResource(keyName, SeedSettings(key, created), KmsTime(created, keyName), state));
            }
        }
    }
}

std::string KmsApi::LocationName(const Request& request) {
    return "projects/" + request.Param("project") + "/locations/" + request.Param("location");
}

std::string KmsApi::KeyRingName(const Request& request) {
    return LocationName(request) + "/keyRings/" + request.Param("keyRing");
}

std::string KmsApi::CryptoKeyName(const Request& request) {
    return KeyRingName(request) + "/cryptoKeys/" + request.Param("cryptoKey");
}

bool KmsApi::ProjectVisible(World::Txn& world, const Request& request, const std::string& permission,
                            const std::string& resource, Response& refusal) {
    if (world.FindProject(request.Param("project"))) return true;
    refusal = KmsPermissionDenied(permission, resource).ToResponse();
    return false;
}

std::unique_ptr<ApiFamily> MakeKmsApi() {
    return std::make_unique<KmsApi>();
}

}  // namespace gcemu
