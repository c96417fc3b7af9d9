// Buckets and objects through the facade, and a restore's request body kept in a bucket: what is stored
// is exactly what a later deployment sends.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/EmulatorFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using testsupport::LogCapture;

const char kProject[] = "gcemu-project-1";

class StorageEmulatorTest : public testsupport::EmulatorTest {
protected:
    // web-1, to be restored as a new VM onto its own disks (no instance is created here).
    SVMInfoLib RestoreRecord(CGoogleCloudSDKWrapper& wrapper, std::string& configJson) {
        EXPECT_TRUE(wrapper.GetInstanceConfigJson(kProject, "web-1", "", "us-central1-a", configJson));
        SVMInfoLib original;
        EXPECT_TRUE(
            wrapper.GetVMInfo(kProject, "web-1", "", "us-central1-a", original, VM_PROP_VM_DISK_LIST));
        SVMInfoLib vm;
        vm.name = "web-1-restored";
        vm.zone = "us-central1-a";
        vm.machineType = "e2-standard-2";
        // The boot disk last: the record comes back with it first.
        for (auto disk = original.disks.rbegin(); disk != original.disks.rend(); ++disk) {
            SDiskInfoLib restored;
            restored.name = disk->name;
            restored.boot = disk->boot;
            restored.rawJson = disk->rawJson;
            vm.disks.push_back(restored);
        }
        SNetworkInterfaceInfoLib nic;
        nic.name = "1";  // the saved configuration's nic0
        vm.networkInterfaces.push_back(nic);
        return vm;
    }
};

TEST_F(StorageEmulatorTest, BucketsAreCreatedOnceAndListed) {
    auto wrapper = Connected();
    EXPECT_TRUE(wrapper->CreateBucket(kProject, "gcsdk-restores"));
    EXPECT_TRUE(wrapper->CreateBucket(kProject, "gcsdk-restores")) << "an existing bucket is fine";
    EXPECT_EQ(Requests("POST", "storage.googleapis.com", "/storage/v1/b"), 1u);
    std::vector<SStorageBucketInfoLib> buckets;
    ASSERT_TRUE(wrapper->GetStorageBuckets(kProject, buckets));
    ASSERT_EQ(buckets.size(), 1u);
    EXPECT_EQ(buckets[0].name, "gcsdk-restores");

    LogCapture capture;
    EXPECT_FALSE(wrapper->CreateBucket(kProject, "Bad_Name!"));
    EXPECT_TRUE(capture.Mentions("Failed to create the bucket [Bad_Name!], error:[")) << capture.Dump();
    std::vector<SStorageBucketInfoLib> none;
    EXPECT_FALSE(wrapper->GetStorageBuckets("gcemu-empty-project", none)) << "no buckets: no items";
}

TEST_F(StorageEmulatorTest, TheStoredBodyIsExactlyTheRequestBody) {
    auto wrapper = Connected();
    std::string configJson;
    SVMInfoLib vm = RestoreRecord(*wrapper, configJson);
    ASSERT_TRUE(wrapper->DelayVMDeployment(kProject, configJson, "gcsdk-restores", "vms/web-1 restore.json",
                                           vm, true, {}, false))
        << wrapper->GetLastError();
    std::string uploaded;
    for (const auto& entry : Emulator().journal().Snapshot())
        if (entry.method == "POST" && entry.path.rfind("/upload/", 0) == 0) uploaded = entry.body;
    ASSERT_FALSE(uploaded.empty());

    std::string downloaded;
    ASSERT_TRUE(
        wrapper->DownloadVMInfoFromBucket(kProject, "gcsdk-restores", "vms/web-1 restore.json", downloaded));
    EXPECT_EQ(downloaded, uploaded);
    EXPECT_NE(downloaded.find("\"name\":\"web-1-restored\""), std::string::npos);
    EXPECT_NE(downloaded.find("/machineTypes/e2-standard-2\""), std::string::npos)
        << "the machine type as a URL";

    SStorageObjectsInfoLib listing;
    ASSERT_TRUE(wrapper->GetStorageObjects("gcsdk-restores", "/", "", listing));
    EXPECT_EQ(listing.prefixes, std::vector<std::string>{"vms/"});
    SStorageObjectsInfoLib inFolder;
    ASSERT_TRUE(wrapper->GetStorageObjects("gcsdk-restores", "/", "vms/", inFolder));
    ASSERT_EQ(inFolder.items.size(), 1u);
    EXPECT_EQ(inFolder.items[0].name, "vms/web-1 restore.json");
}

