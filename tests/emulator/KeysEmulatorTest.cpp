// Encryption keys and disk labels through the facade against gcemu's Cloud KMS and Compute Engine: keys
// read and checked, rings and keys made and rotated, the keys of a VM's disks looked up once each (and a
// raw disk key never sent or logged), labels read and replaced under their fingerprint.
#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "tests/support/EmulatorFixture.h"
#include "tests/support/FakeClock.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SecretLogWatch.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kProject[] = "gcemu-project-1";
const char kKms[] = "cloudkms.googleapis.com";
const std::string kRing = "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring";
const std::string kDiskKey = kRing + "/cryptoKeys/disk-key";
const std::string kHsmKey = kRing + "/cryptoKeys/hsm-key";

class KeysEmulatorTest : public testsupport::EmulatorTest {
protected:
    std::string LastBody(const std::string& method, const std::string& pathPart) {
        std::string body;
        for (const auto& entry : Emulator().journal().Snapshot())
            if (entry.method == method && entry.host == kKms &&
                entry.path.find(pathPart) != std::string::npos)
                body = entry.body;
        return body;
    }
};

TEST_F(KeysEmulatorTest, KeysAreReadAndCheckedForSupport) {
    auto wrapper = Connected();
    SKeyInfoLib key;
    ASSERT_TRUE(wrapper->GetKeyInfoAsKey(kDiskKey, key)) << wrapper->GetLastError();
    EXPECT_EQ(key.name, kDiskKey);
    EXPECT_EQ(key.purpose, "ENCRYPT_DECRYPT");
    EXPECT_EQ(key.protectionLevel, "SOFTWARE");
    EXPECT_EQ(key.state, "ENABLED");
    std::string json, state, level;
    ASSERT_TRUE(wrapper->GetKeyInfoAsJson(kHsmKey, json));
    ASSERT_TRUE(wrapper->GetKeyStateAndLevel(json, state, level));
    EXPECT_EQ(state + "/" + level, "ENABLED/HSM");
    EXPECT_TRUE(wrapper->CheckKeyRingExists(kRing));
    EXPECT_FALSE(wrapper->CheckKeyRingExists(kRing + "-missing"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "404");

    const struct {
        const char* type;
        std::string path;
        bool supported;
        const char* detail;
    } cases[] = {
        {"kmsKeyName", kDiskKey, true, "kmsKeyName"},
        {"kmsKeyName", kHsmKey, false, "HSM"},
        {"rawKey", "c2VjcmV0", false, "rawKey"},
        {"sha256", "abc", false, "sha256"},
    };
    for (const auto& c : cases) {
        const size_t before = Requests("GET", kKms);
        std::string detail;
        EXPECT_EQ(wrapper->IsKeyTypeSupported(c.type, c.path, detail), c.supported)
            << c.type << " " << c.path;
        EXPECT_EQ(detail, c.detail) << c.path;
        EXPECT_EQ(Requests("GET", kKms) - before, std::string(c.type) == "kmsKeyName" ? 1u : 0u) << c.type;
    }
    EXPECT_TRUE(wrapper->IsKeyLevelSupported("SOFTWARE"));
    EXPECT_FALSE(wrapper->IsKeyLevelSupported("software"));
}

TEST_F(KeysEmulatorTest, RingsAndKeysAreMadeAndRotated) {
    testsupport::ScopedFakeClock now(1767323045);  // 2026-01-02T03:04:05Z
    auto wrapper = Connected();
    ASSERT_TRUE(wrapper->CreateKeyRing(kProject, "europe-west4", "restore-ring")) << wrapper->GetLastError();
    EXPECT_EQ(LastBody("POST", "keyRings"), "") << "the id goes in the query only";
    EXPECT_FALSE(wrapper->CreateKeyRing(kProject, "europe-west4", "restore-ring"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "409");

    ASSERT_TRUE(wrapper->CreateDummyKey(kProject, "europe-west4", "restore-ring", "placeholder"));
    EXPECT_EQ(LastBody("POST", "cryptoKeys"), R"({"purpose":"ENCRYPT_DECRYPT"})");

    SKeyInfoLib rotating;
    rotating.purpose = "ENCRYPT_DECRYPT";
    rotating.rotationPeriod = "7776000s";
    rotating.algorithm = "GOOGLE_SYMMETRIC_ENCRYPTION";
    rotating.protectionLevel = "SOFTWARE";
    ASSERT_TRUE(wrapper->CreateKey(kProject, "europe-west4", "restore-ring", "disks", rotating))
        << wrapper->GetLastError();
    const std::string path =
        "projects/gcemu-project-1/locations/europe-west4/keyRings/restore-ring/cryptoKeys/disks";
    SKeyInfoLib made;
    ASSERT_TRUE(wrapper->GetKeyInfoAsKey(path, made));
    EXPECT_EQ(made.rotationPeriod, "7776000s");
    EXPECT_EQ(made.nextRotationTime.substr(0, 19), "2026-04-02T03:04:05");

    // Only the rotation changes; a next rotation time gone by becomes one new period from now.
    ASSERT_TRUE(wrapper->UpdateKey("kmsKeyName:" + path,
                                   R"({"rotationPeriod":"172800s","nextRotationTime":"2020-01-01T00:00:00Z",)"
                                   R"("purpose":"MAC"})"))
        << wrapper->GetLastError();
    EXPECT_EQ(LastBody("PATCH", "cryptoKeys/disks"),
              R"({"nextRotationTime":"2026-01-04T03:04:05Z","rotationPeriod":"172800s"})");
    ASSERT_TRUE(wrapper->GetKeyInfoAsKey(path, made));
    EXPECT_EQ(made.rotationPeriod, "172800s");
    EXPECT_EQ(made.purpose, "ENCRYPT_DECRYPT");

    const size_t patches = Requests("PATCH", kKms);
    EXPECT_FALSE(wrapper->UpdateKey(path, R"({"rotationPeriod":"172800s"})")) << "a key text needs its type";
    EXPECT_FALSE(wrapper->UpdateKey("kmsKeyName:" + path + "-missing", R"({"rotationPeriod":"172800s"})"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "404") << "the refusal is recorded";
    EXPECT_EQ(Requests("PATCH", kKms), patches + 1);
}

TEST_F(KeysEmulatorTest, TheKeysOfDisksAreLookedUpOnceEachAndRawKeysNever) {
    auto wrapper = Connected();
    SDiskInfoLib vault;
    ASSERT_TRUE(wrapper->GetDiskInfo(kProject, "vault-data", "us-central1-b", "", false, vault, 0));
    std::string keyText;
    ASSERT_TRUE(wrapper->CheckAndGetEncryptionKeyName(vault.rawJson, keyText));
    EXPECT_EQ(keyText, "kmsKeyName:" + kDiskKey);

    SDiskInfoLib plain, raw, hashed, again = vault;
    plain.name = "plain";
    raw.name = "raw";
    raw.isEncrypted = true;
    raw.encryptionKey = "rawKey:c2VjcmV0LWRpc2sta2V5LTMy";
    testsupport::WatchSecret("c2VjcmV0LWRpc2sta2V5LTMy");
    hashed.name = "hashed";
    hashed.isEncrypted = true;
    hashed.encryptionKey = "sha256:abc";
    again.name = "vault-copy";
    testsupport::LogCapture capture;
    std::string json;
    ASSERT_TRUE(wrapper->GetDiskEncryptionInfoJson({vault, plain, raw, again, hashed}, json));
    EXPECT_EQ(Requests("GET", kKms), 1u) << "one request for the key two disks share, none for the others";
    std::unordered_map<std::string, std::string> keys;
    ASSERT_TRUE(wrapper->GetKeyMapFromDisksEncryptionInfoJson(json, keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_NE(keys["kmsKeyName:" + kDiskKey].find("\"protectionLevel\""), std::string::npos);
    for (const auto& line : capture.Lines())
        EXPECT_EQ(line.message.find("c2VjcmV0"), std::string::npos) << line.message;
    EXPECT_TRUE(capture.Mentions("Disk [raw] has a key of type [rawKey], not a Cloud KMS key; skipped"));

    std::string untouched = "untouched";
    EXPECT_TRUE(wrapper->GetDiskEncryptionInfoJson({plain}, untouched));
    EXPECT_EQ(untouched, "untouched");
    EXPECT_EQ(Requests("GET", kKms), 1u);
}

TEST_F(KeysEmulatorTest, LabelsAreReadAndReplacedUnderTheirFingerprint) {
    auto wrapper = Connected();
    const struct {
        const char* disk;
        const char* zone;
        const char* region;
        bool regional;
        const char* link;
    } cases[] = {
        {"web-data-1", "us-central1-a", "", false, "/zones/us-central1-a/disks/web-data-1/setLabels"},
        {"db-ha-data", "", "us-central1", true, "/regions/us-central1/disks/db-ha-data/setLabels"},
    };
    for (const auto& c : cases) {
        SDiskInfoLib disk;
        ASSERT_TRUE(wrapper->GetDiskInfo(kProject, c.disk, c.zone, c.region, c.regional, disk, 0)) << c.disk;
        std::unordered_map<std::string, std::string> fromJson{{"kept", "yes"}};
        ASSERT_TRUE(wrapper->GetDiskLabels(disk.rawJson, fromJson));
        EXPECT_EQ(fromJson.size(), disk.labels.size() + 1) << "entries of other keys stay";

        std::vector<SKeyValueInfoLib> labels = {{"restored-from", "snap-1"}, {"backup", "weekly"}};
        ASSERT_TRUE(wrapper->SetDiskLabels(kProject, disk, c.zone, c.region, c.regional, labels))
            << c.disk << ": " << wrapper->GetLastError();
        EXPECT_EQ(Requests("POST", "compute.googleapis.com",
                           std::string("/compute/v1/projects/") + kProject + c.link),
                  1u)
            << c.link;
        std::vector<SKeyValueInfoLib> read;
        ASSERT_TRUE(wrapper->GetDiskLabels(kProject, c.disk, c.zone, c.region, c.regional, read));
        ASSERT_EQ(read.size(), 2u);
        EXPECT_EQ(read[0].key + "=" + read[0].value + "," + read[1].key + "=" + read[1].value,
                  "backup=weekly,restored-from=snap-1");

        // The record read before the change carries the old fingerprint: Compute Engine refuses it.
        EXPECT_FALSE(wrapper->SetDiskLabels(kProject, disk, c.zone, c.region, c.regional, {}));
        EXPECT_EQ(wrapper->GetLastErrorCode(), "412") << c.disk;
    }
}

}  // namespace
