// Instance (VM) records read from real Compute Engine responses, and the instance insert body.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "tests/support/LogCapture.h"

using namespace GoogleCloudSDKWrapper;
using testsupport::LogCapture;

namespace {

const std::string kCompute = "https://www.googleapis.com/compute/v1/projects/p/";

std::string ReadFixture(const std::string& name) {
    std::ifstream file(std::string(GCSDK_FIXTURES_DIR) + "/compute/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ErrorLines(const LogCapture& log) {
    std::string lines;
    for (const host::LogLine& line : log.Lines())
        if (line.level == host::kLogError) lines += line.message + "\n";
    return lines;
}

// Every instance of a fixture, as the queries read them (single, list or aggregated list), with the
// instance JSON it came from.
struct Parsed {
    std::vector<SVMInfoLib> vms;
    std::vector<mObject> raw;
};

Parsed ParseInstances(CGoogleCloudParser& parser, const std::string& text) {
    Parsed parsed;
    mObject top;
    EXPECT_TRUE(ZkJson::Unserialize(text, top));
    auto add = [&](const mObject& scope, const std::string& key) {
        if (const mArray* list = ZkJson::FindArray(scope, key)) {
            for (const mValue& item : *list) parsed.raw.push_back(item.get_obj());
            EXPECT_TRUE(parser.ParseList(ZkJson::Serialize(scope), key, parsed.vms));
        }
    };
    if (ZkJson::GetStringValue(top, "kind") == "compute#instance") {
        parsed.vms.emplace_back();
        EXPECT_TRUE(parser.ParseObject(text, parsed.vms.back()));
        parsed.raw.push_back(top);
    } else if (const mObject* scopes = ZkJson::FindObject(top, "items")) {
        for (const auto& [name, scope] : *scopes) add(scope.get_obj(), "instances");
    } else {
        add(top, "items");
    }
    return parsed;
}

size_t ArraySize(const mObject& object, const std::string& key) {
    const mArray* array = ZkJson::FindArray(object, key);
    return array ? array->size() : 0;
}

size_t ItemCount(const mObject& object, const std::string& key) {
    const mObject* holder = ZkJson::FindObject(object, key);
    return holder ? ArraySize(*holder, "items") : 0;
}

size_t MemberCount(const mObject& object, const std::string& key) {
    const mObject* map = ZkJson::FindObject(object, key);
    return map ? map->size() : 0;
}

std::string Last(const std::string& url) {
    return url.substr(url.rfind('/') + 1);
}

TEST(InstanceMappingTest, EveryInstanceFixtureReadsWithoutErrorsAndMatchesItsJson) {
    const std::pair<const char*, size_t> fixtures[] = {
        {"instance-running-external-nat.json", 1},
        {"instance-suspended.json", 1},
        {"instance-terminated-uefi-shielded.json", 1},
        {"instances-aggregated-gcpdiag.json", 6},
        {"instances-aggregated-suspended.json", 1},
        {"instances-aggregated-two-disk-instance.json", 4},
        {"instances-list-empty.json", 0},
        {"instances-list-gke-nodes.json", 3},
        {"instances-list-mixed.json", 4},
        {"instances-list-stopping.json", 1},
        {"instances-list-two-disks-metadata.json", 2},
    };
    CGoogleCloudParser parser;
    for (const auto& [file, count] : fixtures) {
        SCOPED_TRACE(file);
        LogCapture log;
        Parsed parsed = ParseInstances(parser, ReadFixture(file));
        EXPECT_EQ("", ErrorLines(log));
        ASSERT_EQ(count, parsed.vms.size());
        for (size_t i = 0; i < count; ++i) {
            const SVMInfoLib& vm = parsed.vms[i];
            const mObject& raw = parsed.raw[i];
            SCOPED_TRACE(vm.name);
            EXPECT_EQ(ZkJson::GetStringValue(raw, "name"), vm.name);
            EXPECT_EQ(ZkJson::GetStringValue(raw, "id"), vm.id);
            EXPECT_EQ(ZkJson::GetStringValue(raw, "status"), vm.status);
            EXPECT_EQ(ZkJson::GetStringValue(raw, "selfLink"), vm.selfLink);
            EXPECT_EQ(Last(ZkJson::GetStringValue(raw, "zone")), vm.zone);
            EXPECT_EQ(vm.zone.substr(0, vm.zone.size() - 2), vm.region);
            EXPECT_EQ(Last(ZkJson::GetStringValue(raw, "machineType")), vm.machineType);
            EXPECT_EQ(ArraySize(raw, "disks"), vm.disks.size());
            EXPECT_EQ(vm.disks.size(), static_cast<size_t>(vm.diskCount));
            EXPECT_EQ(ArraySize(raw, "networkInterfaces"), vm.networkInterfaces.size());
            EXPECT_EQ(vm.networkInterfaces.size(), static_cast<size_t>(vm.networkInterfaceCount));
            EXPECT_EQ(ItemCount(raw, "tags"), vm.tags.size());
            EXPECT_EQ(ItemCount(raw, "metadata"), vm.metadata.size());
            EXPECT_EQ(MemberCount(raw, "labels"), vm.labels.size());
            EXPECT_EQ(ArraySize(raw, "serviceAccounts"), vm.serviceAccounts.size());
            // Attached disks are named after their source (the disk reader).
            for (size_t d = 0; d < vm.disks.size(); ++d)
                EXPECT_EQ(Last(vm.disks[d].source), vm.disks[d].name) << d;
        }
    }
}

// Values a restore depends on, checked by hand against the fixture text.
TEST(InstanceMappingTest, RestoreRelevantValuesOfChosenFixtures) {
    struct Case {
        const char* file;
        size_t index;
        const char* name;
        const char* id;
        const char* zone;
        const char* region;
        const char* machineType;
        const char* status;
        const char* osLicense;
        const char* firmware;
        const char* externalIp;
        std::function<void(const SVMInfoLib&)> more;
    } cases[] = {
        {"instance-running-external-nat.json", 0, "c7n-jenkins", "2966820606951926687", "us-central1-b",
         "us-central1", "n1-standard-1", "RUNNING", "ubuntu-1804-lts", "", "104.197.114.99",
         [](const SVMInfoLib& vm) {
             ASSERT_EQ(1u, vm.networkInterfaces.size());
             const SNetworkInterfaceInfoLib& nic = vm.networkInterfaces[0];
             EXPECT_EQ("nic0", nic.name);
             EXPECT_EQ("default", nic.networkName);
             EXPECT_EQ(
                 "https://www.googleapis.com/compute/v1/projects/cloud-custodian/global/networks/default",
                 nic.network);
             EXPECT_EQ("default-48aec19374439812", nic.subnetworkName);
             EXPECT_EQ(
                 "https://www.googleapis.com/compute/v1/projects/cloud-custodian/regions/us-central1/"
                 "subnetworks/default-48aec19374439812",
                 nic.subnetwork);
             EXPECT_EQ("10.128.0.3", nic.networkIP);
             ASSERT_EQ(1u, nic.accessConfigs.size());
             EXPECT_EQ("ONE_TO_ONE_NAT", nic.accessConfigs[0].type);
             EXPECT_EQ(std::vector<std::string>{"https-server"}, vm.tags);
             EXPECT_TRUE(vm.metadata.empty());  // "metadata" without "items"
             ASSERT_EQ(1u, vm.serviceAccounts.size());
             EXPECT_EQ("628364689359-compute@developer.gserviceaccount.com", vm.serviceAccounts[0].email);
             EXPECT_EQ(6u, vm.serviceAccounts[0].scopes.size());
             EXPECT_EQ("https://www.googleapis.com/auth/trace.append", vm.serviceAccounts[0].scopes[5]);
             EXPECT_EQ("Intel Haswell", vm.cpuPlatform);
             EXPECT_EQ("MIGRATE", vm.scheduling.onHostMaintenance);
             EXPECT_TRUE(vm.scheduling.automaticRestart);
             // No "shieldedInstanceConfig": secure boot off, vTPM and integrity monitoring on.
             EXPECT_FALSE(vm.shieldedInstanceConfig.enableSecureBoot);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableVtpm);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableIntegrityMonitoring);
             ASSERT_EQ(1u, vm.disks.size());
             EXPECT_TRUE(vm.disks[0].boot);
             EXPECT_EQ("c7n-jenkins", vm.disks[0].name);
             EXPECT_EQ("SCSI", vm.disks[0].interface);
         }},
        // UEFI boot disk; "External NAT" without an address.
        {"instance-terminated-uefi-shielded.json", 0, "instance-1", "1116531078760334288", "us-central1-a",
         "us-central1", "e2-medium", "TERMINATED", "ubuntu-2204-lts", "efi", "",
         [](const SVMInfoLib& vm) {
             ASSERT_EQ(1u, vm.labels.size());
             EXPECT_EQ("env", vm.labels[0].key);
             EXPECT_EQ("dev", vm.labels[0].value);
             EXPECT_TRUE(vm.tags.empty());
             EXPECT_FALSE(vm.displayDevice.enableDisplay);
             EXPECT_FALSE(vm.confidentialInstanceConfig.enableConfidentialCompute);
         }},
        // The NAT config is named "external-nat": only the exact name counts.
        {"instance-suspended.json", 0, "pro-narwhal", "6898528043909006062", "us-central1-a", "us-central1",
         "e2-medium", "SUSPENDED", "ubuntu-2204-lts", "efi", "",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ((std::vector<std::string>{"bar", "foo"}), vm.tags);
             EXPECT_EQ("pro-narwhal-vpc", vm.networkInterfaces[0].networkName);
             EXPECT_EQ("pro-narwhal-subnet", vm.networkInterfaces[0].subnetworkName);
         }},
        // Two Windows licenses, the first is taken; spot scheduling.
        {"instances-aggregated-gcpdiag.json", 0, "gce1", "7276406499315716343", "europe-west4-a",
         "europe-west4", "e2-micro", "RUNNING", "windows-server-2019-dc", "efi", "",
         [](const SVMInfoLib& vm) {
             EXPECT_TRUE(vm.networkInterfaces[0].accessConfigs.empty());
             EXPECT_EQ("TERMINATE", vm.scheduling.onHostMaintenance);
             EXPECT_FALSE(vm.scheduling.automaticRestart);
             EXPECT_TRUE(vm.scheduling.preemptible);
         }},
        // Boot disk first, then a data disk; no OS license among five, so the first. NAT named
        // "external-nat".
        {"instances-list-two-disks-metadata.json", 0, "notebooks2instance-ok", "7519326121542266893",
         "us-west1-a", "us-west1", "e2-standard-4", "RUNNING", "c2d-tensorflow", "efi", "",
         [](const SVMInfoLib& vm) {
             ASSERT_EQ(2u, vm.disks.size());
             EXPECT_EQ("notebooks2instance-ok-boot", vm.disks[0].name);
             EXPECT_TRUE(vm.disks[0].boot);
             EXPECT_EQ(5u, vm.disks[0].licenses.size());
             EXPECT_EQ("notebooks2instance-ok-data-workspace", vm.disks[1].name);
             EXPECT_FALSE(vm.disks[1].boot);
             EXPECT_EQ(21u, vm.metadata.size());
             std::vector<std::string> keys;
             for (const auto& label : vm.labels) keys.push_back(label.key);
             EXPECT_EQ((std::vector<std::string>{"consumer-project-id", "consumer-project-number",
                                                 "notebooks-product", "resource-name"}),
                       keys);
             EXPECT_EQ("12340012", vm.labels[1].value);
         }},
        // The second disk also has licenses; the boot disk's count. (Scopes come in name order.)
        {"instances-aggregated-two-disk-instance.json", 1, "drone", "4913675096949006093", "us-central1-b",
         "us-central1", "n1-standard-1", "TERMINATED", "ubuntu-1604-xenial", "", "", nullptr},
        // Labels with empty values, in name order rather than document order.
        {"instances-aggregated-two-disk-instance.json", 3, "custodian", "4179518482904332734", "us-east1-d",
         "us-east1", "n1-standard-2", "RUNNING", "ubuntu-1404-trusty", "", "104.196.149.1",
         [](const SVMInfoLib& vm) {
             std::vector<std::string> keys;
             for (const auto& label : vm.labels) keys.push_back(label.key + "=" + label.value);
             EXPECT_EQ(
                 (std::vector<std::string>{"ci=", "custodian=", "drone=", "http-server=", "https-server="}),
                 keys);
         }},
    };
    CGoogleCloudParser parser;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " #" + std::to_string(c.index));
        Parsed parsed = ParseInstances(parser, ReadFixture(c.file));
        ASSERT_LT(c.index, parsed.vms.size());
        const SVMInfoLib& vm = parsed.vms[c.index];
        EXPECT_EQ(c.name, vm.name);
        EXPECT_EQ(c.id, vm.id);
        EXPECT_EQ(c.zone, vm.zone);
        EXPECT_EQ(c.region, vm.region);
        EXPECT_EQ(c.machineType, vm.machineType);
        EXPECT_EQ(c.status, vm.status);
        EXPECT_EQ(c.osLicense, vm.osLicense);
        EXPECT_EQ(c.firmware, vm.firmware);
        EXPECT_EQ(c.externalIp, vm.externalIp);
        if (c.more) c.more(vm);
    }
}

