// Reads that fail for a passing reason are sent again after a bounded, jittered pause; nothing else
// is. Links a response names go only to the API hosts. Over a scripted HTTP exchange, with the sleep
// seam recording the pauses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/RetryPolicy.h"
#include "emulator/CertificateAuthority.h"
#include "host/XwSleep.h"
#include "tests/support/FakeClock.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudConnection;
using GoogleCloudSDKWrapper::ExponentialBackoff;
using GoogleCloudSDKWrapper::ZkGoogleCloudErrorState;
using testsupport::Answer;
using testsupport::NoResponse;

const int64_t kNow = 1760000000;  // 2025-10-09T08:53:20Z

class RecordingSleeper : public host::ISleeper {
public:
    void Sleep(unsigned int milliseconds, const char*, int) override { slept.push_back(milliseconds); }
    std::vector<unsigned int> slept;
};

host::HttpResponse WithRetryAfter(host::HttpResponse response, const std::string& value) {
    response.headers.emplace_back("Retry-After", value);
    response.rawHeaders += "Retry-After: " + value + "\r\n";
    return response;
}

class RetryTest : public ::testing::Test {
protected:
    void SignIn(const std::string& settingsText) {
        settings = std::make_unique<testsupport::ScopedSettings>(settingsText);
        http.Queue(Answer(200, R"({"access_token":"ya29.t","expires_in":3600})"));
        ASSERT_TRUE(connection.Connect("", "b@p.iam.gserviceaccount.com", Key()));
        signInRequests = http.script.requests.size();
    }
    static const std::string& Key() {
        static const std::string key = gcemu::GenerateRsaKeyPem(2048);
        return key;
    }
    size_t Sent() const { return http.script.requests.size() - signInRequests; }

    testsupport::ScriptedHttp http;
    testsupport::ScopedFakeClock time{kNow};
    RecordingSleeper sleeper;
    host::ScopedSleeper scopedSleeper{sleeper};
    std::unique_ptr<testsupport::ScopedSettings> settings;
    ZkGoogleCloudErrorState state;
    CGoogleCloudConnection connection{&state};
    size_t signInRequests = 0;
};

TEST_F(RetryTest, OnlyReadsThatFailForAPassingReasonAreSentAgain) {
    SignIn("[GoogleCloud]\nnHttpRetryAttempts=3\n");
    struct Case {
        const char* method;
        host::HttpResponse answer;
        size_t sent;
    };
    const Case cases[] = {
        {"GET", Answer(408, "{}"), 4},
        {"GET", Answer(429, "{}"), 4},
        {"GET", Answer(500, "{}"), 4},
        {"GET", Answer(502, "{}"), 4},
        {"GET", Answer(503, "{}"), 4},
        {"GET", Answer(504, "{}"), 4},
        {"GET", NoResponse("Connection reset by peer"), 4},
        {"GET", Answer(400, "{}"), 1},
        {"GET", Answer(403, "{}"), 1},
        {"GET", Answer(404, "{}"), 1},
        {"GET", Answer(409, "{}"), 1},
        {"GET", Answer(412, "{}"), 1},
        {"GET", Answer(501, "{}"), 1},
        {"POST", Answer(503, "{}"), 1},
        {"POST", NoResponse("Connection reset by peer"), 1},
        {"PATCH", Answer(503, "{}"), 1},
        {"PUT", Answer(429, "{}"), 1},
        {"DELETE", Answer(500, "{}"), 1},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.method) + " " + std::to_string(c.answer.status);
        const size_t before = Sent();
        sleeper.slept.clear();
        // The last answer is told apart from the ones before it: the caller must see it as it came.
        for (size_t i = 0; i + 1 < c.sent; ++i) http.Queue(c.answer);
        host::HttpResponse last = c.answer;
        if (last.completed) last.body = R"({"error":{"code":1,"message":"the last"}})";
        http.Queue(last);

        std::string response;
        const std::string method = c.method;
        bool ok = method == "GET"      ? connection.get("p1", "zones", response)
                  : method == "POST"   ? connection.post("p1", "zones", "{}", response)
                  : method == "PATCH"  ? connection.patch("p1", "zones", "{}", response)
                  : method == "PUT"    ? connection.put("p1", "zones", "{}", response)
                                       : connection.del("p1", "zones", "", response);
        EXPECT_FALSE(ok) << label;
        EXPECT_EQ(Sent() - before, c.sent) << label;
        EXPECT_EQ(sleeper.slept.size(), c.sent - 1) << label;
        if (last.completed) {
            EXPECT_EQ(response, last.body) << label;
            EXPECT_EQ(state.errorCode, std::to_string(last.status)) << label;
        } else {
            EXPECT_EQ(state.errorCode, "UNAVAILABLE") << label;
        }
        EXPECT_TRUE(http.script.answers.empty()) << label;
        http.script.answers.clear();
    }
}

