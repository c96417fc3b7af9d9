// gcemu's Dataflow over real TLS: Google's Spanner export and import templates launched, their jobs
// followed to their end (DONE, or an injected FAILED or CANCELLED), the files an export writes into
// Cloud Storage and an import reads back, where jobs are found, and the launches Google refuses.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "emulator/SpannerModel.h"
#include "tests/emulator/DatabaseFixture.h"

namespace {

using dbtest::DatabaseTest;
using dbtest::ExpectError;
using dbtest::kControl;
using dbtest::kDataflow;
using dbtest::kInstance;
using dbtest::kSpanner;
using dbtest::kStorage;
using dbtest::mObject;
using dbtest::Obj;
using dbtest::Text;
using testsupport::HttpReply;

const std::string kLocations = "/v1b3/projects/gcemu-project-1/locations/";
const char kExport[] = "gs://dataflow-templates/latest/Cloud_Spanner_to_GCS_Avro";
const char kImport[] = "gs://dataflow-templates/latest/GCS_Avro_to_Cloud_Spanner";

class DataflowTest : public DatabaseTest {
protected:
    static HttpReply Launch(const std::string& gcsPath, const std::string& body,
                            const std::string& location = "us-central1") {
        return client().Post(kDataflow, kLocations + location + "/templates:launch?gcsPath=" + gcsPath, body);
    }
    // The library's export launch of a database of the world's instance.
    static mObject Export(const std::string& database, const std::string& outputDir,
                          const std::string& location = "us-central1") {
        std::string jobName = "cloud-spanner-export-gcemu-spanner-" + database;
        for (char& c : jobName) c = c == '_' ? '-' : c;
        const HttpReply reply =
            Launch(kExport,
                   R"({"jobName":")" + jobName + R"(","parameters":{"databaseId":")" + database +
                       R"(","instanceId":"gcemu-spanner","outputDir":")" + outputDir + "\"}}",
                   location);
        EXPECT_EQ(200, reply.status) << reply.body;
        return reply.json.count("job") ? Obj(reply.json, "job") : mObject();
    }
    static mObject Import(const std::string& database, const std::string& inputDir) {
        const HttpReply reply = Launch(
            kImport, R"({"jobName":"import-)" + database + R"(","parameters":{"databaseId":")" + database +
                         R"(","instanceId":"gcemu-spanner","inputDir":")" + inputDir + "\"}}");
        EXPECT_EQ(200, reply.status) << reply.body;
        return reply.json.count("job") ? Obj(reply.json, "job") : mObject();
    }
    static std::string Poll(const mObject& job) {
        const HttpReply reply =
            client().Get(kDataflow, kLocations + Text(job, "location") + "/jobs/" + Text(job, "id"));
        EXPECT_EQ(200, reply.status) << reply.body;
        return Text(reply.json, "currentState");
    }
    static std::string Finish(const mObject& job) {
        emulator().dataflowJobs().FinishAll();
        return Poll(job);
    }
    static void MakeBucket(const std::string& name) {
        ASSERT_EQ(200,
                  client()
                      .Post(kStorage, "/storage/v1/b?project=gcemu-project-1", "{\"name\":\"" + name + "\"}")
                      .status);
    }
    static std::set<std::string> Objects(const std::string& bucket) {
        std::set<std::string> names;
        const HttpReply listing = client().Get(kStorage, "/storage/v1/b/" + bucket + "/o");
        for (const std::string& name : dbtest::Names(listing.json, "items")) names.insert(name);
        return names;
    }
    static std::vector<std::string> Tables(const std::string& database) {
        gcemu::World::Txn world = emulator().world().Lock();
        return gcemu::SpannerTables(world, std::string(kInstance) + "/databases/" + database);
    }
};

