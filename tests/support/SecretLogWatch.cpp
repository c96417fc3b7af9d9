#include "tests/support/SecretLogWatch.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/SecretLogSink.h"

namespace testsupport {

namespace {

class SecretLogWatch : public ::testing::Environment {
public:
    // "notasecret": the PKCS#12 password of Google's key files, and of gcemu's.
    void SetUp() override { sink = std::make_unique<SecretLogSink>(std::vector<std::string>{"notasecret"}); }
    void TearDown() override {
        for (const std::string& leak : sink->Leaks()) ADD_FAILURE() << "A log line holds a credential: " << leak;
        sink.reset();
    }
    std::unique_ptr<SecretLogSink> sink;
};

SecretLogWatch* const g_watch =
    static_cast<SecretLogWatch*>(::testing::AddGlobalTestEnvironment(new SecretLogWatch));

}  // namespace

void WatchSecret(const std::string& secret) {
    if (g_watch->sink) g_watch->sink->Watch(secret);
}

}  // namespace testsupport
