// The parts of gcsdk's demo that judge: the field-by-field comparison of VMs, the keys of the disks, the
// traffic counted in the journal, and the step runner's lines.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "demo/KeyChecks.h"
#include "demo/StepRunner.h"
#include "demo/VmComparison.h"
#include "host/ZkJson.h"

namespace {

using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SNetworkInterfaceInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

SVMInfoLib Original() {
    SVMInfoLib vm;
    vm.name = "web-1";
    vm.id = "1";
    vm.status = "RUNNING";
    vm.zone = "us-central1-a";
    vm.machineType = "e2-standard-2";
    vm.labels = {{"app", "web"}, {"env", "prod"}};
    vm.metadata = {{"startup-script", "#!/bin/bash\necho hi"}};
    vm.tags = {"http-server", "https-server"};
    SNetworkInterfaceInfoLib nic;
    nic.networkName = "default";
    nic.subnetworkName = "default";
    nic.networkIP = "10.128.0.2";
    vm.networkInterfaces = {nic};
    SDiskInfoLib boot, data;
    boot.name = "web-1";
    boot.boot = true;
    data.name = "web-data-1";
    vm.disks = {boot, data};
    vm.scheduling.onHostMaintenance = "MIGRATE";
    return vm;
}

TEST(VmComparisonTest, FindsTheFieldThatDiffers) {
    struct Case {
        const char* change;
        std::function<void(SVMInfoLib&)> apply;
        std::string field;  // empty: every field the same
        std::string shown;  // what the differing copy's cell shows
    };
    const Case cases[] = {
        // What a restore gives anew does not count.
        {"new name, id, status, disk names and address",
         [](SVMInfoLib& vm) {
             vm.name = "web-1-restored";
             vm.id = "2";
             vm.status = "STAGING";
             vm.disks[0].name = "other";
             vm.networkInterfaces[0].networkIP = "10.128.0.9";
         },
         "", ""},
        {"labels and tags in another order",
         [](SVMInfoLib& vm) {
             std::swap(vm.labels[0], vm.labels[1]);
             std::swap(vm.tags[0], vm.tags[1]);
         },
         "", ""},
        {"machine type", [](SVMInfoLib& vm) { vm.machineType = "e2-medium"; }, "machine type",
         "DIFFERS: e2-medium"},
        {"zone", [](SVMInfoLib& vm) { vm.zone = "us-central1-b"; }, "zone", "DIFFERS: us-central1-b"},
        {"a label value", [](SVMInfoLib& vm) { vm.labels[1].value = "dev"; }, "labels",
         "DIFFERS: app=web,env=dev"},
        {"no labels", [](SVMInfoLib& vm) { vm.labels.clear(); }, "labels", "DIFFERS: (none)"},
        // A script is compared whole but shown by its key and size.
        {"a metadata value", [](SVMInfoLib& vm) { vm.metadata[0].value = "#!/bin/sh"; }, "metadata",
         "DIFFERS: startup-script (9 bytes)"},
        {"a tag", [](SVMInfoLib& vm) { vm.tags.pop_back(); }, "tags", "DIFFERS: http-server"},
        {"subnetwork", [](SVMInfoLib& vm) { vm.networkInterfaces[0].subnetworkName = "other"; }, "network",
         "DIFFERS: default/other"},
        {"a second interface",
         [](SVMInfoLib& vm) { vm.networkInterfaces.push_back(vm.networkInterfaces[0]); }, "network",
         "DIFFERS: default/default, default/default"},
        {"boot disk second", [](SVMInfoLib& vm) { std::swap(vm.disks[0], vm.disks[1]); }, "disks",
         "DIFFERS: 2 disks, boot disk not first"},
        {"a disk missing", [](SVMInfoLib& vm) { vm.disks.pop_back(); }, "disks",
         "DIFFERS: 1 disk, boot first"},
        {"preemptible", [](SVMInfoLib& vm) { vm.scheduling.preemptible = true; }, "scheduling",
         "DIFFERS: MIGRATE, restarts, preemptible"},
        {"node affinities",
         [](SVMInfoLib& vm) {
             vm.scheduling.nodeAffinities.push_back({"k", "IN", {"g"}});
         },
         "scheduling", "DIFFERS: MIGRATE, restarts, standard, node affinities"},
    };
    const SVMInfoLib original = Original();
    for (const Case& c : cases) {
        SVMInfoLib changed = original;
        c.apply(changed);
        const auto rows = gcsdk::demo::CompareVms(original, {original, changed});
        ASSERT_EQ(rows.size(), 8u);
        for (const auto& row : rows) {
            ASSERT_EQ(row.copies.size(), 2u);
            EXPECT_EQ(row.copies[0], "same") << c.change << ": " << row.field;
            const bool differs = row.field == c.field;
            EXPECT_EQ(row.same, !differs) << c.change << ": " << row.field;
            EXPECT_EQ(row.copies[1], differs ? c.shown : "same") << c.change << ": " << row.field;
        }
    }
}

TEST(VmComparisonTest, LinesNameTheVmsAndShowTheOriginal) {
    SVMInfoLib copy = Original();
    copy.name = "web-1-restored";
    copy.machineType = "n2-standard-4";
    const SVMInfoLib original = Original();
    const auto lines =
        gcsdk::demo::ComparisonLines(original, {copy}, gcsdk::demo::CompareVms(original, {copy}));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "FIELD         web-1                        web-1-restored");
    EXPECT_EQ(lines[1], "machine type  e2-standard-2                DIFFERS: n2-standard-4");
    EXPECT_EQ(lines[4], "metadata      startup-script (19 bytes)    same");
    EXPECT_EQ(lines[8], "scheduling    MIGRATE, restarts, standard  same");
}

