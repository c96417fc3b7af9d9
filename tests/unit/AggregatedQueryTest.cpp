// The aggregated instance list as Google answers it: VMs read from every scope with their zones and
// regions, warnings taken as empty scopes, every page followed, refusals recorded.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "emulator/CertificateAuthority.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"
#include "tests/unit/MappingTestSupport.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using mappingtest::ReadFixture;
using testsupport::Answer;

const char kList[] = "https://compute.googleapis.com/compute/v1/projects/p/aggregated/instances";

class AggregatedQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        http.Queue(Answer(200, R"({"access_token":"t","expires_in":999999})"));
        ASSERT_TRUE(connection.Connect("", "sa@p.iam", gcemu::GenerateRsaKeyPem(1024)));
    }

    testsupport::ScriptedHttp http;
    testsupport::ScopedSettings settings{"[GoogleCloud]\nnHttpRetryAttempts=0\nbAggregatedDiscovery=1\n"};
    ZkGoogleCloudErrorState state;
    CGoogleCloudConnection connection{&state};
    CGoogleCloudParser parser;
    CGoogleCloudQueries queries{&state, &connection, &parser};
};

using Call = std::function<bool(CGoogleCloudQueries&, std::vector<SVMInfoLib>&)>;

Call ByName(const std::string& name) {
    return [name](CGoogleCloudQueries& q, std::vector<SVMInfoLib>& vms) {
        SVMInfoLib vm;
        if (!q.GetVMInfo("p", name, "", "", vm, 0)) return false;
        vms.push_back(vm);
        return true;
    };
}

Call ByLabel(const std::string& key, const std::string& value) {
    return [key, value](CGoogleCloudQueries& q, std::vector<SVMInfoLib>& vms) {
        return q.GetVMInfoListByLabelInAllZones("p", key, value, vms, 0);
    };
}

TEST_F(AggregatedQueryTest, ScopesPagesWarningsAndRefusals) {
    ASSERT_TRUE(queries.AggregatedDiscovery());
    const std::string lastPage =
        R"({"items":{"zones/us-west1-b":{"instances":[{"name":"x","id":"7","labels":{"k":"v"}}]},)"
        R"("zones/us-west1-c":{"instances":[{"name":"y","id":"8","labels":{"k":"w"}}]}}})";
    const struct {
        const char* what;
        std::vector<std::string> pages;  // answers, in order; a leading status digit marks a refusal
        Call call;
        bool ok;
        std::vector<std::string> vms;  // name/zone/region/project
        std::vector<std::string> urls;
        const char* code;
    } cases[] = {
        {"Google's capture: a name in two zones gives the first zone's",
         {ReadFixture("compute/instances-aggregated-gcpdiag.json")},
         ByName("gce1"),
         true,
         {"gce1/europe-west4-a/europe-west4/p"},
         {std::string(kList) + "?filter=name%20eq%20%22gce1%22"},
         ""},
        {"Google's capture: a label with an empty value",
         {ReadFixture("compute/instances-aggregated-two-disk-instance.json")},
         ByLabel("custodian", ""),
         true,
         {"custodian/us-east1-d/us-east1/p"},
         {std::string(kList) + "?filter=labels.custodian%20eq%20%22%22"},
         ""},
        {"warnings are empty scopes; the zone of the scope key; every page; the label kept exactly",
         {R"({"items":{"zones/us-west1-a":{"warning":{"code":"NO_RESULTS_ON_PAGE"}},)"
          R"("zones/us-west1-d":{"warning":{"code":"UNREACHABLE","message":"later"}}},"nextPageToken":"n/2"})",
          lastPage},
         ByLabel("k", "v"),
         true,
         {"x/us-west1-b/us-west1/p"},
         {std::string(kList) + "?filter=labels.k%20eq%20%22v%22",
          std::string(kList) + "?filter=labels.k%20eq%20%22v%22&pageToken=n/2"},
         ""},
        {"only warnings: not found",
         {R"({"items":{"zones/a-b-c":{"warning":{}}}})"},
         ByName("x"),
         false,
         {},
         {},
         ""},
        {"a refusal fails and is recorded", {"403"}, ByLabel("k", "v"), false, {}, {}, "403"},
        {"a later page's refusal fails too",
         {R"({"nextPageToken":"2"})", "500"},
         ByName("x"),
         false,
         {},
         {},
         "500"},
        {"no such project: an empty label answer", {"404"}, ByLabel("k", "v"), true, {}, {}, "404"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        http.script.requests.resize(1);
        state.errorCode.clear();
        for (const std::string& page : c.pages) {
            if (page.size() == 3 && isdigit(page[0]))
                http.Queue(Answer(std::stol(page), R"({"error":{"code":)" + page + R"(,"message":"no"}})"));
            else
                http.Queue(Answer(200, page));
        }
        std::vector<SVMInfoLib> vms;
        EXPECT_EQ(c.call(queries, vms), c.ok);
        std::vector<std::string> found;
        for (const SVMInfoLib& vm : vms)
            found.push_back(vm.name + "/" + vm.zone + "/" + vm.region + "/" + vm.projectId);
        EXPECT_EQ(found, c.vms);
        EXPECT_EQ(http.script.requests.size(), 1 + c.pages.size()) << "one request a page";
        for (size_t i = 0; i < c.urls.size() && i + 1 < http.script.requests.size(); ++i)
            EXPECT_EQ(http.script.requests[i + 1].url, c.urls[i]);
        EXPECT_EQ(state.errorCode, c.code);
    }
}

}  // namespace
