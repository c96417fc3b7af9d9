// Lists are read to their last page, and a later page fails the call as the first page would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "emulator/CertificateAuthority.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using testsupport::Answer;

std::string Page(const std::vector<std::string>& names, const std::string& next) {
    std::string items;
    for (const auto& name : names)
        items += (items.empty() ? "" : ",") + std::string(R"({"name":")") + name + "\"}";
    std::string text = "{";
    if (!names.empty()) text += R"("items":[)" + items + "]";
    if (!next.empty()) text += std::string(names.empty() ? "" : ",") + R"("nextPageToken":")" + next + "\"";
    return text + "}";
}

class QueryPagingTest : public ::testing::Test {
protected:
    void SetUp() override {
        http.Queue(Answer(200, R"({"access_token":"t","expires_in":999999})"));
        ASSERT_TRUE(connection.Connect("", "sa@p.iam", gcemu::GenerateRsaKeyPem(1024)));
    }
    const host::HttpRequest& Request(size_t index) const { return http.script.requests.at(1 + index); }

    testsupport::ScriptedHttp http;
    testsupport::ScopedSettings singleRequests{"[GoogleCloud]\nnHttpRetryAttempts=0\n"};
    ZkGoogleCloudErrorState state;
    CGoogleCloudConnection connection{&state};
    CGoogleCloudParser parser;
    CGoogleCloudQueries queries{&state, &connection, &parser};
};

TEST_F(QueryPagingTest, FollowsEveryPageAndSendsItsToken) {
    http.Queue(Answer(200, Page({"a", "b"}, "t/2&x")));
    http.Queue(Answer(200, Page({}, "t3")));  // filtered lists may hand out empty pages
    http.Queue(Answer(200, Page({"c"}, "")));
    std::vector<SVMInfoLib> vms;
    ASSERT_TRUE(queries.GetVMInfoListInZone("p", "z", vms, 0));
    ASSERT_EQ(vms.size(), 3u);
    EXPECT_EQ(vms[2].name, "c");
    EXPECT_EQ(vms[2].projectId, "p");
    EXPECT_EQ(Request(1).url,
              "https://compute.googleapis.com/compute/v1/projects/p/zones/z/instances?pageToken=t/2%26x");
    EXPECT_EQ(Request(2).url,
              "https://compute.googleapis.com/compute/v1/projects/p/zones/z/instances?pageToken=t3");
}

TEST_F(QueryPagingTest, ALaterPageFailsTheCallAsTheFirstWould) {
    http.Queue(Answer(200, Page({"a"}, "t2")));
    http.Queue(Answer(500, R"({"error":{"code":500,"message":"backend error"}})"));
    std::vector<SVMInfoLib> vms;
    EXPECT_FALSE(queries.GetVMInfoListInZone("p", "z", vms, 0));
    EXPECT_EQ(state.errorCode, "500");

    // A 404 on a later page is an empty answer, as on the first.
    http.Queue(Answer(200, Page({"a"}, "t2")));
    http.Queue(Answer(404, R"({"error":{"code":404,"message":"gone"}})"));
    std::vector<SVMInfoLib> more;
    EXPECT_TRUE(queries.GetVMInfoListInZone("p", "z", more, 0));
}

TEST_F(QueryPagingTest, ARepeatedTokenEndsTheList) {
    http.Queue(Answer(200, Page({"a"}, "same")));
    http.Queue(Answer(200, Page({"b"}, "same")));
    std::vector<SVMInfoLib> vms;
    EXPECT_TRUE(queries.GetVMInfoListInZone("p", "z", vms, 0));
    EXPECT_EQ(vms.size(), 2u);
    EXPECT_EQ(http.script.requests.size(), 3u);
}

TEST_F(QueryPagingTest, FilteredSearchesFollowPagesToTheMatch) {
    http.Queue(Answer(200, Page({}, "t2")));
    http.Queue(Answer(200, Page({"vm7"}, "")));
    SVMInfoLib vm;
    ASSERT_TRUE(queries.ParseZonesForVMParam("p", "z", "name", "vm7", vm));
    EXPECT_EQ(vm.name, "vm7");
    EXPECT_EQ(Request(0).url,
              "https://compute.googleapis.com/compute/v1/projects/p/zones/z/"
              "instances?filter=name%20eq%20%22vm7%22");
    EXPECT_EQ(Request(1).url,
              "https://compute.googleapis.com/compute/v1/projects/p/zones/z/"
              "instances?filter=name%20eq%20%22vm7%22&pageToken=t2");
}

}  // namespace
