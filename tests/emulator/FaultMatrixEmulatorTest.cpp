// Every family of public methods under every fault gcemu can inject (see FaultMatrix.h), and the
// changes whose operation or job ends in error.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "emulator/ComputeOperations.h"
#include "emulator/DataflowJobs.h"
#include "emulator/SpannerOperations.h"
#include "host/ZkJson.h"
#include "tests/emulator/FaultMatrix.h"

namespace faultmatrix {
namespace {

using namespace GoogleCloudSDKWrapper;

const std::string kProject = "gcemu-project-1";
const std::string kCompute = "compute.googleapis.com/compute/v1/projects/gcemu-project-1/";
const std::string kZoneA = "us-central1-a";
const std::string kKeyRing = "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring";
const std::string kKey = kKeyRing + "/cryptoKeys/disk-key";
const std::string kKms = "cloudkms.googleapis.com/v1/";
const std::string kSpanner = "spanner.googleapis.com/v1/projects/gcemu-project-1/instances";
const std::string kBucket = "fault-matrix";

// Whether JSON text handed back is an instance; a failure hands over the server's answer as it came (an
// error body, a cut or malformed text), which is none.
bool IsInstance(const std::string& json) {
    json_spirit::mObject object;
    return ZkJson::Unserialize(json, object) && object.count("name") && !object.count("error");
}

template <typename T>
Outcome Listed(bool ok, const std::vector<T>& items) {
    return {ok, !items.empty()};
}

TEST_F(FaultMatrixTest, SignIn) {
    const Call connect{"Connect", "POST", "www.googleapis.com/oauth2",
                       [](CGoogleCloudSDKWrapper& cloud) {
                           return Outcome{cloud.Connect("", Key().email, Key().privateKeyPem), false};
                       },
                       false, true};
    // The token answer has a reader of its own, with its own code for an answer that is not one.
    std::vector<Fault> faults = Faults();
    for (Fault& fault : faults)
        if (fault.code == "INVALID_RESPONSE") fault.code = "INVALID_TOKEN_RESPONSE";
    RunMatrix({connect}, faults);
}

TEST_F(FaultMatrixTest, DiscoveryLists) {
    const std::vector<Call> calls = {
        {"ListProjects", "GET", "cloudresourcemanager.googleapis.com/v1/projects",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SProjectInfoLib> projects;
             return Listed(cloud.ListProjects(projects), projects);
         }},
        {"GetVMInfoListInZone", "GET", kCompute + "zones/us-central1-a/instances",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SVMInfoLib> vms;
             return Listed(cloud.GetVMInfoListInZone(kProject, kZoneA, vms, VM_PROP_VM_DISK_LIST), vms);
         },
         false, false, "", true},
        {"GetVMInfoListByLabel", "GET", kCompute + "zones/",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SVMInfoLib> vms;
             return Listed(cloud.GetVMInfoListByLabel(kProject, "app", "web", vms, 0), vms);
         },
         false, false, "", true, true},
        {"GetZoneInfoList", "GET", kCompute + "zones",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SZoneInfoLib> zones;
             return Listed(cloud.GetZoneInfoList(kProject, zones, 0), zones);
         },
         true},
        {"GetSnapshotList", "GET", kCompute + "global/snapshots",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SSnapshotInfoLib> snapshots;
             return Listed(cloud.GetSnapshotList(kProject, snapshots, 0), snapshots);
         },
         true},
    };
    RunMatrix(calls, Faults());
}

TEST_F(FaultMatrixTest, SingleReads) {
    const std::vector<Call> calls = {
        {"GetVMInfo", "GET", kCompute + "zones/us-central1-a/instances",
         [](CGoogleCloudSDKWrapper& cloud) {
             SVMInfoLib vm;
             const bool ok = cloud.GetVMInfo(kProject, "web-1", "", kZoneA, vm, VM_PROP_VM_DISK_LIST);
             return Outcome{ok, !vm.id.empty() || !vm.disks.empty()};
         }},
        {"GetInstanceConfigJson", "GET", kCompute + "zones/us-central1-a/instances",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::string json;
             const bool ok = cloud.GetInstanceConfigJson(kProject, "web-1", "", kZoneA, json);
             return Outcome{ok, IsInstance(json)};
         }},
        {"GetDiskInfo", "GET", kCompute + "zones/us-central1-a/disks/web-data-1",
         [](CGoogleCloudSDKWrapper& cloud) {
             SDiskInfoLib disk;
             const bool ok = cloud.GetDiskInfo(kProject, "web-data-1", kZoneA, "", false, disk, 0);
             return Outcome{ok, !disk.id.empty()};
         }},
        {"GetSnapshotInfo", "GET", kCompute + "global/snapshots/web-1-daily-20240401",
         [](CGoogleCloudSDKWrapper& cloud) {
             SSnapshotInfoLib snapshot;
             const bool ok = cloud.GetSnapshotInfo(kProject, "web-1-daily-20240401", snapshot, 0);
             return Outcome{ok, !snapshot.id.empty()};
         }},
        {"GetZoneInfo", "GET", kCompute + "zones/us-central1-a",
         [](CGoogleCloudSDKWrapper& cloud) {
             SZoneInfoLib zone;
             return Outcome{cloud.GetZoneInfo(kProject, kZoneA, "", zone, 0), !zone.id.empty()};
         },
         true},
        {"GetNetworkInfo", "GET", kCompute + "global/networks/default",
         [](CGoogleCloudSDKWrapper& cloud) {
             SNetworkInfoLib network;
             return Outcome{cloud.GetNetworkInfo(kProject, "default", network, 0), !network.id.empty()};
         }},
    };
    RunMatrix(calls, Faults());
}

