// The Cloud KMS tests' world and fixture: one emulator for the suite on a world of key rings and keys in
// every state, reset before every test, and a signed-in HTTPS client.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "emulator/Emulator.h"
#include "host/ZkJson.h"
#include "tests/support/EmulatorHttpClient.h"
#include "tests/support/TempDir.h"

namespace kmstest {

using json_spirit::mObject;
using testsupport::HttpReply;

constexpr char kKms[] = "cloudkms.googleapis.com";
constexpr char kCompute[] = "compute.googleapis.com";
constexpr char kRing[] = "projects/kms-p1/locations/us-central1/keyRings/ring";
inline const std::string kRingPath = std::string("/v1/") + kRing;

constexpr char kWorld[] = R"({"projects": [
  {"projectId": "kms-p1", "createTime": "2024-01-02T03:04:05.000Z", "networks": [{"name": "default"}],
   "keyRings": [{"name": "ring", "location": "us-central1", "cryptoKeys": [
     {"name": "live"},
     {"name": "off", "primaryState": "DISABLED"},
     {"name": "gone", "primaryState": "DESTROYED"},
     {"name": "signer", "purpose": "ASYMMETRIC_SIGN", "algorithm": "EC_SIGN_P256_SHA256"},
     {"name": "rotating", "rotationPeriod": "2592000s", "createTime": "2024-02-01T00:00:00Z",
      "labels": {"team": "backup"}}]}],
   "disks": [{"name": "sealed", "zone": "us-central1-a",
              "kmsKeyName": "projects/kms-p1/locations/us-central1/keyRings/ring/cryptoKeys/off"}]}]})";

inline std::string Text(const mObject& object, const std::string& key) {
    return ZkJson::GetStringValue(object, key);
}

inline std::set<std::string> Members(const mObject& object) {
    std::set<std::string> names;
    for (const auto& member : object) names.insert(member.first);
    return names;
}

inline mObject Fixture(const std::string& name) {
    std::ifstream file(std::string(GCSDK_FIXTURES_DIR) + "/kms/" + name);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << name;
    return object;
}

inline void ExpectKmsError(const HttpReply& reply, int status, const std::string& statusName,
                           const std::string& message) {
    EXPECT_EQ(status, reply.status) << reply.body;
    EXPECT_EQ(message, reply.ErrorMessage()) << reply.body;
    const mObject* error = ZkJson::FindObject(reply.json, "error");
    ASSERT_TRUE(error) << reply.body;
    EXPECT_EQ(statusName, Text(*error, "status"));
    EXPECT_EQ(status, error->at("code").get_int());
}

class KmsModelTest : public ::testing::Test {
protected:
    struct Served {
        testsupport::TempDir dir;
        gcemu::Emulator emulator{Options(dir)};
        std::unique_ptr<testsupport::EmulatorHttpClient> client;

        static gcemu::Emulator::Options Options(const testsupport::TempDir& dir) {
            gcemu::Emulator::Options options;
            options.worldFile = dir.Write("kms.json", kWorld);
            return options;
        }
    };

    static void SetUpTestSuite() {
        s_served = std::make_unique<Served>();
        s_served->emulator.Start();
        s_served->client = std::make_unique<testsupport::EmulatorHttpClient>(
            s_served->emulator, "agent@kms-p1.iam.gserviceaccount.com");
    }
    static void TearDownTestSuite() { s_served.reset(); }
    void SetUp() override { emulator().ResetWorld(); }

    static gcemu::Emulator& emulator() { return s_served->emulator; }
    static testsupport::EmulatorHttpClient& client() { return *s_served->client; }
    static mObject Key(const std::string& id) {
        return client().Get(kKms, kRingPath + "/cryptoKeys/" + id).json;
    }

    inline static std::unique_ptr<Served> s_served;
};

}  // namespace kmstest
