// gcsdk's key and disk-label commands against gcemu: keys show, keyring create, key create and rotate,
// disk keys, disk labels show and set (and the refusal of a label change that raced another).
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/Faults.h"
#include "host/ZkJson.h"
#include "tests/tools/GcsdkChangesFixture.h"
#include "tests/tools/GcsdkFixture.h"  // JsonObjects, Header

namespace {

using namespace gcsdktest;

const std::string kRing = "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring";
const std::string kDiskKey = kRing + "/cryptoKeys/disk-key";

// An RFC 3339 time in UTC, days from now.
std::string UtcIn(int days) {
    const std::time_t when = std::time(nullptr) + days * 86400;
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string Member(const json_spirit::mObject& object, const std::string& outer, const std::string& inner) {
    const json_spirit::mObject* nested = ZkJson::FindObject(object, outer);
    return nested ? ZkJson::GetStringValue(*nested, inner) : "";
}

class GcsdkKeysTest : public GcsdkChangesTest {};

TEST_F(GcsdkKeysTest, CommandLineMistakesExitTwoBeforeAnyRequest) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<std::string> create = {"key",    "create",    "--project", "p",      "--location",
                                             "global", "--keyring", "r",         "--name", "k"};
    const auto Create = [&](std::vector<std::string> more) {
        std::vector<std::string> args = create;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const std::string labels =
        "keys start with a lowercase letter; keys and values hold lowercase letters, "
        "digits, '_' and '-', at most 63 characters";
    const Case cases[] = {
        {{"keys", "show"}, "give the key as KEY_PATH (projects/P/locations/L/keyRings/R/cryptoKeys/K)"},
        {{"keys", "show", kRing},
         "'" + kRing + "' is not a key path (projects/P/locations/L/keyRings/R/cryptoKeys/K)"},
        {{"keys"}, "'keys' takes a subcommand: show"},
        {{"keyring", "create", "--project", "p"}, "missing --location, --name"},
        {{"keyring", "create", "--project", "p", "--location", "global", "--name", "r/s"},
         "--name 'r/s' is not a Cloud KMS id (letters, digits, '_' and '-', at most 63 characters)"},
        {{"keyring", "create", "--project", "p", "--location", "Global", "--name", "r"},
         "--location 'Global' is not a location (us-central1, global, ...)"},
        {{"key", "create", "--project", "p"}, "missing --location, --keyring, --name"},
        {Create({"--placeholder", "--purpose", "MAC"}),
         "--placeholder makes a key with nothing but the purpose ENCRYPT_DECRYPT; --purpose does not go with "
         "it"},
        {Create({"--purpose", "SIGN"}),
         "--purpose takes one of ENCRYPT_DECRYPT, ASYMMETRIC_SIGN, ASYMMETRIC_DECRYPT, RAW_ENCRYPT_DECRYPT, "
         "MAC, got 'SIGN'"},
        {Create({"--algorithm", "GOOGLE_SYMMETRIC_ENCRYPTION"}),
         "--algorithm and --protection-level go together (the key's version template)"},
        {Create({"--algorithm", "GOOGLE_SYMMETRIC_ENCRYPTION", "--protection-level", "software"}),
         "--protection-level takes one of SOFTWARE, HSM, EXTERNAL, EXTERNAL_VPC, got 'software'"},
        {Create({"--rotation-period", "12h"}),
         "--rotation-period takes DAYSd or SECONDSs (90d, 7776000s), got '12h'"},
        {Create({"--rotation-period", "3600s"}),
         "--rotation-period must be from 1 day (1d, 86400s) to 100 years (36500d), got '3600s'"},
        {Create({"--next-rotation", UtcIn(1)}), "--next-rotation goes with --rotation-period"},
        {Create({"--rotation-period", "90d", "--next-rotation", "tomorrow"}),
         "--next-rotation takes an RFC 3339 time in UTC (2027-03-09T12:00:00Z), got 'tomorrow'"},
        {Create({"--rotation-period", "90d", "--next-rotation", "2020-01-01T00:00:00Z"}),
         "--next-rotation 2020-01-01T00:00:00Z is not in the future"},
        {Create({"--purpose", "ASYMMETRIC_SIGN", "--rotation-period", "90d"}),
         "--rotation-period goes with the purpose ENCRYPT_DECRYPT (Cloud KMS rotates symmetric keys only)"},
        {{"key", "rotate", kDiskKey}, "missing --rotation-period"},
        {{"key", "rotate", "--rotation-period", "90d"},
         "give the key as KEY_PATH (projects/P/locations/L/keyRings/R/cryptoKeys/K)"},
        {{"disk", "keys", "--project", "p"}, "missing --vm"},
        {{"disk", "labels"}, "'disk labels' takes a subcommand: show, set"},
        {{"disk", "labels", "show", "--project", "p", "--name", "d"}, "give --zone Z or --region R"},
        {{"disk", "labels", "set", "--project", "p", "--name", "d", "--zone", "z"},
         "give the labels to set as KEY=VALUE, or --remove KEY"},
        {{"disk", "labels", "set", "--project", "p", "--name", "d", "--zone", "z", "Env=prod"},
         "'Env=prod' is not a label KEY=VALUE (" + labels + ")"},
        {{"disk", "labels", "set", "--project", "p", "--name", "d", "--zone", "z", "a=1", "--remove", "a"},
         "label a is both set and removed"},
    };
    const size_t before = Emulator().journal().size();
    for (const Case& c : cases) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 2) << Shown(c.args, result);
        EXPECT_EQ(result.err.rfind("gcsdk: " + c.message + "\nusage: gcsdk ", 0), 0u)
            << Shown(c.args, result);
        EXPECT_EQ(result.out, "") << Shown(c.args, result);
    }
    EXPECT_EQ(Emulator().journal().size(), before);
    // Each has its help.
    for (const std::vector<std::string>& command : {std::vector<std::string>{"keys", "show"},
                                                    {"keyring", "create"},
                                                    {"key", "create"},
                                                    {"key", "rotate"},
                                                    {"disk", "keys"},
                                                    {"disk", "labels", "show"},
                                                    {"disk", "labels", "set"}}) {
        std::vector<std::string> args = {"help"};
        args.insert(args.end(), command.begin(), command.end());
        Result result = Run(args);
        EXPECT_EQ(result.status, 0) << Shown(args, result);
        std::string name;
        for (const std::string& word : command) name += (name.empty() ? "" : " ") + word;
        EXPECT_EQ(result.out.rfind("usage: gcsdk " + name + " ", 0), 0u) << Shown(args, result);
    }
}

