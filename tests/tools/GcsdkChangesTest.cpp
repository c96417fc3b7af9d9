// gcsdk's commands that change disks and snapshots, against gcemu: snapshots of a disk or of a VM (its
// configuration saved), disks from snapshots, attach, detach, move, delete, and the progress lines of the
// operations they follow. Run as a child process, judged by the exit status, the output and what the
// emulator's world holds afterwards.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/ComputeOperations.h"
#include "host/ZkJson.h"
#include "tests/tools/GcsdkChangesFixture.h"

namespace {

using namespace gcsdktest;

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
        // Names are Compute Engine names before any request.
        {{"snapshots", "delete", "--project", "p", "--name", "ok", "--name", "Not_Ok"},
         "--name 'Not_Ok' is not a Compute Engine name (lowercase letters, digits and '-', starting with a "
         "letter, not ending with '-', at most 63 characters)"},
        {{"vm", "stop", "--project", "p", "--name", "Web-1"},
         "--name 'Web-1' is not a Compute Engine name (lowercase letters, digits and '-', starting with a "
         "letter, not ending with '-', at most 63 characters)"},
        {{"snapshot", "--project", "p", "--vm", "web_1"},
         "--vm 'web_1' is not a Compute Engine name (lowercase letters, digits and '-', starting with a "
         "letter, not ending with '-', at most 63 characters)"},
        {{"snapshot", "--vm-guid", "0x12"}, "--vm-guid '0x12' is not a VM GUID (a decimal number)"},
        {{"disk", "attach", "--project", "p", "--name", "d", "--vm", "V", "--zone", "z"},
         "--vm 'V' is not a Compute Engine name (lowercase letters, digits and '-', starting with a letter, "
         "not ending with '-', at most 63 characters)"},
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
        {{"disk"},
         "'disk' takes a subcommand: from-snapshot, attach, detach, move, delete, show, keys, labels"},
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
    // db-1: a zonal boot disk and a regional data disk. A configuration file already there (readable by
    // all) is overwritten for its owner only.
    const std::string dir = m_dir.File("backup");
    const std::string stale = m_dir.Write("backup/instance.json", "stale");
    ASSERT_EQ(chmod(stale.c_str(), 0644), 0);
    const size_t before = Emulator().journal().size();
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
    for (const char* file : {"/instance.json", "/disk-db-ha-data.json", "/disk-db-1.json"}) {
        struct stat info {};
        ASSERT_EQ(stat((dir + file).c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }

    // The disks are captured together: every snapshot is requested before any is read or polled.
    const std::vector<gcemu::JournalEntry> journal = Emulator().journal().Snapshot();
    size_t posts = 0, firstPoll = journal.size(), lastPost = 0;
    for (size_t i = before; i < journal.size(); ++i) {
        const gcemu::JournalEntry& entry = journal[i];
        if (entry.method == "POST" && Contains(entry.path, "/createSnapshot")) {
            ++posts;
            lastPost = i;
        }
        const bool poll = Contains(entry.path, "/operations/") || Contains(entry.path, "/global/snapshots/");
        if (entry.method == "GET" && poll && firstPoll == journal.size()) firstPoll = i;
    }
    EXPECT_EQ(posts, 2u);
    EXPECT_LT(lastPost, firstPoll);

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

// A change Compute Engine accepted whose operation could not be followed to its end is not reported as
// refused: it may still complete.
TEST_F(GcsdkChangesTest, AChangeWhoseFollowingFailedSaysItWasRequested) {
    // Operations are polled through their selfLink, which Compute Engine gives on www.googleapis.com.
    const std::string kOperations = "www.googleapis.com/compute/v1/" + kPrefix;
    struct Case {
        std::vector<std::string> args;
        std::string failing;  // host and path prefix of the reads that fail once
        std::string message;  // what, and the change
        std::function<bool()> accepted;
    };
    const Case cases[] = {
        {{"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone", "us-central1-a", "--name",
          "s-f"},
         kOperations + "zones/us-central1-a/operations",
         "snapshotting disk web-data-1 in zone us-central1-a of project " + kProject + ": the snapshot",
         [] { return Snapshot("s-f", "name") == "s-f"; }},
        {{"vm", "stop", "--project", kProject, "--name", "web-2", "--zone", "us-central1-b"},
         kOperations + "zones/us-central1-b/operations",
         "stopping VM web-2 of project " + kProject + ": the stop",
         [] { return Instance("us-central1-b", "web-2", "status") != "RUNNING"; }},
        {{"disk", "from-snapshot", "--project", kProject, "--snapshot", "web-1-daily-20240402", "--name",
          "d-f", "--zone", "us-central1-b"},
         kOperations + "zones/us-central1-b/operations",
         "creating disk d-f in zone us-central1-b from snapshot web-1-daily-20240402: the disk",
         [] { return Disk("zones/us-central1-b", "d-f", "name") == "d-f"; }},
        // A VM's snapshots are followed by reading them.
        {{"snapshot", "--project", kProject, "--vm", "web-2", "--prefix", "f-"},
         "compute.googleapis.com/compute/v1/" + kPrefix + "global/snapshots/",
         "snapshotting disk web-2 of VM web-2: the snapshot",
         [] { return true; }},
    };
    for (const Case& c : cases) {
        gcemu::FaultRule fault;
        fault.method = "GET";
        fault.hostAndPathPrefix = c.failing;
        fault.status = 503;
        Emulator().faults().Add(fault);
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 1) << Shown(c.args, result);
        EXPECT_TRUE(
            Contains(result.err, "gcsdk: " + c.message + " was requested; following its operation failed: "))
            << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, " (503); it may still complete\n")) << Shown(c.args, result);
        EXPECT_TRUE(c.accepted()) << Shown(c.args, result);
        Emulator().faults().Clear();
    }
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
    // The second finds it gone: the library logs the 404 as an error, which a success does not print but
    // --verbose does.
    const std::vector<std::string> remove = {"disk",   "delete",  "--project", kProject,
                                             "--name", "d-zonal", "--zone",    "us-central1-c"};
    for (int i = 0; i < 2; ++i) {
        Result result = Run(remove);
        EXPECT_EQ(result.status, 0) << Shown(remove, result);
        EXPECT_EQ(result.err, "") << Shown(remove, result);
    }
    EXPECT_EQ(Disk("zones/us-central1-c", "d-zonal", "name"), "");
    std::vector<std::string> verbose = remove;
    verbose.push_back("--verbose");
    EXPECT_TRUE(Contains(Run(verbose).err, "gcsdk: error ")) << "the library's error lines with --verbose";

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
}  // namespace
