// gcemu's Cloud KMS over real TLS: key rings and keys shaped as Google's, the rules Google applies to
// ids, bodies, rotation and update masks with its errors, and faults and the journal on KMS requests.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "emulator/KmsModel.h"
#include "host/ZkJson.h"
#include "tests/emulator/KmsFixture.h"

namespace {

using json_spirit::mObject;
using kmstest::ExpectKmsError;
using kmstest::Fixture;
using kmstest::kKms;
using kmstest::KmsModelTest;
using kmstest::kRing;
using kmstest::kRingPath;
using kmstest::Members;
using kmstest::Text;
using testsupport::HttpReply;

TEST_F(KmsModelTest, RingsAndKeysAreMadeAndReadAsGoogleShapesThem) {
    const std::string location = "/v1/projects/kms-p1/locations/us-central1/keyRings";
    const HttpReply ring = client().Post(kKms, location + "?keyRingId=new_Ring-1", "");
    ASSERT_EQ(200, ring.status) << ring.body;
    EXPECT_EQ(Members(Fixture("keyring-get.json")), Members(ring.json));
    EXPECT_EQ("projects/kms-p1/locations/us-central1/keyRings/new_Ring-1", Text(ring.json, "name"));
    EXPECT_EQ(ring.json, client().Get(kKms, "/v1/" + Text(ring.json, "name")).json);
    ExpectKmsError(client().Post(kKms, location + "?keyRingId=new_Ring-1", "{}"), 409, "ALREADY_EXISTS",
                   "KeyRing projects/kms-p1/locations/us-central1/keyRings/new_Ring-1 already exists.");

    struct Case {
        std::string query;
        std::string body;
        std::string protection, algorithm, primaryState;  // primaryState "": no primary
        std::string rotationPeriod, nextRotationTime;
    };
    const Case cases[] = {
        {"cryptoKeyId=full",
         R"({"purpose":"ENCRYPT_DECRYPT","rotationPeriod":"7776000s","nextRotationTime":"2027-03-09T12:00:00Z",
             "versionTemplate":{"algorithm":"GOOGLE_SYMMETRIC_ENCRYPTION","protectionLevel":"SOFTWARE"}})",
         "SOFTWARE", "GOOGLE_SYMMETRIC_ENCRYPTION", "ENABLED", "7776000s", "2027-03-09T12:00:00Z"},
        {"cryptoKeyId=placeholder", R"({"purpose":"ENCRYPT_DECRYPT"})", "SOFTWARE",
         "GOOGLE_SYMMETRIC_ENCRYPTION", "ENABLED", "", ""},
        {"cryptoKeyId=hsm", R"({"purpose":"ENCRYPT_DECRYPT","versionTemplate":{"protectionLevel":"HSM"}})",
         "HSM", "GOOGLE_SYMMETRIC_ENCRYPTION", "ENABLED", "", ""},
        {"cryptoKeyId=ekm", R"({"purpose":"ENCRYPT_DECRYPT","versionTemplate":{"protectionLevel":"EXTERNAL",
             "algorithm":"EXTERNAL_SYMMETRIC_ENCRYPTION"}})",
         "EXTERNAL", "EXTERNAL_SYMMETRIC_ENCRYPTION", "ENABLED", "", ""},
        // Proto names are read too; times come back in UTC.
        {"cryptoKeyId=snake", R"({"purpose":"ENCRYPT_DECRYPT","rotation_period":"86400.500s",
             "next_rotation_time":"2027-01-01T01:00:00.25+01:00","labels":{"env":"prod"}})",
         "SOFTWARE", "GOOGLE_SYMMETRIC_ENCRYPTION", "ENABLED", "86400.500s", "2027-01-01T00:00:00.250Z"},
        {"cryptoKeyId=signer2",
         R"({"purpose":"ASYMMETRIC_SIGN","versionTemplate":{"algorithm":"EC_SIGN_P256_SHA256"}})", "SOFTWARE",
         "EC_SIGN_P256_SHA256", "", "", ""},
        {"cryptoKeyId=empty&skipInitialVersionCreation=true", R"({"purpose":"ENCRYPT_DECRYPT"})", "SOFTWARE",
         "GOOGLE_SYMMETRIC_ENCRYPTION", "", "", ""},
    };
    const std::string ringName = Text(ring.json, "name");
    const mObject fixture = Fixture("cryptokey-with-primary.json");
    std::set<std::string> googleMembers =
        Members(Fixture("cryptokeys-list.json").at("cryptoKeys").get_array().at(0).get_obj());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const HttpReply made = client().Post(kKms, "/v1/" + ringName + "/cryptoKeys?" + c.query, c.body);
        ASSERT_EQ(200, made.status) << made.body;
        const mObject& key = made.json;
        const std::string name = ringName + "/cryptoKeys/" + c.query.substr(12, c.query.find('&') - 12);
        EXPECT_EQ(name, Text(key, "name"));
        const mObject& versionTemplate = key.at("versionTemplate").get_obj();
        EXPECT_EQ(c.protection, Text(versionTemplate, "protectionLevel"));
        EXPECT_EQ(c.algorithm, Text(versionTemplate, "algorithm"));
        EXPECT_EQ(c.rotationPeriod, Text(key, "rotationPeriod"));
        EXPECT_EQ(c.nextRotationTime, Text(key, "nextRotationTime"));
        for (const std::string& member : Members(key))
            EXPECT_TRUE(googleMembers.count(member)) << member << " is not a member Google answers";
        if (c.primaryState.empty()) {
            EXPECT_FALSE(key.count("primary"));
        } else {
            const mObject& primary = key.at("primary").get_obj();
            EXPECT_EQ(Members(fixture.at("primary").get_obj()), Members(primary));
            EXPECT_EQ(name + "/cryptoKeyVersions/1", Text(primary, "name"));
            EXPECT_EQ(c.primaryState, Text(primary, "state"));
            EXPECT_EQ(c.protection, Text(primary, "protectionLevel"));
            EXPECT_EQ(c.algorithm, Text(primary, "algorithm"));
            EXPECT_EQ(Text(key, "createTime"), Text(primary, "createTime"));
        }
        EXPECT_EQ(key, client().Get(kKms, "/v1/" + name).json);
    }
    ExpectKmsError(
        client().Post(kKms, "/v1/" + ringName + "/cryptoKeys?cryptoKeyId=full", "{\"purpose\":\"MAC\"}"), 409,
        "ALREADY_EXISTS", "CryptoKey " + ringName + "/cryptoKeys/full already exists.");

    emulator().ResetWorld();
    EXPECT_EQ(404, client().Get(kKms, "/v1/" + ringName).status) << "made through the API, gone at a reset";
}

