// gcsdk's commands that change things, against gcemu: snapshots, disks, VMs, buckets, restores, the
// progress lines of the operations they follow, and the demo. Run as a child process, judged by the
// exit status, the output and what the emulator's world holds afterwards.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/ComputeOperations.h"
#include "host/ZkJson.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/TempDir.h"
#include "tests/tools/GcsdkChild.h"

namespace {

using gcsdktest::Child;
using gcsdktest::Contains;
using gcsdktest::Result;
using gcsdktest::Shown;
using testsupport::ReadFile;
using testsupport::TempDir;
namespace collections = gcemu::collections;

const std::string kProject = "gcemu-project-1";
const std::string kPrefix = "projects/gcemu-project-1/";

json_spirit::mObject Object(const std::string& text) {
    json_spirit::mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << "not a JSON object: " << text;
    return object;
}

std::vector<std::string> Strings(const json_spirit::mObject& object, const std::string& member) {
    std::vector<std::string> strings;
    if (const json_spirit::mArray* array = ZkJson::FindArray(object, member))
        for (const json_spirit::mValue& item : *array)
            strings.push_back(item.type() == json_spirit::str_type ? item.get_str() : "");
    return strings;
}

class GcsdkChangesTest : public testsupport::EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        // Operations polled without waiting, so that a test takes milliseconds.
        m_settings = Emulator().WriteClientSettings(
            m_dir.File("gcsdk.ini"),
            "[GoogleCloud]\nsGuidCacheFile=" + m_dir.File("guids.db") +
                "\n[VirtualServer]\nnGoogleCloudOperationWaitTime=0\n"
                "nGoogleSnapshotPollingInSecs=0\nnGoogleOperationRetryIntervalInSeconds=0\n");
    }

    Result Run(const std::vector<std::string>& args) {
        return Child(m_dir, args, {{"GCSDK_SETTINGS", m_settings}, {"GCSDK_KEY_FILE", Key().jsonKeyFile}})
            .Finish();
    }
    // Runs and expects success; the output.
    std::string Ok(const std::vector<std::string>& args) {
        Result result = Run(args);
        EXPECT_EQ(result.status, 0) << Shown(args, result);
        return result.out;
    }

    static std::string Instance(const std::string& zone, const std::string& name, const std::string& member) {
        return WorldValue(collections::kInstances, kPrefix + "zones/" + zone + "/instances/" + name, member);
    }
    static std::string Disk(const std::string& place, const std::string& name, const std::string& member) {
        return WorldValue(collections::kDisks, kPrefix + place + "/disks/" + name, member);
    }
    static std::string Snapshot(const std::string& name, const std::string& member) {
        return WorldValue(collections::kSnapshots, kPrefix + "global/snapshots/" + name, member);
    }
    // The disk resource as the world holds it, as 'snapshot --save-config' would have saved it.
    std::string SavedDisk(const std::string& place, const std::string& name) {
        gcemu::World::Txn world = Emulator().world().Lock();
        const json_spirit::mObject* disk =
            world.Find(collections::kDisks, kPrefix + place + "/disks/" + name);
        EXPECT_TRUE(disk) << name;
        return m_dir.Write("saved-" + name + ".json", disk ? ZkJson::Serialize(*disk) : "");
    }

    TempDir m_dir;
    std::string m_settings;
};

