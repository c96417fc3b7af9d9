// The settings registry: defaults, overrides, the 32-bit adapter, malformed files, re-reading.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/Settings.h"
#include "host/ZKPlatformInfo.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace host::settings;
using testsupport::LogCapture;
using testsupport::ScopedSettings;

TEST(Settings, EveryDefaultHoldsWithoutAFile) {
    std::string previous = ZKPlatformInfo::SetSettingsFile("/nonexistent/settings.ini");
    EXPECT_EQ(Read(kOperationTimeout), 900u);
    EXPECT_EQ(Read(kOperationWaitTime), 5u);
    EXPECT_EQ(Read(kOperationRetryAttempts), 5u);
    EXPECT_EQ(Read(kOperationRetryInterval), 10u);
    EXPECT_EQ(Read(kSnapshotTimeout), 86400u);
    EXPECT_EQ(Read(kSnapshotPolling), 60u);
    EXPECT_EQ(Read(kHttpConnectTimeout), 30u);
    EXPECT_EQ(Read(kHttpStallTimeout), 120u);
    EXPECT_EQ(Read(kComputeHost), "compute.googleapis.com");
    EXPECT_EQ(Read(kOAuthHost), "www.googleapis.com");
    EXPECT_EQ(Read(kBaseHome), "");
    ZKPlatformInfo::SetSettingsFile(previous);
}

TEST(Settings, FileValuesOverrideDefaults) {
    ScopedSettings settings(
        "[Base]\ndBASEHOME = /opt/agent\n"
        "[VirtualServer]\nnGoogleCloudOperationTimeout=0\nnGoogleCloudOperationWaitTime = 1\n"
        "[GoogleCloud]\nsComputeHost=compute.example.internal\n");
    EXPECT_EQ(Read(kBaseHome), "/opt/agent");
    EXPECT_EQ(Read(kOperationTimeout), 0u) << "a configured 0 is used as 0";
    EXPECT_EQ(Read(kOperationWaitTime), 1u);
    EXPECT_EQ(Read(kOperationRetryAttempts), 5u);
    EXPECT_EQ(Read(kComputeHost), "compute.example.internal");
}

TEST(Settings, NumberAdapterKeepsTheDefaultUnlessTheKeyIsANumber) {
    ScopedSettings settings("[S]\ngood=42\nbad=12abc\nnegative=-3\nempty=\nbig=4294967297\n");
    LogCapture capture;
    ZKPlatformInfo info;
    struct Case {
        const char* key;
        bool found;
        uint32_t value;
    } cases[] = {
        {"good", true, 42},    {"bad", false, 7}, {"negative", false, 7}, {"empty", false, 7},
        {"missing", false, 7}, {"big", true, 1},  // the low 32 bits, as the agent has always read them
    };
    for (const auto& c : cases) {
        uint32_t value = 7;
        EXPECT_EQ(ZKPlatformInfoGetNumber(info, "S", c.key, value), c.found) << c.key;
        EXPECT_EQ(value, c.value) << c.key;
    }
    EXPECT_TRUE(capture.Mentions("Setting [S/bad] = [12abc] is not a number")) << capture.Dump();
}

TEST(Settings, StringOfAMissingKeyLeavesTheValue) {
    ScopedSettings settings("[S]\nk=v\n");
    ZKPlatformInfo info;
    std::string value = "before";
    EXPECT_FALSE(info.getString("S", "other", value));
    EXPECT_FALSE(info.getString("T", "k", value));
    EXPECT_EQ(value, "before");
    EXPECT_TRUE(info.getString("S", "k", value));
    EXPECT_EQ(value, "v");
}

TEST(Settings, KeysWithDotsAreKeptWhole) {
    ScopedSettings settings("[S]\na.b=1\n");
    std::string value;
    EXPECT_TRUE(ZKPlatformInfo().getString("S", "a.b", value));
    EXPECT_EQ(value, "1");
}

TEST(Settings, MalformedFileLogsAndFallsBackToDefaults) {
    LogCapture capture;
    ScopedSettings settings(
        "[VirtualServer]\nnGoogleCloudOperationTimeout=3\nthis line has no equals sign\n");
    EXPECT_EQ(Read(kOperationTimeout), 900u);
    EXPECT_TRUE(capture.Mentions("Failed to read settings file")) << capture.Dump();
}

TEST(Settings, ChangedFileIsReadAgain) {
    ScopedSettings settings("[VirtualServer]\nnGoogleCloudOperationTimeout=3\n");
    EXPECT_EQ(Read(kOperationTimeout), 3u);
    settings.Rewrite("[VirtualServer]\nnGoogleCloudOperationTimeout=30\n");
    EXPECT_EQ(Read(kOperationTimeout), 30u);
}

TEST(Settings, EnvironmentVariableNamesTheFile) {
    testsupport::TempDir dir;
    std::string path = dir.Write("env.ini", "[VirtualServer]\nnGoogleSnapshotPollingInSecs=2\n");
    std::string previous = ZKPlatformInfo::SetSettingsFile("");
    const char* old = std::getenv("GCSDK_SETTINGS");
    std::string oldValue = old ? old : "";
    setenv("GCSDK_SETTINGS", path.c_str(), 1);
    EXPECT_EQ(ZKPlatformInfo::SettingsFilePath(), path);
    EXPECT_EQ(Read(kSnapshotPolling), 2u);
    if (old)
        setenv("GCSDK_SETTINGS", oldValue.c_str(), 1);
    else
        unsetenv("GCSDK_SETTINGS");
    ZKPlatformInfo::SetSettingsFile(previous);
}

}  // namespace
