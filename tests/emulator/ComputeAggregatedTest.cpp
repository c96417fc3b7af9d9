// gcemu's aggregated instance list over real TLS: a scope for every zone on every page, instances or
// Google's warning in each, the zonal list's filter and paging, and its refusals.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/ZkJson.h"
#include "tests/emulator/EmulatorClient.h"

namespace {

using json_spirit::mObject;
using json_spirit::mValue;

using emutest::Client;
using emutest::Obj;
using emutest::Reply;
using emutest::Text;

constexpr char kProjects[] = "/compute/v1/projects/";

using Scopes = std::map<std::string, std::vector<std::string>>;  // "zones/z": instance names

class ComputeAggregatedTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_client = new Client(); }
    static void TearDownTestSuite() { delete s_client; }
    static Client& client() { return *s_client; }

    // Each zone's instances as its zonal list gives them with the same filter.
    static Scopes Zonal(const std::string& project, const std::string& filterQuery) {
        Scopes scopes;
        for (const std::string& zone : client().Names(kProjects + project + "/zones"))
            scopes["zones/" + zone] =
                client().Names(kProjects + project + "/zones/" + zone + "/instances" + filterQuery);
        return scopes;
    }

    // Every page of the aggregated list, each checked for its shape; the instances by scope.
    static Scopes Aggregated(const std::string& project, const std::string& query, size_t& pages) {
        const std::string list = kProjects + project + "/aggregated/instances";
        Scopes all;
        for (const auto& [scope, names] : Zonal(project, "")) all[scope];
        pages = 0;
        std::string token;
        do {
            const std::string sep = query.empty() ? "?" : "&";
            const Reply reply =
                client().Get(list + query + (token.empty() ? "" : sep + "pageToken=" + token));
            EXPECT_EQ(200, reply.status) << reply.text;
            if (reply.status != 200 || ++pages > 50) break;
            EXPECT_EQ("compute#instanceAggregatedList", Text(reply.body, "kind"));
            EXPECT_EQ(list.substr(std::string("/compute/v1/").size()), Text(reply.body, "id"));
            EXPECT_EQ("https://www.googleapis.com" + list, Text(reply.body, "selfLink"));
            const mObject& items = Obj(reply.body, "items");
            EXPECT_EQ(all.size(), items.size()) << "every zone, on every page";
            for (const auto& [scope, value] : items) {
                SCOPED_TRACE(scope);
                EXPECT_TRUE(all.count(scope));
                const mObject& holder = value.get_obj();
                EXPECT_EQ(1u, holder.size()) << "instances or a warning";
                if (const json_spirit::mArray* instances = ZkJson::FindArray(holder, "instances")) {
                    EXPECT_FALSE(instances->empty());
                    for (const mValue& instance : *instances) {
                        EXPECT_EQ(scope,
                                  "zones/" + Text(instance.get_obj(), "zone")
                                                 .substr(Text(instance.get_obj(), "zone").rfind('/') + 1));
                        all[scope].push_back(Text(instance.get_obj(), "name"));
                    }
                    continue;
                }
                const mObject& warning = Obj(holder, "warning");
                EXPECT_EQ("NO_RESULTS_ON_PAGE", Text(warning, "code"));
                EXPECT_EQ("There are no results for scope '" + scope + "' on this page.",
                          Text(warning, "message"));
                const mObject& data = warning.at("data").get_array().at(0).get_obj();
                EXPECT_EQ("scope", Text(data, "key"));
                EXPECT_EQ(scope, Text(data, "value"));
            }
            token = Text(reply.body, "nextPageToken");
        } while (!token.empty());
        return all;
    }

    static Client* s_client;
};

Client* ComputeAggregatedTest::s_client = nullptr;

TEST_F(ComputeAggregatedTest, ScopesHoldWhatEachZonalListHolds) {
    const struct {
        const char* project;
        std::string filter;  // as the zonal list takes it
        std::string paging;
        size_t pages;
    } cases[] = {
        {"gcemu-project-1", "", "", 1},
        {"gcemu-project-1", "filter=labels.app%20eq%20%22db%22", "", 1},
        {"gcemu-project-1", "filter=name%20eq%20%22web%5C-1%22", "", 1},
        {"gcemu-project-1", "filter=name%20eq%20nothing", "", 1},
        {"gcemu-project-1", "", "maxResults=5", 4},  // 17 instances
        {"gcemu-project-2", "filter=labels.env%20eq%20dev", "maxResults=1", 2},
        {"gcemu-empty-project", "", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.project) + " " + c.filter + " " + c.paging);
        const std::string filterQuery = c.filter.empty() ? "" : "?" + c.filter;
        std::string query = filterQuery;
        if (!c.paging.empty()) query += (query.empty() ? "?" : "&") + c.paging;
        size_t pages = 0;
        EXPECT_EQ(Zonal(c.project, filterQuery), Aggregated(c.project, query, pages));
        EXPECT_EQ(c.pages, pages);
    }
}

TEST_F(ComputeAggregatedTest, RefusalsAreTheZonalLists) {
    const std::string list = std::string(kProjects) + "gcemu-project-1/aggregated/instances";
    const std::string zonal = std::string(kProjects) + "gcemu-project-1/zones/us-central1-a/instances";
    const Reply first = client().Get(list + "?maxResults=1");
    const std::string token = Text(first.body, "nextPageToken");
    ASSERT_FALSE(token.empty());
    const struct {
        std::string aggregated;
        std::string zonalTwin;  // empty: no zonal request answers the same
        int status;
    } cases[] = {
        {list + "?filter=name%20eq%20(", zonal + "?filter=name%20eq%20(", 400},
        {list + "?maxResults=501", zonal + "?maxResults=501", 400},
        {list + "?pageToken=bm90LWEtdG9rZW4", zonal + "?pageToken=bm90LWEtdG9rZW4", 400},
        {list + "?pageToken=" + token + "&filter=name%20eq%20web-1", "", 400},  // another filter
        {zonal + "?pageToken=" + token, "", 400},                               // another list
        {std::string(kProjects) + "no-such-project/aggregated/instances",
         std::string(kProjects) + "no-such-project/zones", 404},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.aggregated);
        const Reply reply = client().Get(c.aggregated);
        EXPECT_EQ(c.status, reply.status) << reply.text;
        if (c.zonalTwin.empty()) continue;
        const Reply twin = client().Get(c.zonalTwin);
        EXPECT_EQ(twin.status, reply.status);
        EXPECT_EQ(Text(Obj(twin.body, "error"), "message").substr(0, 30),
                  Text(Obj(reply.body, "error"), "message").substr(0, 30));
    }
}

}  // namespace