TEST_F(RetryTest, ARetriedReadThatSucceedsIsASuccess) {
    SignIn("[GoogleCloud]\nnHttpRetryAttempts=2\n");
    testsupport::LogCapture capture;
    http.Queue(Answer(503, "{}"));
    http.Queue(NoResponse("Connection refused"));
    http.Queue(Answer(200, R"({"items":[]})"));
    std::string response;
    ASSERT_TRUE(connection.get("p1", "zones", response));
    EXPECT_EQ(response, R"({"items":[]})");
    EXPECT_EQ(Sent(), 3u);
    ASSERT_EQ(sleeper.slept.size(), 2u);
    EXPECT_TRUE(capture.Mentions("Retry 1 of 2 for [zones] after [503], in ")) << capture.Dump();
    EXPECT_TRUE(capture.Mentions("Retry 2 of 2 for [zones] after [no answer], in ")) << capture.Dump();
}

TEST_F(RetryTest, PausesGrowWithJitterUpToTheCapAndFollowRetryAfter) {
    SignIn("[GoogleCloud]\nnHttpRetryAttempts=6\nnHttpRetryMaxDelaySecs=5\n");
    for (int i = 0; i < 7; ++i) http.Queue(Answer(503, "{}"));
    std::string response;
    EXPECT_FALSE(connection.get("p1", "zones", response));
    const unsigned int bounds[] = {1000, 2000, 4000, 5000, 5000, 5000};
    ASSERT_EQ(sleeper.slept.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_LE(sleeper.slept[i], bounds[i]) << i;

    // Full jitter: over many draws the pauses spread across the whole range, not at its top.
    unsigned int below = 0;
    for (int i = 0; i < 200; ++i) {
        ExponentialBackoff fresh(1, 32);
        if (fresh.NextDelayMs("", kNow) < 500) ++below;
    }
    EXPECT_GT(below, 40u);
    EXPECT_LT(below, 160u);

    // The server's Retry-After, in seconds or as a date, holds up to the cap.
    const std::pair<std::string, unsigned int> waits[] = {
        {"3", 3000},
        {"0", 0},
        {"3600", 5000},
        {"Thu, 09 Oct 2025 08:53:24 GMT", 4000},
        {"Thu, 09 Oct 2025 08:00:00 GMT", 0},  // already past
    };
    for (const auto& [value, ms] : waits) {
        sleeper.slept.clear();
        http.Queue(WithRetryAfter(Answer(429, "{}"), value));
        http.Queue(Answer(200, "{}"));
        ASSERT_TRUE(connection.get("p1", "zones", response)) << value;
        ASSERT_EQ(sleeper.slept.size(), 1u) << value;
        EXPECT_EQ(sleeper.slept[0], ms) << value;
    }
}

TEST_F(RetryTest, NoAttemptsGivesTheSingleRequest) {
    SignIn("[GoogleCloud]\nnHttpRetryAttempts=0\n");
    http.Queue(Answer(503, "{}"));
    std::string response;
    EXPECT_FALSE(connection.get("p1", "zones", response));
    EXPECT_EQ(Sent(), 1u);
    EXPECT_TRUE(sleeper.slept.empty());
}

TEST_F(RetryTest, LinksGoOnlyToTheApiHosts) {
    SignIn("[GoogleCloud]\nsStorageHost=storage.private.example:8443\n");
    struct Case {
        const char* link;
        bool sent;
    };
    const Case cases[] = {
        {"https://compute.googleapis.com/compute/v1/projects/p1/zones/a/operations/op-1", true},
        {"https://COMPUTE.googleapis.com:443/compute/v1/projects/p1/global/operations/op-1", true},
        {"https://www.googleapis.com/compute/v1/projects/p1/zones/a/operations/op-1", true},
        {"https://storage.private.example:8443/storage/v1/b/x", true},
        {"https://storage.googleapis.com/storage/v1/b/x", true},
        {"https://evil.example/compute/v1/projects/p1/zones/a/operations/op-1", false},
        {"https://compute.googleapis.com.evil.example/x", false},
        {"https://compute.googleapis.com@evil.example/x", false},
        {"https://compute.googleapis.com:8443/x", false},
        {"https://storage.private.example/storage/v1/b/x", false},
        {"https://evil.example?compute.googleapis.com/x", false},
    };
    for (const Case& c : cases) {
        const size_t before = Sent();
        state = ZkGoogleCloudErrorState();
        http.Queue(Answer(200, "{}"));
        std::string response;
        EXPECT_EQ(connection.get("p1", c.link, response), c.sent) << c.link;
        EXPECT_EQ(Sent() - before, c.sent ? 1u : 0u) << c.link;
        if (c.sent) continue;
        http.script.answers.clear();
        EXPECT_EQ(state.errorCode, "FORBIDDEN_HOST") << c.link;
        EXPECT_NE(state.errorMessage.find("is not one of the API hosts"), std::string::npos) << c.link;
    }
}

}  // namespace
