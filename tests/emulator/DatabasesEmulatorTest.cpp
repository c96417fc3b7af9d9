// The Cloud SQL refresh through the facade against gcemu, over every project of its default world (only
// gcemu-project-2 has instances), in pages of two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/EmulatorFixture.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kSql[] = "sqladmin.googleapis.com";

class DatabasesEmulatorTest : public testsupport::EmulatorTest {
public:
    static void SetUpTestSuite() {
        gcemu::EmulatorOptions options;
        options.pageSize = 2;
        StartEmulator(options);
    }
};

TEST_F(DatabasesEmulatorTest, RefreshReadsEveryProjectAndKeepsEachInstanceOnce) {
    auto wrapper = Connected();
    std::vector<SProjectInfoLib> projects;
    ASSERT_TRUE(wrapper->ListProjects(projects));
    ASSERT_TRUE(wrapper->RefreshDBInstanceInfoList(0, 0)) << wrapper->GetLastError();
    ASSERT_TRUE(wrapper->RefreshDBInstanceInfoList(0, 0)) << wrapper->GetLastError();
    // Three instances in two pages for the one project that has them, one answer for each other project.
    EXPECT_EQ(Requests("GET", kSql), 2 * (projects.size() + 1));

    std::vector<SDBInstanceInfoLib> instances;
    ASSERT_TRUE(wrapper->GetDBInstanceInfoList(instances, 0, 0));
    std::string seen;
    for (const SDBInstanceInfoLib& i : instances)
        seen += i.name + "<" + i.masterInstanceName + ">" + i.project + ":" + i.connectionName + ",";
    EXPECT_EQ(seen,
              "orders-mysql<>gcemu-project-2:gcemu-project-2:us-central1:orders-mysql,"
              "orders-mysql-replica<gcemu-project-2:orders-mysql>gcemu-project-2:gcemu-project-2:us-central1:"
              "orders-mysql-replica,"
              "reports-pg<>gcemu-project-2:gcemu-project-2:us-central1:reports-pg,");
    const SDBInstanceInfoLib& primary = instances.at(0);
    EXPECT_EQ(primary.replicaNames, std::vector<std::string>{"orders-mysql-replica"});
    EXPECT_GT(primary.currentDiskSize, 0);
    EXPECT_GE(primary.maxDiskSize, primary.currentDiskSize);
    EXPECT_EQ(primary.serverCaCert.cert.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);

    // Every project refusing leaves the instances of the last refresh.
    Emulator().faults().Add({"GET", std::string(kSql) + "/sql/v1beta4/projects/",
                             static_cast<int>(projects.size()), gcemu::FaultKind::kStatus, 403, "", 0});
    EXPECT_FALSE(wrapper->RefreshDBInstanceInfoList(0, 0));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "-1");
    EXPECT_TRUE(wrapper->GetDBInstanceInfoList(instances, 0, 0));
    EXPECT_EQ(instances.size(), 3u);
}

}  // namespace
