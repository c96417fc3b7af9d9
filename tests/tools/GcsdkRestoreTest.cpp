// gcsdk's commands that change VMs, against gcemu: stop, start, delete, restore now or later through a
// bucket, deploy, and the demo. Run as a child process, judged by the exit status, the output and what the
// emulator's world holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
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
// snapshots tries each one, whatever became of the one before, and one already gone counts as deleted.
TEST_F(GcsdkChangesTest, RefusesADetachThatWouldDetachNothingAndDeletesEverySnapshotItCan) {
    const size_t before = Emulator().journal().size();
    Result detach = Run({"disk", "detach", "--project", kProject, "--name", "cache-1", "--vm", "web-2",
                         "--zone", "us-central1-b"});
    EXPECT_EQ(detach.status, 1);
    EXPECT_EQ(detach.err, "gcsdk: disk cache-1 is not attached to VM web-2\n");
    EXPECT_EQ(Requests("POST", "", "/compute/v1/" + kPrefix + "zones/us-central1-b/instances/web-2/"), 0u);
    EXPECT_GT(Emulator().journal().size(), before);

    for (const char* name : {"s-a", "s-b", "s-c"})
        Ok({"snapshot", "--project", kProject, "--disk", "web-data-1", "--zone", "us-central1-a", "--name",
            name});
    Emulator().operations().AddFault(gcemu::OperationFault::Of(gcemu::operation_errors::kResourceInUse,
                                                               "delete", kPrefix + "global/snapshots/s-b"));
    const std::vector<std::string> args = {"snapshots", "delete", "--project", kProject, "--name", "s-a",
                                           "--name",    "s-b",    "--name",    "s-c",    "--name", "s-gone"};
    std::vector<std::string> json = args;
    json.push_back("--json");
    Result partial = Run(json);
    EXPECT_EQ(partial.status, 1) << Shown(json, partial);
    json_spirit::mObject out = Object(partial.out);
    EXPECT_EQ(Strings(out, "deleted"), (std::vector<std::string>{"s-a", "s-c", "s-gone"}));
    const json_spirit::mArray* failed = ZkJson::FindArray(out, "failed");
    ASSERT_TRUE(failed && failed->size() == 1u) << partial.out;
    EXPECT_EQ(ZkJson::GetStringValue(failed->front().get_obj(), "name"), "s-b");
    const std::string line = "deleting snapshot s-b of project " + kProject + ": ";
    EXPECT_EQ(ZkJson::GetStringValue(failed->front().get_obj(), "error").rfind(line, 0), 0u) << partial.out;
    EXPECT_TRUE(Contains(partial.err, "gcsdk: " + line)) << partial.err;
    EXPECT_EQ(Snapshot("s-a", "name"), "");
    EXPECT_EQ(Snapshot("s-b", "name"), "s-b");
    EXPECT_EQ(Snapshot("s-c", "name"), "");

    // Gone is gone: a second delete of them all reports each deleted but the one still there.
    Result again = Run(args);
    EXPECT_EQ(again.status, 0) << Shown(args, again);
    EXPECT_TRUE(Contains(again.out, "snapshot s-a is gone\n")) << again.out;
    EXPECT_TRUE(Contains(again.out, "snapshot s-gone is gone\n")) << again.out;
    EXPECT_EQ(Snapshot("s-b", "name"), "") << "the fault was taken";
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

// The service account emails of a JSON instance resource.
std::vector<std::string> AccountEmails(const json_spirit::mObject& instance) {
    std::vector<std::string> emails;
    if (const json_spirit::mArray* accounts = ZkJson::FindArray(instance, "serviceAccounts"))
        for (const json_spirit::mValue& account : *accounts)
            emails.push_back(ZkJson::GetStringValue(account.get_obj(), "email"));
    return emails;
}

// secure-1 restored later from a bucket: with its service account unless told not to, what it leaves out
// named, under object names that need escaping in a URL, listed, read back and deployed.
TEST_F(GcsdkChangesTest, RestoreCarriesServiceAccountsUnderAnyObjectName) {
    const std::string config =
        m_dir.Write("secure-1.json", Ok({"vm", "config", "--project", kProject, "--name", "secure-1"}));
    Ok({"disk", "from-snapshot", "--project", kProject, "--snapshot", "vault-data-20240401", "--name",
        "rs-data", "--zone", "us-central1-b", "--saved-disk",
        SavedDisk("zones/us-central1-b", "vault-data")});
    const std::vector<std::string> account = {"vault@gcemu-project-1.iam.gserviceaccount.com"};
    // On the saved network with an address Compute Engine picks: secure-1 still holds the saved one.
    const std::string network = ZkJson::GetStringValue(
        Object(ReadFile(config))["networkInterfaces"].get_array()[0].get_obj(), "network");
    const auto keep = [&](const std::string& object, bool withAccount) {
        std::vector<std::string> args = {
            "restore",  "--project",     kProject, "--config",           config,    "--name",   "rs-vm",
            "--zone",   "us-central1-b", "--disk", "rs-data=vault-data", "--later", "--bucket", "b-odd",
            "--object", object};
        args.insert(args.end(), {"--nic", network});
        if (!withAccount) args.push_back("--no-service-account");
        Result result = Run(args);
        EXPECT_EQ(result.status, 0) << Shown(args, result);
        EXPECT_TRUE(Contains(result.out, "not carried over from the saved configuration: ")) << result.out;
        EXPECT_TRUE(Contains(result.out, "saved disk secure-1 (no --disk replaces it)")) << result.out;
        EXPECT_FALSE(Contains(result.out, "keyRevocationActionType"))
            << "a default lost nothing: " << result.out;
        EXPECT_EQ(Contains(result.out, "service account " + account[0] + " (--no-service-account)"),
                  !withAccount)
            << result.out;
        return result;
    };

    // Whether the bucket was made or found, said.
    EXPECT_EQ(Ok({"bucket", "create", "--project", kProject, "--name", "b-odd"}),
              "bucket b-odd created in project " + kProject + "\n");
    EXPECT_EQ(Ok({"bucket", "create", "--project", kProject, "--name", "b-odd", "--json"}),
              "{\"bucket\":\"b-odd\",\"created\":false,\"exists\":true}\n");

    const std::string odd = "kept vms/a b&c=d%41f.json";
    for (const std::string& object : {std::string("plain.json"), std::string("with space.json"),
                                      std::string("x=1&y=2.json"), std::string("pct%2F.json"), odd}) {
        keep(object, object != "plain.json");
        json_spirit::mObject listed = Object(Ok({"objects", "list", "--bucket", "b-odd", "--json"}));
        std::vector<std::string> names;
        for (const json_spirit::mValue& item : listed["objects"].get_array())
            names.push_back(ZkJson::GetStringValue(item.get_obj(), "name"));
        EXPECT_NE(std::find(names.begin(), names.end(), object), names.end())
            << object << ": " << ZkJson::Serialize(listed);
        const json_spirit::mObject body =
            Object(Ok({"object", "get", "--project", kProject, "--bucket", "b-odd", "--object", object}));
        EXPECT_EQ(ZkJson::GetStringValue(body, "name"), "rs-vm") << object;
        EXPECT_EQ(AccountEmails(body), object == "plain.json" ? std::vector<std::string>() : account)
            << object;
    }

    // Its machine type and disks are those of us-central1-b: it can be made there only.
    const std::vector<std::string> elsewhere = {"deploy",   "--project", kProject, "--bucket",     "b-odd",
                                                "--object", odd,         "--zone", "us-central1-a"};
    Result refused = Run(elsewhere);
    EXPECT_EQ(refused.status, 2) << Shown(elsewhere, refused);
    EXPECT_TRUE(Contains(refused.err, " is for zone us-central1-b, where its machine type and disks are\n"))
        << refused.err;
    Ok({"deploy", "--project", kProject, "--bucket", "b-odd", "--object", odd});
    gcemu::World::Txn world = Emulator().world().Lock();
    const json_spirit::mObject* deployed =
        world.Find(collections::kInstances, kPrefix + "zones/us-central1-b/instances/rs-vm");
    ASSERT_TRUE(deployed);
    EXPECT_EQ(AccountEmails(*deployed), account);
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
        {{"--disk", "a", "--nic", "projects/p/global/networks/default"},
         "--nic projects/p/global/networks/default: the saved configuration has no interface "
         "projects/p/global/networks/default (it has nic0); a network is given by its URL (https://...)"},
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

// The main job: the demo runs against an emulator of its own, backs up and restores a VM, copies a
// Spanner database, and says how it went.
TEST(GcsdkDemoTest, BacksUpAndRestoresAndSaysSo) {
    TempDir dir;
    Result result = Child(dir, {"demo"}, {}).Finish(std::chrono::seconds(60));
    ASSERT_EQ(result.status, 0) << Shown({"demo"}, result);
    EXPECT_EQ(result.err, "");
    const std::string& out = result.out;
    const std::string key = "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring/cryptoKeys/";
    for (const std::string& line :
         {std::string("\n2. find secure-1 by its GUID: GUID "),
          std::string("; the GUID cache found it again with 1 request"),
          std::string("\n3. back up secure-1: configuration saved ("),
          std::string(" -> demo-vault-data-"),
          std::string(
              "\n4. check the keys of its disks: 2 disks, 1 with a Cloud KMS key, all supported; the HSM "
              "key hsm-key is refused (below) ("),
          "\n     secure-1: no key\n     vault-data: kmsKeyName " + key +
              "disk-key (ENABLED, SOFTWARE), supported\n     hsm-key: kmsKeyName " + key +
              "hsm-key (ENABLED, HSM), not supported: protection level HSM is not supported (SOFTWARE keys "
              "only)\n",
          std::string(
              "\n5. make sure the keys are there in gcemu-project-1: key ring gcemu-ring found, key disk-key "
              "found (ENABLED, SOFTWARE, rotation 7776000s (90 days)) ("),
          std::string(", secure-1-restored-vault-data (50 GB pd-ssd, us-central1-b, READY, key disk-key)"),
          std::string("\n7. restore secure-1-restored with CreateInstance: secure-1-restored RUNNING in "
                      "us-central1-b on 2 disks; retried once after ZONE_RESOURCE_POOL_EXHAUSTED ("),
          std::string("\n9. deploy secure-1-deployed from the bucket: "),
          std::string("\n10. label the restored disks with their snapshots: 4 disks labelled "
                      "restored-from=<snapshot>, "
                      "each read back as set with the saved disk's labels (below) ("),
          std::string("\n     secure-1-deployed-vault-data: restored-from=demo-vault-data-"),
          std::string("\n11. compare both with secure-1: all 8 fields the same on both (0 requests)\n"),
          std::string(
              "\n12. discover the Cloud SQL instances of every project: 3 instances (gcemu-project-2: "
              "orders-mysql, orders-mysql-replica, reports-pg) ("),
          std::string(
              "\n     gcemu-project-2/orders-mysql-replica: MYSQL_8_0, us-central1, RUNNABLE, replica of "
              "orders-mysql\n"),
          std::string(
              "\n13. export Spanner database orders of gcemu-spanner: bucket gcsdk-demo-exports made; "
              "Dataflow job "),
          std::string(" JOB_STATE_DONE; 5 objects written under "
                      "gs://gcsdk-demo-exports/exports/gcemu-spanner-orders-"),
          std::string("\n     spanner-export.json\n"),
          std::string(
              "\n14. import the export into orders_restored: database orders_restored created; Dataflow "
              "job "),
          std::string(" JOB_STATE_DONE; gcemu-spanner now holds orders, orders_2024, orders_restored (")})
        EXPECT_TRUE(Contains(out, line)) << line << "\n" << out;
    EXPECT_TRUE(
        std::regex_search(out, std::regex("\nsummary: 14 of 14 steps succeeded; \\d+ requests sent, "
                                          "\\d+ operations followed, 1 Spanner operation and 2 Dataflow "
                                          "jobs followed, [0-9.]+ s\n$")))
        << out;
    EXPECT_TRUE(std::regex_search(
        out, std::regex("\nhost compute\\.googleapis\\.com: \\d+ requests on 1 connection\n")))
        << out;

    result = Child(dir, {"demo", "--json"}, {}).Finish(std::chrono::seconds(60));
    ASSERT_EQ(result.status, 0) << Shown({"demo", "--json"}, result);
    json_spirit::mObject summary = Object(result.out);
    EXPECT_TRUE(summary["ok"].get_bool());
    EXPECT_EQ(summary["steps"].get_array().size(), 14u);
    EXPECT_EQ(ZkJson::GetIntValue(summary, "spannerOperations"), 1);
    EXPECT_EQ(ZkJson::GetIntValue(summary, "dataflowJobs"), 2);
    EXPECT_GT(ZkJson::GetIntValue(summary, "requests"), 50);
    EXPECT_GT(ZkJson::GetIntValue(summary, "operations"), 5);
    // One facade, one TLS handshake per API host for the whole demo.
    const json_spirit::mObject& hosts = summary["hosts"].get_obj();
    for (const char* host :
         {"www.googleapis.com", "compute.googleapis.com", "cloudkms.googleapis.com", "storage.googleapis.com",
          "sqladmin.googleapis.com", "spanner.googleapis.com", "dataflow.googleapis.com"})
        EXPECT_TRUE(hosts.count(host)) << host;
    for (const auto& [host, counts] : hosts) {
        EXPECT_EQ(ZkJson::GetIntValue(counts.get_obj(), "connections"), 1) << host;
        EXPECT_GT(ZkJson::GetIntValue(counts.get_obj(), "requests"), 0) << host;
    }
}

}  // namespace
