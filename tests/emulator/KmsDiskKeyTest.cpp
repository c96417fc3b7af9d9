// Cloud KMS keys as Compute Engine and the world see them: a new disk refused when its key cannot
// encrypt, the built-in world's keys, and world entries checked at load.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "emulator/ComputeModel.h"
#include "emulator/ComputeOperations.h"
#include "emulator/Emulator.h"
#include "emulator/KmsModel.h"
#include "host/ZkJson.h"
#include "tests/emulator/KmsFixture.h"
#include "tests/support/TempDir.h"

namespace {

using json_spirit::mObject;
using kmstest::kCompute;
using kmstest::KmsModelTest;
using kmstest::kRing;
using kmstest::Text;
using testsupport::HttpReply;

// Compute Engine asks Cloud KMS before it makes a disk with a key of it: the key must exist with its
// primary version enabled. A customer-supplied key needs no KMS.
TEST_F(KmsModelTest, ComputeRefusesADiskWhoseKeyCannotEncrypt) {
    emulator().operations().SetPollsUntilDone(0);
    const std::string ring = kRing;
    const std::string disks = "/compute/v1/projects/kms-p1/zones/us-central1-a/disks";
    struct Case {
        std::string key;       // diskEncryptionKey members
        std::string reported;  // the disk's diskEncryptionKey, "sha256" for its member alone, empty: refused
        std::string problem;   // the 400's message
    };
    const std::string denied = "Permission 'cloudkms.cryptoKeyVersions.useToEncrypt' denied on resource '";
    const Case cases[] = {
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/live")",
         R"({"kmsKeyName":")" + ring + R"(/cryptoKeys/live/cryptoKeyVersions/1"})", ""},
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/live/cryptoKeyVersions/1")",
         R"({"kmsKeyName":")" + ring + R"(/cryptoKeys/live/cryptoKeyVersions/1"})", ""},
        {R"("rawKey": "SGVsbG8gZnJvbSBHb29nbGUgQ2xvdWQgUGxhdGZvcm0=")", "sha256", ""},
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/nope")", "",
         "Cloud KMS error when using key " + ring + "/cryptoKeys/nope: " + denied + ring +
             "/cryptoKeys/nope' (or it may not exist)."},
        {R"("kmsKeyName": "projects/kms-p1/locations/us-central1/keyRings/nope/cryptoKeys/live")", "",
         "Cloud KMS error when using key "
         "projects/kms-p1/locations/us-central1/keyRings/nope/cryptoKeys/live: " +
             denied +
             "projects/kms-p1/locations/us-central1/keyRings/nope/cryptoKeys/live' (or it may not exist)."},
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/live/cryptoKeyVersions/7")", "",
         "Cloud KMS error when using key " + ring + "/cryptoKeys/live: " + denied + ring +
             "/cryptoKeys/live/cryptoKeyVersions/7' (or it may not exist)."},
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/off")", "",
         "Cloud KMS error when using key " + ring + "/cryptoKeys/off/cryptoKeyVersions/1: " + ring +
             "/cryptoKeys/off/cryptoKeyVersions/1 is not enabled, current state is: DISABLED."},
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/gone")", "",
         "Cloud KMS error when using key " + ring + "/cryptoKeys/gone/cryptoKeyVersions/1: " + ring +
             "/cryptoKeys/gone/cryptoKeyVersions/1 is not enabled, current state is: DESTROYED."},
        {R"("kmsKeyName": ")" + ring + R"(/cryptoKeys/signer")", "",
         "Cloud KMS error when using key " + ring +
             "/cryptoKeys/signer: the key's purpose is ASYMMETRIC_SIGN, not ENCRYPT_DECRYPT."},
    };
    int made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string name = "disk-" + std::to_string(++made);
        const HttpReply reply = client().Post(
            kCompute, disks,
            R"({"name": ")" + name + R"(", "sizeGb": "10", "diskEncryptionKey": {)" + c.key + "}}");
        if (c.reported.empty()) {
            EXPECT_EQ(400, reply.status) << reply.body;
            EXPECT_EQ(c.problem, reply.ErrorMessage());
            EXPECT_EQ(404, client().Get(kCompute, disks + "/" + name).status) << "no disk for a refused key";
            continue;
        }
        ASSERT_EQ(200, reply.status) << reply.body;
        const HttpReply disk = client().Get(kCompute, disks + "/" + name);
        const mObject& key = disk.json.at("diskEncryptionKey").get_obj();
        EXPECT_EQ(c.reported, c.reported == "sha256" ? key.begin()->first : ZkJson::Serialize(key));
    }

    // An instance's new boot disk is checked the same way; a world disk keeps a key disabled since.
    const HttpReply vm =
        client().Post(kCompute, "/compute/v1/projects/kms-p1/zones/us-central1-a/instances",
                      R"({"name": "vm", "machineType": "zones/us-central1-a/machineTypes/e2-standard-2",
            "disks": [{"boot": true, "diskEncryptionKey": {"kmsKeyName": ")" +
                          ring + R"(/cryptoKeys/off"},
                       "initializeParams": {"sourceImage": "projects/debian-cloud/global/images/family/debian-12"}}],
            "networkInterfaces": [{"network": "global/networks/default"}]})");
    EXPECT_EQ(400, vm.status) << vm.body;
    EXPECT_NE(std::string::npos, vm.ErrorMessage().find("is not enabled, current state is: DISABLED."));
    const HttpReply sealed = client().Get(kCompute, disks + "/sealed");
    EXPECT_EQ(ring + "/cryptoKeys/off/cryptoKeyVersions/1",
              Text(sealed.json.at("diskEncryptionKey").get_obj(), "kmsKeyName"));
}

