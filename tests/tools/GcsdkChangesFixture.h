// What the tests of gcsdk's changing commands share: the suite's emulator with operations polled without
// waiting, gcsdk run as a child against it, and readers of the emulator's world and of gcsdk's JSON.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/TempDir.h"
#include "tests/tools/GcsdkChild.h"

namespace gcsdktest {

using testsupport::ReadFile;
using testsupport::TempDir;
namespace collections = gcemu::collections;

inline const std::string kProject = "gcemu-project-1";
inline const std::string kPrefix = "projects/gcemu-project-1/";

inline json_spirit::mObject Object(const std::string& text) {
    json_spirit::mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << "not a JSON object: " << text;
    return object;
}

inline std::vector<std::string> Strings(const json_spirit::mObject& object, const std::string& member) {
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
            "[GoogleCloud]\nnHttpRetryAttempts=0\n" + ChildLogSettings(m_dir) +
                "sGuidCacheFile=" + m_dir.File("guids.db") +
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

}  // namespace gcsdktest
