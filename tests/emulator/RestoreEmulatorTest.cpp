// Restore through the facade against gcemu: a VM backed up (its disks snapshotted), disks made from the
// snapshots, and the VM created again from its saved configuration, now or later from a bucket; the
// restored VM compared with the original field by field.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "emulator/ComputeOperations.h"
#include "host/ZkJson.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using gcemu::OperationFault;
using testsupport::LogCapture;

const char kProject[] = "gcemu-project-1";
const char kInstancesPath[] = "/compute/v1/projects/gcemu-project-1/zones/us-central1-a/instances";

class RestoreEmulatorTest : public testsupport::EmulatorTest {
protected:
    struct Backup {
        SVMInfoLib original;
        std::string configJson;
        std::map<std::string, std::string> overrides;  // saved disk -> restored disk
        SVMInfoLib record;                             // what the agent hands to the restore
    };

    // Backs the VM up (a snapshot of every disk) and makes new disks from the snapshots, suffixed.
    Backup BackUpAndMakeDisks(CGoogleCloudSDKWrapper& wrapper, const std::string& name,
                              const std::string& suffix, const std::string& zone = "us-central1-a") {
        Backup backup;
        EXPECT_TRUE(wrapper.GetVMInfo(kProject, name, "", zone, backup.original, VM_PROP_VM_DISK_LIST));
        EXPECT_TRUE(wrapper.GetInstanceConfigJson(kProject, name, "", zone, backup.configJson));
        backup.record.name = name + suffix;
        backup.record.zone = backup.original.zone;
        backup.record.machineType = backup.original.machineType;
        for (const SDiskInfoLib& disk : backup.original.disks) {
            SSnapshotInfoLib snapshot;
            snapshot.name = disk.name + suffix + "-snap";
            EXPECT_TRUE(wrapper.CreateZonalDiskSnapshot(kProject, disk.name, disk.zone, snapshot, true));
            SDiskInfoLib restored;
            restored.rawJson = disk.rawJson;
            EXPECT_TRUE(wrapper.CreateDiskFromSnapshot(kProject, snapshot.selfLink, disk.name + suffix,
                                                       disk.zone, "", false, disk.type, restored, true))
                << wrapper.GetLastError();
            SDiskInfoLib entry;
            entry.name = disk.name + suffix;
            entry.boot = disk.boot;
            entry.rawJson = disk.rawJson;
            backup.record.disks.insert(disk.boot ? backup.record.disks.end() : backup.record.disks.begin(),
                                       entry);
            backup.overrides[disk.name] = disk.name + suffix;
        }
        for (size_t i = 0; i < backup.original.networkInterfaces.size(); ++i) {
            SNetworkInterfaceInfoLib nic;
            nic.name = std::to_string(i + 1);  // "1" is the saved nic0
            backup.record.networkInterfaces.push_back(nic);
        }
        return backup;
    }

    std::vector<std::string> InstancePosts() {
        std::vector<std::string> bodies;
        for (const auto& entry : Emulator().journal().Snapshot())
            if (entry.method == "POST" && entry.path == kInstancesPath) bodies.push_back(entry.body);
        return bodies;
    }

    static std::vector<std::string> DiskNames(const SVMInfoLib& vm) {
        std::vector<std::string> names;
        for (const auto& disk : vm.disks) names.push_back(disk.name);
        return names;
    }
};