std::string Disk(const std::string& name, bool boot, const std::string& licenses,
                 const std::string& features = "") {
    return R"({"kind":"compute#attachedDisk","source":")" + kCompute + "zones/z/disks/" + name +
           R"(","boot":)" + (boot ? "true" : "false") + R"(,"licenses":[)" + licenses +
           R"(],"guestOsFeatures":[)" + features + "]}";
}

std::string License(const std::string& project, const std::string& name) {
    return "\"https://www.googleapis.com/compute/v1/projects/" + project + "/global/licenses/" + name + "\"";
}

std::string Nic(const std::string& configs) {
    return R"({"network":"n","accessConfigs":[)" + configs + "]}";
}

std::string Nat(const std::string& name, const std::string& ip) {
    return R"({"name":")" + name + R"(","type":"ONE_TO_ONE_NAT","natIP":")" + ip + "\"}";
}

// Derived values and defaults on instance JSON built for the purpose.
TEST(InstanceMappingTest, DerivedValuesAndDefaults) {
    const std::string uefi = R"({"type":"UEFI_COMPATIBLE"})";
    struct Case {
        const char* what;
        std::string json;
        std::function<void(const SVMInfoLib&)> check;
    } cases[] = {
        {"zone URL", R"({"zone":")" + kCompute + R"(zones/europe-west4-b"})",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("europe-west4-b", vm.zone);
             EXPECT_EQ("europe-west4", vm.region);
         }},
        {"no zone", "{}",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("", vm.zone);
             EXPECT_EQ("", vm.region);
             EXPECT_EQ(0, vm.diskCount);
             EXPECT_EQ(0, vm.networkInterfaceCount);
         }},
        {"two External NAT configs",
         R"({"networkInterfaces":[)" +
             Nic(Nat("External NAT", "1.1.1.1") + "," + Nat("other", "9.9.9.9") + "," +
                 Nat("External NAT", "2.2.2.2")) +
             "]}",
         [](const SVMInfoLib& vm) { EXPECT_EQ("2.2.2.2", vm.externalIp); }},
        {"NAT only on the second interface",
         R"({"networkInterfaces":[)" + Nic("") + "," + Nic(Nat("External NAT", "2.2.2.2")) + "]}",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("", vm.externalIp);
             EXPECT_EQ(2, vm.networkInterfaceCount);
         }},
        {"Windows license listed second",
         R"({"disks":[)" +
             Disk("b", true, License("cos-cloud", "cos") + "," + License("windows-cloud", "win-2019")) + "]}",
         [](const SVMInfoLib& vm) { EXPECT_EQ("win-2019", vm.osLicense); }},
        {"no OS license: the first",
         R"({"disks":[)" + Disk("b", true, License("a", "l1") + "," + License("b", "l2")) + "]}",
         [](const SVMInfoLib& vm) { EXPECT_EQ("l1", vm.osLicense); }},
        {"no boot disk with licenses, UEFI data disk",
         R"({"disks":[)" + Disk("b", true, "") + "," + Disk("d", false, License("rhel-cloud", "rhel"), uefi) +
             "]}",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("", vm.osLicense);
             EXPECT_EQ("efi", vm.firmware);
             EXPECT_EQ(2, vm.diskCount);
         }},
        {"UEFI only after the licensed boot disk",
         R"({"disks":[)" + Disk("b", true, License("suse-cloud", "sles")) + "," + Disk("d", false, "", uefi) +
             "]}",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("sles", vm.osLicense);
             EXPECT_EQ("", vm.firmware);
         }},
        {"no scheduling, no shielded config", "{}",
         [](const SVMInfoLib& vm) {
             EXPECT_TRUE(vm.scheduling.automaticRestart);
             EXPECT_FALSE(vm.scheduling.preemptible);
             EXPECT_FALSE(vm.shieldedInstanceConfig.enableSecureBoot);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableVtpm);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableIntegrityMonitoring);
         }},
        // The API leaves these flags out when they hold their default.
        {"present objects without the flags",
         R"({"scheduling":{"preemptible":true},"shieldedInstanceConfig":{}})",
         [](const SVMInfoLib& vm) {
             EXPECT_TRUE(vm.scheduling.automaticRestart);
             EXPECT_TRUE(vm.scheduling.preemptible);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableVtpm);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableIntegrityMonitoring);
         }},
        {"node affinities and flags",
         R"({"scheduling":{"nodeAffinities":[{"key":"k","operator":"IN","values":["a",1,"b"]}]},
             "displayDevice":{"enableDisplay":true},"confidentialInstanceConfig":{"enableConfidentialCompute":true},
             "shieldedInstanceConfig":{"enableSecureBoot":true,"enableVtpm":false,"enableIntegrityMonitoring":false},
             "deletionProtection":true,"canIpForward":true,"tags":{}})",
         [](const SVMInfoLib& vm) {
             ASSERT_EQ(1u, vm.scheduling.nodeAffinities.size());
             EXPECT_EQ("k", vm.scheduling.nodeAffinities[0].key);
             EXPECT_EQ("IN", vm.scheduling.nodeAffinities[0].operator_);
             EXPECT_EQ((std::vector<std::string>{"a", "b"}), vm.scheduling.nodeAffinities[0].values);
             EXPECT_TRUE(vm.displayDevice.enableDisplay);
             EXPECT_TRUE(vm.confidentialInstanceConfig.enableConfidentialCompute);
             EXPECT_TRUE(vm.shieldedInstanceConfig.enableSecureBoot);
             EXPECT_FALSE(vm.shieldedInstanceConfig.enableVtpm);
             EXPECT_FALSE(vm.shieldedInstanceConfig.enableIntegrityMonitoring);
             EXPECT_TRUE(vm.deletionProtection);
             EXPECT_TRUE(vm.canIpForward);
             EXPECT_TRUE(vm.tags.empty());
         }},
    };
    CGoogleCloudParser parser;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        SVMInfoLib vm;
        ASSERT_TRUE(parser.ParseObject(c.json, vm));
        EXPECT_EQ("", ErrorLines(log));
        c.check(vm);
    }
}