TEST_F(GcsdkChangesTest, CommandLineMistakesExitTwoBeforeAnyRequest) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"snapshot", "--project", "p"},
         "give --disk D (one disk), or --vm NAME or --vm-guid ID (every disk of a VM)"},
        {{"snapshot", "--disk", "d", "--vm", "v"},
         "give --disk D (one disk), or --vm NAME or --vm-guid ID (every disk of a VM)"},
        {{"snapshot", "--vm", "v", "--vm-guid", "1"}, "give --vm or --vm-guid, not both"},
        {{"snapshot", "--disk", "d", "--zone", "z"}, "missing --project, --name"},
        {{"snapshot", "--project", "p", "--disk", "d", "--zone", "z", "--name", "Bad_Name"},
         "--name 'Bad_Name' is not a Compute Engine name (lowercase letters, digits and '-', starting with a "
         "letter, not ending with '-', at most 63 characters)"},
        {{"snapshot", "--project", "p", "--disk", "d", "--name", "s"}, "give --zone Z or --region R"},
        {{"snapshot", "--project", "p", "--disk", "d", "--name", "s", "--zone", "z", "--region", "r"},
         "give --zone Z or --region R"},
        {{"snapshot", "--project", "p", "--disk", "d", "--prefix", "x-"},
         "--prefix and --save-config go with --vm or --vm-guid"},
        {{"snapshot", "--vm", "v"}, "--vm needs --project (or give --vm-guid)"},
        {{"snapshot", "--vm-guid", "1", "--project", "p"},
         "--project and --zone go with --vm; --vm-guid searches every project"},
        {{"snapshot", "--vm", "v", "--project", "p", "--name", "s"},
         "--name goes with --disk; snapshots of a VM are named <prefix><disk>-<time>"},
        {{"snapshot", "--vm", "v", "--project", "p", "--prefix", "Bk_"},
         "--prefix takes lowercase letters, digits and '-', starting with a letter, at most 40 characters"},
        {{"snapshots", "delete", "--project", "p"}, "missing --name"},
        {{"disk", "from-snapshot", "--project", "p", "--snapshot", "s", "--name", "d", "--zone", "z",
          "--replica-zones", "a,b"},
         "--replica-zones goes with --region"},
        {{"disk", "from-snapshot", "--project", "p", "--snapshot", "s", "--name", "d", "--region", "r"},
         "--region needs --replica-zones Z1,Z2 (or a --saved-disk that names them)"},
        {{"disk", "from-snapshot", "--project", "p", "--snapshot", "s", "--name", "d", "--region", "r",
          "--replica-zones", "a"},
         "--replica-zones takes two zones of the region, as Z1,Z2"},
        {{"disk", "attach", "--project", "p", "--name", "d"}, "missing --vm, --zone"},
        {{"disk", "move", "--project", "p", "--name", "d", "--zone", "z", "--to-zone", "z"},
         "--to-zone names the zone the disk is in already"},
        {{"disk", "delete", "--project", "p", "--name", "d"}, "give --zone Z or --region R"},
        {{"vm", "stop", "--project", "p"}, "missing --name"},
        {{"vm", "start", "--name", "n", "--delete-disks"}, "unknown option --delete-disks"},
        {{"restore", "--project", "p"}, "missing --config, --name, --zone, --disk"},
        {{"deploy", "--project", "p", "--zone", "z"}, "missing --bucket, --object"},
        {{"objects", "list"}, "missing --bucket"},
        {{"disk"}, "'disk' takes a subcommand: from-snapshot, attach, detach, move, delete, show"},
        {{"vm", "reboot"},
         "unknown command 'vm reboot'; 'vm' takes a subcommand: stop, start, delete, config"},
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
}

TEST_F(GcsdkChangesTest, SnapshotsOneDiskZonalOrRegional) {
    json_spirit::mObject zonal = Object(Ok({"snapshot", "--project", kProject, "--disk", "web-data-1",
                                            "--zone", "us-central1-a", "--name", "s-zonal", "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "name"), "s-zonal");
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "status"), "READY");
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "sourceDisk"), "web-data-1");
    EXPECT_EQ(ZkJson::GetIntValue(zonal, "diskSizeGb"), 100);

    // A regional disk is snapshotted under its region; the guest is asked to flush.
    Ok({"snapshot", "--project", kProject, "--disk", "db-ha-data", "--region", "us-central1", "--name",
        "s-regional", "--guest-flush"});
    EXPECT_EQ(Snapshot("s-regional", "status"), "READY");
    bool flushed = false;
    for (const gcemu::JournalEntry& entry : Emulator().journal().Snapshot())
        if (entry.path.find("/regions/us-central1/disks/db-ha-data/createSnapshot") != std::string::npos)
            flushed = Contains(entry.rawQuery, "guestFlush=true");
    EXPECT_TRUE(flushed);

    // Without waiting, the snapshot is under way when the command ends.
    const std::string started = Ok({"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone",
                                    "us-central1-a", "--name", "s-nowait", "--no-wait"});
    EXPECT_TRUE(Contains(started, "\nSTATUS       started\n")) << started;
    EXPECT_FALSE(Snapshot("s-nowait", "status").empty());

    Result missing = Run({"snapshot", "--project", kProject, "--disk", "nosuch", "--zone", "us-central1-a",
                          "--name", "s-missing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(
        missing.err, "gcsdk: snapshotting disk nosuch in zone us-central1-a of project " + kProject + ": "))
        << missing.err;
    EXPECT_TRUE(Contains(missing.err, "(404)\n")) << missing.err;
}

