// Compute Engine list filters in gcemu: the expressions clients send, over real TLS and on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ComputeFilter.h"
#include "tests/emulator/EmulatorClient.h"

namespace {

using emutest::Client;
using emutest::Obj;
using emutest::Reply;
using emutest::Text;

constexpr char kP1[] = "/compute/v1/projects/gcemu-project-1/";

class ComputeFilterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_client = new Client(); }
    static void TearDownTestSuite() { delete s_client; }
    static Client& client() { return *s_client; }
    static Client* s_client;
};

Client* ComputeFilterTest::s_client = nullptr;

TEST_F(ComputeFilterTest, FiltersAsTheLibrarySendsThem) {
    const std::string web2Id =
        Text(client().Get(std::string(kP1) + "zones/us-central1-b/instances/web-2").body, "id");
    const std::string prodVpc =
        "https://www.googleapis.com/compute/v1/projects/gcemu-project-1/global/networks/prod-vpc";
    struct Case {
        std::string path;
        std::vector<std::string> names;
    };
    const std::string zoneA = std::string(kP1) + "zones/us-central1-a/instances";
    const Case cases[] = {
        {zoneA + "?filter=name%20eq%20web-1", {"web-1"}},
        {zoneA + "?filter=name%20eq%20%22web-1%22", {"web-1"}},
        {zoneA + "?filter=name%20eq%20web.1", {"web-1"}},  // a regular expression over the whole name
        {zoneA + "?filter=name%20eq%20web", {}},
        {zoneA + "?filter=name%20eq%20w.*", {"web-1", "win-app-1"}},
        {zoneA + "?filter=name%20ne%20w.*", {"db-1", "router-1", "tenant-1"}},
        {std::string(kP1) + "zones/us-central1-b/instances?filter=id%20eq%20" + web2Id, {"web-2"}},
        {zoneA + "?filter=labels.backup%3Ddaily", {"db-1", "tenant-1", "web-1", "win-app-1"}},
        {zoneA + "?filter=labels.app%20%3D%20web", {"web-1", "win-app-1"}},
        {zoneA + "?filter=labels.app%20!%3D%20web", {"db-1", "router-1", "tenant-1"}},
        {zoneA + "?filter=labels.backup:*", {"db-1", "tenant-1", "web-1", "win-app-1"}},
        {zoneA + "?filter=status%3DRUNNING", {"db-1", "router-1", "tenant-1", "web-1", "win-app-1"}},
        {std::string(kP1) + "regions/us-central1/subnetworks?filter=network%20eq%20" + prodVpc, {"prod-us"}},
        {std::string(kP1) + "zones/us-central1-a/disks?filter=name%20eq%20web-data-1", {"web-data-1"}},
        {std::string(kP1) + "regions/us-central1/disks?filter=name%20eq%20db-ha-data", {"db-ha-data"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::string> names = client().Names(c.path);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(c.names, names);
    }
    for (const char* filter :
         {"name%20eq%20(web)", "name%20eq%20%5Bw%5Deb", "(name%20eq%20a)%20(zone%20eq%20b)", "name%20~%20web",
          "name%20eq", "labels.env%3Dprod%20AND%20name%3Dx", "%3Dprod"}) {
        SCOPED_TRACE(filter);
        const Reply reply = client().Get(zoneA + "?filter=" + filter);
        EXPECT_EQ(400, reply.status);
        EXPECT_EQ(0u,
                  Text(Obj(reply.body, "error"), "message").rfind("Invalid value for field 'filter': '", 0))
            << reply.text;
    }
}

TEST(SimplePatternTest, MatchesWholeTextsInTheSafeSubset) {
    struct Case {
        const char* pattern;
        std::string text;
        bool match;
    };
    const Case cases[] = {
        {"vm-1", "vm-1", true},
        {"vm-1", "vm-10", false},
        {"vm-1", "xvm-1", false},
        {"vm-.*", "vm-", true},
        {"vm-.*", "vm-abc", true},
        {".*instance", "my-instance", true},
        {"a+b", "b", false},
        {"a+b", "aaab", true},
        {"ab?c", "ac", true},
        {"ab?c", "abbc", false},
        {"a\\.b", "a.b", true},
        {"a\\.b", "axb", false},
        {"a.*b.*c", "aXbYc", true},
        {"a.*b.*c", "aXbY", false},
        {"", "", true},
        {".*", "anything", true},
        {"x*x*x*x*x*x*x*x*y", std::string(5000, 'x'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.text);
        EXPECT_EQ(c.match, gcemu::SimplePattern(c.pattern).FullMatch(c.text));
    }
    for (const char* bad : {"(a)", "[ab]", "a|b", "a{2}", "^a", "a$", "*a", "a**", "a\\"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(gcemu::SimplePattern{bad}, std::invalid_argument);
    }
}

}  // namespace
