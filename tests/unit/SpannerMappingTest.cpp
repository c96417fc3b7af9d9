// Spanner instances, databases and operations, and Dataflow jobs, read from Google's captures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;

namespace {

TEST(SpannerReaders, Captures) {
    CGoogleCloudParser parser;
    std::vector<SSpannerInstanceInfoLib> instances;
    ASSERT_TRUE(parser.ParseList(mappingtest::ReadFixture("spanner/instances-list-old.json"), "instances",
                                 instances));
    ASSERT_EQ(instances.size(), 2u);
    EXPECT_EQ(instances[1].name + "|" + instances[1].projectId + "|" + instances[1].config + "|" +
                  std::to_string(instances[1].nodeCount) + "|" + instances[1].state,
              "spanner-instance-1|cloud-custodian|regional-asia-east1|1|READY");
    std::vector<SSpannerDatabaseInfoLib> databases;
    ASSERT_TRUE(
        parser.ParseList(mappingtest::ReadFixture("spanner/databases-list.json"), "databases", databases));
    ASSERT_EQ(databases.size(), 4u);
    EXPECT_EQ(databases[3].name + "|" + databases[3].instanceId + "|" + databases[3].projectId,
              "custodian-database-qa|spanner-instance-0|cloud-custodian");
    EXPECT_FALSE(
        mappingtest::ParseFixture<SSpannerInstanceInfoLib>("spanner/instance-get.json").front().name.empty());
    EXPECT_FALSE(
        mappingtest::ParseFixture<SSpannerDatabaseInfoLib>("spanner/database-get.json").front().name.empty());
    EXPECT_FALSE(mappingtest::ParseFixture<SSpannerOperationInfoLib>(
                     "spanner/operation-create-database-done-response.json")
                     .front()
                     .responseType.empty());

    // A job read and a launch answer (the job under "job") read alike.
    const auto job = mappingtest::ParseFixture<SDataflowJobInfoLib>("dataflow/job-batch-done.json").front();
    EXPECT_EQ(job.currentState + "|" + job.location, "JOB_STATE_DONE|us-central1");
    SDataflowJobInfoLib wrapped;
    ASSERT_TRUE(parser.ParseObject(
        "{\"job\":" + mappingtest::ReadFixture("dataflow/job-batch-done.json") + "}", wrapped));
    EXPECT_EQ(wrapped.id + wrapped.startTime + wrapped.location, job.id + job.startTime + job.location);
}

TEST(SpannerReaders, NamesMustHaveTheirPartsAndErrorsKeepTheirCodes) {
    const struct {
        const char* json;
        bool reads;
    } instances[] = {
        {R"({"name":"projects/p/instances/i","config":"projects/p/instanceConfigs/regional-us-central1"})",
         true},
        {R"({"name":"projects/p/instances/i","config":"projects/p/regional-us-central1"})", false},
        {R"({"name":"projects/p/i","config":"projects/p/instanceConfigs/c"})", false},
    };
    CGoogleCloudParser parser;
    for (const auto& c : instances) {
        SSpannerInstanceInfoLib instance;
        EXPECT_EQ(parser.ParseObject(c.json, instance), c.reads) << c.json;
    }
    SSpannerDatabaseInfoLib database;
    EXPECT_FALSE(parser.ParseObject(R"({"name":"projects/p/instances/i/databases"})", database));
    ASSERT_TRUE(parser.ParseObject(
        R"({"name":"projects/p/instances/i/databases/d","restoreInfo":{"sourceType":"BACKUP",)"
        R"("backupInfo":{"backup":"projects/p/instances/i/backups/b","sourceDatabase":"projects/p/instances/i/databases/s"}}})",
        database));
    EXPECT_EQ(database.restoreInfo.sourceType + "|" + database.restoreInfo.backupInfo.backup,
              "BACKUP|projects/p/instances/i/backups/b");

    // google.rpc.Status numbers its codes; Compute Engine's operation errors name them.
    SSpannerOperationInfoLib operation;
    ASSERT_TRUE(parser.ParseObject(R"({"name":"op","done":true,"error":{"code":9,"message":"not ready"}})",
                                   operation));
    EXPECT_EQ(operation.error.code + "|" + operation.error.message, "9|not ready");
    SOperationErrorInfoLib named;
    ASSERT_TRUE(parser.Convert(mObject{{"code", "QUOTA_EXCEEDED"}}, named));
    EXPECT_EQ(named.code, "QUOTA_EXCEEDED");
}

}  // namespace