TEST(VmComparisonTest, NotesWhatARestoreDoesNotCarryOver) {
    SVMInfoLib original = Original();
    original.externalIp = "34.70.10.1";
    original.serviceAccounts = {{"sa@p.iam.gserviceaccount.com", {}}};
    SVMInfoLib full = original, bare = Original();
    full.externalIp = "35.192.0.1";  // an address of its own is an address
    EXPECT_TRUE(gcsdk::demo::NotCarriedOver(original, {full}).empty());
    EXPECT_EQ(gcsdk::demo::NotCarriedOver(original, {full, bare}),
              (std::vector<std::string>{"service account sa@p.iam.gserviceaccount.com",
                                        "external address 34.70.10.1"}));
    EXPECT_TRUE(gcsdk::demo::NotCarriedOver(Original(), {bare}).empty()) << "nothing to lose";
}

gcsdk::DiskKey Key(const std::string& disk, const std::string& type, const std::string& level, bool supported,
                   const std::string& reason = "") {
    gcsdk::DiskKey key;
    key.disk = disk;
    key.encrypted = !type.empty();
    key.keyType = type;
    if (type == "kmsKeyName") key.keyPath = "projects/p/locations/l/keyRings/r/cryptoKeys/" + disk + "-key";
    key.state = type == "kmsKeyName" ? "ENABLED" : "";
    key.protectionLevel = level;
    key.supported = supported;
    key.reason = reason;
    return key;
}

TEST(KeyChecksTest, EveryDiskSupportedOneOnCloudKmsAndTheOtherLevelRefused) {
    const gcsdk::DiskKey boot = Key("boot", "", "", true), data = Key("data", "kmsKeyName", "SOFTWARE", true);
    const gcsdk::DiskKey hsm =
        Key("hsm", "kmsKeyName", "HSM", false, "protection level HSM is not supported");
    struct Case {
        std::vector<gcsdk::DiskKey> keys;
        gcsdk::DiskKey refused;
        std::string failure;  // empty: the demo goes on
    };
    const Case cases[] = {
        {{boot, data}, hsm, ""},
        {{boot, data, Key("csek", "rawKey", "", false, "Cloud KMS keys only")},
         hsm,
         "the key of disk csek is not supported: Cloud KMS keys only"},
        {{boot}, hsm, "no disk has a Cloud KMS key"},
        {{boot, data},
         Key("hsm", "kmsKeyName", "HSM", true),
         "the HSM key projects/p/locations/l/keyRings/r/"
         "cryptoKeys/hsm-key was accepted"},
        {{boot, data},
         Key("hsm", "kmsKeyName", "HSM", false),
         "the key projects/p/locations/l/keyRings/r/cryptoKeys/hsm-key was refused without a reason"},
    };
    for (const Case& c : cases) EXPECT_EQ(gcsdk::demo::JudgeDiskKeys(c.keys, c.refused), c.failure);

    EXPECT_EQ(gcsdk::demo::DiskKeyText(boot), "boot: no key");
    EXPECT_EQ(gcsdk::demo::DiskKeyText(data),
              "data: kmsKeyName projects/p/locations/l/keyRings/r/cryptoKeys/data-key (ENABLED, SOFTWARE), "
              "supported");
    EXPECT_EQ(gcsdk::demo::DiskKeyText(Key("csek", "sha256", "", false, "Cloud KMS keys only")),
              "csek: sha256, not supported: Cloud KMS keys only");
}

