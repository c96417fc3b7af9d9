// Cloud Spanner through the facade against gcemu: instances over one or every project, databases, a
// database copied out to Cloud Storage and back in through Dataflow jobs, and databases created through
// Spanner's operations.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/EmulatorFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kProject[] = "gcemu-project-1";
const char kInstance[] = "gcemu-spanner";

class SpannerEmulatorTest : public testsupport::EmulatorTest {
protected:
    // The folder of the one export under a folder: where spanner-export.json is.
    std::string ExportFolder(CGoogleCloudSDKWrapper& wrapper, const std::string& bucket, const std::string& under) {
        SStorageObjectsInfoLib listing;
        EXPECT_TRUE(wrapper.GetStorageObjects(bucket, "", under, listing));
        for (const auto& item : listing.items) {
            const size_t at = item.name.rfind("spanner-export.json");
            if (at != std::string::npos) return "gs://" + bucket + "/" + item.name.substr(0, at);
        }
        return "";
    }
};

TEST_F(SpannerEmulatorTest, InstancesAndDatabasesAreListed) {
    auto wrapper = Connected();
    std::vector<SSpannerInstanceInfoLib> one;
    ASSERT_TRUE(wrapper->GetSpannerInstancesList(kProject, one));
    EXPECT_EQ(Requests("GET", "cloudresourcemanager.googleapis.com"), 0u) << "a given project is not looked up";
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name + "|" + one[0].config + "|" + one[0].projectId,
              "gcemu-spanner|regional-us-central1|gcemu-project-1");
    std::vector<SSpannerInstanceInfoLib> every, none;
    ASSERT_TRUE(wrapper->GetSpannerInstancesList("", every));
    EXPECT_EQ(every.size(), 1u) << "the projects without instances answer an empty list";
    EXPECT_TRUE(wrapper->GetSpannerInstancesList("gcemu-project-2", none));
    EXPECT_TRUE(none.empty());

    std::vector<SSpannerDatabaseInfoLib> databases;
    ASSERT_TRUE(wrapper->GetSpannerDatabasesList(kProject, kInstance, databases));
    std::set<std::string> names;
    for (const auto& database : databases) names.insert(database.name);
    EXPECT_EQ(names, (std::set<std::string>{"orders", "orders_2024"}));
    EXPECT_EQ(databases.back().restoreInfo.sourceType, "BACKUP");

    SSpannerInstanceConfigInfoLib config;
    ASSERT_TRUE(wrapper->GetSpannerInstanceConfig(kProject, "regional-us-central1", config));
    EXPECT_FALSE(config.replicas.empty());
}

TEST_F(SpannerEmulatorTest, ADatabaseGoesOutToStorageAndBackIntoANewDatabase) {
    auto wrapper = Connected();
    ASSERT_TRUE(wrapper->CreateBucket(kProject, "gcemu-exports"));
    // orders_2024 holds '_', which Dataflow's job names do not; and europe-west4 jobs are not found globally.
    ASSERT_TRUE(wrapper->ExportSpannerDatabase(kProject, "europe-west4", kInstance, "orders_2024",
                                               "gs://gcemu-exports/nightly/", true))
        << wrapper->GetLastError();
    const std::string folder = ExportFolder(*wrapper, "gcemu-exports", "nightly/");
    ASSERT_FALSE(folder.empty());

    ASSERT_TRUE(wrapper->CreateSpannerDatabase(kProject, kInstance, "orders-copy", true)) << wrapper->GetLastError();
    ASSERT_TRUE(wrapper->ImportSpannerDatabase(kProject, "europe-west4", kInstance, "orders-copy", folder, true))
        << wrapper->GetLastError();
    std::vector<SSpannerDatabaseInfoLib> databases;
    ASSERT_TRUE(wrapper->GetSpannerDatabasesList(kProject, kInstance, databases));
    EXPECT_EQ(databases.size(), 3u);

    // A folder without an export fails its job; the job's end state is the error code.
    EXPECT_FALSE(wrapper->ImportSpannerDatabase(kProject, "us-central1", kInstance, "orders-copy",
                                                "gs://gcemu-exports/nothing-here/", true));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "JOB_STATE_FAILED");
    Emulator().dataflowJobs().AddFault({"cloud-spanner-export-", 1, {"JOB_STATE_CANCELLED"}});
    EXPECT_FALSE(wrapper->ExportSpannerDatabase(kProject, "us-central1", kInstance, "orders",
                                                "gs://gcemu-exports/cancelled/", true));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "JOB_STATE_CANCELLED");

    // Without wait the launch is the answer: the job is left running.
    const size_t polls = Requests("GET", "dataflow.googleapis.com");
    EXPECT_TRUE(wrapper->ExportSpannerDatabase(kProject, "us-central1", kInstance, "orders",
                                               "gs://gcemu-exports/later/", false));
    EXPECT_EQ(Requests("GET", "dataflow.googleapis.com"), polls);
}

TEST_F(SpannerEmulatorTest, DatabasesAreCreatedThroughTheirOperation) {
    auto wrapper = Connected();
    EXPECT_TRUE(wrapper->CreateSpannerDatabase(kProject, kInstance, "fresh", false));
    EXPECT_FALSE(wrapper->CreateSpannerDatabase(kProject, kInstance, "fresh", true));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "409") << "an existing database";

    Emulator().spannerOperations().AddFault({"", 1, {13, "backend lost {target}"}});
    EXPECT_FALSE(wrapper->CreateSpannerDatabase(kProject, kInstance, "unlucky", true));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "13") << "Spanner's numeric code as text";
    EXPECT_NE(wrapper->GetLastError().find("backend lost"), std::string::npos) << wrapper->GetLastError();

    const size_t posts = Requests("POST", "spanner.googleapis.com");
    EXPECT_FALSE(wrapper->CreateSpannerDatabase(kProject, kInstance, "bad`id", true));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "INVALID_ARGUMENT");
    EXPECT_EQ(Requests("POST", "spanner.googleapis.com"), posts) << "refused before any request";
}

}  // namespace