// A disk no VM uses, made from a seeded snapshot.
void MakeSpareDisk(CGoogleCloudSDKWrapper& cloud, const std::string& name) {
    SDiskInfoLib disk;
    ASSERT_TRUE(cloud.CreateZonalDiskFromSnapshot(kProject, "web-1-daily-20240401", name, kZoneA, "pd-standard",
                                                  disk, true))
        << cloud.GetLastError();
}

Call SnapshotCall() {
    return {"CreateZonalDiskSnapshot", "POST", kCompute + "zones/us-central1-a/disks/web-data-1/createSnapshot",
            [](CGoogleCloudSDKWrapper& cloud) {
                SSnapshotInfoLib snapshot;
                snapshot.name = "fault-matrix-snap";
                const bool ok = cloud.CreateZonalDiskSnapshot(kProject, "web-data-1", kZoneA, snapshot, true);
                return Outcome{ok, !snapshot.id.empty()};
            }};
}

TEST_F(FaultMatrixTest, DiskAndSnapshotChanges) {
    ExpectOperationFailure(
        SnapshotCall(),
        [] { Emulator().operations().AddFault(gcemu::OperationFault::Of("QUOTA_EXCEEDED", "createSnapshot")); },
        "QUOTA_EXCEEDED");
    const std::vector<Call> calls = {
        SnapshotCall(),
        {"CreateZonalDiskFromSnapshot", "POST", kCompute + "zones/us-central1-a/disks",
         [](CGoogleCloudSDKWrapper& cloud) {
             SDiskInfoLib disk;
             const bool ok = cloud.CreateZonalDiskFromSnapshot(kProject, "web-1-daily-20240401", "fm-disk",
                                                               kZoneA, "pd-standard", disk, true);
             return Outcome{ok, !disk.id.empty()};
         }},
        {"AttachDisk", "POST", kCompute + "zones/us-central1-a/instances/web-1/attachDisk",
         [](CGoogleCloudSDKWrapper& cloud) {
             bool limitExceeded = false;
             return Outcome{cloud.AttachDisk(kProject, "spare-1", "web-1", kZoneA, limitExceeded), limitExceeded};
         }},
        // The disk's read comes first; its 404 means the disk is gone already.
        {"DeleteZonalDisk", "", kCompute + "zones/us-central1-a/disks/spare-1",
         [](CGoogleCloudSDKWrapper& cloud) { return Outcome{cloud.DeleteZonalDisk(kProject, "spare-1", kZoneA)}; },
         true},
        {"DeleteDiskSnapshot", "DELETE", kCompute + "global/snapshots/web-1-daily-20240402",
         [](CGoogleCloudSDKWrapper& cloud) {
             return Outcome{cloud.DeleteDiskSnapshot(kProject, "web-1-daily-20240402")};
         }},
    };
    RunMatrix(calls, Faults(), [this] { MakeSpareDisk(*Connected(), "spare-1"); });
}

Call StopCall() {
    return {"PowerOffInstance", "POST", kCompute + "zones/us-central1-b/instances/web-2/stop",
            [](CGoogleCloudSDKWrapper& cloud) {
                return Outcome{cloud.PowerOffInstance(kProject, "web-2", "", "us-central1-b")};
            }};
}

TEST_F(FaultMatrixTest, InstanceChanges) {
    ExpectOperationFailure(
        StopCall(), [] { Emulator().operations().AddFault(gcemu::OperationFault::Of("RESOURCE_NOT_FOUND", "stop")); },
        "RESOURCE_NOT_FOUND");
    const std::vector<Call> calls = {
        StopCall(),
        {"PowerOnInstance", "POST", kCompute + "zones/us-central1-c/instances/legacy-1/start",
         [](CGoogleCloudSDKWrapper& cloud) {
             return Outcome{cloud.PowerOnInstance(kProject, "legacy-1", "", "us-central1-c")};
         }},
        {"DeleteInstance", "DELETE", kCompute + "zones/europe-west4-b/instances/unlabelled-1",
         [](CGoogleCloudSDKWrapper& cloud) {
             return Outcome{cloud.DeleteInstance(kProject, "unlabelled-1", "", "europe-west4-b", false)};
         }},
    };
    RunMatrix(calls, Faults());
}

