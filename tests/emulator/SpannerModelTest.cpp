// gcemu's Cloud Spanner over real TLS: the built-in world's instance and databases in pages, a database
// created through its long-running operation to done (or to an injected error), and the statements and
// requests Google refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/SpannerModel.h"
#include "tests/emulator/DatabaseFixture.h"

namespace {

using dbtest::DatabaseTest;
using dbtest::ExpectError;
using dbtest::kControl;
using dbtest::kInstance;
using dbtest::kInstancePath;
using dbtest::kSpanner;
using dbtest::mArray;
using dbtest::mObject;
using dbtest::Obj;
using dbtest::Text;
using testsupport::HttpReply;

const std::string kDatabases = kInstancePath + "/databases";

HttpReply Create(const std::string& statement, const std::string& extra = "") {
    return DatabaseTest::client().Post(
        kSpanner, kDatabases,
        R"({"createStatement":")" + statement + "\"" + (extra.empty() ? "" : "," + extra) + "}");
}

TEST_F(DatabaseTest, SpannerListsInPagesShapedAsGoogle) {
    const HttpReply config =
        client().Get(kSpanner, "/v1/projects/gcemu-project-1/instanceConfigs/regional-us-central1");
    ASSERT_EQ(200, config.status) << config.body;
    EXPECT_EQ("", SchemaProblems("spanner.v1.json", config.json, "InstanceConfig"));
    EXPECT_EQ("us-central1", Text(config.json.at("replicas").get_array().at(0).get_obj(), "location"));

    const HttpReply instances = client().Get(kSpanner, "/v1/projects/gcemu-project-1/instances?pageSize=1");
    ASSERT_EQ(200, instances.status) << instances.body;
    EXPECT_EQ("", SchemaProblems("spanner.v1.json", instances.json, "ListInstancesResponse"));
    ASSERT_EQ(1u, instances.json.at("instances").get_array().size());
    const mObject& instance = instances.json.at("instances").get_array()[0].get_obj();
    EXPECT_EQ(kInstance, Text(instance, "name"));
    EXPECT_EQ(Text(config.json, "name"), Text(instance, "config"));
    EXPECT_FALSE(instances.json.count("nextPageToken")) << "one instance: one page";
    EXPECT_EQ(instance, client().Get(kSpanner, kInstancePath).json);

    std::vector<mObject> databases;
    std::string token;
    for (int page = 0; page < 3; ++page) {
        const HttpReply reply =
            client().Get(kSpanner, kDatabases + "?pageSize=1" + (token.empty() ? "" : "&pageToken=" + token));
        ASSERT_EQ(200, reply.status) << reply.body;
        EXPECT_EQ("", SchemaProblems("spanner.v1.json", reply.json, "ListDatabasesResponse"));
        for (const auto& item : reply.json.at("databases").get_array()) databases.push_back(item.get_obj());
        token = Text(reply.json, "nextPageToken");
        if (token.empty()) break;
    }
    ASSERT_EQ(2u, databases.size());
    EXPECT_EQ(std::string(kInstance) + "/databases/orders", Text(databases[0], "name"));
    EXPECT_EQ(std::string(kInstance) + "/databases/orders_2024", Text(databases[1], "name"));
    EXPECT_FALSE(databases[0].count("restoreInfo"));
    const mObject& restored = Obj(databases[1], "restoreInfo");
    EXPECT_EQ("BACKUP", Text(restored, "sourceType"));
    EXPECT_EQ(std::string(kInstance) + "/backups/orders-2024-12-31",
              Text(Obj(restored, "backupInfo"), "backup"));
    EXPECT_EQ(Text(databases[0], "name"), Text(Obj(restored, "backupInfo"), "sourceDatabase"));
    for (const mObject& database : databases) {
        EXPECT_EQ("READY", Text(database, "state"));
        EXPECT_EQ(database, client().Get(kSpanner, "/v1/" + Text(database, "name")).json);
    }
    const HttpReply ddl = client().Get(kSpanner, kDatabases + "/orders_2024/ddl");
    ASSERT_EQ(2u, ddl.json.at("statements").get_array().size()) << ddl.body;
    EXPECT_EQ(0u, ddl.json.at("statements").get_array()[1].get_str().find("CREATE TABLE OrderItems ("));

    const HttpReply empty = client().Get(kSpanner, "/v1/projects/gcemu-project-2/instances");
    EXPECT_EQ(200, empty.status);
    EXPECT_TRUE(empty.json.empty()) << "no instances: {}";
}

