// The backup path through the facade against gcemu: snapshots followed to their end, disks made from
// them, disks attached, detached, moved, cloned and deleted, instances stopped and started, and what
// a failed operation leaves in the error state.
#include <gtest/gtest.h>

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
const char kCompute[] = "compute.googleapis.com";
const char kOperationsHost[] = "www.googleapis.com";  // operation selfLinks name it, as Google's do

class BackupEmulatorTest : public testsupport::EmulatorTest {
protected:
    size_t OperationPolls() { return Requests("GET", kOperationsHost, "/compute/v1/projects/"); }
    std::string LastBody(const std::string& method, const std::string& pathPart) {
        std::string body;
        for (const auto& entry : Emulator().journal().Snapshot())
            if (entry.method == method && entry.path.find(pathPart) != std::string::npos) body = entry.body;
        return body;
    }
    std::string LastQuery(const std::string& pathPart) {
        std::string query;
        for (const auto& entry : Emulator().journal().Snapshot())
            if (entry.path.find(pathPart) != std::string::npos) query = entry.rawQuery;
        return query;
    }
};

TEST_F(BackupEmulatorTest, SnapshotsEveryDiskOfAVmAndWaits) {
    auto wrapper = Connected();
    SVMInfoLib vm;
    ASSERT_TRUE(wrapper->GetVMInfo(kProject, "db-1", "", "us-central1-a", vm, VM_PROP_VM_DISK_LIST));
    ASSERT_EQ(vm.disks.size(), 2u);
    for (const SDiskInfoLib& disk : vm.disks) {
        bool regional = disk.source.find("/regions/") != std::string::npos;
        SSnapshotInfoLib snapshot;
        snapshot.name = disk.name + "-backup";
        ASSERT_TRUE(wrapper->CreateDiskSnapshot(kProject, disk.name, vm.zone, vm.region, regional, !regional,
                                                snapshot, true))
            << wrapper->GetLastError();
        EXPECT_EQ(snapshot.status, "READY") << "read again once the operation is done";
        EXPECT_EQ(snapshot.sourceDisk, disk.name);
    }
    EXPECT_EQ(LastQuery("/disks/db-1/createSnapshot"), "guestFlush=true");
    EXPECT_EQ(LastQuery("/disks/db-ha-data/createSnapshot"), "");
    std::string state;
    EXPECT_TRUE(wrapper->GetSnapshotState(kProject, "db-ha-data-backup", state));
    EXPECT_EQ(state, "READY");
}

TEST_F(BackupEmulatorTest, AnOperationDoneInItsReplyIsPolledOnceAndNoWaitPollsNothing) {
    auto wrapper = Connected();
    Emulator().operations().SetPollsUntilDone(0);
    size_t before = OperationPolls();
    SSnapshotInfoLib snapshot;
    snapshot.name = "quick";
    ASSERT_TRUE(wrapper->CreateZonalDiskSnapshot(kProject, "web-data-1", "us-central1-a", snapshot, true));
    EXPECT_EQ(OperationPolls(), before + 1);

    SSnapshotInfoLib later;
    later.name = "later";
    before = OperationPolls();
    ASSERT_TRUE(wrapper->CreateZonalDiskSnapshot(kProject, "web-data-1", "us-central1-a", later, false));
    EXPECT_EQ(OperationPolls(), before);
    EXPECT_EQ(later.status, "") << "not read again without a wait";
}

TEST_F(BackupEmulatorTest, AFailedOperationLeavesItsLastErrorEntry) {
    auto wrapper = Connected();
    OperationFault fault;
    fault.operationType = "createSnapshot";
    fault.failure.errors = {{"QUOTA_EXCEEDED", "first"}, {"RESOURCE_NOT_READY", "second"}};
    fault.failure.httpErrorStatusCode = 400;
    Emulator().operations().AddFault(fault);
    LogCapture capture;
    SSnapshotInfoLib snapshot;
    snapshot.name = "fails";
    EXPECT_FALSE(wrapper->CreateZonalDiskSnapshot(kProject, "web-data-1", "us-central1-a", snapshot, true));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "RESOURCE_NOT_READY");
    EXPECT_EQ(wrapper->GetLastError(), "second");
    EXPECT_TRUE(capture.Has(host::kLogError, "Error : [QUOTA_EXCEEDED][first]."));
    EXPECT_FALSE(wrapper->DoesSnapshotExist(kProject, "fails"));
}

