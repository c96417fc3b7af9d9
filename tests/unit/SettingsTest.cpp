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
    EXPECT_EQ(Read(kAggregatedDiscovery), 0u) << "lists per zone unless asked";
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
    ScopedSettings settings("[S]\ngood=42\nbad=12abc\nnegative=-3\nempty=\nbig=4294967297\nmax=4294967295\n");
    LogCapture capture;
    ZKPlatformInfo info;
    struct Case {
        const char* key;
        bool found;
        uint32_t value;
    } cases[] = {
        {"good", true, 42},    {"bad", false, 7}, {"negative", false, 7},     {"empty", false, 7},
        {"missing", false, 7}, {"big", false, 7}, {"max", true, 4294967295u},  // no wrapping round
    };
    for (const auto& c : cases) {
        uint32_t value = 7;
        EXPECT_EQ(ZKPlatformInfoGetNumber(info, "S", c.key, value), c.found) << c.key;
        EXPECT_EQ(value, c.value) << c.key;
    }
    EXPECT_TRUE(capture.Mentions("Setting [S/bad] = [12abc] is not a number")) << capture.Dump();
    EXPECT_TRUE(capture.Mentions("Setting [S/big] = [4294967297] is larger than 4294967295"))
        << capture.Dump();
}

// A limit cannot be switched off or wrapped round: a number outside its key's range is refused, with
// a line naming the key, and the default holds.
TEST(Settings, NumbersOutsideTheirRangeKeepTheDefault) {
    const struct {
        const char* line;
        const NumberKey& key;
        uint32_t value;
        bool refused;
    } cases[] = {
        {"[GoogleCloud]\nnHttpStallTimeoutSecs=0\n", kHttpStallTimeout, 120, true},
        {"[GoogleCloud]\nnHttpStallTimeoutSecs=4294967296\n", kHttpStallTimeout, 120, true},
        {"[GoogleCloud]\nnHttpStallTimeoutSecs=4294967299\n", kHttpStallTimeout, 120, true},
        {"[GoogleCloud]\nnHttpStallTimeoutSecs=1\n", kHttpStallTimeout, 1, false},
        {"[GoogleCloud]\nnHttpConnectTimeoutSecs=0\n", kHttpConnectTimeout, 30, true},
        {"[GoogleCloud]\nnLogLevel=99\n", kLogLevel, 0, true},
        {"[GoogleCloud]\nbAggregatedDiscovery=2\n", kAggregatedDiscovery, 0, true},
        {"[GoogleCloud]\nbAggregatedDiscovery=1\n", kAggregatedDiscovery, 1, false},
        {"[VirtualServer]\nnGoogleCloudOperationWaitTime=0\n", kOperationWaitTime, 0, false},
        {"[VirtualServer]\nnGoogleSnapshotPollingInSecs=4294967\n", kSnapshotPolling, 60, true},
        {"[VirtualServer]\nnGoogleSnapshotTimeoutInSecs=4294967295\n", kSnapshotTimeout, 4294967295u, false},
    };
    for (const auto& c : cases) {
        ScopedSettings settings(c.line);
        LogCapture capture;
        EXPECT_EQ(Read(c.key), c.value) << c.line;
        EXPECT_EQ(capture.Mentions(std::string("Setting [") + c.key.section + "/" + c.key.key + "]"),
                  c.refused)
            << c.line << capture.Dump();
        EXPECT_EQ(Problems().size(), c.refused ? 1u : 0u) << c.line;
    }
}

TEST(Settings, CommentsAfterAValueAreNotPartOfIt) {
    ScopedSettings settings(
        "[GoogleCloud]\nsConnectTo=127.0.0.1:8443      ; every connection goes to the emulator\n"
        "sCaBundle=/tmp/ca.pem\t# the emulator's authority\nsProxy=http://p:1/a;b#c\n"
        "nHttpStallTimeoutSecs = 7 ; seconds\n");
    EXPECT_EQ(Read(kConnectTo), "127.0.0.1:8443");
    EXPECT_EQ(Read(kCaBundle), "/tmp/ca.pem");
    EXPECT_EQ(Read(kProxy), "http://p:1/a;b#c") << "a mark without a blank before it is part of the value";
    EXPECT_EQ(Read(kHttpStallTimeout), 7u);
}

// What a tool checks before it sends anything.
TEST(Settings, ProblemsNameTheFileOrTheKey) {
    testsupport::TempDir dir;
    const struct {
        std::string path;
        std::string says;  // empty: no problem
    } cases[] = {
        {dir.Write("good.ini", "[GoogleCloud]\nsConnectTo=127.0.0.1:1\n[VirtualServer]\nnAgentOwnKey=1\n"),
         ""},
        {dir.File("missing.ini"), "does not exist"},
        {dir.path(), "cannot be read"},
        {dir.Write("typo.ini", "[GoogleCloud]\nsConectTo=127.0.0.1:1\n"),
         "[GoogleCloud] has no key [sConectTo]"},
        {dir.Write("nan.ini", "[GoogleCloud]\nnHttpStallTimeoutSecs=soon\n"),
         "nHttpStallTimeoutSecs = [soon] is not a number from 1 to 86400"},
        {dir.Write("broken.ini", "[GoogleCloud]\nno equals sign here\n"), "cannot be read"},
    };
    for (const auto& c : cases) {
        std::string previous = ZKPlatformInfo::SetSettingsFile(c.path);
        const std::vector<std::string> problems = Problems();
        ZKPlatformInfo::SetSettingsFile(previous);
        if (c.says.empty()) {
            EXPECT_TRUE(problems.empty()) << c.path << ": " << (problems.empty() ? "" : problems[0]);
            continue;
        }
        ASSERT_EQ(problems.size(), 1u) << c.path;
        EXPECT_NE(problems[0].find(c.says), std::string::npos) << problems[0];
        EXPECT_NE(problems[0].find(c.path), std::string::npos) << problems[0];
    }
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