TEST_F(DatabaseTest, ACreatedDatabaseIsReadyWhenItsOperationIsDone) {
    const HttpReply started =
        Create("CREATE DATABASE `orders_copy`",
               R"x("extraStatements":["CREATE TABLE Orders (Id INT64) PRIMARY KEY(Id)"])x");
    ASSERT_EQ(200, started.status) << started.body;
    const std::string database = std::string(kInstance) + "/databases/orders_copy";
    const std::string name = Text(started.json, "name");
    EXPECT_EQ(0u, name.find(database + "/operations/_auto_op_")) << name;
    EXPECT_FALSE(started.json.at("done").get_bool());
    EXPECT_EQ(database, Text(Obj(started.json, "metadata"), "database"));
    EXPECT_EQ("type.googleapis.com/google.spanner.admin.database.v1.CreateDatabaseMetadata",
              Text(Obj(started.json, "metadata"), "@type"));
    EXPECT_EQ("CREATING", Text(client().Get(kSpanner, "/v1/" + database).json, "state")) << "listed at once";

    const HttpReply first = client().Get(kSpanner, "/v1/" + name);
    EXPECT_FALSE(first.json.at("done").get_bool()) << "two polls by default";
    const HttpReply done = client().Get(kSpanner, "/v1/" + name);
    ASSERT_TRUE(done.json.at("done").get_bool()) << done.body;
    EXPECT_EQ("", SchemaProblems("spanner.v1.json", done.json, "Operation"));
    const mObject& response = Obj(done.json, "response");
    EXPECT_EQ("type.googleapis.com/google.spanner.admin.database.v1.Database", Text(response, "@type"));
    EXPECT_EQ("READY", Text(response, "state"));
    EXPECT_EQ(database, Text(response, "name"));
    EXPECT_EQ(done.json, client().Get(kSpanner, "/v1/" + name).json) << "done stays done";
    EXPECT_EQ("READY", Text(client().Get(kSpanner, "/v1/" + database).json, "state"));
    EXPECT_EQ((std::vector<std::string>{"Orders"}), [&] {
        gcemu::World::Txn world = emulator().world().Lock();
        return gcemu::SpannerTables(world, database);
    }());

    // Unhyphenated ids need no backquotes; with no polls the reply is done already.
    emulator().spannerOperations().SetPollsUntilDone(0);
    const HttpReply atOnce = Create("create database plain_2025");
    EXPECT_TRUE(atOnce.json.at("done").get_bool()) << atOnce.body;
    EXPECT_EQ("READY", Text(Obj(atOnce.json, "response"), "state"));
    ExpectError(Create("CREATE DATABASE orders"), 409,
                "Database already exists: " + std::string(kInstance) + "/databases/orders", "ALREADY_EXISTS");
}

// An injected failure ends the operation with a google.rpc.Status (a numeric code) and takes the
// database away; from the C++ API and from the control API.
TEST_F(DatabaseTest, AFailedCreationEndsWithAStatusAndNoDatabase) {
    struct Case {
        std::string how;  // "cpp" or the control API's body
        std::string id;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {"cpp", "quota", 8, "Too many databases on instance " + std::string(kInstance) + ". Limit: 100."},
        {R"({"targetPrefix": "projects/gcemu-project-1/instances/gcemu-spanner/databases/dup", "code": "ALREADY_EXISTS"})",
         "dup", 6, "Database already exists: " + std::string(kInstance) + "/databases/dup"},
        {R"({"code": 13, "message": "backend lost {target}"})", "lost", 13,
         "backend lost " + std::string(kInstance) + "/databases/lost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        if (c.how == "cpp") {
            emulator().spannerOperations().AddFault({std::string(kInstance) + "/databases/", 1, {8, ""}});
        } else {
            ASSERT_EQ(200, client().Post(kControl, "/_gcemu/spanner/operations/faults", c.how).status);
        }
        const HttpReply started = Create("CREATE DATABASE `" + c.id + "`");
        ASSERT_EQ(200, started.status) << started.body;
        emulator().spannerOperations().FinishAll();
        const HttpReply done = client().Get(kSpanner, "/v1/" + Text(started.json, "name"));
        ASSERT_TRUE(done.json.at("done").get_bool()) << done.body;
        EXPECT_FALSE(done.json.count("response"));
        EXPECT_EQ((mObject{{"code", c.code}, {"message", c.message}}), Obj(done.json, "error"));
        EXPECT_EQ(404, client().Get(kSpanner, kDatabases + "/" + c.id).status)
            << "a failed creation makes nothing";
    }
    EXPECT_EQ(0u, emulator().spannerOperations().PendingFaults());
    EXPECT_EQ(400,
              client().Post(kControl, "/_gcemu/spanner/operations/faults", R"({"code": "NOPE"})").status);
    EXPECT_EQ(400, client().Post(kControl, "/_gcemu/spanner/operations/faults", R"({"code": 0})").status);
}

