// Following operations and retrying instance creation, over a scripted HTTP exchange with a clock and
// a sleep of the test's own: the order of the tests, the timeout, the pauses and the resends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "emulator/CertificateAuthority.h"
#include "host/XwSleep.h"
#include "tests/support/FakeClock.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"
#include "tests/unit/ScriptedOperationsFixture.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using OperationsTest = testsupport::ScriptedOperationsTest;
using testsupport::Answer;

const char kOperationUrl[] = "https://www.googleapis.com/compute/v1/projects/p/zones/z/operations/op-1";

std::string Operation(const std::string& status,
                      const std::vector<std::pair<std::string, std::string>>& errors = {},
                      const std::string& extra = "") {
    std::string text = R"({"kind":"compute#operation","name":"op-1","status":")" + status +
                       R"(","selfLink":")" + kOperationUrl + "\"" + extra;
    if (!errors.empty()) {
        text += R"(,"error":{"errors":[)";
        for (size_t i = 0; i < errors.size(); ++i)
            text += (i ? "," : "") + std::string(R"({"code":")") + errors[i].first + R"(","message":")" +
                    errors[i].second + "\"}";
        text += "]}";
    }
    return text + "}";
}

TEST_F(OperationsTest, ReadsItsTimingOnceAtConstruction) {
    EXPECT_EQ(operations->GetOperationTimeout(), 20u);
    EXPECT_EQ(operations->GetOperationWaitTime(), 5u);
    EXPECT_EQ(operations->GetRetryAttempts(), 2u);
    EXPECT_EQ(operations->GetRetryInterval(), 10u);
    settings->Rewrite("[VirtualServer]\nnGoogleCloudOperationTimeout=1\n");
    EXPECT_EQ(operations->GetOperationTimeout(), 20u);
}

TEST_F(OperationsTest, AnOperationDoneInTheReplyIsStillPolledOnceAfterAPause) {
    http.Queue(Answer(200, Operation("DONE")));
    EXPECT_TRUE(operations->ParseOperationResp(Operation("DONE"), 0, 0));
    ASSERT_EQ(NewRequests(), 1u);
    EXPECT_EQ(Request(0).method, "GET");
    EXPECT_EQ(Request(0).url, kOperationUrl);
    EXPECT_EQ(sleeper.slept, std::vector<unsigned int>{5000});
}

TEST_F(OperationsTest, PollsUntilDoneInExactlyThatCase) {
    http.Queue(Answer(200, Operation("PENDING")));
    http.Queue(Answer(200, Operation("done")));
    http.Queue(Answer(200, Operation("RUNNING")));
    http.Queue(Answer(200, Operation("DONE")));
    testsupport::LogCapture capture;
    EXPECT_TRUE(operations->ParseOperationResp(Operation("PENDING"), 0, 2));
    EXPECT_EQ(NewRequests(), 4u);
    EXPECT_EQ(sleeper.slept, (std::vector<unsigned int>{2000, 2000, 2000, 2000}));
    EXPECT_TRUE(capture.Has(2, "Current  status : [done], waiting for status : [DONE]"));
}

TEST_F(OperationsTest, AnErrorDecidesBeforeTheStatusAndTheLastEntryIsLeft) {
    http.Queue(Answer(200, Operation("DONE", {{"QUOTA_EXCEEDED", "first"}, {"LIMIT_EXCEEDED", "second"}},
                                     R"(,"httpErrorStatusCode":403,"httpErrorMessage":"FORBIDDEN")")));
    testsupport::LogCapture capture;
    EXPECT_FALSE(operations->ParseOperationResp(Operation("PENDING"), 0, 0));
    EXPECT_EQ(state.errorCode, "LIMIT_EXCEEDED");
    EXPECT_EQ(state.errorMessage, "second");
    EXPECT_EQ(state.httpErrorCode, 403);
    EXPECT_EQ(state.httpErrorMessage, "FORBIDDEN");
    EXPECT_TRUE(capture.Has(host::kLogError, "Operation failed with HTTP error [403][FORBIDDEN]."));
    EXPECT_TRUE(capture.Has(host::kLogError, "Error : [QUOTA_EXCEEDED][first]."));

    // An "error" object without entries is not a failure.
    http.Queue(Answer(200, R"({"name":"op-1","status":"DONE","error":{}})"));
    EXPECT_TRUE(operations->ParseOperationResp(Operation("PENDING"), 0, 0));
}

TEST_F(OperationsTest, TheTimeoutIsStrict) {
    // Timeout 20 s, a poll every 5 s: elapsed 5, 10, 15, 20 go on (20 is not past 20), 25 ends it.
    for (int i = 0; i < 10; ++i) http.Queue(Answer(200, Operation("RUNNING")));
    testsupport::LogCapture capture;
    EXPECT_FALSE(operations->ParseOperationResp(Operation("PENDING"), 0, 0));
    EXPECT_EQ(NewRequests(), 5u);
    EXPECT_TRUE(capture.Has(host::kLogError, "Timeout waiting for status end state for  [op-1]"));
}