TEST_F(GcsdkChangesTest, SnapshotsEveryDiskOfAVmAndSavesItsConfiguration) {
    // db-1: a zonal boot disk and a regional data disk.
    const std::string dir = m_dir.File("backup");
    json_spirit::mObject made = Object(Ok({"snapshot", "--project", kProject, "--vm", "db-1", "--prefix",
                                           "bk-", "--save-config", dir, "--json"}));
    EXPECT_TRUE(made["complete"].get_bool());
    const json_spirit::mArray& snapshots = made["snapshots"].get_array();
    ASSERT_EQ(snapshots.size(), 2u);
    std::set<std::string> disks, stamps;
    for (const json_spirit::mValue& entry : snapshots) {
        const std::string disk = ZkJson::GetStringValue(entry.get_obj(), "disk");
        const std::string name = ZkJson::GetStringValue(entry.get_obj(), "name");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(name, match, std::regex("bk-" + disk + "-(\\d{8}-\\d{6})"))) << name;
        stamps.insert(match[1]);
        disks.insert(disk);
        EXPECT_EQ(Snapshot(name, "status"), "READY") << name;
    }
    EXPECT_EQ(disks, (std::set<std::string>{"db-1", "db-ha-data"}));
    EXPECT_EQ(stamps.size(), 1u) << "one time for the whole VM";
    EXPECT_EQ(Requests("POST", "",
                       "/compute/v1/projects/" + kProject +
                           "/regions/us-central1/disks/db-ha-data/"
                           "createSnapshot"),
              1u);

    EXPECT_EQ(ZkJson::GetStringValue(Object(ReadFile(dir + "/instance.json")), "name"), "db-1");
    EXPECT_EQ(Strings(Object(ReadFile(dir + "/disk-db-ha-data.json")), "replicaZones").size(), 2u);
    EXPECT_EQ(ZkJson::GetStringValue(Object(ReadFile(dir + "/disk-db-1.json")), "name"), "db-1");

    // By GUID, as a table: cache-1's local SSD has no snapshot.
    const std::string guid = Instance("us-central1-b", "cache-1", "id");
    const std::string table = Ok({"snapshot", "--vm-guid", guid});
    const std::string rows = table.substr(table.find("DISK "));
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2) << table;
    EXPECT_TRUE(std::regex_search(rows, std::regex("\ncache-1 +cache-1-\\d{8}-\\d{6} +READY +\\d+\n")))
        << table;

    Result none = Run({"snapshot", "--vm", "nosuch", "--project", kProject});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(Contains(none.err, "gcsdk: no VM named nosuch found in project " + kProject + "\n"))
        << none.err;
}

// What --save-config writes comes from the server: a disk name that is no name, or a disk the library
// could not read, fails the backup before any snapshot instead of leaving a file out or outside DIR.
TEST_F(GcsdkChangesTest, SavingAConfigurationRefusesWhatItCannotSave) {
    const std::string web2 = kPrefix + "zones/us-central1-b/instances/web-2";
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        json_spirit::mObject* vm = world.Find(collections::kInstances, web2);
        ASSERT_TRUE(vm);
        json_spirit::mArray& disks = (*vm)["disks"].get_array();
        json_spirit::mObject extra = disks.front().get_obj();
        const std::string source = ZkJson::GetStringValue(extra, "source");
        const std::string key = source.substr(source.find("projects/"));
        json_spirit::mObject* boot = world.Find(collections::kDisks, key);
        ASSERT_TRUE(boot) << key;
        json_spirit::mObject bad = *boot;
        const std::string badKey = key.substr(0, key.rfind('/') + 1) + "Bad_Name";
        bad["name"] = "Bad_Name";
        bad["selfLink"] = source.substr(0, source.rfind('/') + 1) + "Bad_Name";
        world.Put(collections::kDisks, badKey, bad);
        extra["source"] = source.substr(0, source.rfind('/') + 1) + "Bad_Name";
        extra["deviceName"] = "Bad_Name";
        extra["boot"] = false;
        extra["index"] = static_cast<int>(disks.size());
        disks.push_back(extra);
    }
    const size_t snapshotsBefore =
        Requests("POST", "", "/compute/v1/" + kPrefix + "zones/us-central1-b/disks/");
    Result bad =
        Run({"snapshot", "--project", kProject, "--vm", "web-2", "--save-config", m_dir.File("bad")});
    EXPECT_EQ(bad.status, 1) << bad.err;
    EXPECT_TRUE(Contains(bad.err, "has a disk named 'Bad_Name', not a Compute Engine name")) << bad.err;

    // web-1's data disk gone from under it.
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        ASSERT_TRUE(world.Erase(collections::kDisks, kPrefix + "zones/us-central1-a/disks/web-data-1"));
    }
    Result unread =
        Run({"snapshot", "--project", kProject, "--vm", "web-1", "--save-config", m_dir.File("unread")});
    EXPECT_EQ(unread.status, 1) << unread.err;
    EXPECT_TRUE(Contains(unread.err, "web-data-1")) << unread.err;
    EXPECT_EQ(Requests("POST", "", "/compute/v1/" + kPrefix + "zones/us-central1-b/disks/"), snapshotsBefore);
    EXPECT_EQ(Requests("POST", "", "/compute/v1/" + kPrefix + "zones/us-central1-a/disks/"), 0u);
}

