// Operations over a scripted HTTP exchange, with a clock and a sleep of the test's own: timing settings of
// 20 s timeout, 5 s wait, 2 retries and a 10 s retry interval; signed in; the requests counted from there.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "emulator/CertificateAuthority.h"
#include "host/XwSleep.h"
#include "tests/support/FakeClock.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"

namespace testsupport {

using namespace GoogleCloudSDKWrapper;

// The clock moves on by the time slept, as it would.
class MovingSleeper : public host::ISleeper {
public:
    explicit MovingSleeper(FakeClock& clock) : m_clock(clock) {}
    void Sleep(unsigned int milliseconds, const char*, int) override {
        slept.push_back(milliseconds);
        m_clock.Advance(milliseconds / 1000);
    }
    std::vector<unsigned int> slept;

private:
    FakeClock& m_clock;
};

class ScriptedOperationsTest : public ::testing::Test {
protected:
    ScriptedOperationsTest() : m_scopedSleep(sleeper) {}

    void SetUp() override {
        settings = std::make_unique<ScopedSettings>(
            "[VirtualServer]\nnGoogleCloudOperationTimeout=20\nnGoogleCloudOperationWaitTime=5\n"
            "nGoogleOperationRetryAttempts=2\nnGoogleOperationRetryIntervalInSeconds=10\n");
        http.Queue(Answer(200, R"({"access_token":"t","expires_in":999999})"));
        ASSERT_TRUE(connection.Connect("", "sa@p.iam", gcemu::GenerateRsaKeyPem(1024)));
        operations = std::make_unique<CGoogleCloudOperations>(&state, &connection, &parser);
        sent = http.script.requests.size();
    }

    size_t NewRequests() const { return http.script.requests.size() - sent; }
    const host::HttpRequest& Request(size_t index) const { return http.script.requests.at(sent + index); }

    ScriptedHttp http;
    ScopedFakeClock time{1000000};
    MovingSleeper sleeper{time.clock};
    std::unique_ptr<ScopedSettings> settings;
    ZkGoogleCloudErrorState state;
    CGoogleCloudConnection connection{&state};
    CGoogleCloudParser parser;
    std::unique_ptr<CGoogleCloudOperations> operations;
    size_t sent = 0;

private:
    host::ScopedSleeper m_scopedSleep;
};

}  // namespace testsupport
