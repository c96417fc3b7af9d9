// gcemu's world kept between runs: what an agent did before a restart (a snapshot still under way, a
// bucket, an object of any bytes) is there after it, the account's key still signs in, ids go on where
// they were, and a reset still goes back to the seed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "emulator/Emulator.h"
#include "emulator/StorageModel.h"
#include "emulator/WorldState.h"
#include "host/HbDebug.h"
#include "host/ZKPlatformInfo.h"
#include "host/ZkJson.h"
#include "tests/support/TempDir.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kProject[] = "gcemu-project-1";
const char kAccount[] = "agent@gcemu-project-1.iam.gserviceaccount.com";
const std::string kBytes("\x00\xff\xfe binary \x80", 13);

// One run of gcemu in its state folder, with the library pointed at it and signed in.
struct GcemuRun {
    GcemuRun(const testsupport::TempDir& dir, bool& restored) {
        gcemu::EmulatorOptions options;
        options.stateDir = dir.File("state");
        emulator = std::make_unique<gcemu::Emulator>(options);
        restored = gcemu::LoadWorldState(*emulator, gcemu::WorldStateFile(emulator->StateDir()));
        emulator->Start();
        key = gcemu::KeepServiceAccount(*emulator, kAccount);
        ZKPlatformInfo::SetSettingsFile(
            emulator->WriteClientSettings(dir.File("gcsdk.ini"),
                                          "[VirtualServer]\nnGoogleCloudOperationWaitTime=0\n"
                                          "[GoogleCloud]\nsGuidCacheFile=" +
                                              dir.File("guids.db") + "\n"));
        host::ReloadLogSettings();
        cloud = std::make_unique<CGoogleCloudSDKWrapper>();
        EXPECT_TRUE(cloud->Init());
        EXPECT_TRUE(cloud->Connect("", key.email, key.privateKeyPem)) << cloud->GetLastError();
    }
    ~GcemuRun() {
        cloud.reset();
        ZKPlatformInfo::SetSettingsFile(std::string());
        host::ReloadLogSettings();
    }
    // What gcemu does when it is stopped.
    void Stop() {
        emulator->Stop();
        gcemu::SaveWorldState(*emulator, gcemu::WorldStateFile(emulator->StateDir()));
    }

    std::unique_ptr<gcemu::Emulator> emulator;
    gcemu::ServiceAccountKey key;
    std::unique_ptr<CGoogleCloudSDKWrapper> cloud;
};

TEST(WorldStateEmulatorTest, TheWorldSurvivesARestart) {
    const testsupport::TempDir dir;
    bool restored = true;
    std::string nextId, privateKey;
    {
        GcemuRun first(dir, restored);
        EXPECT_FALSE(restored) << "nothing saved yet";
        SSnapshotInfoLib snapshot;
        snapshot.name = "before-restart";
        ASSERT_TRUE(
            first.cloud->CreateZonalDiskSnapshot(kProject, "web-data-1", "us-central1-a", snapshot, false))
            << first.cloud->GetLastError();
        ASSERT_TRUE(first.cloud->CreateBucket(kProject, "kept-across-restarts"))
            << first.cloud->GetLastError();
        {
            gcemu::World::Txn world = first.emulator->world().Lock();
            const json_spirit::mObject* bucket =
                world.Find(gcemu::collections::kBuckets, "kept-across-restarts");
            ASSERT_NE(nullptr, bucket);
            gcemu::PutObject(world, *bucket, "raw.bin", kBytes, "application/octet-stream", 1,
                             "2024-07-01T00:00:00Z");
            nextId = world.NewId();
        }
        privateKey = first.key.privateKeyPem;
        first.Stop();
    }

    GcemuRun second(dir, restored);
    EXPECT_TRUE(restored);
    EXPECT_EQ(second.key.privateKeyPem, privateKey) << "the key file an agent holds still signs in";
    SSnapshotInfoLib snapshot;
    ASSERT_TRUE(second.cloud->GetSnapshotInfo(kProject, "before-restart", snapshot, 0))
        << second.cloud->GetLastError();
    EXPECT_EQ(snapshot.status, "READY") << "the operation under way at the stop was finished first";
    std::vector<SStorageBucketInfoLib> buckets;
    ASSERT_TRUE(second.cloud->GetStorageBuckets(kProject, buckets));
    ASSERT_EQ(buckets.size(), 1u);
    EXPECT_EQ(buckets[0].name, "kept-across-restarts");
    {
        gcemu::World::Txn world = second.emulator->world().Lock();
        const json_spirit::mObject* data =
            world.Find(gcemu::collections::kObjectData, gcemu::ObjectKey("kept-across-restarts", "raw.bin"));
        ASSERT_NE(nullptr, data);
        EXPECT_EQ(ZkJson::GetStringValue(*data, "data"), kBytes)
            << "bytes that are not UTF-8 kept as they were";
        EXPECT_EQ(std::stoull(world.NewId()), std::stoull(nextId) + 1) << "ids never given twice";
    }
    second.emulator->ResetWorld();
    EXPECT_FALSE(second.cloud->DoesSnapshotExist(kProject, "before-restart")) << "a reset goes to the seed";
}

TEST(WorldStateEmulatorTest, ABrokenSavedWorldStopsTheStart) {
    const testsupport::TempDir dir;
    for (const char* text : {"not json", "{}", R"({"gcemuWorldState":2,"nextId":0,"collections":{}})",
                             R"({"gcemuWorldState":1,"nextId":0,"collections":{"projects":[]}})",
                             R"({"gcemuWorldState":1,"nextId":0,"collections":{"storage.objectData":
                                 {"b/o":{"dataBase64Url":"not base64!"}}}})"}) {
        SCOPED_TRACE(text);
        gcemu::EmulatorOptions options;
        options.stateDir = dir.File("state");
        gcemu::Emulator emulator(options);
        const std::string file = dir.Write("state/world-state.json", text);
        EXPECT_THROW(gcemu::LoadWorldState(emulator, file), std::runtime_error);
        gcemu::World::Txn world = emulator.world().Lock();
        EXPECT_NE(nullptr, world.FindProject(kProject)) << "the seeded world stays";
    }
}

}  // namespace
