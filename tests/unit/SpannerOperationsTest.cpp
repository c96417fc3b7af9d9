// Spanner copies through Dataflow and Spanner database creation, over a scripted exchange: where the job
// is launched and followed, how each end state ends the wait, and what the error state then says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/LogCapture.h"
#include "tests/unit/ScriptedOperationsFixture.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using testsupport::Answer;
using SpannerOperationsTest = testsupport::ScriptedOperationsTest;

std::string Job(const std::string& state, const std::string& location = "europe-west4") {
    return R"({"id":"2026-01-02_job","projectId":"p","currentState":")" + state + R"(","location":")" +
           location + "\"}";
}

TEST_F(SpannerOperationsTest, AnExportIsLaunchedAndFollowedWhereItRuns) {
    http.Queue(Answer(200, "{\"job\":" + Job("JOB_STATE_QUEUED") + "}"));
    http.Queue(Answer(200, Job("JOB_STATE_RUNNING")));
    http.Queue(Answer(200, Job("JOB_STATE_DONE")));
    ASSERT_TRUE(operations->ExportSpannerDatabase("p", "europe-west4", "Sales-EU", "orders_2024",
                                                  "gs://b/exports/", true));
    ASSERT_EQ(NewRequests(), 3u);
    EXPECT_EQ(Request(0).url,
              "https://dataflow.googleapis.com/v1b3/projects/p/locations/europe-west4/"
              "templates:launch?gcsPath=gs://"
              "dataflow-templates/latest/Cloud_Spanner_to_GCS_Avro");
    // Dataflow's job names take no '_' or capitals; the parameters keep the ids as they are.
    EXPECT_EQ(
        Request(0).body,
        R"({"jobName":"cloud-spanner-export-sales-eu-orders-2024","parameters":{"databaseId":"orders_2024",)"
        R"("instanceId":"Sales-EU","outputDir":"gs://b/exports/"}})");
    // projects/p/jobs/ID would find only us-central1 jobs.
    EXPECT_EQ(Request(1).url,
              "https://dataflow.googleapis.com/v1b3/projects/p/locations/europe-west4/jobs/2026-01-02_job");
    EXPECT_EQ(sleeper.slept, (std::vector<unsigned int>{10000, 10000}))
        << "the retry interval before every poll";
}

TEST_F(SpannerOperationsTest, EachEndStateEndsTheWaitAsItShould) {
    const struct {
        const char* name;
        std::vector<std::string> polls;
        bool succeeds;
        const char* code;  // "" keeps the previous one
        size_t requests;
    } cases[] = {
        {"done", {"JOB_STATE_DONE"}, true, "", 2},
        {"cancelled", {"JOB_STATE_RUNNING", "JOB_STATE_CANCELLED"}, false, "JOB_STATE_CANCELLED", 3},
        {"failed", {"JOB_STATE_FAILED"}, false, "JOB_STATE_FAILED", 2},
        {"updated", {"JOB_STATE_UPDATED"}, false, "JOB_STATE_UPDATED", 2},
        // 20 s of timeout, 10 s between polls: the third running poll is past it.
        {"times out",
         {"JOB_STATE_RUNNING", "JOB_STATE_RUNNING", "JOB_STATE_RUNNING", "JOB_STATE_DONE"},
         false,
         "",
         4},
    };
    for (const auto& c : cases) {
        state.errorCode = "PREVIOUS";
        const size_t before = NewRequests();
        http.Queue(Answer(200, "{\"job\":" + Job("JOB_STATE_QUEUED", "") + "}"));
        for (const std::string& poll : c.polls) http.Queue(Answer(200, Job(poll, "")));
        testsupport::LogCapture capture;
        EXPECT_EQ(operations->ImportSpannerDatabase("p", "us-east1", "i", "d", "gs://b/in/", true),
                  c.succeeds)
            << c.name;
        EXPECT_EQ(state.errorCode, *c.code ? c.code : "PREVIOUS") << c.name;
        EXPECT_EQ(NewRequests() - before, c.requests) << c.name;
        EXPECT_NE(Request(before + 1).url.find("/locations/us-east1/jobs/"), std::string::npos)
            << "the launch location when the answer names none";
        EXPECT_EQ(capture.Mentions("Failed to import Spanner Database [p][i][d] from [gs://b/in/]"), !c.succeeds)
            << c.name;
        http.script.answers.clear();
    }
}

TEST_F(SpannerOperationsTest, WithoutWaitTheLaunchIsTheAnswer) {
    http.Queue(Answer(200, "{\"job\":" + Job("JOB_STATE_QUEUED") + "}"));
    EXPECT_TRUE(operations->ExportSpannerDatabase("p", "europe-west4", "i", "d", "gs://b/x/", false));
    EXPECT_EQ(NewRequests(), 1u);
    http.Queue(Answer(400, R"({"error":{"code":400,"message":"bad job name"}})"));
    testsupport::LogCapture capture;
    EXPECT_FALSE(operations->ExportSpannerDatabase("p", "europe-west4", "i", "d", "gs://b/x/", false));
    EXPECT_EQ(state.errorMessage, "bad job name");
    EXPECT_TRUE(capture.Mentions("Failed to Launch Dataflow template Cloud_Spanner_to_GCS_Avro"));
}

TEST_F(SpannerOperationsTest, ADatabaseIsCreatedAndFollowedToDone) {
    const std::string operation = "projects/p/instances/i/databases/orders/operations/_auto_op_1";
    http.Queue(Answer(200, R"({"name":")" + operation + R"(","done":false})"));
    http.Queue(Answer(200, R"({"name":")" + operation + R"(","done":false})"));
    http.Queue(Answer(
        200,
        R"({"name":")" + operation +
            R"(","done":true,"response":{"@type":"type.googleapis.com/google.spanner.admin.database.v1.Database"}})"));
    ASSERT_TRUE(operations->CreateSpannerDatabase("p", "i", "orders", true));
    ASSERT_EQ(NewRequests(), 3u);
    EXPECT_EQ(Request(0).url, "https://spanner.googleapis.com/v1/projects/p/instances/i/databases");
    EXPECT_EQ(Request(0).body, R"({"createStatement":"CREATE DATABASE `orders`"})");
    EXPECT_EQ(Request(1).url, "https://spanner.googleapis.com/v1/" + operation);

    // Spanner's error codes are numbers: the code survives as its decimal text.
    http.Queue(Answer(200, R"({"name":")" + operation + R"(","done":false})"));
    http.Queue(
        Answer(200, R"({"name":")" + operation + R"(","done":true,"error":{"code":6,"message":"exists"}})"));
    EXPECT_FALSE(operations->CreateSpannerDatabase("p", "i", "orders", true));
    EXPECT_EQ(state.errorCode, "6");
    EXPECT_EQ(state.errorMessage, "exists");
}

TEST_F(SpannerOperationsTest, AnIdThatIsNoSpannerDatabaseIdIsRefusedBeforeAnyRequest) {
    for (const char* id :
         {"a`; DROP DATABASE x; --", "Orders", "1st", "o", "ends_", "a23456789012345678901234567890x", ""}) {
        state.errorCode.clear();
        EXPECT_FALSE(operations->CreateSpannerDatabase("p", "i", id, true)) << id;
        EXPECT_EQ(state.errorCode, "INVALID_ARGUMENT") << id;
    }
    EXPECT_EQ(NewRequests(), 0u);
    for (const char* id : {"orders_2024", "a-b", "db"}) {
        http.Queue(Answer(200, R"({"name":"op","done":true})"));
        http.Queue(Answer(200, R"({"name":"op","done":true})"));
        EXPECT_TRUE(operations->CreateSpannerDatabase("p", "i", id, true)) << id;
    }
}

}  // namespace