gcemu::JournalEntry Entry(const std::string& method, const std::string& path) {
    gcemu::JournalEntry entry;
    entry.method = method;
    entry.host = "compute.googleapis.com";
    entry.path = path;
    return entry;
}

TEST(StepRunnerTest, CountsRequestsAndTheOperationsPolled) {
    const std::string op = "/compute/v1/projects/p/zones/z/operations/";
    const std::vector<gcemu::JournalEntry> entries = {
        Entry("POST", "/token"), Entry("POST", "/compute/v1/projects/p/zones/z/disks"),
        Entry("GET", op + "a"),  Entry("GET", op + "a"),     // polled again: one operation
        Entry("GET", op + "b"),  Entry("DELETE", op + "c"),  // not a poll
    };
    const gcsdk::demo::Traffic all = gcsdk::demo::CountTraffic(entries, 0);
    EXPECT_EQ(all.requests, 6u);
    EXPECT_EQ(all.operations, 2u);
    const gcsdk::demo::Traffic tail = gcsdk::demo::CountTraffic(entries, 3);
    EXPECT_EQ(tail.requests, 3u);
    EXPECT_EQ(tail.operations, 2u);
    EXPECT_EQ(gcsdk::demo::CountTraffic(entries, 6).requests, 0u);

    // Spanner's operations and Dataflow's jobs are counted apart.
    const auto On = [](const std::string& host, const std::string& method, const std::string& path) {
        gcemu::JournalEntry entry = Entry(method, path);
        entry.host = host;
        return entry;
    };
    const std::string spanner = "spanner.googleapis.com", dataflow = "dataflow.googleapis.com";
    const std::string job = "/v1b3/projects/p/locations/us-central1/jobs/";
    const std::vector<gcemu::JournalEntry> databases = {
        On(spanner, "POST", "/v1/projects/p/instances/i/databases"),
        On(spanner, "GET", "/v1/projects/p/instances/i/databases/d/operations/o"),
        On(spanner, "GET", "/v1/projects/p/instances/i/databases/d/operations/o"),
        On(dataflow, "POST", "/v1b3/projects/p/locations/us-central1/templates:launch"),
        On(dataflow, "GET", job + "1"),
        On(dataflow, "GET", job + "1"),
        On(dataflow, "GET", job + "2"),
        Entry("GET", op + "a"),
    };
    const gcsdk::demo::Traffic copied = gcsdk::demo::CountTraffic(databases, 0);
    EXPECT_EQ(copied.requests, 8u);
    EXPECT_EQ(copied.operations, 1u);
    EXPECT_EQ(copied.spannerOperations, 1u);
    EXPECT_EQ(copied.dataflowJobs, 2u);
    EXPECT_EQ(all.spannerOperations + all.dataflowJobs, 0u);
}

