// gcsdk's database commands against gcemu: sql list, spanner instances|databases|config, and spanner
// create-database|export|import with the Dataflow jobs and Spanner operations they follow, their ends in
// failed states, and the command-line mistakes refused before any request.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "emulator/Faults.h"
#include "host/ZkJson.h"
#include "tests/tools/GcsdkChangesFixture.h"
#include "tests/tools/GcsdkFixture.h"  // JsonObjects, Field, Header

namespace {

using namespace gcsdktest;

const std::string kSpanner = "gcemu-spanner";
const std::string kBucket = "db-exports";

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// spanner export|import of gcemu-project-1's gcemu-spanner.
std::vector<std::string> Copy(const std::string& verb, const std::string& database,
                              const std::string& folder) {
    return {"spanner", verb,         "--project", kProject,   "--location", "us-central1", "--instance",
            kSpanner,  "--database", database,    "--bucket", kBucket,      "--folder",    folder};
}

// The next GET under the prefix refused with 403 (not a transient failure: the library does not retry it).
gcemu::FaultRule Refused(const std::string& hostAndPathPrefix) {
    gcemu::FaultRule rule;
    rule.method = "GET";
    rule.hostAndPathPrefix = hostAndPathPrefix;
    rule.status = 403;
    return rule;
}

class GcsdkDatabasesTest : public GcsdkChangesTest {
protected:
    void MakeBucket() { Ok({"bucket", "create", "--project", kProject, "--name", kBucket}); }
    // The folder (in kBucket) the export wrote, from the export's JSON.
    std::string Export() {
        json_spirit::mObject job = Object(Ok(With(Copy("export", "orders", "exports"), {"--json"})));
        const std::string folder = ZkJson::GetStringValue(job, "folder");
        EXPECT_EQ(ZkJson::GetStringValue(job, "exportFolder"), "gs://" + kBucket + "/" + folder + "/");
        EXPECT_EQ(ZkJson::GetStringValue(job, "outputDir"), "gs://" + kBucket + "/exports/");
        return folder;
    }
};

TEST_F(GcsdkDatabasesTest, CommandLineMistakesExitTwoBeforeAnyRequest) {
    const std::vector<std::string> databases = {"spanner", "databases", "--project", kProject};
    const std::vector<std::string> copy = Copy("export", "orders", "exports");
    const auto Changed = [&](const std::string& option, const std::string& value) {
        std::vector<std::string> args = copy;
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "--" + option) args[i + 1] = value;
        return args;
    };
    const Case cases[] = {
        {{"sql", "list", "--project", "Bad_Project"}, "--project 'Bad_Project' is not a project id"},
        {{"spanner"},
         "'spanner' takes a subcommand: instances, databases, config, create-database, export, import"},
        {databases, "missing --instance"},
        {With(databases, {"--instance", "Spanner-1"}),
         "--instance 'Spanner-1' is not a Spanner instance id (2 to 64 lowercase letters, digits and '-', "
         "starting with a letter and ending with a letter or digit)"},
        {{"spanner", "config", "--project", kProject}, "missing --config"},
        {{"spanner", "create-database", "--project", kProject, "--instance", kSpanner, "--database",
          "orders-"},
         "--database 'orders-' is not a Spanner database id (2 to 30 lowercase letters, digits, '_' and '-', "
         "starting with a letter and ending with a letter or digit)"},
        {{"spanner", "import", "--project", kProject},
         "missing --location, --instance, --database, --bucket, --folder"},
        {Changed("location", "global"), "--location 'global' is not a region (us-central1, europe-west4)"},
        {Changed("bucket", "My_Bucket"),
         "--bucket 'My_Bucket' is not a bucket name (3 to 63 lowercase letters, digits, '-', '_' and '.', "
         "starting and ending with a letter or digit)"},
        {Changed("folder", "//"), "--folder '//' names no folder"},
        {Changed("folder", "a/../b"), "--folder 'a/../b' holds an empty part, '.' or '..'"},
        {With(copy, {"--database", "orders_2024"}), "option --database is given twice; it takes one value"},
    };
    const size_t before = Emulator().journal().size();
    for (const Case& c : cases) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 2) << Shown(c.args, result);
        EXPECT_EQ(result.err.rfind("gcsdk: " + c.err + "\nusage: gcsdk ", 0), 0u) << Shown(c.args, result);
        EXPECT_EQ(result.out, "") << Shown(c.args, result);
    }
    EXPECT_EQ(Emulator().journal().size(), before);
    for (const char* command : {"sql list", "spanner instances", "spanner databases", "spanner config",
                                "spanner create-database", "spanner export", "spanner import"}) {
        const std::string name = command;
        Result result = Run({"help", name.substr(0, name.find(' ')), name.substr(name.find(' ') + 1)});
        EXPECT_EQ(result.status, 0) << command;
        EXPECT_EQ(result.out.rfind("usage: gcsdk " + name + " ", 0), 0u) << result.out;
        EXPECT_TRUE(Contains(Run({"--help"}).out, "\n  " + name + " ")) << command;
    }
}