TEST_F(BackupEmulatorTest, DisksFromSnapshotsCarryExactlyTheTemplatesSettings) {
    auto wrapper = Connected();
    SDiskInfoLib encrypted;
    ASSERT_TRUE(wrapper->GetDiskInfo(kProject, "vault-data", "us-central1-b", "", false, encrypted, 0));
    SDiskInfoLib restored;
    restored.rawJson = encrypted.rawJson;
    restored.isEncrypted = encrypted.isEncrypted;
    restored.encryptionKey = encrypted.encryptionKey;
    restored.interface = "NVME";
    std::string snapshotUrl;
    ASSERT_TRUE(wrapper->GetSnapshotUri(kProject, "vault-data-20240401", snapshotUrl));
    ASSERT_TRUE(wrapper->CreateDiskFromSnapshot(kProject, snapshotUrl, "vault-data-restored", "us-central1-c",
                                                "", false, "pd-ssd", restored, true))
        << wrapper->GetLastError();
    EXPECT_EQ(restored.name, "vault-data-restored");
    EXPECT_EQ(restored.zone, "us-central1-c");
    EXPECT_TRUE(restored.isEncrypted);

    json_spirit::mObject body;
    ASSERT_TRUE(ZkJson::Unserialize(LastBody("POST", "/zones/us-central1-c/disks"), body));
    std::vector<std::string> keys;
    for (const auto& member : body) keys.push_back(member.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"diskEncryptionKey", "guestOsFeatures", "interface", "labels",
                                              "licenses", "name", "sourceSnapshot", "type"}))
        << "no size: the disk is as large as its snapshot";
    EXPECT_EQ(ZkJson::GetStringValue(body, "interface"), "NVME");

    // The regional form takes the source disk's replica zones when the record names none.
    SDiskInfoLib regional;
    ASSERT_TRUE(wrapper->GetDiskInfo(kProject, "db-ha-data", "", "us-central1", true, regional, 0));
    SDiskInfoLib fromRegional;
    fromRegional.rawJson = regional.rawJson;
    ASSERT_TRUE(wrapper->GetSnapshotUri(kProject, "db-ha-data-20240401", snapshotUrl));
    ASSERT_TRUE(wrapper->CreateDiskFromSnapshot(kProject, snapshotUrl, "db-ha-restored", "", "us-central1",
                                                true, "", fromRegional, true));
    EXPECT_EQ(fromRegional.replicaZones, regional.replicaZones);
    EXPECT_NE(LastBody("POST", "/regions/us-central1/disks").find("\"projects/gcemu-project-1/zones/"),
              std::string::npos);
}

TEST_F(BackupEmulatorTest, ZonalAndRegionalFormsUseTheirOwnLinks) {
    auto wrapper = Connected();
    SDiskInfoLib disk;
    disk.sizeGb = 10;
    disk.type = "pd-standard";
    ASSERT_TRUE(wrapper->CreateZonalDisk(kProject, "zonal-disk", "us-central1-a", disk))
        << wrapper->GetLastError();
    EXPECT_EQ(disk.status, "READY");
    EXPECT_EQ(disk.sizeGb, 10);
    EXPECT_NE(LastBody("POST", "/zones/us-central1-a/disks").find("\"name\":\"zonal-disk\""),
              std::string::npos);

    SSnapshotInfoLib regionalSnapshot;
    regionalSnapshot.name = "db-ha-data-regional";
    ASSERT_TRUE(
        wrapper->CreateRegionalDiskSnapshot(kProject, "db-ha-data", "us-central1", regionalSnapshot, true))
        << wrapper->GetLastError();
    EXPECT_EQ(regionalSnapshot.status, "READY");
    EXPECT_EQ(
        Requests("POST", kCompute,
                 "/compute/v1/projects/gcemu-project-1/regions/us-central1/disks/db-ha-data/createSnapshot"),
        1u);

    std::string snapshotUrl;
    ASSERT_TRUE(wrapper->GetSnapshotUri(kProject, "db-ha-data-regional", snapshotUrl));
    SDiskInfoLib zonalCopy;
    ASSERT_TRUE(wrapper->CreateZonalDiskFromSnapshot(kProject, snapshotUrl, "db-ha-zonal", "us-central1-b",
                                                     "pd-balanced", zonalCopy, true))
        << wrapper->GetLastError();
    EXPECT_EQ(zonalCopy.zone, "us-central1-b");
    EXPECT_EQ(zonalCopy.status, "READY");
    EXPECT_EQ(zonalCopy.sizeGb, 200) << "as large as the snapshot";

    SDiskInfoLib regionalCopy;
    regionalCopy.replicaZones = {"us-central1-a", "us-central1-c"};
    ASSERT_TRUE(wrapper->CreateRegionalDiskFromSnapshot(kProject, snapshotUrl, "db-ha-copy", "us-central1",
                                                        "", regionalCopy, true))
        << wrapper->GetLastError();
    EXPECT_EQ(regionalCopy.replicaZones.size(), 2u);
    EXPECT_TRUE(wrapper->DoesDiskExist(kProject, "db-ha-copy", "", "us-central1", true));

    // Without waiting, each returns once Compute Engine has taken the request.
    const size_t pollsBefore = OperationPolls();
    SDiskInfoLib unwaited;
    ASSERT_TRUE(wrapper->CreateZonalDiskFromSnapshot(kProject, snapshotUrl, "db-ha-unwaited", "us-central1-a",
                                                     "", unwaited, false));
    EXPECT_EQ(OperationPolls(), pollsBefore);
}