// A restore of web-1 onto a disk made from one of its snapshots.
struct Restore {
    std::string configJson;
    SVMInfoLib vm;
};

Restore PrepareRestore(CGoogleCloudSDKWrapper& cloud) {
    Restore restore;
    EXPECT_TRUE(cloud.GetInstanceConfigJson(kProject, "web-1", "", kZoneA, restore.configJson));
    SVMInfoLib original;
    EXPECT_TRUE(cloud.GetVMInfo(kProject, "web-1", "", kZoneA, original, VM_PROP_VM_DISK_LIST));
    restore.vm.name = "web-1-fm";
    restore.vm.zone = kZoneA;
    restore.vm.machineType = original.machineType;
    for (const SDiskInfoLib& saved : original.disks) {
        SSnapshotInfoLib snapshot;
        snapshot.name = saved.name + "-fm-snap";
        EXPECT_TRUE(cloud.CreateZonalDiskSnapshot(kProject, saved.name, kZoneA, snapshot, true));
        SDiskInfoLib made;
        made.rawJson = saved.rawJson;
        EXPECT_TRUE(cloud.CreateDiskFromSnapshot(kProject, snapshot.selfLink, saved.name + "-fm", kZoneA, "",
                                                 false, saved.type, made, true));
        SDiskInfoLib entry;
        entry.name = saved.name + "-fm";
        entry.boot = saved.boot;
        entry.rawJson = saved.rawJson;
        restore.vm.disks.push_back(entry);
    }
    SNetworkInterfaceInfoLib nic;
    nic.name = "1";
    restore.vm.networkInterfaces.push_back(nic);
    return restore;
}

std::map<std::string, std::string> Overrides(const Restore& restore) {
    std::map<std::string, std::string> overrides;
    for (const SDiskInfoLib& disk : restore.vm.disks)
        overrides[disk.name.substr(0, disk.name.size() - 3)] = disk.name;
    return overrides;
}

TEST_F(FaultMatrixTest, Restore) {
    Restore restore;
    const auto prepare = [this, &restore] {
        auto setup = Connected();
        restore = PrepareRestore(*setup);
        ASSERT_TRUE(setup->CreateBucket(kProject, kBucket)) << setup->GetLastError();
        SVMInfoLib kept = restore.vm;
        ASSERT_TRUE(setup->DelayVMDeployment(kProject, restore.configJson, kBucket, "kept.json", kept, false,
                                             Overrides(restore), false))
            << setup->GetLastError();
    };
    const Call create{"CreateInstance", "POST", kCompute + "zones/us-central1-a/instances",
                      [&restore](CGoogleCloudSDKWrapper& cloud) {
                          SVMInfoLib vm = restore.vm;
                          const bool ok =
                              cloud.CreateInstance(kProject, vm, restore.configJson, false, Overrides(restore), false);
                          return Outcome{ok, !vm.id.empty()};
                      }};
    prepare();
    ExpectOperationFailure(
        create, [] { Emulator().operations().AddFault(gcemu::OperationFault::Of("QUOTA_EXCEEDED", "insert")); },
        "QUOTA_EXCEEDED");
    const std::vector<Call> calls = {
        create,
        {"DelayVMDeployment", "POST", "storage.googleapis.com/upload/storage/v1/b/" + kBucket + "/o",
         [&restore](CGoogleCloudSDKWrapper& cloud) {
             SVMInfoLib vm = restore.vm;
             return Outcome{cloud.DelayVMDeployment(kProject, restore.configJson, kBucket, "later.json", vm, false,
                                                    Overrides(restore), false)};
         }},
        {"DownloadVMInfoFromBucket", "GET", "storage.googleapis.com/" + kBucket + "/kept.json",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::string json;
             return Outcome{cloud.DownloadVMInfoFromBucket(kProject, kBucket, "kept.json", json), IsInstance(json)};
         }},
    };
    RunMatrix(calls, Faults(), prepare);
}

