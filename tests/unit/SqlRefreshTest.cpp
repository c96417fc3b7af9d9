// Cloud SQL discovery over a scripted exchange: the query reads every page of a project's instances into
// the cache, and the facade's refresh rebuilds that cache from every project the account can list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "emulator/CertificateAuthority.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using testsupport::Answer;
using testsupport::LogCapture;

const std::string kInstances = "https://sqladmin.googleapis.com/sql/v1beta4/projects/p/instances";
const host::HttpResponse kToken = Answer(200, R"({"access_token":"t","expires_in":999999})");
const host::HttpResponse kRefused = Answer(403, R"({"error":{"code":403,"message":"API not used"}})");

host::HttpResponse Page(const std::vector<std::string>& names, const std::string& next = "") {
    std::string items;
    for (const auto& name : names)
        items += std::string(items.empty() ? "" : ",") + R"({"name":")" + name + "\"}";
    std::string text = R"({"kind":"sql#instancesList")";
    if (!names.empty()) text += R"(,"items":[)" + items + "]";
    if (!next.empty()) text += R"(,"nextPageToken":")" + next + "\"";
    return Answer(200, text + "}");
}

std::string Names(const std::vector<SDBInstanceInfoLib>& instances) {
    std::string text;
    for (const auto& instance : instances) text += (text.empty() ? "" : ",") + instance.name;
    return text;
}

class SqlQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        http.Queue(kToken);
        ASSERT_TRUE(connection.Connect("", "sa@p.iam", gcemu::GenerateRsaKeyPem(1024)));
    }
    testsupport::ScriptedHttp http;
    ZkGoogleCloudErrorState state;
    CGoogleCloudConnection connection{&state};
    CGoogleCloudParser parser;
};

TEST_F(SqlQueryTest, ReadsEveryPageOfAProjectIntoTheCache) {
    const std::string parseFailed = "Failed:  Parsing response from GET for URL [" + kInstances + "]";
    const std::string getFailed = "Failed:  GET for URL [" + kInstances + "]";
    const std::string success = "Success:  Parsing response from GET for URL [" + kInstances + "]";
    const struct {
        const char* name;
        std::vector<host::HttpResponse> answers;
        const char* cached;
        std::string outcome;  // the last line; success or not decides the result
    } cases[] = {
        {"pages followed", {Page({"a", "b"}, "t/2&x"), Page({}, "t3"), Page({"c"})}, "a,b,c", success},
        {"no items: a project without instances", {Page({})}, "", success},
        // A 2xx that is not JSON fails in the transport, with its reason (INVALID_RESPONSE).
        {"no list at all", {Answer(200, "<html>busy</html>")}, "", getFailed},
        {"items that are no list", {Answer(200, R"({"items":{"name":"a"}})")}, "", parseFailed},
        {"refused", {kRefused}, "", getFailed},
        {"a later page refused adds nothing", {Page({"a"}, "t/2&x"), kRefused}, "", getFailed},
    };
    for (const auto& c : cases) {
        const size_t before = http.script.requests.size();
        for (const auto& answer : c.answers) http.Queue(answer);
        CGoogleCloudQueries queries{&state, &connection, &parser};
        LogCapture log;
        EXPECT_EQ(queries.RefreshDBInstanceInfoList("p", 0, 0), c.outcome == success) << c.name;
        std::vector<SDBInstanceInfoLib> cached(1);
        EXPECT_TRUE(queries.GetDBInstanceInfoList(cached, 0, 0));
        EXPECT_EQ(Names(cached), c.cached) << c.name;

        std::vector<std::string> lines, expected{"Calling GET for URL [" + kInstances + "]"};
        for (const auto& line : log.Lines())
            if (line.tag.find("Queries::RefreshDBInstanceInfoList") != std::string::npos && line.level == 1)
                lines.push_back(line.message);
        if (c.outcome != getFailed)
            expected.push_back("Parsing response from GET for URL [" + kInstances + "]");
        expected.push_back(c.outcome);
        EXPECT_EQ(lines, expected) << c.name;
        ASSERT_EQ(http.script.requests.size() - before, c.answers.size()) << c.name;
        if (c.answers.size() > 1) {
            EXPECT_EQ(http.script.requests[before + 1].url, kInstances + "?pageToken=t/2%26x") << c.name;
        }
    }
}