TEST_F(BackupEmulatorTest, CreatesClonesMovesAndDeletesDisks) {
    auto wrapper = Connected();
    SDiskInfoLib disk;
    disk.sizeGb = 10;
    disk.type = "pd-balanced";
    ASSERT_TRUE(wrapper->CreateDisk(kProject, "scratch-disk", "us-central1-a", "", false, disk));
    EXPECT_EQ(disk.status, "READY");
    EXPECT_EQ(disk.type, "pd-balanced");

    SDiskInfoLib regional;
    regional.sizeGb = 20;
    regional.replicaZones = {"us-central1-a", "us-central1-b"};
    ASSERT_TRUE(wrapper->CreateRegionalDisk(kProject, "ha-disk", "us-central1", regional))
        << wrapper->GetLastError();
    SDiskInfoLib noReplicas;
    noReplicas.sizeGb = 20;
    EXPECT_FALSE(wrapper->CreateRegionalDisk(kProject, "no-replicas", "us-central1", noReplicas));

    SDiskInfoLib clone;
    clone.name = "scratch-clone";
    ASSERT_TRUE(wrapper->CloneDisk(kProject, "us-central1-a", "", disk.source, false, true, clone));
    EXPECT_EQ(clone.status, "READY");

    SDiskInfoLib moved;
    ASSERT_TRUE(wrapper->MoveDisk(kProject, "scratch-clone", "us-central1-a", "us-central1-b", moved));
    EXPECT_EQ(moved.zone, "us-central1-b");
    size_t before = Emulator().journal().size();
    EXPECT_TRUE(wrapper->MoveDisk(kProject, "scratch-clone", "us-central1-b", "us-central1-b", moved));
    EXPECT_EQ(Emulator().journal().size(), before) << "a move to where it is costs nothing";

    EXPECT_TRUE(wrapper->DeleteDisk(kProject, "scratch-clone", "us-central1-b", "", false));
    EXPECT_FALSE(wrapper->DoesDiskExist(kProject, "scratch-clone", "us-central1-b", "", false));
    EXPECT_TRUE(wrapper->DeleteRegionalDisk(kProject, "ha-disk", "us-central1"));
    EXPECT_TRUE(wrapper->DeleteZonalDisk(kProject, "never-was", "us-central1-a")) << "a 404: gone already";
}

