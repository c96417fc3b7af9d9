// World entries of Cloud SQL instances and Cloud Spanner instances and databases: a mistake stops the
// emulator with the entry named, as everywhere in a world file.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "emulator/Emulator.h"
#include "tests/support/TempDir.h"

namespace {

std::string Sql(const std::string& instances) {
    return R"({"projects": [{"projectId": "p", "networks": [{"name": "default"}], "sqlInstances": [)" +
           instances + "]}]}";
}

std::string Spanner(const std::string& instance) {
    return R"({"projects": [{"projectId": "p", "spannerInstances": [)" + instance + "]}]}";
}

TEST(DatabaseWorldTest, EntriesAreCheckedAndNamed) {
    const std::string sql = "world: project p: sqlInstances[";
    const std::string spanner = "world: project p: spannerInstances[0] (sp): ";
    const std::string primary = R"({"name": "db", "backup": {"binaryLogEnabled": false}})";
    const std::pair<std::string, std::string> cases[] = {
        {Sql(R"({"name": "db", "tiers": "x"})"), sql + "0] (db): unknown member 'tiers'"},
        {Sql(R"({"name": "DB"})"),
         sql + "0] (DB): 'DB' is not a Cloud SQL instance name ([a-z]([-a-z0-9]*[a-z0-9])?)"},
        {Sql(R"({"name": "db", "databaseVersion": "ORACLE_19"})"),
         sql + "0] (db): 'ORACLE_19' is not a Cloud SQL database version"},
        {Sql(R"({"name": "db", "zone": "europe-west4-a"})"),
         sql + "0] (db): zone europe-west4-a is not a zone of us-central1"},
        {Sql(R"({"name": "db", "privateNetwork": "nope"})"),
         sql + "0] (db): privateNetwork nope is not a network of the world"},
        {Sql(R"({"name": "db", "ipv4Enabled": false})"),
         sql + "0] (db): an instance needs 'ipv4Enabled' or a 'privateNetwork'"},
        {Sql(R"({"name": "db", "authorizedNetworks": [{"value": "10.0.0.0/33"}]})"),
         sql + "0] (db): authorizedNetworks[0]: '10.0.0.0/33' is not an IPv4 address or range"},
        {Sql(R"({"name": "db", "backup": {"enable": true}})"),
         sql + "0] (db): backup: unknown member 'enable'"},
        {Sql(R"({"name": "db", "databaseVersion": "POSTGRES_15", "backup": {"binaryLogEnabled": true}})"),
         sql + "0] (db): backup: 'binaryLogEnabled' is for MySQL instances"},
        {Sql(R"({"name": "r", "masterInstanceName": "nope"})"),
         sql + "0] (r): masterInstanceName nope is not an instance of the project"},
        {Sql(R"({"name": "db"}, {"name": "r", "masterInstanceName": "db", "databaseVersion": "MYSQL_5_7"})"),
         sql + "1] (r): a replica runs its primary's databaseVersion"},
        {Sql(primary + R"(, {"name": "r", "masterInstanceName": "db"})"),
         sql + "0] (db): a MySQL primary with replicas needs 'binaryLogEnabled'"},
        {Sql(R"({"name": "db", "failoverReplica": "other"}, {"name": "other"})"),
         sql + "0] (db): failoverReplica other is not one of its replicas"},
        {Sql(R"({"name": "db"}, {"name": "db"})"),
         sql + "1] (db): the instance name is in the project twice"},

        {Spanner(R"({"name": "sp", "config": "regional-mars1"})"),
         spanner + "config regional-mars1 is not regional-<a region of the project>"},
        {Spanner(R"({"name": "sp", "processingUnits": 150})"),
         spanner + "processing units are 100 to 900 in hundreds, or whole nodes of 1000"},
        {Spanner(R"({"name": "sp", "databases": [{"name": "d1", "table": []}]})"),
         spanner + "databases[0] (d1): unknown member 'table'"},
        {Spanner(R"({"name": "sp", "databases": [{"name": "Bad"}]})"),
         spanner + "databases[0] (Bad): 'Bad' is not a database id ([a-z][a-z0-9_-]*[a-z0-9], 2-30)"},
        {Spanner(R"({"name": "sp", "databases": [{"name": "d1", "tables": ["T", "T"]}]})"),
         spanner + "databases[0] (d1): table T is listed twice"},
        {Spanner(R"({"name": "sp", "databases": [{"name": "d1", "createTime": "2024-01-01T00:00:00Z",
                     "restoredFrom": {"backup": "b1", "sourceDatabase": "d0", "createTime": "2024-02-01T00:00:00Z"}}]})"),
         spanner + "databases[0] (d1): restoredFrom: the backup's 'createTime' is not before the database's"},
    };
    const testsupport::TempDir dir;
    gcemu::Emulator::Options options;
    options.stateDir = dir.File("state");
    for (const auto& [world, message] : cases) {
        SCOPED_TRACE(world);
        options.worldFile = dir.Write("db.json", world);
        try {
            gcemu::Emulator emulator(options);
            ADD_FAILURE() << "the world loaded";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(message, error.what());
        }
    }
    // What Google allows loads: a failover replica of its primary, a restored database.
    options.worldFile =
        dir.Write("db.json",
                  R"({"projects": [{"projectId": "p", "sqlInstances": [{"name": "db", "failoverReplica": "r"},
                          {"name": "r", "masterInstanceName": "db"}],
                      "spannerInstances": [{"name": "sp", "processingUnits": 300, "databases": [
                          {"name": "d-1", "restoredFrom": {"backup": "b1", "sourceDatabase": "gone_db"}}]}]}]})");
    EXPECT_NO_THROW(gcemu::Emulator{options});
}

}  // namespace