TEST_F(FaultMatrixTest, Keys) {
    std::string keyJson;
    ASSERT_TRUE(Connected()->GetKeyInfoAsJson(kKey, keyJson));
    const std::vector<Call> calls = {
        {"GetKeyInfoAsKey", "GET", kKms + kKey,
         [](CGoogleCloudSDKWrapper& cloud) {
             SKeyInfoLib key;
             return Outcome{cloud.GetKeyInfoAsKey(kKey, key), !key.name.empty()};
         }},
        {"CheckKeyRingExists", "GET", kKms + kKeyRing,
         [](CGoogleCloudSDKWrapper& cloud) { return Outcome{cloud.CheckKeyRingExists(kKeyRing)}; }},
        {"CreateKeyRing", "POST", kKms + "projects/gcemu-project-1/locations/us-central1/keyRings",
         [](CGoogleCloudSDKWrapper& cloud) {
             return Outcome{cloud.CreateKeyRing(kProject, "us-central1", "fault-matrix-ring")};
         }},
        {"UpdateKey", "PATCH", kKms + kKey,
         [keyJson](CGoogleCloudSDKWrapper& cloud) { return Outcome{cloud.UpdateKey("kmsKeyName:" + kKey, keyJson)}; }},
    };
    RunMatrix(calls, Faults());
}

Call ExportCall() {
    return {"ExportSpannerDatabase", "POST",
            "dataflow.googleapis.com/v1b3/projects/gcemu-project-1/locations/us-central1/templates:launch",
            [](CGoogleCloudSDKWrapper& cloud) {
                return Outcome{cloud.ExportSpannerDatabase(kProject, "us-central1", "gcemu-spanner", "orders",
                                                           "gs://" + kBucket + "/orders/", true)};
            }};
}

TEST_F(FaultMatrixTest, Databases) {
    const auto prepare = [this] { ASSERT_TRUE(Connected()->CreateBucket(kProject, kBucket)); };
    const Call createDatabase{"CreateSpannerDatabase", "POST", kSpanner + "/gcemu-spanner/databases",
                              [](CGoogleCloudSDKWrapper& cloud) {
                                  return Outcome{cloud.CreateSpannerDatabase(kProject, "gcemu-spanner", "fm_db", true)};
                              }};
    const std::vector<Call> calls = {
        // Every project refused: a refresh with no project answering fails.
        {"RefreshDBInstanceInfoList", "GET", "sqladmin.googleapis.com",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SDBInstanceInfoLib> instances;
             const bool ok = cloud.RefreshDBInstanceInfoList(0, 0);
             cloud.GetDBInstanceInfoList(instances, 0, 0);
             return Listed(ok, instances);
         },
         false, false, "-1", false, true},
        {"GetSpannerInstancesList", "GET", kSpanner,
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SSpannerInstanceInfoLib> instances;
             return Listed(cloud.GetSpannerInstancesList(kProject, instances), instances);
         },
         false, false, "", true},
        {"GetSpannerDatabasesList", "GET", kSpanner + "/gcemu-spanner/databases",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SSpannerDatabaseInfoLib> databases;
             return Listed(cloud.GetSpannerDatabasesList(kProject, "gcemu-spanner", databases), databases);
         },
         true},
        createDatabase,
        ExportCall(),
    };
    prepare();
    ExpectOperationFailure(
        createDatabase,
        [] { Emulator().spannerOperations().AddFault({"projects/gcemu-project-1/instances/gcemu-spanner/", 1, {8, ""}}); },
        "8");
    ExpectOperationFailure(
        ExportCall(), [] { Emulator().dataflowJobs().AddFault({"", 1, {"JOB_STATE_CANCELLED"}}); },
        "JOB_STATE_CANCELLED");
    std::vector<Fault> faults = Faults();
    for (Fault& fault : faults) fault.rule.count = std::max(fault.rule.count, 20);  // every project's list
    RunMatrix(calls, faults, prepare);
}

TEST_F(FaultMatrixTest, Storage) {
    const std::vector<Call> calls = {
        {"GetStorageBuckets", "GET", "storage.googleapis.com/storage/v1/b",
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SStorageBucketInfoLib> buckets;
             return Listed(cloud.GetStorageBuckets(kProject, buckets), buckets);
         }},
        {"GetStorageObjects", "GET", "storage.googleapis.com/storage/v1/b/" + kBucket + "/o",
         [](CGoogleCloudSDKWrapper& cloud) {
             SStorageObjectsInfoLib objects;
             const bool ok = cloud.GetStorageObjects(kBucket, "/", "", objects);
             return Outcome{ok, !objects.items.empty() || !objects.prefixes.empty()};
         }},
        {"CreateBucket", "POST", "storage.googleapis.com/storage/v1/b",
         [](CGoogleCloudSDKWrapper& cloud) { return Outcome{cloud.CreateBucket(kProject, "fault-matrix-new")}; },
         false, false, "", false, false,
         [](CGoogleCloudSDKWrapper& cloud) {
             std::vector<SStorageBucketInfoLib> buckets;
             cloud.GetStorageBuckets(kProject, buckets);
             for (const auto& bucket : buckets)
                 if (bucket.name == "fault-matrix-new") return true;
             return false;
         }},
    };
    RunMatrix(calls, Faults(), [this] { ASSERT_TRUE(Connected()->CreateBucket(kProject, kBucket)); });
}

}  // namespace
}  // namespace faultmatrix