TEST_F(BackupEmulatorTest, ADiskWhoseReadFailsIsNotReportedDeleted) {
    auto wrapper = Connected();
    for (int status : {403, 500}) {
        Emulator().faults().Add({"GET",
                                 "compute.googleapis.com/compute/v1/projects/gcemu-project-1/zones/"
                                 "europe-west4-a/disks/spare-disk",
                                 1, gcemu::FaultKind::kStatus, status, "", 0});
        EXPECT_FALSE(wrapper->DeleteZonalDisk(kProject, "spare-disk", "europe-west4-a")) << status;
        EXPECT_EQ(wrapper->GetLastErrorCode(), std::to_string(status));
        EXPECT_TRUE(wrapper->DoesDiskExist(kProject, "spare-disk", "europe-west4-a", "", false));
    }
    Emulator().faults().Add(
        {"GET",
         "compute.googleapis.com/compute/v1/projects/gcemu-project-1/zones/europe-west4-a/disks/spare-disk",
         2, gcemu::FaultKind::kReset, 0, "", 0});  // libcurl retries a dead kept-alive connection once
    EXPECT_FALSE(wrapper->DeleteZonalDisk(kProject, "spare-disk", "europe-west4-a"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "UNAVAILABLE");
    EXPECT_EQ(Requests("DELETE", kCompute), 0u);
}

TEST_F(BackupEmulatorTest, AttachAndDetachWithTheLimitFlag) {
    auto wrapper = Connected();
    bool limit = true;
    ASSERT_TRUE(wrapper->AttachDisk(kProject, "spare-disk", "web-3", "europe-west4-a", limit))
        << wrapper->GetLastError();
    EXPECT_FALSE(limit);
    SDiskInfoLib attached;
    ASSERT_TRUE(wrapper->GetDiskInfo(kProject, "spare-disk", "europe-west4-a", "", false, attached, 0));
    EXPECT_EQ(attached.users, std::vector<std::string>{"web-3"});
    ASSERT_TRUE(wrapper->DetachDisk(kProject, "spare-disk", "web-3", "europe-west4-a"));
    EXPECT_NE(LastQuery("/instances/web-3/detachDisk").find("deviceName="), std::string::npos);
    LogCapture capture;
    EXPECT_TRUE(wrapper->DetachDisk(kProject, "spare-disk", "web-3", "europe-west4-a"));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Disk [spare-disk] is not attached to any instance."));

    // Only LIMIT_EXCEEDED sets the flag; another failure leaves it as it was.
    Emulator().operations().AddFault(OperationFault::Of("QUOTA_EXCEEDED", "attachDisk"));
    limit = false;
    EXPECT_FALSE(wrapper->AttachDisk(kProject, "spare-disk", "web-3", "europe-west4-a", limit));
    EXPECT_FALSE(limit);
    Emulator().operations().AddFault(OperationFault::Of("LIMIT_EXCEEDED", "attachDisk"));
    EXPECT_FALSE(wrapper->AttachDisk(kProject, "spare-disk", "web-3", "europe-west4-a", limit));
    EXPECT_TRUE(limit);
}

TEST_F(BackupEmulatorTest, StopsStartsAndDeletesInstances) {
    auto wrapper = Connected();
    ASSERT_TRUE(wrapper->PowerOffInstance(kProject, "web-dev-1", "", "")) << "found in every zone";
    SVMInfoLib vm;
    ASSERT_TRUE(wrapper->GetVMInfo(kProject, "web-dev-1", "", "us-central1-c", vm, 0));
    EXPECT_EQ(vm.status, "TERMINATED");
    ASSERT_TRUE(wrapper->PowerOnInstance(kProject, "", vm.id, "us-central1-c")) << "by its GUID when no name";
    ASSERT_TRUE(wrapper->GetVMInfo(kProject, "web-dev-1", "", "us-central1-c", vm, 0));
    EXPECT_EQ(vm.status, "RUNNING");

    size_t before = Emulator().journal().size();
    EXPECT_FALSE(wrapper->PowerOffInstance(kProject, "", "", "us-central1-c"));
    EXPECT_EQ(Emulator().journal().size(), before) << "nothing to name: nothing sent";

    LogCapture capture;
    ASSERT_TRUE(wrapper->DeleteInstance(kProject, "web-3", "", "europe-west4-a", true));
    EXPECT_FALSE(wrapper->DoesVMExist(kProject, "web-3", "europe-west4-a", vm));
    EXPECT_FALSE(wrapper->DoesDiskExist(kProject, "web-3", "europe-west4-a", "", false));
    EXPECT_FALSE(wrapper->DeleteInstance(kProject, "db-1", "", "us-central1-a", false))
        << "deletion protection";
}

TEST_F(BackupEmulatorTest, DeletesSnapshots) {
    auto wrapper = Connected();
    ASSERT_TRUE(wrapper->DeleteDiskSnapshot(kProject, "old-app-final"));
    EXPECT_FALSE(wrapper->DoesSnapshotExist(kProject, "old-app-final"));
    LogCapture capture;
    EXPECT_FALSE(wrapper->DeleteDiskSnapshot(kProject, "old-app-final"));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Failed to delete snapshot [old-app-final]"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "404");
}

}  // namespace