TEST_F(OperationsTest, AFailedPollRecordsTheResponse) {
    http.Queue(Answer(404, R"({"error":{"code":404,"message":"operation gone"}})"));
    EXPECT_FALSE(operations->ParseOperationResp(Operation("PENDING"), 0, 0));
    EXPECT_EQ(state.errorCode, "404");
    EXPECT_EQ(state.errorMessage, "operation gone");
    EXPECT_FALSE(operations->ParseOperationResp("not json", 0, 0));
    EXPECT_EQ(NewRequests(), 1u);
}

SVMInfoLib TwoInterfaceVm() {
    SVMInfoLib vm;
    vm.name = "restored";
    vm.zone = "us-central1-a";
    vm.machineType = "https://www.googleapis.com/compute/v1/projects/p/zones/us-central1-a/machineTypes/e2";
    for (const char* address : {"10.0.0.5", "10.0.0.50"}) {
        SNetworkInterfaceInfoLib nic;
        nic.network = "https://www.googleapis.com/compute/v1/projects/p/global/networks/default";
        nic.networkIP = address;
        vm.networkInterfaces.push_back(nic);
    }
    return vm;
}

TEST_F(OperationsTest, AnAddressConflictClearsOnlyTheAddressTheMessageNames) {
    SVMInfoLib vm = TwoInterfaceVm();
    http.Queue(Answer(200, Operation("PENDING")));
    http.Queue(Answer(
        200, Operation("DONE", {{"IP_IN_USE_BY_ANOTHER_RESOURCE",
                                 "IP address '10.0.0.50' is already being used by another resource."}})));
    http.Queue(Answer(200, Operation("PENDING")));
    http.Queue(Answer(200, Operation("DONE")));
    testsupport::LogCapture capture;
    ASSERT_TRUE(operations->CreateInstance("p", vm));
    ASSERT_EQ(NewRequests(), 4u);
    EXPECT_NE(Request(0).body.find("\"networkIP\":\"10.0.0.50\""), std::string::npos);
    EXPECT_NE(Request(2).body.find("\"networkIP\":\"10.0.0.5\""), std::string::npos);
    EXPECT_EQ(Request(2).body.find("10.0.0.50"), std::string::npos) << Request(2).body;
    EXPECT_EQ(vm.networkInterfaces[0].networkIP, "10.0.0.5") << "an address that is only a prefix stays";
    EXPECT_EQ(vm.networkInterfaces[1].networkIP, "");
    EXPECT_EQ(sleeper.slept, (std::vector<unsigned int>{5000, 30000, 5000}));
    EXPECT_TRUE(
        capture.Has(host::kLogDebug,
                    "Instance creation failed with IP conflict error. Retrying with automatic IP address"));
}

TEST_F(OperationsTest, ZoneExhaustionIsRetriedUpToTheAttemptsThenFails) {
    SVMInfoLib vm = TwoInterfaceVm();
    for (int i = 0; i < 3; ++i) {
        http.Queue(Answer(200, Operation("PENDING")));
        http.Queue(Answer(200, Operation("DONE", {{"ZONE_RESOURCE_POOL_EXHAUSTED", "no capacity"}})));
    }
    EXPECT_FALSE(operations->CreateInstance("p", vm));
    EXPECT_EQ(NewRequests(), 6u) << "1 + 2 attempts, each polled once";
    EXPECT_EQ(sleeper.slept, (std::vector<unsigned int>{5000, 10000, 5000, 10000, 5000, 10000}));
    EXPECT_EQ(state.errorCode, "ZONE_RESOURCE_POOL_EXHAUSTED");

    // The same body from JSON; an address conflict is an ordinary failure there.
    size_t before = NewRequests();
    http.Queue(Answer(200, Operation("PENDING")));
    http.Queue(Answer(200, Operation("DONE", {{"IP_IN_USE_BY_ANOTHER_RESOURCE", "10.0.0.5"}})));
    testsupport::LogCapture capture;
    EXPECT_FALSE(operations->CreateInstanceFromJson("p", R"({"name":"restored"})", vm));
    EXPECT_EQ(NewRequests(), before + 2);
    EXPECT_EQ(Request(before).body, R"({"name":"restored"})");
    EXPECT_TRUE(capture.Has(host::kLogDebug, "Failed to create instance [restored]."));
}

TEST_F(OperationsTest, NoRetryAttemptsMeansOnePost) {
    settings->Rewrite("[VirtualServer]\nnGoogleOperationRetryAttempts=0\nnGoogleCloudOperationWaitTime=1\n");
    CGoogleCloudOperations once(&state, &connection, &parser);
    SVMInfoLib vm = TwoInterfaceVm();
    http.Queue(Answer(200, Operation("PENDING")));
    http.Queue(Answer(200, Operation("DONE", {{"ZONE_RESOURCE_POOL_EXHAUSTED_WITH_DETAILS", "x"}})));
    EXPECT_FALSE(once.CreateInstance("p", vm));
    EXPECT_EQ(NewRequests(), 2u);
    EXPECT_EQ(sleeper.slept.back(), 10000u) << "one retry interval of pause even so";
}

}  // namespace