TEST(KmsWorldTest, TheDefaultWorldProtectsVaultDataWithItsSoftwareKey) {
    gcemu::Emulator emulator;
    gcemu::World::Txn world = emulator.world().Lock();
    const std::string ring = "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring";
    ASSERT_TRUE(world.Find(gcemu::collections::kKmsKeyRings, ring));
    const mObject* disk = world.Find(gcemu::collections::kKmsCryptoKeys, ring + "/cryptoKeys/disk-key");
    const mObject* hsm = world.Find(gcemu::collections::kKmsCryptoKeys, ring + "/cryptoKeys/hsm-key");
    ASSERT_TRUE(disk && hsm);
    EXPECT_EQ("ENCRYPT_DECRYPT", Text(*disk, "purpose"));
    EXPECT_EQ("7776000s", Text(*disk, "rotationPeriod"));
    EXPECT_FALSE(Text(*disk, "nextRotationTime").empty());
    EXPECT_EQ("SOFTWARE", Text(disk->at("primary").get_obj(), "protectionLevel"));
    EXPECT_EQ("HSM", Text(hsm->at("primary").get_obj(), "protectionLevel"));
    EXPECT_EQ("ENABLED", Text(hsm->at("primary").get_obj(), "state"));
    const mObject* vault = world.Find(gcemu::collections::kDisks,
                                      "projects/gcemu-project-1/zones/us-central1-b/disks/vault-data");
    ASSERT_TRUE(vault);
    EXPECT_EQ(Text(disk->at("primary").get_obj(), "name"),
              Text(vault->at("diskEncryptionKey").get_obj(), "kmsKeyName"));
}

TEST(KmsWorldTest, KeyEntriesAreCheckedAtLoad) {
    const auto world = [](const std::string& ring, const std::string& disks = "[]") {
        return R"({"projects": [{"projectId": "p", "disks": )" + disks + R"(, "keyRings": [)" + ring + "]}]}";
    };
    const std::string where = "world: project p: keyRings[0] (r)";
    const std::pair<std::string, std::string> cases[] = {
        {world(R"({"name": "r", "location": "global", "cryptoKeys": [], "lables": {}})"),
         where + ": unknown member 'lables'"},
        {world(R"({"name": "r", "location": "global", "cryptoKeys": [{"name": "k", "rotation": "1d"}]})"),
         where + ": cryptoKeys[0] (k): unknown member 'rotation'"},
        {world(R"({"name": "r.1", "location": "global"})"),
         "world: project p: keyRings[0] (r.1): 'r.1' is not a key ring id ([a-zA-Z0-9_-]{1,63})"},
        {world(R"({"name": "r", "location": "us-central1-a"})"),
         where + ": 'us-central1-a' is not a Cloud KMS location"},
        {world(
             R"({"name": "r", "location": "global", "cryptoKeys": [{"name": "k", "rotationPeriod": "3600s"}]})"),
         where + ": cryptoKeys[0] (k): CryptoKey.rotation_period must be at least 24 hours (86400s)."},
        {world(R"({"name": "r", "location": "global", "cryptoKeys": [{"name": "k", "primaryState": "ON"}]})"),
         where + ": cryptoKeys[0] (k): 'ON' is not a state of a key version"},
        {world(R"({"name": "r", "location": "global", "cryptoKeys": [{"name": "k"}, {"name": "k"}]})"),
         where + ": cryptoKeys[1] (k): projects/p/locations/global/keyRings/r/cryptoKeys/k is in the world "
                 "twice"},
        {world(R"({"name": "r", "location": "global", "cryptoKeys": [{"name": "k"}]})",
               R"([{"name": "d", "zone": "us-central1-a",
                    "kmsKeyName": "projects/p/locations/global/keyRings/r/cryptoKeys/other"}])"),
         "world: project p: disks[0] (d): kmsKeyName projects/p/locations/global/keyRings/r/cryptoKeys/other "
         "is "
         "not a key of the world's keyRings"},
    };
    const testsupport::TempDir dir;
    gcemu::Emulator::Options options;
    options.stateDir = dir.File("state");
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        options.worldFile = dir.Write("keys.json", text);
        try {
            gcemu::Emulator emulator(options);
            ADD_FAILURE() << "the world loaded";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(message, error.what());
        }
    }
}

}  // namespace