// On a pipe each status is a plain line; with --json there are none, so stdout stays one JSON value.
TEST_F(GcsdkChangesTest, ProgressIsPlainLinesOnAPipeAndAbsentWithJson) {
    Emulator().operations().SetPollsUntilDone(3);  // RUNNING twice: one line
    const std::string snapshot = Ok({"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone",
                                     "us-central1-a", "--name", "s-progress"});
    EXPECT_EQ(snapshot.substr(0, snapshot.find("NAME ")),
              "  snapshot web-data-1 ... RUNNING (0 s)\n  snapshot web-data-1 ... DONE (0 s)\n");
    EXPECT_EQ(Ok({"vm", "stop", "--project", kProject, "--name", "web-2", "--zone", "us-central1-b"}),
              "  stop web-2 ... RUNNING (0 s)\n  stop web-2 ... DONE (0 s)\nVM web-2 stopped\n");
    EXPECT_EQ(Ok({"vm", "start", "--project", kProject, "--name", "web-2", "--json"}),
              "{\"started\":true,\"vm\":\"web-2\"}\n");

    Emulator().operations().AddFault(
        gcemu::OperationFault::Of(gcemu::operation_errors::kQuotaExceeded, "createSnapshot"));
    Result failed = Run({"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone", "us-central1-a",
                         "--name", "s-quota"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(Contains(failed.out, "  snapshot web-data-1 ... FAILED (0 s)\n")) << failed.out;
    EXPECT_TRUE(Contains(failed.err, "gcsdk: snapshotting disk web-data-1 in zone us-central1-a of project " +
                                         kProject +
                                         ": Quota 'CPUS' exceeded.  Limit: 24.0 in region us-central1. "
                                         "(QUOTA_EXCEEDED)\n"))
        << failed.err;
}

TEST_F(GcsdkChangesTest, CreatesDisksFromSnapshotsAndMovesThemAround) {
    // A zonal disk from a seeded snapshot of web-1's boot disk, of another type.
    json_spirit::mObject zonal =
        Object(Ok({"disk", "from-snapshot", "--project", kProject, "--snapshot", "web-1-daily-20240402",
                   "--name", "d-zonal", "--zone", "us-central1-b", "--type", "pd-ssd", "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "status"), "READY");
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "type"), "pd-ssd");
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "zone"), "us-central1-b");
    EXPECT_EQ(ZkJson::GetStringValue(zonal, "sourceSnapshot"), "web-1-daily-20240402");
    EXPECT_EQ(ZkJson::GetIntValue(zonal, "sizeGb"), 20);

    // A regional disk takes its type, replica zones and labels from the saved disk.
    json_spirit::mObject regional =
        Object(Ok({"disk", "from-snapshot", "--project", kProject, "--snapshot", "db-ha-data-20240401",
                   "--name", "d-regional", "--region", "us-central1", "--saved-disk",
                   SavedDisk("regions/us-central1", "db-ha-data"), "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(regional, "region"), "us-central1");
    EXPECT_EQ(ZkJson::GetStringValue(regional, "type"), "pd-balanced");
    EXPECT_EQ(Strings(regional, "replicaZones"),
              (std::vector<std::string>{"us-central1-a", "us-central1-b"}));
    const json_spirit::mObject* labels = ZkJson::FindObject(regional, "labels");
    EXPECT_TRUE(labels && ZkJson::GetStringValue(*labels, "app") == "db") << ZkJson::Serialize(regional);

    // Attach to web-2, detach, move to another zone, delete (twice: gone is gone).
    const std::vector<std::string> onWeb2 = {"--project", kProject, "--name", "d-zonal",
                                             "--vm",      "web-2",  "--zone", "us-central1-b"};
    const auto with = [](std::vector<std::string> head, const std::vector<std::string>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const auto users = [&] {
        return Strings(Object(Ok({"disk", "show", "--project", kProject, "--name", "d-zonal", "--zone",
                                  "us-central1-b", "--json"})),
                       "users");
    };
    EXPECT_TRUE(Contains(Ok(with({"disk", "attach"}, onWeb2)), "attached disk d-zonal to VM web-2\n"));
    EXPECT_EQ(users(), std::vector<std::string>{"web-2"});
    EXPECT_TRUE(Contains(Ok(with({"disk", "detach"}, onWeb2)), "detached disk d-zonal from VM web-2\n"));
    EXPECT_TRUE(users().empty());
    Ok({"disk", "move", "--project", kProject, "--name", "d-zonal", "--zone", "us-central1-b", "--to-zone",
        "us-central1-c"});
    EXPECT_EQ(Disk("zones/us-central1-c", "d-zonal", "status"), "READY");
    EXPECT_EQ(Disk("zones/us-central1-b", "d-zonal", "status"), "");
    for (int i = 0; i < 2; ++i)
        Ok({"disk", "delete", "--project", kProject, "--name", "d-zonal", "--zone", "us-central1-c"});
    EXPECT_EQ(Disk("zones/us-central1-c", "d-zonal", "name"), "");

    // A disk the VM has no room for.
    Emulator().operations().AddFault(
        gcemu::OperationFault::Of(gcemu::operation_errors::kLimitExceeded, "attachDisk"));
    Result full = Run({"disk", "attach", "--project", kProject, "--name", "d-regional-nope", "--vm", "web-2",
                       "--zone", "us-central1-b"});
    EXPECT_EQ(full.status, 1) << "an unknown disk fails before the attach";
    Ok({"disk", "from-snapshot", "--project", kProject, "--snapshot", "web-1-daily-20240402", "--name",
        "d-extra", "--zone", "us-central1-b"});
    full = Run({"disk", "attach", "--project", kProject, "--name", "d-extra", "--vm", "web-2", "--zone",
                "us-central1-b"});
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(Contains(full.err,
                         "gcsdk: attaching disk d-extra to VM web-2 (the VM has as many disks as its "
                         "machine type allows): Exceeded limit 'maximum_persistent_disks' on resource "
                         "'web-2'. Limit: 128.0 (LIMIT_EXCEEDED)\n"))
        << full.err;
}

// The saved disk's encryption key goes with the request: the library reads it from the record alone.
TEST_F(GcsdkChangesTest, ADiskFromASnapshotKeepsTheSavedDisksEncryptionKey) {
    Ok({"disk", "from-snapshot", "--project", kProject, "--snapshot", "vault-data-20240401", "--name",
        "vault-restored", "--zone", "us-central1-b", "--saved-disk",
        SavedDisk("zones/us-central1-b", "vault-data")});
    std::string body;
    for (const gcemu::JournalEntry& entry : Emulator().journal().Snapshot())
        if (entry.method == "POST" && entry.path == "/compute/v1/" + kPrefix + "zones/us-central1-b/disks")
            body = entry.body;
    EXPECT_TRUE(Contains(body, "\"diskEncryptionKey\"")) << body;
}

TEST_F(GcsdkChangesTest, StopsStartsAndDeletesVms) {
    const std::string stopped =
        Ok({"vm", "stop", "--project", kProject, "--name", "web-2"});  // zone looked up
    EXPECT_TRUE(Contains(stopped, "VM web-2 stopped\n")) << stopped;
    EXPECT_EQ(Instance("us-central1-b", "web-2", "status"), "TERMINATED");
    Ok({"vm", "start", "--project", kProject, "--name", "web-2", "--zone", "us-central1-b"});
    EXPECT_EQ(Instance("us-central1-b", "web-2", "status"), "RUNNING");

    EXPECT_TRUE(Contains(Ok({"vm", "delete", "--project", kProject, "--name", "web-1", "--delete-disks"}),
                         "VM web-1 deleted, with its disks\n"));
    EXPECT_EQ(Instance("us-central1-a", "web-1", "name"), "");
    EXPECT_EQ(Disk("zones/us-central1-a", "web-1", "name"), "");
    EXPECT_EQ(Disk("zones/us-central1-a", "web-data-1", "name"), "")
        << "not auto-delete, deleted all the same";

    Result protectedVm = Run({"vm", "delete", "--project", kProject, "--name", "db-1"});
    EXPECT_EQ(protectedVm.status, 1);
    EXPECT_TRUE(Contains(protectedVm.err, "gcsdk: deleting VM db-1 of project " + kProject + ": "))
        << protectedVm.err;
    EXPECT_TRUE(Contains(protectedVm.err, "(400)\n")) << protectedVm.err;
    EXPECT_EQ(Instance("us-central1-a", "db-1", "status"), "RUNNING");

    Result missing = Run({"vm", "stop", "--project", kProject, "--name", "nosuch"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.err, "gcsdk: no VM named nosuch found in project " + kProject + "\n"))
        << missing.err;

    EXPECT_EQ(ZkJson::GetStringValue(
                  Object(Ok({"vm", "config", "--project", kProject, "--name", "win-app-1"})), "name"),
              "win-app-1");
}

// A detach of a disk from a VM it is not attached to is refused, not reported done; a delete of several
// snapshots that fails part-way still tells a script which are gone.
TEST_F(GcsdkChangesTest, RefusesADetachThatWouldDetachNothingAndReportsPartialDeletes) {
    const size_t before = Emulator().journal().size();
    Result detach = Run({"disk", "detach", "--project", kProject, "--name", "cache-1", "--vm", "web-2",
                         "--zone", "us-central1-b"});
    EXPECT_EQ(detach.status, 1);
    EXPECT_EQ(detach.err, "gcsdk: disk cache-1 is not attached to VM web-2\n");
    EXPECT_EQ(Requests("POST", "", "/compute/v1/" + kPrefix + "zones/us-central1-b/instances/web-2/"), 0u);
    EXPECT_GT(Emulator().journal().size(), before);

    Ok({"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone", "us-central1-a", "--name",
        "s-a"});
    Ok({"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone", "us-central1-a", "--name",
        "s-b"});
    Emulator().operations().AddFault(gcemu::OperationFault::Of(gcemu::operation_errors::kResourceInUse,
                                                               "delete", kPrefix + "global/snapshots/s-b"));
    Result partial =
        Run({"snapshots", "delete", "--project", kProject, "--name", "s-a", "--name", "s-b", "--json"});
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.out, "{\"deleted\":[\"s-a\"],\"failed\":\"s-b\"}\n");
    EXPECT_TRUE(Contains(partial.err, "gcsdk: deleting snapshot s-b of project " + kProject + ": "))
        << partial.err;
    EXPECT_EQ(Snapshot("s-a", "name"), "");
    EXPECT_EQ(Snapshot("s-b", "name"), "s-b");
}

// The library only logs a disk it failed to delete: the command looks, and names what is left.
TEST_F(GcsdkChangesTest, DeletingAVmWithItsDisksNamesTheDisksLeft) {
    Emulator().operations().AddFault(gcemu::OperationFault::Of(
        gcemu::operation_errors::kResourceInUse, "delete", kPrefix + "zones/us-central1-a/disks/web-data-1"));
    Result result = Run({"vm", "delete", "--project", kProject, "--name", "web-1", "--delete-disks"});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_TRUE(Contains(result.err, "gcsdk: VM web-1 deleted, but not its disk web-data-1\n")) << result.err;
    EXPECT_FALSE(Contains(result.out, "with its disks")) << result.out;
    EXPECT_EQ(Instance("us-central1-a", "web-1", "name"), "");
    EXPECT_EQ(Disk("zones/us-central1-a", "web-data-1", "name"), "web-data-1");
}

// A backup of web-1 restored twice: at once (through zone exhaustion and web-1's address in use), and kept
// in a bucket to be deployed later.
TEST_F(GcsdkChangesTest, RestoresAVmNowAndFromABucketLater) {
    const std::string dir = m_dir.File("backup");
    json_spirit::mObject backup =
        Object(Ok({"snapshot", "--project", kProject, "--vm", "web-1", "--save-config", dir, "--json"}));
    std::map<std::string, std::string> snapshots;  // disk -> snapshot
    for (const json_spirit::mValue& entry : backup["snapshots"].get_array())
        snapshots[ZkJson::GetStringValue(entry.get_obj(), "disk")] =
            ZkJson::GetStringValue(entry.get_obj(), "name");
    ASSERT_EQ(snapshots.size(), 2u);
    const auto restoreDisks = [&](const std::string& prefix) {
        for (const auto& [disk, snapshot] : snapshots)
            Ok({"disk", "from-snapshot", "--project", kProject, "--snapshot", snapshot, "--name",
                prefix + disk, "--zone", "us-central1-a", "--saved-disk", dir + "/disk-" + disk + ".json"});
    };
    const std::vector<std::string> saved = {"--config",     dir + "/instance.json",
                                            "--saved-disk", dir + "/disk-web-1.json",
                                            "--saved-disk", dir + "/disk-web-data-1.json"};
    // Without the data disk's saved resource when no --disk replaces it (an extra disk instead).
    const auto restore = [&](std::vector<std::string> args, bool replacesDataDisk = true) {
        args.insert(args.begin(), {"restore", "--project", kProject, "--zone", "us-central1-a"});
        args.insert(args.end(), saved.begin(), saved.end() - (replacesDataDisk ? 0 : 2));
        return args;
    };

    restoreDisks("r-");
    Emulator().operations().AddFault(
        gcemu::OperationFault::Of(gcemu::operation_errors::kZoneResourcePoolExhausted, "insert",
                                  kPrefix + "zones/us-central1-a/instances/r-vm"));
    const std::string now =
        Ok(restore({"--name", "r-vm", "--disk", "r-web-1=web-1", "--disk", "r-web-data-1=web-data-1"}));
    // web-1 still holds the saved address: the library also retries with one Compute Engine picks.
    EXPECT_TRUE(
        std::regex_search(now, std::regex("\nthe library retried after (ZONE_RESOURCE_POOL_EXHAUSTED|"
                                          "IP_IN_USE_BY_ANOTHER_RESOURCE), then after (?!\\1)(ZONE_RESOURCE_"
                                          "POOL_EXHAUSTED|IP_IN_USE_BY_ANOTHER_RESOURCE)\n")))
        << now;
    EXPECT_TRUE(Contains(now, "\nDISKS         r-web-1 (boot), r-web-data-1\n")) << now;

    json_spirit::mObject original = Object(Ok({"find", "--name", "web-1", "--project", kProject, "--json"}));
    json_spirit::mObject restored = Object(Ok({"find", "--name", "r-vm", "--project", kProject, "--json"}));
    for (const char* member : {"machineType", "zone", "labels", "tags"})
        EXPECT_EQ(ZkJson::Serialize(restored[member]), ZkJson::Serialize(original[member])) << member;
    EXPECT_EQ(ZkJson::Serialize(restored["networkInterfaces"].get_array()[0].get_obj()["subnetwork"]),
              "\"default\"");

    // Later: the request body in a bucket, on the saved network with an address Compute Engine picks.
    restoreDisks("l-");
    const std::string network = ZkJson::GetStringValue(
        Object(ReadFile(dir + "/instance.json"))["networkInterfaces"].get_array()[0].get_obj(), "network");
    const std::string later =
        Ok(restore({"--name", "l-vm", "--disk", "l-web-1=web-1", "--disk", "l-web-data-1", "--nic", network,
                    "--later", "--bucket", "b-restores", "--object", "later/l-vm.json"},
                   false));
    EXPECT_TRUE(Contains(later, "create the VM with: gcsdk deploy --project " + kProject +
                                    " --zone us-central1-a --bucket b-restores --object later/l-vm.json\n"))
        << later;
    EXPECT_EQ(Instance("us-central1-a", "l-vm", "name"), "");

    EXPECT_TRUE(Contains(Ok({"buckets", "list", "--project", kProject}), "\nb-restores "));
    EXPECT_EQ(Ok({"objects", "list", "--bucket", "b-restores", "--delimiter", "/"}),
              "NAME    KIND\nlater/  prefix\n");
    json_spirit::mObject objects =
        Object(Ok({"objects", "list", "--bucket", "b-restores", "--prefix", "later/", "--json"}));
    ASSERT_EQ(objects["objects"].get_array().size(), 1u);
    EXPECT_EQ(ZkJson::GetStringValue(objects["objects"].get_array()[0].get_obj(), "name"), "later/l-vm.json");
    json_spirit::mObject body = Object(Ok(
        {"object", "get", "--project", kProject, "--bucket", "b-restores", "--object", "later/l-vm.json"}));
    EXPECT_EQ(ZkJson::GetStringValue(body, "name"), "l-vm");
    EXPECT_EQ(body["disks"].get_array().size(), 2u);

    const std::vector<std::string> deploy = {"deploy",     "--project",     kProject,
                                             "--zone",     "us-central1-a", "--bucket",
                                             "b-restores", "--object",      "later/l-vm.json"};
    EXPECT_TRUE(Contains(Ok(deploy), "\nNAME          l-vm\n"));
    EXPECT_EQ(Instance("us-central1-a", "l-vm", "status"), "RUNNING");
    Result again = Run(deploy);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Contains(again.err, "gcsdk: creating the VM kept in gs://b-restores/later/l-vm.json: "))
        << again.err;
}

TEST_F(GcsdkChangesTest, RestoreHoldsTheCommandLineAgainstTheSavedConfiguration) {
    const std::string config =
        m_dir.Write("web-1.json", Ok({"vm", "config", "--project", kProject, "--name", "web-1"}));
    struct Case {
        std::vector<std::string> disks;
        std::string message;
    };
    const std::string savedData = SavedDisk("zones/us-central1-a", "web-data-1");
    const Case cases[] = {
        {{"--disk", "a=web-1", "--saved-disk", savedData},
         "--saved-disk " + savedData + ": no --disk replaces saved disk web-data-1"},
        {{"--disk", "x=nosuch"},
         "--disk x=nosuch: the saved configuration has no disk nosuch (it has web-1, web-data-1)"},
        {{"--disk", "a=web-1", "--disk", "b=web-1"}, "--disk b=web-1: saved disk web-1 is replaced twice"},
        {{"--disk", "Bad=web-1"}, "--disk Bad=web-1: 'Bad' is not a Compute Engine name"},
        {{"--disk", "a", "--later"}, "--later needs --bucket B and --object O"},
        {{"--disk", "a", "--bucket", "b"}, "--bucket and --object go with --later"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"restore", "--project", kProject, "--config",     config,
                                         "--name",  "vm",        "--zone", "us-central1-a"};
        args.insert(args.end(), c.disks.begin(), c.disks.end());
        Result result = Run(args);
        EXPECT_EQ(result.status, 2) << Shown(args, result);
        EXPECT_EQ(result.err.rfind("gcsdk: " + c.message + "\n", 0), 0u) << Shown(args, result);
    }

    const std::string notJson = m_dir.Write("not.json", "[1, 2]");
    Result result = Run({"restore", "--project", kProject, "--config", notJson, "--name", "vm", "--zone",
                         "us-central1-a", "--disk", "a"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "gcsdk: " + notJson + " is not an instance resource (a JSON object with disks)\n");

    // A disk with no saved resource and none of its own.
    result = Run({"restore", "--project", kProject, "--config", config, "--name", "vm", "--zone",
                  "us-central1-a", "--disk", "nosuch=web-1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(
        Contains(result.err, "gcsdk: reading disk nosuch in zone us-central1-a or region us-central1: "))
        << result.err;
}

// The main job: the demo runs against an emulator of its own and says how it went.
TEST(GcsdkDemoTest, BacksUpAndRestoresAndSaysSo) {
    TempDir dir;
    Result result = Child(dir, {"demo"}, {}).Finish(std::chrono::seconds(60));
    ASSERT_EQ(result.status, 0) << Shown({"demo"}, result);
    EXPECT_EQ(result.err, "");
    const std::string& out = result.out;
    for (const std::string& line :
         {std::string("\n2. find web-1 by its GUID: GUID "),
          std::string("; the GUID cache found it again with 1 request"),
          std::string("\n3. back up web-1: configuration saved ("), std::string(" -> demo-web-data-1-"),
          std::string(
              "\n5. restore web-1-restored with CreateInstance: web-1-restored RUNNING in us-central1-a on 2 "
              "disks; retried once after ZONE_RESOURCE_POOL_EXHAUSTED ("),
          std::string("\n7. deploy web-1-deployed from the bucket: "),
          std::string("\n8. compare both with web-1: all 8 fields the same on both (0 requests)\n")})
        EXPECT_TRUE(Contains(out, line)) << line << "\n" << out;
    EXPECT_TRUE(std::regex_search(
        out,
        std::regex(
            "\nsummary: 8 of 8 steps succeeded; \\d+ requests sent, \\d+ operations followed, [0-9.]+ s\n$")))
        << out;

    result = Child(dir, {"demo", "--json"}, {}).Finish(std::chrono::seconds(60));
    ASSERT_EQ(result.status, 0) << Shown({"demo", "--json"}, result);
    json_spirit::mObject summary = Object(result.out);
    EXPECT_TRUE(summary["ok"].get_bool());
    EXPECT_EQ(summary["steps"].get_array().size(), 8u);
    EXPECT_GT(ZkJson::GetIntValue(summary, "requests"), 50);
    EXPECT_GT(ZkJson::GetIntValue(summary, "operations"), 5);
}

}  // namespace