TEST_F(KmsModelTest, RequestsGoogleRefuseMakeNothing) {
    const std::string location = "/v1/projects/kms-p1/locations/us-central1/keyRings";
    const std::string keys = kRingPath + "/cryptoKeys?cryptoKeyId=";
    const std::string withNext = R"(,"nextRotationTime":"2027-01-01T00:00:00Z"})";
    struct Case {
        std::string method, path, body;
        int status;
        std::string statusName, message;
    };
    const Case cases[] = {
        {"POST", location + "?keyRingId=bad%20id", "", 400, "INVALID_ARGUMENT",
         "Invalid key_ring_id 'bad id': it must match [a-zA-Z0-9_-]{1,63}."},
        {"POST", location + "?keyRingId=" + std::string(64, 'r'), "", 400, "INVALID_ARGUMENT",
         "Invalid key_ring_id '" + std::string(64, 'r') + "': it must match [a-zA-Z0-9_-]{1,63}."},
        {"POST", location, "", 400, "INVALID_ARGUMENT",
         "The request is missing the required field key_ring_id."},
        {"POST", location + "?keyRingId=r", R"({"labels": {}})", 400, "INVALID_ARGUMENT",
         "Invalid JSON payload received. Unknown name \"labels\" at 'key_ring': Cannot find field."},
        {"POST", "/v1/projects/kms-p1/locations/us-central1-a/keyRings?keyRingId=r", "", 400,
         "INVALID_ARGUMENT", "Location 'us-central1-a' is not a Cloud KMS location."},
        {"POST", "/v1/projects/nope/locations/global/keyRings?keyRingId=r", "", 403, "PERMISSION_DENIED",
         "Permission 'cloudkms.keyRings.create' denied on resource 'projects/nope/locations/global' (or it "
         "may "
         "not exist)."},
        {"GET", location + "/missing", "", 404, "NOT_FOUND",
         "KeyRing projects/kms-p1/locations/us-central1/keyRings/missing not found."},
        {"GET", location + "/missing/cryptoKeys/k", "", 404, "NOT_FOUND",
         "CryptoKey projects/kms-p1/locations/us-central1/keyRings/missing/cryptoKeys/k not found."},
        {"GET", kRingPath + "/cryptoKeys/missing", "", 404, "NOT_FOUND",
         "CryptoKey " + std::string(kRing) + "/cryptoKeys/missing not found."},
        {"POST", location + "/missing/cryptoKeys?cryptoKeyId=k", R"({"purpose":"ENCRYPT_DECRYPT"})", 404,
         "NOT_FOUND", "KeyRing projects/kms-p1/locations/us-central1/keyRings/missing not found."},
        {"POST", keys + "live", R"({"purpose":"ENCRYPT_DECRYPT"})", 409, "ALREADY_EXISTS",
         "CryptoKey " + std::string(kRing) + "/cryptoKeys/live already exists."},
        {"POST", keys + "k.1", R"({"purpose":"ENCRYPT_DECRYPT"})", 400, "INVALID_ARGUMENT",
         "Invalid crypto_key_id 'k.1': it must match [a-zA-Z0-9_-]{1,63}."},
        {"POST", keys + "k", "", 400, "INVALID_ARGUMENT", "CryptoKey.purpose must be specified."},
        {"POST", keys + "k", "not json", 400, "INVALID_ARGUMENT",
         "Invalid JSON payload received. Unexpected token."},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86399s")" + withNext, 400,
         "INVALID_ARGUMENT", "CryptoKey.rotation_period must be at least 24 hours (86400s)."},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","rotationPeriod":"3153600001s")" + withNext, 400,
         "INVALID_ARGUMENT", "CryptoKey.rotation_period must be at most 876000 hours (3153600000s)."},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","rotationPeriod":"7776000s"})", 400,
         "INVALID_ARGUMENT", "CryptoKey.next_rotation_time must be set when rotation_period is set."},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","rotationPeriod":"90d")" + withNext, 400,
         "INVALID_ARGUMENT",
         "Invalid value at 'crypto_key.rotation_period' (type.googleapis.com/google.protobuf.Duration), "
         "\"90d\""},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","nextRotationTime":"tomorrow"})", 400,
         "INVALID_ARGUMENT",
         "Invalid value at 'crypto_key.next_rotation_time' (type.googleapis.com/google.protobuf.Timestamp), "
         "\"tomorrow\""},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","rotation":"x"})", 400, "INVALID_ARGUMENT",
         "Invalid JSON payload received. Unknown name \"rotation\" at 'crypto_key': Cannot find field."},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","versionTemplate":{"protection":"HSM"}})", 400,
         "INVALID_ARGUMENT",
         "Invalid JSON payload received. Unknown name \"protection\" at 'crypto_key.version_template': "
         "Cannot "
         "find field."},
        {"POST", keys + "k", R"({"purpose":"SIGN"})", 400, "INVALID_ARGUMENT",
         "Invalid value at 'crypto_key.purpose' "
         "(type.googleapis.com/google.cloud.kms.v1.CryptoKey.CryptoKeyPurpose), "
         "\"SIGN\""},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","versionTemplate":{"algorithm":"AES_256_GCM"}})",
         400, "INVALID_ARGUMENT", "Algorithm AES_256_GCM is not compatible with purpose ENCRYPT_DECRYPT."},
        {"POST", keys + "k", R"({"purpose":"ASYMMETRIC_SIGN"})", 400, "INVALID_ARGUMENT",
         "CryptoKey.version_template.algorithm must be specified for purpose ASYMMETRIC_SIGN."},
        {"POST", keys + "k", R"({"purpose":"ENCRYPT_DECRYPT","labels":{"Env":"prod"}})", 400,
         "INVALID_ARGUMENT",
         "Invalid label 'Env': 'prod'. Label keys start with a lower-case letter; keys and values hold at "
         "most 63 "
         "lower-case letters, digits, underscores and dashes."},
        {"PATCH", kRingPath + "/cryptoKeys/missing?updateMask=labels", "{}", 404, "NOT_FOUND",
         "CryptoKey " + std::string(kRing) + "/cryptoKeys/missing not found."},
    };
    size_t rings = 0;
    size_t keyCount = 0;
    {
        gcemu::World::Txn world = emulator().world().Lock();
        rings = world.Count(gcemu::collections::kKmsKeyRings);
        keyCount = world.Count(gcemu::collections::kKmsCryptoKeys);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path + " " + c.body);
        ExpectKmsError(c.method == "GET"    ? client().Get(kKms, c.path)
                       : c.method == "POST" ? client().Post(kKms, c.path, c.body)
                                            : client().Patch(kKms, c.path, c.body),
                       c.status, c.statusName, c.message);
    }
    gcemu::World::Txn world = emulator().world().Lock();
    EXPECT_EQ(rings, world.Count(gcemu::collections::kKmsKeyRings));
    EXPECT_EQ(keyCount, world.Count(gcemu::collections::kKmsCryptoKeys));
}