void ExpectSameVm(const SVMInfoLib& original, const SVMInfoLib& restored, const std::string& suffix) {
    EXPECT_EQ(restored.zone, original.zone);
    EXPECT_EQ(restored.machineType, original.machineType);
    EXPECT_EQ(restored.status, "RUNNING");
    EXPECT_NE(restored.id, original.id);
    EXPECT_EQ(restored.canIpForward, original.canIpForward);
    EXPECT_EQ(restored.tags, original.tags);
    ASSERT_EQ(restored.labels.size(), original.labels.size());
    for (size_t i = 0; i < original.labels.size(); ++i) {
        EXPECT_EQ(restored.labels[i].key, original.labels[i].key);
        EXPECT_EQ(restored.labels[i].value, original.labels[i].value);
    }
    ASSERT_EQ(restored.metadata.size(), original.metadata.size());
    for (size_t i = 0; i < original.metadata.size(); ++i)
        EXPECT_EQ(restored.metadata[i].value, original.metadata[i].value);
    EXPECT_EQ(restored.scheduling.onHostMaintenance, original.scheduling.onHostMaintenance);
    EXPECT_EQ(restored.scheduling.automaticRestart, original.scheduling.automaticRestart);
    ASSERT_EQ(restored.networkInterfaces.size(), original.networkInterfaces.size());
    for (size_t i = 0; i < original.networkInterfaces.size(); ++i) {
        EXPECT_EQ(restored.networkInterfaces[i].network, original.networkInterfaces[i].network);
        EXPECT_EQ(restored.networkInterfaces[i].subnetwork, original.networkInterfaces[i].subnetwork);
    }
    ASSERT_EQ(restored.disks.size(), original.disks.size());
    for (size_t i = 0; i < original.disks.size(); ++i) {
        EXPECT_EQ(restored.disks[i].name, original.disks[i].name + suffix);
        EXPECT_EQ(restored.disks[i].boot, original.disks[i].boot);
        EXPECT_EQ(restored.disks[i].mode, original.disks[i].mode);
        EXPECT_EQ(restored.disks[i].autoDelete, original.disks[i].autoDelete);
        // A guest that mounts by /dev/disk/by-id/google-<device name> must find its disks again.
        EXPECT_EQ(restored.disks[i].deviceName, original.disks[i].deviceName) << original.disks[i].name;
    }
    EXPECT_EQ(restored.osLicense, original.osLicense);
}

TEST_F(RestoreEmulatorTest, BacksUpAndRestoresAVmThroughOneZoneExhaustion) {
    auto wrapper = Connected();
    Backup backup = BackUpAndMakeDisks(*wrapper, "web-1", "-r");
    // The VM is lost (its own disks go with it); its addresses are free again.
    ASSERT_TRUE(wrapper->DeleteInstance(kProject, "web-1", "", "us-central1-a", false));
    Emulator().journal().Clear();
    Emulator().operations().AddFault(OperationFault::Of(
        "ZONE_RESOURCE_POOL_EXHAUSTED", "insert", "projects/gcemu-project-1/zones/us-central1-a/instances/"));
    LogCapture capture;
    SVMInfoLib vm = backup.record;
    vm.id = backup.original.id;  // the record still carries the lost VM's GUID: the new one is read by name
    ASSERT_TRUE(wrapper->CreateInstance(kProject, vm, backup.configJson, false, backup.overrides, false))
        << wrapper->GetLastError();
    EXPECT_EQ(InstancePosts().size(), 2u) << "one retry";
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Retrying operation"));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Instance created successfully"));
    // Lines of shared steps carry the tag of the method the caller called.
    EXPECT_NE(capture.TagOf("Retrying operation").find("CGoogleCloudOperations::CreateInstance("),
              std::string::npos);
    for (const char* line : {"Creating instance", "Instance created successfully"})
        EXPECT_NE(capture.TagOf(line).find("CGoogleCloudSDKWrapper::CreateInstance("), std::string::npos)
            << line;
    EXPECT_EQ(vm.name, "web-1-r");
    ExpectSameVm(backup.original, vm, "-r");
}

TEST_F(RestoreEmulatorTest, PersistentZoneExhaustionEndsAfterTheConfiguredAttempts) {
    UseSettings("[VirtualServer]\nnGoogleOperationRetryAttempts=2\n");
    auto wrapper = Connected();
    Backup backup = BackUpAndMakeDisks(*wrapper, "web-1", "-x");
    Emulator().operations().AddFault(
        OperationFault::Of("ZONE_RESOURCE_POOL_EXHAUSTED_WITH_DETAILS", "insert", "", /*count=*/10));
    SVMInfoLib vm = backup.record;
    EXPECT_FALSE(wrapper->CreateInstance(kProject, vm, backup.configJson, false, backup.overrides, false));
    EXPECT_EQ(InstancePosts().size(), 3u) << "the first attempt and two more";
    EXPECT_EQ(wrapper->GetLastErrorCode(), "ZONE_RESOURCE_POOL_EXHAUSTED_WITH_DETAILS");

    UseSettings("[VirtualServer]\nnGoogleOperationRetryAttempts=0\n");
    auto once = Connected();
    Emulator().journal().Clear();
    SVMInfoLib again = backup.record;
    EXPECT_FALSE(once->CreateInstance(kProject, again, backup.configJson, false, backup.overrides, false));
    EXPECT_EQ(InstancePosts().size(), 1u);
}