TEST_F(GcsdkDatabasesTest, ListsCloudSqlAndSpanner) {
    const std::multiset<std::string> sql = {"orders-mysql", "orders-mysql-replica", "reports-pg"};
    const std::vector<std::string> sqlList = {"sql", "list", "--json"};
    const std::string sqlHost = "sqladmin.googleapis.com/sql/v1beta4/projects/";
    struct List {
        std::vector<std::string> args;
        std::string field;  // of the JSON array's objects
        std::multiset<std::string> values;
        gcemu::FaultRule fault = gcemu::FaultRule();  // added first when it has a prefix
        int status = 0;
        std::string err = "";  // a part of stderr
    };
    const List cases[] = {
        {sqlList, "name", sql},
        {sqlList, "project", {"gcemu-project-2", "gcemu-project-2", "gcemu-project-2"}},
        {With(sqlList, {"--project", "gcemu-project-2"}), "name", sql},
        {With(sqlList, {"--project", "gcemu-project-1"}), "name", {}},
        // A project whose list is refused: the others are listed, and it is named.
        {sqlList, "name", {}, Refused(sqlHost + "gcemu-project-2"), 3},
        {{"sql", "list"},
         "",
         {},
         Refused(sqlHost + "gcemu-project-2"),
         3,
         "gcsdk: partial list: project gcemu-project-2 could not be listed: The caller does not have "
         "permission (403)\n"},
        {With(sqlList, {"--project", "gcemu-project-2"}),
         "",
         {},
         Refused(sqlHost + "gcemu-project-2"),
         1,
         "gcsdk: listing Cloud SQL instances of project gcemu-project-2: "},
        {With(sqlList, {"--project", "nosuch-project"}),
         "",
         {},
         {},
         1,
         "gcsdk: listing Cloud SQL instances of project nosuch-project: the service account cannot see "
         "project nosuch-project\n"},
        {{"spanner", "instances", "--json"}, "name", {kSpanner}},
        {{"spanner", "instances", "--project", kProject, "--json"}, "config", {"regional-us-central1"}},
        {{"spanner", "databases", "--project", kProject, "--instance", kSpanner, "--json"},
         "name",
         {"orders", "orders_2024"}},
        {{"spanner", "databases", "--project", kProject, "--instance", "nosuch", "--json"},
         "",
         {},
         {},
         1,
         "gcsdk: listing the databases of Spanner instance nosuch of project gcemu-project-1: "},
    };
    for (const List& c : cases) {
        if (!c.fault.hostAndPathPrefix.empty()) Emulator().faults().Add(c.fault);
        Result result = Run(c.args);
        Emulator().faults().Clear();
        EXPECT_EQ(result.status, c.status) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, c.err)) << Shown(c.args, result);
        if (c.field.empty()) continue;
        json_spirit::mValue value;
        ASSERT_TRUE(ZkJson::Unserialize(result.out, value)) << Shown(c.args, result);
        // A partial list: {"items": [...], "failures": [...]}, the failures checked above on stderr's side.
        const std::string items = c.status == 3 ? ZkJson::Serialize(value.get_obj().at("items")) : result.out;
        if (c.status == 3) {
            EXPECT_EQ(
                ZkJson::GetStringValue(value.get_obj().at("failures").get_array().at(0).get_obj(), "project"),
                "gcemu-project-2");
        }
        EXPECT_EQ(Field(JsonObjects(items), c.field), c.values) << Shown(c.args, result);
    }
    EXPECT_TRUE(Contains(Run({"spanner", "instances", "--project", "nosuch-project"}).err, "(403)\n"));

    // The replication user's password and client key never leave the record.
    const std::string json = Ok({"sql", "list", "--json"});
    for (const char* secret : {"password", "clientKey", "mysqlReplicaConfiguration"})
        EXPECT_FALSE(Contains(json, secret)) << secret;
    const json_spirit::mObject mysql = Find(json, "name", "orders-mysql");
    EXPECT_EQ(ZkJson::GetStringValue(mysql, "databaseVersion"), "MYSQL_8_0");
    EXPECT_EQ(ZkJson::GetStringValue(mysql, "connectionName"), "gcemu-project-2:us-central1:orders-mysql");

    EXPECT_EQ(Header(Ok({"sql", "list"})), "NAME PROJECT VERSION REGION STATE TIER IP");
    const std::string table = Ok({"spanner", "databases", "--project", kProject, "--instance", kSpanner});
    EXPECT_EQ(Header(table), "NAME STATE CREATED RESTORED FROM");
    EXPECT_TRUE(Contains(LineStarting(table, "orders_2024 "), " backup orders-2024-12-31")) << table;
    const json_spirit::mObject config = Object(
        Ok({"spanner", "config", "--project", kProject, "--config", "regional-us-central1", "--json"}));
    EXPECT_EQ(ZkJson::GetStringValue(config, "name"), kPrefix + "instanceConfigs/regional-us-central1");
    EXPECT_FALSE(config.at("replicas").get_array().empty());
    Result missing = Run({"spanner", "config", "--project", kProject, "--config", "regional-mars1"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.err, "(404)\n")) << missing.err;
}