// Only the masked members change, whichever way the mask spells them; a member the mask names and the
// body lacks is cleared, as field masks mean.
TEST_F(KmsModelTest, APatchChangesTheMaskedFieldsOnly) {
    const std::string path = kRingPath + "/cryptoKeys/rotating?updateMask=";
    struct Case {
        std::string mask;  // as sent
        std::string body;
        std::string rotationPeriod, nextRotationTime, labels, algorithm;  // what the key then holds
    };
    const Case cases[] = {
        {"next_rotation_time%2Crotation_period",
         R"({"rotationPeriod":"7776000s","nextRotationTime":"2027-03-09T12:00:00Z","labels":{"x":"y"}})",
         "7776000s", "2027-03-09T12:00:00Z", R"({"team":"backup"})", "GOOGLE_SYMMETRIC_ENCRYPTION"},
        {"labels", R"({"labels":{"env":"prod"},"rotationPeriod":"86400s"})", "7776000s",
         "2027-03-09T12:00:00Z", R"({"env":"prod"})", "GOOGLE_SYMMETRIC_ENCRYPTION"},
        {"nextRotationTime", R"({"nextRotationTime":"2028-01-01T00:00:00Z"})", "7776000s",
         "2028-01-01T00:00:00Z", R"({"env":"prod"})", "GOOGLE_SYMMETRIC_ENCRYPTION"},
        {"versionTemplate.algorithm", R"({"versionTemplate":{"algorithm":"EXTERNAL_SYMMETRIC_ENCRYPTION"}})",
         "7776000s", "2028-01-01T00:00:00Z", R"({"env":"prod"})", "EXTERNAL_SYMMETRIC_ENCRYPTION"},
        {"rotationPeriod,next_rotation_time,labels", "{}", "", "", "", "EXTERNAL_SYMMETRIC_ENCRYPTION"},
    };
    mObject before = Key("rotating");
    EXPECT_EQ("2592000s", Text(before, "rotationPeriod"));
    EXPECT_EQ("2024-03-02T00:00:00Z", Text(before, "nextRotationTime"))
        << "one period after the world made it";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const HttpReply patched = client().Patch(kKms, path + c.mask, c.body);
        ASSERT_EQ(200, patched.status) << patched.body;
        EXPECT_EQ(c.rotationPeriod, Text(patched.json, "rotationPeriod"));
        EXPECT_EQ(c.nextRotationTime, Text(patched.json, "nextRotationTime"));
        const mObject* labels = ZkJson::FindObject(patched.json, "labels");
        EXPECT_EQ(c.labels, labels ? ZkJson::Serialize(*labels) : "");
        EXPECT_EQ(c.algorithm, Text(patched.json.at("versionTemplate").get_obj(), "algorithm"));
        // Everything else stays, the primary version included.
        mObject rest = patched.json;
        for (mObject* key : {&before, &rest})
            for (const char* member : {"rotationPeriod", "nextRotationTime", "labels", "versionTemplate"})
                key->erase(member);
        EXPECT_EQ(before, rest);
        EXPECT_EQ(patched.json, Key("rotating"));
        before = patched.json;
    }
}