TEST(InstanceMappingTest, WrongTypedValuesLogAndKeepDefaults) {
    struct Case {
        const char* json;
        const char* errorLine;
        std::function<void(const SVMInfoLib&)> check;
    } cases[] = {
        {R"({"name":5,"status":"RUNNING"})", "Exception getting value [name] - value type is 4 not 2",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("", vm.name);
             EXPECT_EQ("RUNNING", vm.status);
         }},
        {R"({"canIpForward":"true"})", "Exception getting value [canIpForward] - value type is 2 not 3",
         [](const SVMInfoLib& vm) { EXPECT_FALSE(vm.canIpForward); }},
        {R"({"scheduling":{"automaticRestart":0,"onHostMaintenance":"MIGRATE"}})",
         "Exception getting value [automaticRestart] - value type is 4 not 3",
         [](const SVMInfoLib& vm) {
             EXPECT_TRUE(vm.scheduling.automaticRestart);
             EXPECT_EQ("MIGRATE", vm.scheduling.onHostMaintenance);
         }},
        {R"({"shieldedInstanceConfig":{"enableVtpm":"no"}})",
         "Exception getting value [enableVtpm] - value type is 2 not 3",
         [](const SVMInfoLib& vm) { EXPECT_TRUE(vm.shieldedInstanceConfig.enableVtpm); }},
        {R"({"networkInterfaces":[{"networkIP":10,"network":"a/b"}]})",
         "Exception getting value [networkIP] - value type is 4 not 2",
         [](const SVMInfoLib& vm) {
             EXPECT_EQ("", vm.networkInterfaces.at(0).networkIP);
             EXPECT_EQ("b", vm.networkInterfaces.at(0).networkName);
         }},
        {R"({"networkInterfaces":[{"accessConfigs":[{"name":"External NAT","natIP":true}]}]})",
         "Exception getting value [natIP] - value type is 3 not 2",
         [](const SVMInfoLib& vm) { EXPECT_EQ("", vm.externalIp); }},
    };
    CGoogleCloudParser parser;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        LogCapture log;
        SVMInfoLib vm;
        EXPECT_TRUE(parser.ParseObject(c.json, vm));
        EXPECT_TRUE(log.Has(host::kLogError, c.errorLine)) << log.Dump();
        EXPECT_EQ(1u, log.Lines().size()) << log.Dump();
        c.check(vm);
    }
}