TEST_F(GcsdkDatabasesTest, CreatesExportsAndImportsThroughTheirOperationsAndJobs) {
    const std::vector<std::string> create = {"spanner",    "create-database", "--project",  kProject,
                                             "--instance", kSpanner,          "--database", "orders_copy"};
    json_spirit::mObject made = Object(Ok(With(create, {"--json"})));
    EXPECT_TRUE(made.at("done").get_bool());
    EXPECT_EQ(ZkJson::GetStringValue(made, "operation")
                  .rfind(kPrefix + "instances/gcemu-spanner/databases/orders_copy/operations/", 0),
              0u);
    Result again = Run(create);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Contains(again.err, "(409)\n")) << again.err;

    MakeBucket();
    // The job's states as it runs, and the folder it wrote.
    const std::string shown = Ok(Copy("export", "orders", "/exports/"));
    EXPECT_TRUE(Contains(shown, "  export orders ... JOB_STATE_RUNNING (")) << shown;
    EXPECT_TRUE(Contains(shown, "\nSTATE          JOB_STATE_DONE\n")) << shown;
    EXPECT_TRUE(Contains(shown, "\nOUTPUT FOLDER  gs://db-exports/exports/\n")) << shown;
    const std::string folder = Export();
    EXPECT_EQ(folder.rfind("exports/gcemu-spanner-orders-", 0), 0u) << folder;
    const std::string objects = Ok({"objects", "list", "--bucket", kBucket, "--prefix", folder + "/"});
    EXPECT_TRUE(Contains(objects, folder + "/spanner-export.json ")) << objects;

    json_spirit::mObject imported = Object(Ok(With(Copy("import", "orders_copy", folder), {"--json"})));
    EXPECT_EQ(ZkJson::GetStringValue(imported, "state"), "JOB_STATE_DONE");
    EXPECT_EQ(ZkJson::GetStringValue(imported, "name"), "cloud-spanner-import-gcemu-spanner-orders-copy");
    EXPECT_EQ(ZkJson::GetStringValue(imported, "inputDir"), "gs://db-exports/" + folder + "/");
    EXPECT_EQ(Requests("GET", "dataflow.googleapis.com"), 6u) << "two polls for each of three jobs";

    // Started and left running.
    json_spirit::mObject started =
        Object(Ok(With(Copy("export", "orders_2024", "later"), {"--json", "--no-wait"})));
    EXPECT_EQ(ZkJson::GetStringValue(started, "state"), "JOB_STATE_QUEUED");
    EXPECT_FALSE(started.at("waited").get_bool());
    EXPECT_FALSE(ZkJson::GetStringValue(started, "job").empty());
    EXPECT_EQ(Emulator().dataflowJobs().Unfinished(), 1u);
}

TEST_F(GcsdkDatabasesTest, WorkThatFailsOrIsLostExitsOneAndSaysHow) {
    MakeBucket();
    const std::string exporting =
        "gcsdk: exporting database orders of Spanner instance gcemu-spanner (project "
        "gcemu-project-1) to gs://db-exports/exports/: ";
    struct Failure {
        std::string what;
        std::function<void()> inject;
        std::vector<std::string> args;
        std::string start, end;  // of stderr; the job's id is between them
    };
    const Failure cases[] = {
        {"cancelled",
         [] {
             Emulator().dataflowJobs().AddFault({"cloud-spanner-export-", 1, {"JOB_STATE_CANCELLED"}});
         },
         Copy("export", "orders", "exports"), exporting + "the Dataflow job ",
         " (cloud-spanner-export-gcemu-spanner-orders) ended JOB_STATE_CANCELLED\n"},
        {"failed by itself: the database has tables", [] {}, Copy("import", "orders", "nothing-here"),
         "gcsdk: importing gs://db-exports/nothing-here/ into database orders of Spanner instance "
         "gcemu-spanner "
         "(project gcemu-project-1): the Dataflow job ",
         " (cloud-spanner-import-gcemu-spanner-orders) ended JOB_STATE_FAILED\n"},
        {"a poll refused",
         [] {
             Emulator().faults().Add(
                 Refused("dataflow.googleapis.com/v1b3/projects/gcemu-project-1/locations/"));
         },
         Copy("export", "orders", "exports"), exporting + "the export job ",
         " was requested; following its operation failed: "},
        {"a Spanner operation that fails",
         [] {
             Emulator().spannerOperations().AddFault({"", 1, {8, ""}});
         },
         {"spanner", "create-database", "--project", kProject, "--instance", kSpanner, "--database",
          "orders_new"},
         "gcsdk: creating database orders_new of Spanner instance gcemu-spanner (project gcemu-project-1): ",
         "(8)\n"},
    };
    for (const Failure& c : cases) {
        c.inject();
        Result result = Run(c.args);
        Emulator().faults().Clear();
        EXPECT_EQ(result.status, 1) << c.what << "\n" << Shown(c.args, result);
        EXPECT_EQ(result.err.rfind(c.start, 0), 0u) << c.what << "\n" << result.err;
        EXPECT_TRUE(Contains(result.err.substr(c.start.size()), c.end)) << c.what << "\n" << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.what << "\n" << result.err;
    }
}

}  // namespace