TEST(StepRunnerTest, OneLinePerStepAndLaterStepsSkippedAfterAFailure) {
    gcemu::Journal journal;
    std::ostringstream out;
    gcsdk::demo::StepRunner steps(out, false, journal);
    EXPECT_TRUE(steps.Run("first", [&](gcsdk::demo::StepReport& report) {
        journal.Append(Entry("GET", "/compute/v1/projects/p/zones/z/operations/a"));
        report.facts = "did it";
        report.details = {"A  B", "1  2"};
        return true;
    }));
    EXPECT_FALSE(steps.Run("second", [&](gcsdk::demo::StepReport& report) {
        report.failure = "creating x: no (400)";
        return false;
    }));
    bool ran = false;
    EXPECT_FALSE(steps.Run("third", [&](gcsdk::demo::StepReport&) { return ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_FALSE(steps.Succeeded());
    steps.PrintSummary("see the log");
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, text.find("summary:")),
              "1. first: did it (1 request)\n     A  B\n     1  2\n2. second: FAILED: creating x: no (400)\n"
              "3. third: skipped\n");
    EXPECT_NE(text.find("\nsummary: 1 of 3 steps succeeded; 1 request sent, 1 operation followed, "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Dataflow"), std::string::npos) << "none followed, none told";
    EXPECT_EQ(text.substr(text.size() - 12), "see the log\n");
}

TEST(StepRunnerTest, TheSummaryTellsTheSpannerOperationsAndDataflowJobs) {
    gcemu::Journal journal;
    for (bool json : {false, true}) {
        std::ostringstream out;
        gcsdk::demo::StepRunner steps(out, json, journal);
        steps.Run("copy", [&](gcsdk::demo::StepReport&) {
            gcemu::JournalEntry poll =
                Entry("GET", std::string("/v1b3/projects/p/locations/l/jobs/") + (json ? "2" : "1"));
            poll.host = "dataflow.googleapis.com";
            journal.Append(poll);
            return true;
        });
        steps.PrintSummary();
        if (!json) {
            EXPECT_NE(
                out.str().find("; 1 request sent, 0 operations followed, 0 Spanner operations and 1 Dataflow "
                               "job followed, "),
                std::string::npos)
                << out.str();
            continue;
        }
        json_spirit::mObject summary;
        ASSERT_TRUE(ZkJson::Unserialize(out.str(), summary)) << out.str();
        EXPECT_EQ(ZkJson::GetIntValue(summary, "dataflowJobs"), 2) << "the journal is shared";
        EXPECT_EQ(ZkJson::GetIntValue(summary["steps"].get_array()[0].get_obj(), "dataflowJobs"), 1);
    }
}

TEST(StepRunnerTest, JsonIsOneObjectAtTheEnd) {
    gcemu::Journal journal;
    std::ostringstream out;
    gcsdk::demo::StepRunner steps(out, true, journal);
    steps.Run("only", [&](gcsdk::demo::StepReport& report) {
        report.facts = "fine";
        return true;
    });
    // A body that throws fails its step rather than the program.
    steps.Run("throws", [&](gcsdk::demo::StepReport&) -> bool { throw std::runtime_error("boom"); });
    EXPECT_EQ(out.str(), "");
    steps.PrintSummary();
    json_spirit::mObject summary;
    ASSERT_TRUE(ZkJson::Unserialize(out.str(), summary)) << out.str();
    EXPECT_FALSE(summary["ok"].get_bool());
    const json_spirit::mArray& list = summary["steps"].get_array();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(ZkJson::GetStringValue(list[0].get_obj(), "status"), "ok");
    EXPECT_EQ(ZkJson::GetStringValue(list[0].get_obj(), "facts"), "fine");
    EXPECT_EQ(ZkJson::GetStringValue(list[1].get_obj(), "failure"), "boom");
}

// Requests come from the journal, connections from the emulator's counts; a host with either is listed.
TEST(StepRunnerTest, CountsRequestsAndConnectionsPerHost) {
    const auto On = [](const std::string& host) {
        gcemu::JournalEntry entry = Entry("GET", "/x");
        entry.host = host;
        return entry;
    };
    const std::vector<gcemu::JournalEntry> entries = {On("compute.googleapis.com"), On("www.googleapis.com"),
                                                      On("compute.googleapis.com")};
    const struct {
        std::map<std::string, size_t> connections;
        std::vector<std::string> rows;  // host requests connections
    } cases[] = {
        {{}, {"compute.googleapis.com 2 0", "www.googleapis.com 1 0"}},
        {{{"compute.googleapis.com", 1}, {"www.googleapis.com", 1}},
         {"compute.googleapis.com 2 1", "www.googleapis.com 1 1"}},
        {{{"compute.googleapis.com", 2}, {"cloudkms.googleapis.com", 1}},
         {"cloudkms.googleapis.com 0 1", "compute.googleapis.com 2 2", "www.googleapis.com 1 0"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> rows;
        for (const auto& host : gcsdk::demo::CountHostTraffic(entries, c.connections))
            rows.push_back(host.host + " " + std::to_string(host.requests) + " " +
                           std::to_string(host.connections));
        EXPECT_EQ(rows, c.rows);
    }
}

}  // namespace