TEST(InstanceMappingTest, LabelWithoutStringValueFailsTheWholeObject) {
    const std::string json = R"({"name":"vm","labels":{"a":"x","b":5}})";
    CGoogleCloudParser parser;
    LogCapture log;
    SVMInfoLib vm;
    EXPECT_FALSE(parser.ParseObject(json, vm));
    EXPECT_TRUE(log.Has(host::kLogError, "Exception parsing json object - value type is 4 not 2\n" + json))
        << log.Dump();
    EXPECT_EQ("vm", vm.name);  // what was read before stays

    std::vector<SVMInfoLib> vms;
    const std::string list = R"({"items":[{"name":"ok"},)" + json + "]}";
    EXPECT_FALSE(parser.ParseList(list, "items", vms));
    EXPECT_TRUE(
        log.Has(host::kLogError, "Exception parsing json list [items] - value type is 4 not 2\n" + list));
    ASSERT_EQ(1u, vms.size());
    EXPECT_EQ("ok", vms[0].name);
}

// The insert body: each case changes a minimal VM and gives the whole text it must produce.
TEST(InstanceMappingTest, RequestBodyKeysAndConditions) {
    const std::string none = R"({"autoDelete":false,"boot":false})";  // a disk with nothing set
    const std::string rest =
        R"("machineType":"mt","name":"vm1","networkInterfaces":[],"scheduling":)"
        R"({"automaticRestart":true,"preemptible":false},"tags":{"items":[]},"zone":"z-a"})";
    auto disk = [](const std::string& interface, const std::vector<std::string>& features = {}) {
        SDiskInfoLib d;
        d.interface = interface;
        d.guestOsFeatures.guestOsFeatures = features;
        return d;
    };
    struct Case {
        const char* what;
        std::function<void(SVMInfoLib&)> change;
        std::string body;
    } cases[] = {
        {"minimal", [](SVMInfoLib&) {}, R"({"canIpForward":false,"disks":[],)" + rest},
        {"every optional part",
         [&](SVMInfoLib& vm) {
             vm.canIpForward = vm.deletionProtection = true;
             vm.description = "d";
             SDiskInfoLib boot = disk("SCSI", {"GVNIC", "UEFI_COMPATIBLE"});
             boot.name = "b";
             boot.source = "zones/z/disks/b";
             boot.mode = "READ_WRITE";
             boot.autoDelete = boot.boot = true;
             boot.sourceImage = "global/images/i";
             boot.licenses = {"l"};  // not part of the body
             vm.disks = {boot, disk("SCSI")};
             vm.shieldedInstanceConfig.enableSecureBoot = true;
             vm.shieldedInstanceConfig.enableVtpm = false;
             SNetworkInterfaceInfoLib full{"nic0",
                                           "n",
                                           "global/networks/n",
                                           "s",
                                           "regions/r/subnetworks/s",
                                           "10.0.0.2",
                                           {{"ONE_TO_ONE_NAT", "External NAT", "1.2.3.4"}}};
             SNetworkInterfaceInfoLib orphan{"nic1", "", "", "s", "regions/r/subnetworks/s", "10.0.0.3", {}};
             SNetworkInterfaceInfoLib bare{"nic2", "m", "global/networks/m", "", "", "", {}};
             vm.networkInterfaces = {full, orphan, bare};
             vm.tags = {"web", "db"};
             vm.metadata = {{"startup-script", "echo"}, {"a", ""}};
             vm.labels = {{"env", "dev"}, {"app", "x"}, {"env", "prod"}};
             vm.serviceAccounts = {{"sa@p.iam.gserviceaccount.com", {"s1", "s2"}}};
             vm.scheduling = {"TERMINATE", false, true, {{"k", "NOT_IN", {"v1", "v2"}}, {"k2", "IN", {}}}};
             vm.displayDevice.enableDisplay = true;
         },
         R"({"canIpForward":true,"deletionProtection":true,"description":"d","disks":[{"autoDelete":true,)"
         R"("boot":true,"initializeParams":{"sourceImage":"global/images/i"},"mode":"READ_WRITE","name":"b",)"
         R"("source":"zones/z/disks/b"},)" +
             none +
             R"(],"displayDevice":{"enableDisplay":true},"labels":{"app":"x","env":"prod"},)"
             R"("machineType":"mt","metadata":{"items":[{"key":"startup-script","value":"echo"},)"
             R"({"key":"a","value":""}]},"name":"vm1","networkInterfaces":[{"accessConfigs":[{"name":)"
             R"("External NAT","type":"ONE_TO_ONE_NAT"}],"network":"global/networks/n","networkIP":"10.0.0.2",)"
             R"("subnetwork":"regions/r/subnetworks/s"},{"network":"global/networks/m"}],"scheduling":)"
             R"({"automaticRestart":false,"nodeAffinities":[{"key":"k","operator":"NOT_IN","values":["v1","v2"]},)"
             R"({"key":"k2","operator":"IN","values":[]}],"onHostMaintenance":"TERMINATE","preemptible":true},)"
             R"("serviceAccounts":[{"email":"sa@p.iam.gserviceaccount.com","scopes":["s1","s2"]}],)"
             R"("shieldedInstanceConfig":{"enableIntegrityMonitoring":true,"enableSecureBoot":true,)"
             R"("enableVtpm":false},"tags":{"items":["web","db"]},"zone":"z-a"})"},
        {"shielded flags without a UEFI disk, confidential with a SCSI disk",
         [&](SVMInfoLib& vm) {
             vm.disks = {disk("NVME", {"uefi_compatible"}), disk("SCSI")};
             vm.shieldedInstanceConfig.enableSecureBoot = true;
             vm.confidentialInstanceConfig.enableConfidentialCompute = true;
         },
         R"({"canIpForward":false,"disks":[)" + none + "," + none + "]," + rest},
        {"confidential, no disks",
         [](SVMInfoLib& vm) { vm.confidentialInstanceConfig.enableConfidentialCompute = true; },
         R"({"canIpForward":false,"confidentialInstanceConfig":{"enableConfidentialCompute":true},"disks":[],)" +
             rest},
        {"confidential, every disk NVMe in any case",
         [&](SVMInfoLib& vm) {
             vm.confidentialInstanceConfig.enableConfidentialCompute = true;
             vm.disks = {disk("nvme"), disk("NVMe")};
         },
         R"({"canIpForward":false,"confidentialInstanceConfig":{"enableConfidentialCompute":true},"disks":[)" +
             none + "," + none + "]," + rest},
        {"NVMe disks, flag off", [&](SVMInfoLib& vm) { vm.disks = {disk("NVMe")}; },
         R"({"canIpForward":false,"disks":[)" + none + "]," + rest},
    };
    CGoogleCloudParser parser;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SVMInfoLib vm;
        vm.name = "vm1";
        vm.zone = "z-a";
        vm.region = "z";
        vm.machineType = "mt";
        vm.id = "123";  // values only read from the API never reach the body
        vm.status = "RUNNING";
        vm.selfLink = "self";
        vm.cpuPlatform = "Intel";
        c.change(vm);
        std::string body;
        ASSERT_TRUE(parser.GetRequestBody(vm, body));
        EXPECT_EQ(c.body, body);
    }
}

}  // namespace