TEST_F(RestoreEmulatorTest, AddressesInUseAreLeftForComputeEngineToChoose) {
    auto wrapper = Connected();
    Backup backup = BackUpAndMakeDisks(*wrapper, "router-1", "-r");  // router-1 still holds both addresses
    SVMInfoLib vm = backup.record;
    ASSERT_TRUE(wrapper->CreateInstance(kProject, vm, backup.configJson, false, backup.overrides, false))
        << wrapper->GetLastError();
    std::vector<std::string> posts = InstancePosts();
    ASSERT_EQ(posts.size(), 3u) << "one address at a time, as each conflict names one";
    const std::string first = backup.original.networkInterfaces[0].networkIP;
    const std::string second = backup.original.networkInterfaces[1].networkIP;
    EXPECT_NE(posts[0].find(first), std::string::npos);
    EXPECT_EQ(posts[1].find("\"networkIP\":\"" + first + "\""), std::string::npos);
    EXPECT_NE(posts[1].find(second), std::string::npos);
    EXPECT_EQ(posts[2].find("networkIP"), std::string::npos);
    EXPECT_NE(vm.networkInterfaces[0].networkIP, first);
}

TEST_F(RestoreEmulatorTest, NodeAffinitiesAreKeptDroppedOrClearedWhenNoGroupMatches) {
    auto wrapper = Connected();
    Backup kept = BackUpAndMakeDisks(*wrapper, "tenant-1", "-k");
    LogCapture capture;
    SVMInfoLib vm = kept.record;
    ASSERT_TRUE(wrapper->CreateInstance(kProject, vm, kept.configJson, false, kept.overrides, false))
        << wrapper->GetLastError();
    EXPECT_TRUE(capture.Has(
        host::kLogDebug, "Matching Node Affinity [sole-tenant-group] found for the Instance [tenant-1-k]"));
    EXPECT_NE(InstancePosts().back().find("\"nodeAffinities\""), std::string::npos);
    EXPECT_EQ(vm.scheduling.nodeAffinities.size(), 1u);

    Backup dropped = BackUpAndMakeDisks(*wrapper, "tenant-1", "-d");
    SVMInfoLib withoutAffinity = dropped.record;
    ASSERT_TRUE(wrapper->CreateInstance(kProject, withoutAffinity, dropped.configJson, false,
                                        dropped.overrides, true));
    EXPECT_EQ(InstancePosts().back().find("nodeAffinities"), std::string::npos);

    // The node group is gone: the check fails, the affinities go, the VM is made without them.
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        world.Erase("compute.nodeGroups",
                    "projects/gcemu-project-1/zones/us-central1-a/nodeGroups/sole-tenant-group");
    }
    Backup orphan = BackUpAndMakeDisks(*wrapper, "tenant-1", "-o");
    SVMInfoLib cleared = orphan.record;
    ASSERT_TRUE(
        wrapper->CreateInstance(kProject, cleared, orphan.configJson, false, orphan.overrides, false));
    EXPECT_TRUE(
        capture.Has(host::kLogDebug, "No matching Node Affinity found for the Instance [tenant-1-o]"));
    EXPECT_EQ(InstancePosts().back().find("nodeAffinities"), std::string::npos);
}

TEST_F(RestoreEmulatorTest, ANodeAffinityIsValidWhenItsNodeGroupExistsInTheZone) {
    auto wrapper = Connected();
    SNodeAffinityInfo group;
    group.key = "compute.googleapis.com/node-group-name";
    group.operator_ = "IN";
    group.values = {"no-such-group", "sole-tenant-group"};
    SNodeAffinityInfo other;
    other.key = "compute.googleapis.com/node-name";
    other.operator_ = "IN";
    other.values = {"sole-tenant-group"};
    EXPECT_TRUE(wrapper->CheckValidNodeAffinities(kProject, "us-central1-a", "vm", {other, group}));
    EXPECT_FALSE(wrapper->CheckValidNodeAffinities(kProject, "us-central1-b", "vm", {group}))
        << "the group lives in us-central1-a";
    EXPECT_FALSE(wrapper->CheckValidNodeAffinities(kProject, "us-central1-a", "vm", {other}))
        << "only the node-group-name key names a group";
}