TEST_F(KmsModelTest, BadMasksAndChangesGoogleRefusesLeaveTheKey) {
    struct Case {
        std::string key, mask, body, message;
    };
    const std::string next = R"("nextRotationTime":"2027-01-01T00:00:00Z")";
    const Case cases[] = {
        {"live", "", "{}", "update_mask must name at least one field of CryptoKey."},
        {"live", "labels%2C%2Crotation_period", "{}",
         "Invalid update_mask: 'labels,,rotation_period' is not a list of field paths."},
        {"live", "rotation%20period", "{}",
         "Invalid update_mask: 'rotation period' is not a list of field paths."},
        {"live", "rotation", "{}", "Invalid update_mask: CryptoKey has no field 'rotation'."},
        {"live", "labels.env", "{}", "Invalid update_mask: CryptoKey has no field 'labels.env'."},
        {"live", "purpose", R"({"purpose":"MAC"})",
         "Invalid update_mask: CryptoKey.purpose cannot be updated."},
        {"live", "versionTemplate.protectionLevel", "{}",
         "Invalid update_mask: CryptoKey.version_template.protection_level cannot be updated."},
        {"live", "version_template", R"({"versionTemplate":{"protectionLevel":"HSM"}})",
         "Invalid update_mask: CryptoKey.version_template.protection_level cannot be updated."},
        {"live", "rotation_period", R"({"rotationPeriod":"7776000s"})",
         "CryptoKey.next_rotation_time must be set when rotation_period is set."},
        {"live", "rotation_period,next_rotation_time", R"({"rotationPeriod":"3600s",)" + next + "}",
         "CryptoKey.rotation_period must be at least 24 hours (86400s)."},
        {"live", "labels", R"({"labelz":{}})",
         "Invalid JSON payload received. Unknown name \"labelz\" at 'crypto_key': Cannot find field."},
        {"signer", "next_rotation_time", "{" + next + "}",
         "Only CryptoKeys with purpose ENCRYPT_DECRYPT support automatic rotation; rotation_period and "
         "next_rotation_time must be omitted for purpose ASYMMETRIC_SIGN."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key + " " + c.mask + " " + c.body);
        const mObject before = Key(c.key);
        const std::string query = c.mask.empty() ? "" : "?updateMask=" + c.mask;
        ExpectKmsError(client().Patch(kKms, kRingPath + "/cryptoKeys/" + c.key + query, c.body), 400,
                       "INVALID_ARGUMENT", c.message);
        EXPECT_EQ(before, Key(c.key));
    }
}

TEST_F(KmsModelTest, FaultsAndTheJournalCoverKms) {
    gcemu::FaultRule fault;
    fault.method = "POST";
    fault.hostAndPathPrefix = std::string(kKms) + "/v1/projects/kms-p1/locations/us-central1/keyRings";
    fault.status = 429;
    emulator().faults().Add(fault);
    const std::string create = "/v1/projects/kms-p1/locations/us-central1/keyRings?keyRingId=later";
    ExpectKmsError(client().Post(kKms, create, ""), 429, "RESOURCE_EXHAUSTED", "Rate Limit Exceeded");
    EXPECT_EQ(404, client().Get(kKms, "/v1/projects/kms-p1/locations/us-central1/keyRings/later").status);
    EXPECT_EQ(200, client().Post(kKms, create, "").status) << "the fault took one request";

    const auto journal = emulator().journal().Snapshot();
    ASSERT_EQ(3u, journal.size());
    EXPECT_EQ("status", journal[0].faultKind);
    EXPECT_EQ(429, journal[0].status);
    EXPECT_EQ(kKms, journal[2].host);
    EXPECT_EQ("keyRingId=later", journal[2].rawQuery);
    EXPECT_EQ(200, journal[2].status);
}

}  // namespace
