// The facade through the shared library: construction without traffic, Init, error reporting.
#include <gtest/gtest.h>

#include <memory>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/HttpExchange.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using testsupport::LogCapture;
using testsupport::ScopedSettings;
using testsupport::TempDir;

// Counts every exchange made, so a test can prove that nothing went to the network.
struct CountingFactory {
    int made = 0;
    host::HttpExchangeFactory factory() {
        return [this](const host::HttpClientOptions&) -> std::unique_ptr<host::IHttpExchange> {
            ++made;
            return nullptr;
        };
    }
};

TEST(FacadeLifecycle, FreshObjectReportsNoErrorAndSendsNothing) {
    CountingFactory counting;
    host::ScopedHttpExchangeFactory scoped(counting.factory());
    {
        CGoogleCloudSDKWrapper wrapper;
        EXPECT_EQ(wrapper.GetLastError(), "");
        EXPECT_EQ(wrapper.GetLastErrorCode(), "");
        EXPECT_TRUE(wrapper.CheckConnection());
    }
    EXPECT_EQ(counting.made, 0);
}

TEST(FacadeLifecycle, InitOpensTheGuidCache) {
    TempDir dir;
    ScopedSettings settings("[GoogleCloud]\nsGuidCacheFile=" + dir.File("cache/guids.db") + "\n");
    LogCapture capture;
    CGoogleCloudSDKWrapper wrapper;
    EXPECT_TRUE(wrapper.Init());
    EXPECT_TRUE(capture.Has(2, "Guid Cache Initialized Successfully")) << capture.Dump();
    EXPECT_EQ(wrapper.GetLastError(), "") << "Init does not write the error state";
}

TEST(FacadeLifecycle, InitFailsWhenTheCacheCannotBeOpened) {
    TempDir dir;
    std::string notAFolder = dir.Write("file", "x");
    ScopedSettings settings("[GoogleCloud]\nsGuidCacheFile=" + notAFolder + "/guids.db\n");
    LogCapture capture;
    CGoogleCloudSDKWrapper wrapper;
    EXPECT_FALSE(wrapper.Init());
    EXPECT_TRUE(capture.Has(host::kLogError, "Failed to initialize Guid Cache")) << capture.Dump();
    EXPECT_EQ(wrapper.GetLastError(), "");
}

TEST(FacadeLifecycle, ManyObjectsLiveSideBySide) {
    TempDir dir;
    ScopedSettings settings("[GoogleCloud]\nsGuidCacheFile=" + dir.File("guids.db") + "\n");
    std::vector<std::unique_ptr<CGoogleCloudSDKWrapper>> wrappers;
    for (int i = 0; i < 4; ++i) {
        wrappers.push_back(std::make_unique<CGoogleCloudSDKWrapper>());
        EXPECT_TRUE(wrappers.back()->Init());
    }
}

}  // namespace