TEST_F(RestoreEmulatorTest, ADelayedDeploymentSendsExactlyTheStoredBody) {
    auto wrapper = Connected();
    Backup backup = BackUpAndMakeDisks(*wrapper, "db-2", "-later", "us-central1-b");
    SVMInfoLib vm = backup.record;
    LogCapture capture;
    ASSERT_TRUE(wrapper->DelayVMDeployment(kProject, backup.configJson, "gcsdk-deployments", "db-2.json", vm,
                                           true, backup.overrides, false))
        << wrapper->GetLastError();
    EXPECT_TRUE(InstancePosts().empty()) << "nothing is created yet";
    EXPECT_NE(capture.TagOf("Creating instance").find("::DelayVMDeployment("), std::string::npos);
    // Later, db-2 is gone; its addresses are free for the stored body, which names them.
    ASSERT_TRUE(wrapper->DeleteInstance(kProject, "db-2", "", "us-central1-b", false));

    std::string stored;
    ASSERT_TRUE(wrapper->DownloadVMInfoFromBucket(kProject, "gcsdk-deployments", "db-2.json", stored));
    SVMInfoLib deployed;
    ASSERT_TRUE(wrapper->CreateInstanceFromJson(kProject, "us-central1-b", stored, deployed))
        << wrapper->GetLastError();
    ASSERT_EQ(InstancePosts().size(), 0u) << "db-2 lives in us-central1-b";
    std::string sent;
    for (const auto& entry : Emulator().journal().Snapshot())
        if (entry.method == "POST" && entry.path.find("/zones/us-central1-b/instances") != std::string::npos)
            sent = entry.body;
    EXPECT_EQ(sent, stored);
    EXPECT_EQ(deployed.name, "db-2-later");
    EXPECT_EQ(deployed.status, "RUNNING");

    capture.Clear();
    SVMInfoLib broken;
    EXPECT_FALSE(wrapper->CreateInstanceFromJson(kProject, "us-central1-b", "{oops", broken));
    EXPECT_TRUE(capture.Has(host::kLogError, "Failed to parse the VM configuration JSON [{oops]"));
}

TEST_F(RestoreEmulatorTest, RegionalDisksAndSavedModesAreTakenFromTheConfiguration) {
    auto wrapper = Connected();
    std::string dbConfig;
    ASSERT_TRUE(wrapper->GetInstanceConfigJson(kProject, "db-1", "", "us-central1-a", dbConfig));
    SVMInfoLib original;
    ASSERT_TRUE(wrapper->GetVMInfo(kProject, "db-1", "", "us-central1-a", original, VM_PROP_VM_DISK_LIST));
    SVMInfoLib vm;
    vm.name = "db-1-copy";
    vm.zone = "us-central1-a";
    vm.machineType = "n2-standard-4";
    for (const SDiskInfoLib& disk : original.disks) {
        SDiskInfoLib entry;
        entry.name = disk.name;
        entry.boot = disk.boot;
        entry.rawJson = disk.rawJson;
        vm.disks.push_back(entry);
    }
    std::map<std::string, std::string> overrides{{"db-ha-data", "db-ha-data"}};
    ASSERT_TRUE(wrapper->FillVMInfo(kProject, vm, dbConfig, overrides));
    ASSERT_EQ(vm.disks.size(), 2u);
    EXPECT_EQ(vm.disks[1].name, "db-ha-data");
    EXPECT_EQ(vm.disks[1].replicaZones.size(), 2u) << "read as the regional disk its saved text describes";
    EXPECT_EQ(vm.disks[1].mode, original.disks[1].mode) << "taken from the saved disk it replaces";
    EXPECT_TRUE(vm.deletionProtection);

    SMachineTypeInfoLib size;
    ASSERT_TRUE(wrapper->GetVMSizeFromVMConfigJson(kProject, dbConfig, size));
    EXPECT_EQ(size.guestCpus, 4);
    LogCapture capture;
    EXPECT_FALSE(wrapper->GetVMSizeFromVMConfigJson(kProject, "[]", size));
    EXPECT_TRUE(capture.Has(host::kLogError, "Failed to parse VM Configuration JSON file"));
}

}  // namespace