TEST_F(DatabaseTest, SpannerRefusesWhatGoogleRefuses) {
    const std::string badName =
        "Invalid database name: %s. A database name is 2 to 30 characters matching "
        "[a-z][a-z0-9_\\-]*[a-z0-9].";
    const auto invalidName = [&badName](const std::string& id) {
        std::string message = badName;
        return message.replace(message.find("%s"), 2, id);
    };
    const auto syntax = [](const std::string& statement, int column, const std::string& found) {
        return "Error parsing Spanner DDL statement: " + statement + " : Syntax error on line 1, column " +
               std::to_string(column) + ": Encountered '" + found + "' while parsing: create_statement";
    };
    struct Case {
        std::string body;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {R"({"createStatement":"CREATE DATABSE x"})", 400, syntax("CREATE DATABSE x", 8, "DATABSE")},
        {R"({"createStatement":"CREATE DATABASE orders-2025"})", 400,
         syntax("CREATE DATABASE orders-2025", 23, "-")},
        {R"({"createStatement":"CREATE DATABASE `orders"})", 400, syntax("CREATE DATABASE `orders", 17, "`")},
        {R"({"createStatement":"CREATE DATABASE"})", 400, syntax("CREATE DATABASE", 16, "EOF")},
        {R"({"createStatement":"CREATE DATABASE `Orders`"})", 400, invalidName("Orders")},
        {R"({"createStatement":"CREATE DATABASE `o`"})", 400, invalidName("o")},
        {R"({"createStatement":"CREATE DATABASE `ends_`"})", 400, invalidName("ends_")},
        {R"({"createStatement":"CREATE DATABASE `)" + std::string(31, 'a') + "`\"}", 400,
         invalidName(std::string(31, 'a'))},
        {R"({"createStatement":"CREATE DATABASE ok_db","extraStatements":["SELECT 1"]})", 400,
         "Error parsing Spanner DDL statement: SELECT 1 : Syntax error on line 1, column 1: Encountered "
         "'SELECT' while "
         "parsing: ddl_statement"},
        {R"({"statement":"CREATE DATABASE ok_db"})", 400,
         "Invalid JSON payload received. Unknown name \"statement\": Cannot find field."},
        {"{}", 400, "Invalid CreateDatabase request: create_statement must be a CREATE DATABASE statement."},
        {"not json", 400, "Invalid JSON payload received. Unexpected token."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        ExpectError(client().Post(kSpanner, kDatabases, c.body), c.status, c.message, "INVALID_ARGUMENT");
    }
    ExpectError(client().Post(kSpanner, "/v1/projects/gcemu-project-1/instances/nope/databases",
                              R"({"createStatement":"CREATE DATABASE ok_db"})"),
                404, "Instance not found: projects/gcemu-project-1/instances/nope", "NOT_FOUND");
    ExpectError(client().Get(kSpanner, "/v1/projects/nope/instances"), 403,
                "Caller is missing IAM permission spanner.instances.list on resource projects/nope.",
                "PERMISSION_DENIED");
    ExpectError(client().Get(kSpanner, "/v1/projects/gcemu-project-1/instanceConfigs/regional-mars1"), 404,
                "Instance config not found: projects/gcemu-project-1/instanceConfigs/regional-mars1",
                "NOT_FOUND");
    ExpectError(client().Get(kSpanner, kDatabases + "/nope"), 404,
                "Database not found: " + std::string(kInstance) + "/databases/nope", "NOT_FOUND");
    ExpectError(client().Get(kSpanner, kDatabases + "?pageSize=x"), 400,
                "Invalid value at 'page_size' (TYPE_INT32), \"x\"", "INVALID_ARGUMENT");
    ExpectError(client().Get(kSpanner, kDatabases + "/orders/operations/_auto_op_1"), 404,
                "Operation not found: " + std::string(kInstance) + "/databases/orders/operations/_auto_op_1",
                "NOT_FOUND");
    EXPECT_EQ(2u, dbtest::Names(client().Get(kSpanner, kDatabases).json, "databases").size())
        << "nothing made";
}

}  // namespace