TEST_F(GcsdkKeysTest, ShowsCreatesAndRotatesKeys) {
    const std::string table = Ok({"keys", "show", kDiskKey});
    for (const std::string& line :
         {"NAME              " + kDiskKey, std::string("PURPOSE           ENCRYPT_DECRYPT"),
          std::string("PRIMARY STATE     ENABLED"), std::string("PROTECTION LEVEL  SOFTWARE"),
          std::string("ROTATION PERIOD   7776000s (90 days)")})
        EXPECT_TRUE(Contains(table, line + "\n")) << line << "\n" << table;
    json_spirit::mObject key = Object(Ok({"keys", "show", kRing + "/cryptoKeys/hsm-key", "--json"}));
    EXPECT_EQ(Member(key, "primary", "protectionLevel"), "HSM");

    Result missing = Run({"keys", "show", kRing + "/cryptoKeys/nosuch"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("gcsdk: reading key " + kRing + "/cryptoKeys/nosuch: ", 0), 0u)
        << missing.err;
    EXPECT_TRUE(Contains(missing.err, "(404)\n")) << missing.err;

    // A key ring is made once, then found.
    const std::vector<std::string> ring = {"keyring",    "create",      "--project", kProject,
                                           "--location", "us-central1", "--name",    "backup-ring"};
    const std::string newRing = "projects/gcemu-project-1/locations/us-central1/keyRings/backup-ring";
    EXPECT_EQ(Ok(ring), "created key ring " + newRing + "\n");
    std::vector<std::string> again = ring;
    again.push_back("--json");
    json_spirit::mObject found = Object(Ok(again));
    EXPECT_EQ(ZkJson::GetStringValue(found, "name"), newRing);
    EXPECT_FALSE(found["created"].get_bool());

    // A key with all its options, and a placeholder, which is the purpose alone.
    const std::string next = UtcIn(10);
    key = Object(
        Ok({"key", "create", "--project", kProject, "--location", "us-central1", "--keyring", "backup-ring",
            "--name", "full", "--rotation-period", "30d", "--next-rotation", next, "--algorithm",
            "GOOGLE_SYMMETRIC_ENCRYPTION", "--protection-level", "SOFTWARE", "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(key, "name"), newRing + "/cryptoKeys/full");
    EXPECT_EQ(ZkJson::GetStringValue(key, "rotationPeriod"), "2592000s");
    EXPECT_EQ(ZkJson::GetStringValue(key, "nextRotationTime"), next);
    EXPECT_EQ(Member(key, "versionTemplate", "protectionLevel"), "SOFTWARE");
    const std::string made = Ok({"key", "create", "--project", kProject, "--location", "us-central1",
                                 "--keyring", "backup-ring", "--name", "placeholder", "--placeholder"});
    EXPECT_EQ(made.rfind("created key " + newRing + "/cryptoKeys/placeholder\nNAME ", 0), 0u) << made;
    std::string body;
    for (const gcemu::JournalEntry& entry : Emulator().journal().Snapshot())
        if (entry.method == "POST" && Contains(entry.rawQuery, "cryptoKeyId=placeholder")) body = entry.body;
    EXPECT_EQ(Object(body), (json_spirit::mObject{{"purpose", "ENCRYPT_DECRYPT"}}));

    Result twice = Run({"key", "create", "--project", kProject, "--location", "us-central1", "--keyring",
                        "backup-ring", "--name", "full"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(twice.err.rfind("gcsdk: creating key " + newRing + "/cryptoKeys/full: ", 0), 0u) << twice.err;
    EXPECT_TRUE(Contains(twice.err, "(409)\n")) << twice.err;

    // Rotation alone changes, and the key is shown as it is after; without a time, one period from now.
    key = Object(Ok({"key", "rotate", kDiskKey, "--rotation-period", "30d", "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(key, "rotationPeriod"), "2592000s");
    const std::string rotates = ZkJson::GetStringValue(key, "nextRotationTime");
    EXPECT_GE(rotates.substr(0, 19), UtcIn(29).substr(0, 19));
    EXPECT_LE(rotates.substr(0, 19), UtcIn(31).substr(0, 19));
    EXPECT_EQ(ZkJson::GetStringValue(key, "purpose"), "ENCRYPT_DECRYPT");
    EXPECT_EQ(Requests("PATCH", "cloudkms.googleapis.com", "/v1/" + kDiskKey), 1u);
    const std::string shown =
        Ok({"key", "rotate", kDiskKey, "--rotation-period", "2d", "--next-rotation", next});
    EXPECT_TRUE(Contains(shown, "\nROTATION PERIOD   172800s (2 days)\nNEXT ROTATION     " + next + "\n"))
        << shown;
}

TEST_F(GcsdkKeysTest, DiskKeysSaysWhatTheLibrarySupportsAndNeverShowsARawKey) {
    // secure-1: a boot disk without a key, a data disk with the SOFTWARE key.
    const std::vector<json_spirit::mObject> secure =
        JsonObjects(Ok({"disk", "keys", "--project", kProject, "--vm", "secure-1", "--json"}));
    ASSERT_EQ(secure.size(), 2u);
    EXPECT_EQ(ZkJson::GetStringValue(secure[0], "disk"), "secure-1");
    EXPECT_FALSE(secure[0].at("encrypted").get_bool());
    EXPECT_TRUE(secure[0].at("supported").get_bool());
    EXPECT_EQ(ZkJson::GetStringValue(secure[1], "disk"), "vault-data");
    EXPECT_EQ(ZkJson::GetStringValue(secure[1], "keyType"), "kmsKeyName");
    EXPECT_EQ(ZkJson::GetStringValue(secure[1], "keyPath"), kDiskKey);
    EXPECT_EQ(ZkJson::GetStringValue(secure[1], "state"), "ENABLED");
    EXPECT_EQ(ZkJson::GetStringValue(secure[1], "protectionLevel"), "SOFTWARE");
    EXPECT_TRUE(secure[1].at("supported").get_bool());

    // web-1 with an HSM key on its boot disk and a customer-supplied key on its data disk.
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        (*world.Find(collections::kDisks, kPrefix + "zones/us-central1-a/disks/web-1"))["diskEncryptionKey"] =
            json_spirit::mObject{{"kmsKeyName", kRing + "/cryptoKeys/hsm-key/cryptoKeyVersions/1"}};
        (*world.Find(collections::kDisks,
                     kPrefix + "zones/us-central1-a/disks/web-data-1"))["diskEncryptionKey"] =
            json_spirit::mObject{{"sha256", "c2VjcmV0LWhhc2g="}};
    }
    const std::string table =
        Ok({"disk", "keys", "--project", kProject, "--vm", "web-1", "--zone", "us-central1-a"});
    EXPECT_EQ(Header(table), "DISK KEY TYPE KEY STATE PROTECTION LEVEL SUPPORTED WHY NOT") << table;
    EXPECT_TRUE(
        std::regex_search(table, std::regex("\nweb-1 +kmsKeyName +" + kRing +
                                            "/cryptoKeys/hsm-key +ENABLED +HSM +no +protection level HSM "
                                            "is not supported \\(SOFTWARE keys only\\)\n")))
        << table;
    EXPECT_TRUE(std::regex_search(
        table,
        std::regex(
            "\nweb-data-1 +sha256 +- +- +- +no +the library supports Cloud KMS keys only, not sha256\n")))
        << table;
    EXPECT_FALSE(Contains(table, "c2VjcmV0")) << table;
    EXPECT_EQ(Requests("GET", "cloudkms.googleapis.com",
                       "/v1/projects/gcemu-project-1/locations/us-central1/"
                       "keyRings/gcemu-ring/cryptoKeys/c2VjcmV0"),
              0u);

    Result none = Run({"disk", "keys", "--project", kProject, "--vm", "nosuch"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "gcsdk: no VM named nosuch found in project " + kProject + "\n");
}

TEST_F(GcsdkKeysTest, LabelsAreSetOnTheDiskAsReadAndARacingChangeIsRefused) {
    EXPECT_EQ(Ok({"disk", "labels", "show", "--project", kProject, "--name", "web-data-1", "--zone",
                  "us-central1-a"}),
              "KEY  VALUE\napp  web\n");
    json_spirit::mObject set =
        Object(Ok({"disk", "labels", "set", "--project", kProject, "--name", "web-data-1", "--zone",
                   "us-central1-a", "env=test", "restored-from=snap-1", "--remove", "app", "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(set, "name"), "web-data-1");
    EXPECT_EQ(set["labels"].get_obj(), (json_spirit::mObject{{"env", "test"}, {"restored-from", "snap-1"}}));
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        EXPECT_EQ(
            *ZkJson::FindObject(
                *world.Find(collections::kDisks, kPrefix + "zones/us-central1-a/disks/web-data-1"), "labels"),
            (json_spirit::mObject{{"env", "test"}, {"restored-from", "snap-1"}}));
    }
    // A regional disk keeps the labels not named.
    const std::string regional = Ok({"disk", "labels", "set", "--project", kProject, "--name", "db-ha-data",
                                     "--region", "us-central1", "backup=weekly"});
    EXPECT_EQ(regional, "KEY     VALUE\napp     db\nbackup  weekly\n");

    // Another change lands between gcsdk's read and its change: Compute Engine refuses the stale fingerprint.
    const std::string setLabels =
        "compute.googleapis.com/compute/v1/projects/gcemu-project-1/zones/"
        "us-central1-a/disks/web-data-1/setLabels";
    gcemu::FaultRule stall;
    stall.method = "POST";
    stall.hostAndPathPrefix = setLabels;
    stall.kind = gcemu::FaultKind::kStall;
    stall.stallMs = 60000;
    Emulator().faults().Add(stall);
    const std::vector<std::string> args = {"disk",   "labels",     "set",    "--project",     kProject,
                                           "--name", "web-data-1", "--zone", "us-central1-a", "env=prod"};
    Child child(m_dir, args, {{"GCSDK_SETTINGS", m_settings}, {"GCSDK_KEY_FILE", Key().jsonKeyFile}});
    for (int i = 0; i < 3000 && Emulator().faults().Pending() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(Emulator().faults().Pending(), 0u) << "the change never came";
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        json_spirit::mObject& disk =
            *world.Find(collections::kDisks, kPrefix + "zones/us-central1-a/disks/web-data-1");
        disk["labels"] = json_spirit::mObject{{"owner", "other"}};
        disk["labelFingerprint"] = "cmFjZWQ=";
    }
    Emulator().faults().Interrupt();  // the stalled request goes on, now against the other change
    Result raced = child.Finish();
    Emulator().faults().Resume();
    EXPECT_EQ(raced.status, 1) << Shown(args, raced);
    EXPECT_EQ(
        raced.err,
        "gcsdk: setting the labels of disk web-data-1 in zone us-central1-a: its labels changed after they "
        "were read (another change came first), and nothing was changed; run it again: Labels fingerprint "
        "either invalid or resource labels have changed (412)\n");
    EXPECT_EQ(Disk("zones/us-central1-a", "web-data-1", "labelFingerprint"), "cmFjZWQ=");
}

}  // namespace