TEST_F(StorageEmulatorTest, ARefusedUploadLeavesItsOwnError) {
    auto wrapper = Connected();
    std::string configJson;
    SVMInfoLib vm = RestoreRecord(*wrapper, configJson);
    wrapper->isProjectAccessible("no-such-project");  // an unrelated earlier failure
    Emulator().faults().Add({"POST", "storage.googleapis.com/upload/", 1, gcemu::FaultKind::kStatus, 403,
                             R"({"error":{"code":403,"message":"uploader lacks storage.objects.create"}})",
                             0});
    LogCapture capture;
    EXPECT_FALSE(
        wrapper->DelayVMDeployment(kProject, configJson, "gcsdk-restores", "vm.json", vm, false, {}, false));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "403");
    EXPECT_EQ(wrapper->GetLastError(), "uploader lacks storage.objects.create");
    EXPECT_TRUE(capture.Has(host::kLogDebug,
                            "Failed to upload the VM configuration JSON to the bucket (gcsdk-restores)"));
}

TEST_F(StorageEmulatorTest, DownloadsThatFailSayWhy) {
    auto wrapper = Connected();
    LogCapture capture;
    std::string json;
    EXPECT_FALSE(wrapper->DownloadVMInfoFromBucket(kProject, "no-such-bucket", "vm.json", json));
    EXPECT_TRUE(capture.Has(host::kLogError, "Failed to find the bucket no-such-bucket"));

    ASSERT_TRUE(wrapper->CreateBucket(kProject, "gcsdk-restores"));
    EXPECT_FALSE(wrapper->DownloadVMInfoFromBucket(kProject, "gcsdk-restores", "missing.json", json));
    EXPECT_TRUE(capture.Has(
        host::kLogError,
        "Failed to download instance configuration (missing.json) from the bucket gcsdk-restores"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "404") << "the HTTP status, not the XML API's word for it";
    EXPECT_EQ(wrapper->GetLastError(), "The specified key does not exist.")
        << "the server's words, not its XML";
}

TEST_F(StorageEmulatorTest, FillVMInfoCompletesTheRecordFromTheSavedConfiguration) {
    auto wrapper = Connected();
    std::string configJson;
    SVMInfoLib vm = RestoreRecord(*wrapper, configJson);
    ASSERT_TRUE(wrapper->FillVMInfo(kProject, vm, configJson, {}));
    EXPECT_EQ(vm.region, "us-central1");
    EXPECT_EQ(vm.guestCpus, 2);
    EXPECT_NE(vm.machineType.find("/zones/us-central1-a/machineTypes/e2-standard-2"), std::string::npos);
    EXPECT_EQ(vm.tags, (std::vector<std::string>{"http-server", "https-server"}));
    ASSERT_EQ(vm.disks.size(), 2u);
    EXPECT_TRUE(vm.disks[0].boot) << "the boot disk first";
    EXPECT_EQ(vm.disks[0].name, "web-1");
    EXPECT_NE(vm.networkInterfaces[0].network.find("/global/networks/default"), std::string::npos);

    // Every check, in order, fails with its own line.
    LogCapture capture;
    SVMInfoLib empty;
    EXPECT_FALSE(wrapper->FillVMInfo(kProject, empty, configJson, {}));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Instance name is empty."));

    // A zone no project knows has no region: stop there, saying so.
    SVMInfoLib lost = RestoreRecord(*wrapper, configJson);
    lost.zone = "mars-north1-a";
    EXPECT_FALSE(wrapper->FillVMInfo(kProject, lost, configJson, {}));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Cannot get region value for zone [mars-north1-a]."));

    // A configuration that is not JSON gives no interfaces to match.
    SVMInfoLib unmatched = RestoreRecord(*wrapper, configJson);
    EXPECT_FALSE(wrapper->FillVMInfo(kProject, unmatched, "not json", {}));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Nic info [1] not found in config"));

    // Nor does one the reader gives up on half-way (a label that is not text, read after the
    // interfaces): what it read before giving up is not used.
    std::string halfRead = configJson;
    const size_t labels = halfRead.find("\"labels\":{");
    ASSERT_NE(labels, std::string::npos);
    halfRead.insert(labels + 10, "\"broken\":1,");
    capture.Clear();
    SVMInfoLib halfMatched = RestoreRecord(*wrapper, configJson);
    EXPECT_FALSE(wrapper->FillVMInfo(kProject, halfMatched, halfRead, {}));
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Nic info [1] not found in config")) << capture.Dump();
}

}  // namespace
