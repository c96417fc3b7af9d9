// Cloud SQL database instances: read from Google's captures, and the values the captures do not show.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;

namespace {

// What a backup agent reads to find, reach, size and protect an instance.
std::string Agent(const SDBInstanceInfoLib& i) {
    const SSettingsInfoLib& s = i.settings;
    std::string addresses;
    for (const SIpAddressesInfoLib& a : i.ipAddresses) addresses += a.type + "=" + a.ipAddress + ",";
    return i.name + "|" + i.connectionName + "|" + i.state + "|" + i.databaseVersion + "|" + i.gceZone + "|" +
           i.instanceType + "|" + i.masterInstanceName + "|" + std::to_string(i.currentDiskSize) + "|" +
           s.tier + "|" + std::to_string(s.dataDiskSizeGb) + "|" +
           std::to_string(s.backupConfiguration.enabled) + s.backupConfiguration.startTime + "|" +
           s.ipConfiguration.privateNetwork + "|" + addresses + "|" + mappingtest::Join(s.userLabels);
}

TEST(SqlReader, CapturesGiveTheFieldsABackupAgentNeeds) {
    for (const std::string& file : mappingtest::Fixtures("sqladmin", {"instance"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SDBInstanceInfoLib>(file).empty()) << file;
    mappingtest::ExpectFields<SDBInstanceInfoLib>(
        "sqladmin/instance-get.json",
        {{0, Agent,
          "brenttest-2|cloud-custodian:us-central1:brenttest-2|RUNNABLE|MYSQL_5_7|us-central1-a|"
          "CLOUD_SQL_INSTANCE||0|db-f1-micro|10|109:00|projects/cloud-custodian/global/networks/default|"
          "PRIVATE=10.59.144.3,|"}});
    mappingtest::ExpectFields<SDBInstanceInfoLib>(
        "sqladmin/instances-list-postgres-mysql.json",
        {{1, Agent,
          "brenttest-11|cloud-custodian:us-central1:brenttest-11|RUNNABLE|MYSQL_5_7|us-central1-a|"
          "CLOUD_SQL_INSTANCE||0|db-f1-micro|10|101:00||PRIMARY=35.225.147.153,|"}});
    // A read replica names its primary and carries only part of the settings.
    mappingtest::ExpectFields<SDBInstanceInfoLib>(
        "sqladmin/instances-list-mysql-six.json",
        {{4, Agent,
          "sql5||RUNNABLE|MYSQL_8_0|us-central1-a|READ_REPLICA_INSTANCE|sql3|0|db-n1-standard-1|0|1|||"}});
}

TEST(SqlReader, ValuesTheCapturesDoNotShow) {
    const struct {
        const char* json;
        const char* agent;
        bool reported;  // an error line names the key whose value has the wrong type
    } cases[] = {
        {R"({"name":"a","currentDiskSize":"53687091200"})", "a|||||||53687091200||0|0|||", false},
        // A 64-bit number comes as a decimal string; a JSON number is no size, and the reading goes on.
        {R"({"currentDiskSize":53687091200,"gceZone":"z"})", "||||z|||0||0|0|||", true},
        {R"({"name":"bare","state":"SUSPENDED"})", "bare||SUSPENDED|||||0||0|0|||", false},
        {R"({"settings":{"tier":"t","userLabels":{"team":"billing"}}})", "|||||||0|t|0|0|||team=billing",
         false},
    };
    for (const auto& c : cases) {
        testsupport::LogCapture log;
        SDBInstanceInfoLib instance;
        ASSERT_TRUE(CGoogleCloudParser().ParseObject(c.json, instance)) << c.json;
        EXPECT_EQ(Agent(instance), c.agent) << c.json;
        const auto lines = log.Lines();
        ASSERT_EQ(lines.size(), c.reported ? 1u : 0u) << c.json << "\n" << log.Dump();
        if (c.reported) {
            EXPECT_EQ(lines[0].level, host::kLogError);
            EXPECT_NE(lines[0].message.find("[currentDiskSize]"), std::string::npos) << lines[0].message;
        }
    }
}

}  // namespace