TEST_F(SqlQueryTest, ReplicaSecretsReachTheRecordButNoLog) {
    const std::string replica = R"({"name":"r","replicaConfiguration":{"mysqlReplicaConfiguration":{)"
                                R"("username":"repl","password":"pw-9f3k","clientKey":"ck-77aa"}}})";
    // The second list fails to map (a label that is no text), so its whole text goes to the error log.
    for (const std::string& tail : {std::string(), std::string(R"(,{"settings":{"userLabels":{"n":1}}})")}) {
        http.Queue(Answer(200, R"({"items":[)" + replica + tail + "]}"));
        CGoogleCloudQueries queries{&state, &connection, &parser};
        LogCapture log;
        EXPECT_EQ(queries.RefreshDBInstanceInfoList("p", 0, 0), tail.empty());
        std::vector<SDBInstanceInfoLib> cached;
        queries.GetDBInstanceInfoList(cached, 0, 0);
        if (tail.empty()) {
            ASSERT_EQ(cached.size(), 1u);
            const auto& mysql = cached[0].replicaConfiguration.mysqlReplicaConfiguration;
            EXPECT_EQ(mysql.username + "/" + mysql.password + "/" + mysql.clientKey, "repl/pw-9f3k/ck-77aa");
        }
        EXPECT_EQ(log.Mentions("Exception parsing json list"), !tail.empty());
        EXPECT_TRUE(log.Mentions(R"("password":"[REDACTED]")")) << log.Dump();
        for (const auto& line : log.Lines()) {
            EXPECT_EQ(line.message.find("pw-9f3k"), std::string::npos) << line.message;
            EXPECT_EQ(line.message.find("ck-77aa"), std::string::npos) << line.message;
        }
    }
}

host::HttpResponse Projects(const std::vector<std::string>& ids) {
    std::string items;
    for (const auto& id : ids)
        items += std::string(items.empty() ? "" : ",") + R"({"projectId":")" + id + "\"}";
    return Answer(200, R"({"projects":[)" + items + "]}");
}

TEST(SqlRefresh, RebuildsTheCacheFromEveryProject) {
    testsupport::ScopedSettings settings("[GoogleCloud]\nnLogLevel=3\n");
    testsupport::ScriptedHttp http;
    CGoogleCloudSDKWrapper wrapper;
    http.Queue(kToken);
    ASSERT_TRUE(wrapper.Connect("", "sa@p.iam", gcemu::GenerateRsaKeyPem(1024)));
    // Rounds on one object, each starting from the cache the rounds before left.
    const struct {
        const char* name;
        host::HttpResponse projects;
        std::vector<host::HttpResponse> instances;  // one answer per project, in order
        bool ok;
        const char* cached;
        const char* code;  // what a failed round leaves
    } rounds[] = {
        {"two projects, one without instances",
         Projects({"p1", "p2"}),
         {Page({"a", "b"}), Page({})},
         true,
         "a,b",
         ""},
        {"again: each instance once",
         Projects({"p1", "p2"}),
         {Page({"a", "b"}), Page({"c"})},
         true,
         "a,b,c",
         ""},
        {"one project refuses", Projects({"p1", "p2"}), {kRefused, Page({"c"})}, true, "c", ""},
        {"every project refuses: the cache as it was",
         Projects({"p1", "p2"}),
         {kRefused, kRefused},
         false,
         "c",
         "-1"},
        {"no project at all", Projects({}), {}, false, "c", "-1"},
        {"the projects cannot be listed", kRefused, {}, false, "c", "403"},
    };
    for (const auto& r : rounds) {
        http.Queue(r.projects);
        for (const auto& answer : r.instances) http.Queue(answer);
        LogCapture log;
        EXPECT_EQ(wrapper.RefreshDBInstanceInfoList(0, 0), r.ok) << r.name;
        const size_t requests = http.script.requests.size();
        std::vector<SDBInstanceInfoLib> cached(1);
        EXPECT_TRUE(wrapper.GetDBInstanceInfoList(cached, 0, 0));
        EXPECT_EQ(http.script.requests.size(), requests) << "the list is the cache";
        EXPECT_EQ(Names(cached), r.cached) << r.name;

        const bool allFailed = !r.ok && std::string(r.code) == "-1";
        if (!r.ok) {
            EXPECT_EQ(wrapper.GetLastErrorCode(), r.code) << r.name;
        }
        EXPECT_EQ(wrapper.GetLastError() == "Failed to refresh DB instance info in cache", allFailed)
            << r.name;
        EXPECT_EQ(log.Has(-1, "Failed to discover database instances for all the projects"), allFailed)
            << r.name;
        for (size_t i = 0; i < r.instances.size(); ++i) {
            const std::string project = "p" + std::to_string(i + 1);
            EXPECT_TRUE(log.Has(3, "Calling refresh db instance module for project id [" + project + "]"));
            EXPECT_EQ(
                log.Has(1, "Failed to refresh DB instance info in cache for project [" + project + "]."),
                r.instances[i].status == 403)
                << r.name << " " << project;
        }
    }
}

}  // namespace