TEST_F(DataflowTest, AnExportRunsToDoneAndWritesItsFiles) {
    MakeBucket("gcemu-exports");
    const mObject job = Export("orders_2024", "gs://gcemu-exports/spanner/");
    EXPECT_EQ("", SchemaProblems("dataflow.v1b3.json", job, "Job"));
    EXPECT_TRUE(std::regex_match(Text(job, "id"),
                                 std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{2}-[0-9]+")))
        << Text(job, "id");
    EXPECT_EQ("gcemu-project-1", Text(job, "projectId"));
    EXPECT_EQ("cloud-spanner-export-gcemu-spanner-orders-2024", Text(job, "name"));
    EXPECT_EQ("JOB_TYPE_BATCH", Text(job, "type"));
    EXPECT_EQ("us-central1", Text(job, "location"));
    EXPECT_EQ("cloud_spanner_to_gcs_avro", Text(Obj(job, "labels"), "goog-dataflow-provided-template-name"));

    EXPECT_EQ("JOB_STATE_QUEUED", Text(job, "currentState"));
    EXPECT_TRUE(Objects("gcemu-exports").empty()) << "nothing is written before the job is done";
    EXPECT_EQ("JOB_STATE_RUNNING", Poll(job));
    EXPECT_EQ("JOB_STATE_DONE", Poll(job));
    EXPECT_EQ("JOB_STATE_DONE", Poll(job)) << "done stays done";

    const std::string folder = "spanner/gcemu-spanner-orders_2024-" + Text(job, "id") + "/";
    EXPECT_EQ(
        (std::set<std::string>{folder + "spanner-export.json", folder + "Orders-manifest.json",
                               folder + "Orders.avro-00000-of-00001", folder + "OrderItems-manifest.json",
                               folder + "OrderItems.avro-00000-of-00001"}),
        Objects("gcemu-exports"));
    const HttpReply manifest =
        client().Get(kStorage, "/storage/v1/b/gcemu-exports/o/" + folder + "spanner-export.json?alt=media");
    ASSERT_TRUE(manifest.isJson) << manifest.body;
    EXPECT_EQ((std::set<std::string>{"Orders", "OrderItems"}), [&] {
        std::set<std::string> names;
        for (const auto& table : manifest.json.at("tables").get_array())
            names.insert(Text(table.get_obj(), "name"));
        return names;
    }());
    const HttpReply tableManifest =
        client().Get(kStorage, "/storage/v1/b/gcemu-exports/o/" + folder + "Orders-manifest.json?alt=media");
    const HttpReply avro =
        client().Get(kStorage, "/storage/v1/b/gcemu-exports/o/" + folder + "Orders.avro-00000-of-00001");
    EXPECT_EQ(Text(avro.json, "md5Hash"),
              Text(tableManifest.json.at("files").get_array().at(0).get_obj(), "md5"));

    // The export comes back into an empty database; a folder without an export fails the job.
    emulator().spannerOperations().SetPollsUntilDone(0);
    ASSERT_EQ(200, client()
                       .Post(kSpanner, std::string("/v1/") + kInstance + "/databases",
                             R"({"createStatement":"CREATE DATABASE `restored`"})")
                       .status);
    EXPECT_EQ("JOB_STATE_FAILED", Finish(Import("restored", "gs://gcemu-exports/spanner/")))
        << "no export there";
    EXPECT_TRUE(Tables("restored").empty());
    EXPECT_EQ("JOB_STATE_DONE", Finish(Import("restored", "gs://gcemu-exports/" + folder)));
    EXPECT_EQ((std::vector<std::string>{"Orders", "OrderItems"}), Tables("restored"));
    EXPECT_EQ("JOB_STATE_FAILED", Finish(Import("orders", "gs://gcemu-exports/" + folder)))
        << "not an empty database";
    EXPECT_EQ("JOB_STATE_FAILED", Finish(Import("absent", "gs://gcemu-exports/" + folder))) << "no database";
}

// Jobs end as the test says, from the C++ API or the control API; a job that cannot do its work fails
// by itself. Neither writes anything.
TEST_F(DataflowTest, JobsEndInTheStatesTheyAreGiven) {
    MakeBucket("gcemu-exports");
    struct Case {
        std::string fault;  // "cpp", a control API body, or "" for none
        std::string database, outputDir;
        std::string state;
    };
    const Case cases[] = {
        {"cpp", "orders", "gs://gcemu-exports/a/", "JOB_STATE_FAILED"},
        {R"({"jobNamePrefix": "cloud-spanner-export-", "state": "JOB_STATE_CANCELLED"})", "orders",
         "gs://gcemu-exports/b/", "JOB_STATE_CANCELLED"},
        {"", "orders", "gs://no-such-bucket/c/", "JOB_STATE_FAILED"},
        {"", "no_such_db", "gs://gcemu-exports/d/", "JOB_STATE_FAILED"},
    };
    emulator().dataflowJobs().SetPollsUntilDone(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault + " " + c.database + " " + c.outputDir);
        if (c.fault == "cpp") {
            emulator().dataflowJobs().AddFault(
                {"cloud-spanner-export-gcemu-spanner-orders", 1, {"JOB_STATE_FAILED"}});
        } else if (!c.fault.empty()) {
            ASSERT_EQ(200, client().Post(kControl, "/_gcemu/dataflow/jobs/faults", c.fault).status);
        }
        const mObject job = Export(c.database, c.outputDir);
        EXPECT_EQ("JOB_STATE_QUEUED", Text(job, "currentState"));
        EXPECT_EQ(c.state, Poll(job)) << "one poll to the end";
        EXPECT_TRUE(Objects("gcemu-exports").empty());
    }
    EXPECT_EQ(0u, emulator().dataflowJobs().PendingFaults());
    EXPECT_EQ(
        400,
        client().Post(kControl, "/_gcemu/dataflow/jobs/faults", R"({"state": "JOB_STATE_DONE"})").status);
    ASSERT_EQ(200, client().Post(kControl, "/_gcemu/dataflow/jobs/polls", R"({"pollsUntilDone": 0})").status);
    EXPECT_EQ("JOB_STATE_DONE", Text(Export("orders", "gs://gcemu-exports/e/"), "currentState"))
        << "done at launch";
}

// As on Google, the global jobs.get knows us-central1's jobs only, unless told the location.
TEST_F(DataflowTest, TheGlobalLookupKnowsUsCentral1Only) {
    const mObject central = Export("orders", "gs://b/f/");
    const mObject europe = Export("orders", "gs://b/f/", "europe-west4");
    EXPECT_EQ("europe-west4", Text(europe, "location"));
    EXPECT_EQ(Text(central, "name"), Text(europe, "name")) << "a job name is taken per region";
    const std::string global = "/v1b3/projects/gcemu-project-1/jobs/";
    EXPECT_EQ(Text(central, "id"), Text(client().Get(kDataflow, global + Text(central, "id")).json, "id"));
    const HttpReply missing = client().Get(kDataflow, global + Text(europe, "id"));
    EXPECT_EQ(404, missing.status) << missing.body;
    EXPECT_EQ("NOT_FOUND", Text(Obj(missing.json, "error"), "status"));
    EXPECT_EQ(
        Text(europe, "id"),
        Text(client().Get(kDataflow, global + Text(europe, "id") + "?location=europe-west4").json, "id"));
    EXPECT_EQ(
        Text(europe, "id"),
        Text(client().Get(kDataflow, kLocations + "europe-west4/jobs/" + Text(europe, "id")).json, "id"));
    EXPECT_EQ(404, client().Get(kDataflow, kLocations + "us-central1/jobs/" + Text(europe, "id")).status);
}

TEST_F(DataflowTest, LaunchesGoogleRefuseStartNoJob) {
    const std::string params =
        R"("parameters":{"instanceId":"gcemu-spanner","databaseId":"orders","outputDir":"gs://b/f/"})";
    const std::string good = R"({"jobName":"export-1",)" + params + "}";
    struct Case {
        std::string gcsPath, body, location;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {kExport, R"({"jobName":"Export_1",)" + params + "}", "us-central1", 400,
         "Invalid job name: 'Export_1'. The job name must consist of only the characters [-a-z0-9], starting "
         "with a "
         "letter and ending with a letter or number."},
        {kExport, R"({"jobName":"export-",)" + params + "}", "us-central1", 400,
         "Invalid job name: 'export-'. The job name must consist of only the characters [-a-z0-9], starting "
         "with a "
         "letter and ending with a letter or number."},
        {kExport, "{" + params + "}", "us-central1", 400, "The job name is required."},
        {"gs://dataflow-templates/latest/Cloud_Spanner_to_Nowhere", good, "us-central1", 400,
         "Unable to open template file: gs://dataflow-templates/latest/Cloud_Spanner_to_Nowhere."},
        {"gs://my-bucket/latest/Cloud_Spanner_to_GCS_Avro", good, "us-central1", 400,
         "Unable to open template file: gs://my-bucket/latest/Cloud_Spanner_to_GCS_Avro."},
        {"", good, "us-central1", 400, "The template's gcsPath is required."},
        {kExport, R"({"jobName":"export-1","parameters":{"instanceId":"gcemu-spanner"}})", "us-central1", 400,
         "The template parameters are invalid. Missing required parameters: databaseId, outputDir."},
        {kImport, good, "us-central1", 400,
         "The template parameters are invalid. Unrecognized parameter: outputDir."},
        {kExport,
         R"({"jobName":"export-1","parameters":{"instanceId":"i","databaseId":"d","outputDir":"/tmp/x"}})",
         "us-central1", 400,
         "The template parameters are invalid. Parameter outputDir: '/tmp/x' is not a Cloud Storage path "
         "(gs://bucket/folder)."},
        {kExport, R"({"jobName":"export-1","params":{}})", "us-central1", 400,
         "Invalid JSON payload received. Unknown name \"params\": Cannot find field."},
        {kExport, good, "us-central1-a", 400,
         "Invalid location: 'us-central1-a' is not a region, such as us-central1."},
        {kExport, good, "global", 400, "Invalid location: 'global' is not a region, such as us-central1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gcsPath + " " + c.body + " " + c.location);
        ExpectError(Launch(c.gcsPath, c.body, c.location), c.status, c.message, "INVALID_ARGUMENT");
    }
    ExpectError(client().Post(kDataflow,
                              "/v1b3/projects/nope/locations/us-central1/templates:launch?gcsPath=" +
                                  std::string(kExport),
                              good),
                403, "Permission 'dataflow.jobs.create' denied on project: 'nope'", "PERMISSION_DENIED");
    EXPECT_EQ(0u, emulator().dataflowJobs().Unfinished()) << "no job was started";

    const mObject first = Export("orders", "gs://b/f/");
    const HttpReply again = Launch(kExport, R"({"jobName":")" + Text(first, "name") + "\"," + params + "}");
    ExpectError(again, 409,
                "There is already an active job named " + Text(first, "name") +
                    " with id: " + Text(first, "id") +
                    ". If you want to submit a second job, try again by setting a different name.",
                "ALREADY_EXISTS");
    Finish(first);
    EXPECT_EQ(200, Launch(kExport, R"({"jobName":")" + Text(first, "name") + "\"," + params + "}").status)
        << "the name is free once the job has ended";
}

}  // namespace
