// gcemu's Cloud SQL Admin over real TLS: the built-in world's instances as Google shapes them, in pages,
// and Cloud SQL's answers for an empty project, an unknown one and an unknown instance.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/emulator/DatabaseFixture.h"

namespace {

using dbtest::DatabaseTest;
using dbtest::ExpectError;
using dbtest::kSql;
using dbtest::mArray;
using dbtest::mObject;
using dbtest::Obj;
using dbtest::Text;
using testsupport::HttpReply;

const std::string kInstances = "/sql/v1beta4/projects/gcemu-project-2/instances";

std::string Sha1Of(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!cert) return "not a certificate";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert, EVP_sha1(), digest, &length);
    X509_free(cert);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

TEST_F(DatabaseTest, SqlInstancesListInPagesShapedAsGoogle) {
    std::vector<mObject> listed;
    std::string token;
    int pages = 0;
    do {
        const HttpReply page =
            client().Get(kSql, kInstances + "?maxResults=2" + (token.empty() ? "" : "&pageToken=" + token));
        ASSERT_EQ(200, page.status) << page.body;
        EXPECT_EQ("sql#instancesList", Text(page.json, "kind"));
        EXPECT_EQ("", SchemaProblems("sqladmin.v1beta4.json", page.json, "InstancesListResponse"));
        for (const auto& item : page.json.at("items").get_array()) listed.push_back(item.get_obj());
        token = Text(page.json, "nextPageToken");
        ++pages;
    } while (!token.empty() && pages < 5);
    ASSERT_EQ(2, pages);
    ASSERT_EQ(3u, listed.size());
    EXPECT_EQ("orders-mysql", Text(listed[0], "name"));
    EXPECT_EQ("orders-mysql-replica", Text(listed[1], "name"));
    EXPECT_EQ("reports-pg", Text(listed[2], "name"));

    for (const mObject& instance : listed) {
        SCOPED_TRACE(Text(instance, "name"));
        EXPECT_EQ(instance, client().Get(kSql, kInstances + "/" + Text(instance, "name")).json)
            << "get = list item";
        // 64-bit numbers are text, as Google sends them.
        const mObject& settings = Obj(instance, "settings");
        for (const auto& [object, member] :
             std::vector<std::pair<const mObject*, const char*>>{{&instance, "currentDiskSize"},
                                                                 {&instance, "maxDiskSize"},
                                                                 {&settings, "settingsVersion"},
                                                                 {&settings, "dataDiskSizeGb"},
                                                                 {&settings, "storageAutoResizeLimit"}})
            EXPECT_EQ(json_spirit::str_type, object->at(member).type()) << member;
        EXPECT_EQ(std::stoll(Text(settings, "dataDiskSizeGb")) * 1024 * 1024 * 1024,
                  std::stoll(Text(instance, "maxDiskSize")));
        EXPECT_LT(std::stoll(Text(instance, "currentDiskSize")), std::stoll(Text(instance, "maxDiskSize")));
        EXPECT_EQ("gcemu-project-2:us-central1:" + Text(instance, "name"), Text(instance, "connectionName"));
        const mObject& ca = Obj(instance, "serverCaCert");
        EXPECT_EQ(Text(ca, "sha1Fingerprint"), Sha1Of(Text(ca, "cert"))) << "a real certificate";
        EXPECT_EQ(Text(instance, "name"), Text(ca, "instance"));
    }

    // The primary and its replica name each other; backups, networks and flags come from the world.
    const mObject& primary = listed[0];
    EXPECT_EQ(mArray{"orders-mysql-replica"}, primary.at("replicaNames").get_array());
    EXPECT_EQ("CLOUD_SQL_INSTANCE", Text(primary, "instanceType"));
    EXPECT_EQ("us-central1-b", Text(primary, "secondaryGceZone")) << "REGIONAL: a standby zone";
    const mObject& settings = Obj(primary, "settings");
    EXPECT_EQ("db-n1-standard-2", Text(settings, "tier"));
    EXPECT_EQ("REGIONAL", Text(settings, "availabilityType"));
    EXPECT_TRUE(Obj(settings, "backupConfiguration").at("binaryLogEnabled").get_bool());
    EXPECT_EQ(
        14,
        Obj(Obj(settings, "backupConfiguration"), "backupRetentionSettings").at("retainedBackups").get_int());
    const mObject& ip = Obj(settings, "ipConfiguration");
    EXPECT_EQ("projects/gcemu-project-2/global/networks/default", Text(ip, "privateNetwork"));
    EXPECT_EQ("203.0.113.0/24", Text(ip.at("authorizedNetworks").get_array().at(0).get_obj(), "value"));
    EXPECT_EQ("us-central1-a", Text(Obj(settings, "locationPreference"), "zone"));
    EXPECT_EQ(7, Obj(settings, "maintenanceWindow").at("day").get_int());
    EXPECT_EQ("orders", Text(Obj(settings, "userLabels"), "app"));
    EXPECT_EQ(2u, settings.at("databaseFlags").get_array().size());

    const mObject& replica = listed[1];
    EXPECT_EQ("gcemu-project-2:orders-mysql", Text(replica, "masterInstanceName"));
    EXPECT_EQ("READ_REPLICA_INSTANCE", Text(replica, "instanceType"));
    EXPECT_FALSE(Obj(Obj(replica, "settings"), "backupConfiguration").at("enabled").get_bool());

    const mObject& postgres = listed[2];
    EXPECT_EQ("POSTGRES_15", Text(postgres, "databaseVersion"));
    EXPECT_TRUE(
        Obj(Obj(postgres, "settings"), "backupConfiguration").at("pointInTimeRecoveryEnabled").get_bool());
    ASSERT_EQ(1u, postgres.at("ipAddresses").get_array().size()) << "no public address without ipv4Enabled";
    EXPECT_EQ("PRIVATE", Text(postgres.at("ipAddresses").get_array()[0].get_obj(), "type"));
    EXPECT_EQ(2u, listed[0].at("ipAddresses").get_array().size()) << "a public and a private address";
}

TEST_F(DatabaseTest, SqlAnswersAsGoogleForWhatIsNotThere) {
    const HttpReply empty = client().Get(kSql, "/sql/v1beta4/projects/gcemu-project-1/instances");
    EXPECT_EQ(200, empty.status) << empty.body;
    EXPECT_EQ((mObject{{"kind", "sql#instancesList"}}), empty.json) << "no items, no token";

    struct Case {
        std::string path;
        int status;
        std::string reason, message;
    };
    const Case cases[] = {
        {"/sql/v1beta4/projects/no-such-project/instances", 403, "notAuthorized",
         "The client is not authorized to make this request."},
        {"/sql/v1beta4/projects/no-such-project/instances/orders-mysql", 403, "notAuthorized",
         "The client is not authorized to make this request."},
        {kInstances + "/nope", 404, "instanceDoesNotExist", "The Cloud SQL instance does not exist."},
        {kInstances + "?maxResults=many", 400, "invalid",
         "Invalid value at 'max_results' (TYPE_UINT32), \"many\""},
        {kInstances + "?pageToken=forged", 400, "invalid", "Invalid request: Invalid page token."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const HttpReply reply = client().Get(kSql, c.path);
        ExpectError(reply, c.status, c.message);  // Cloud SQL's errors carry no status
        EXPECT_EQ(c.reason,
                  Text(reply.json.at("error").get_obj().at("errors").get_array().at(0).get_obj(), "reason"));
    }
}

}  // namespace
