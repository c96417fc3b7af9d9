// Compute Engine list filters in gcemu: the expressions clients send, over real TLS and on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ComputeFilter.h"
#include "emulator/Encoding.h"
#include "tests/emulator/EmulatorClient.h"

namespace {

using json_spirit::mObject;

using emutest::Client;
using emutest::ExpectComputeError;
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

// The library writes every value as an RE2-escaped, double-quoted literal; people write patterns.
TEST_F(ComputeFilterTest, FiltersAsTheLibrarySendsThem) {
    const std::string web2Id =
        Text(client().Get(std::string(kP1) + "zones/us-central1-b/instances/web-2").body, "id");
    const std::string prodVpc =
        "https://www.googleapis.com/compute/v1/projects/gcemu-project-1/global/networks/prod-vpc";
    struct Case {
        std::string list;
        std::string filter;
        std::vector<std::string> names;
    };
    const std::string zoneA = std::string(kP1) + "zones/us-central1-a/instances";
    const std::string zoneB = std::string(kP1) + "zones/us-central1-b/instances";
    const std::string euB = std::string(kP1) + "zones/europe-west4-b/instances";
    const Case cases[] = {
        {zoneA, "name eq web-1", {"web-1"}},
        {zoneA, R"(name eq "web-1")", {"web-1"}},
        {zoneA, R"(name eq "web\-1")", {"web-1"}},
        {zoneA, "name eq web.1", {"web-1"}},  // a regular expression over the whole name
        {zoneA, R"(name eq "web\.1")", {}},
        {zoneA, "name eq web", {}},
        {zoneA, "name eq w.*", {"web-1", "win-app-1"}},
        {zoneA, "name ne w.*", {"db-1", "router-1", "tenant-1"}},
        {zoneA, "name eq (web|db)-1", {"db-1", "web-1"}},
        {zoneA, "name eq [dw][be]b?-1", {"db-1", "web-1"}},
        {zoneA, "name eq (web)", {}},
        {zoneA, "name eq 'router\\-1'", {"router-1"}},
        {euB, "name eq unlabelled-.", {"unlabelled-1"}},
        {euB, R"(name eq "unlabelled\-\.")", {}},
        {euB, R"(name eq "unlabelled\-1")", {"unlabelled-1"}},
        {euB, R"(labels.env eq "prod")", {"win-sql-1"}},
        {euB, R"(labels.env ne "prod")", {"unlabelled-1"}},  // no label: not equal
        {euB, R"(labels.env eq "")", {}},
        {zoneB, R"(id eq ")" + web2Id + "\"", {"web-2"}},
        {zoneB, R"(labels.backup eq "weekly")", {"db-2"}},
        {zoneA, "labels.backup=daily", {"db-1", "tenant-1", "web-1", "win-app-1"}},
        {zoneA, "labels.app = web", {"web-1", "win-app-1"}},
        {zoneA, "labels.app != web", {"db-1", "router-1", "tenant-1"}},
        {zoneA, "labels.backup:*", {"db-1", "tenant-1", "web-1", "win-app-1"}},
        {zoneA, "status=RUNNING", {"db-1", "router-1", "tenant-1", "web-1", "win-app-1"}},
        {std::string(kP1) + "regions/us-central1/subnetworks", "network eq " + prodVpc, {"prod-us"}},
        {std::string(kP1) + "zones/us-central1-a/disks", R"(name eq "web\-data\-1")", {"web-data-1"}},
        {std::string(kP1) + "regions/us-central1/disks", "name eq db-ha-data", {"db-ha-data"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        std::vector<std::string> names = client().Names(c.list + "?filter=" + gcemu::PercentEncode(c.filter));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(c.names, names);
    }
    for (const char* filter :
         {"name eq (web", "name eq [w", R"(name eq "web\-1)", R"(name eq "web" x)", "name eq a**",
          "(name eq a) (zone eq b)", "name ~ web", "name eq", "labels.env=prod AND name=x", "=prod"}) {
        SCOPED_TRACE(filter);
        ExpectComputeError(client().Get(zoneA + "?filter=" + gcemu::PercentEncode(filter)), 400,
                           std::string("Invalid value for field 'filter': '") + filter +
                               "'. Invalid list filter expression.",
                           "invalid");
    }
}

// The eq/ne literal is RE2 syntax in full, matched against the whole value; quotes and backslashes as
// Google reads them.
TEST(ComputeFilterRulesTest, LiteralsAreWholeValueRe2Patterns) {
    const std::string manyX(5000, 'x');
    const std::vector<mObject> resources = {
        {{"name", "unlabelled-1"}, {"id", "123"}, {"labels", mObject{{"env", "prod"}}}},
        {{"name", "unlabelled-."}, {"description", "a*b"}},
        {{"name", "web|db"}, {"description", "x[1](2)"}},
        {{"name", ""}, {"description", "x12"}, {"labels", mObject{{"env", ""}}}},
        {{"name", "say \"hi\""}, {"description", manyX}},
    };
    struct Case {
        std::string filter;
        std::vector<std::string> names;  // of the resources that match, in order
    };
    const Case cases[] = {
        {"name eq unlabelled-.", {"unlabelled-1", "unlabelled-."}},  // '.' is any character
        {R"(name eq "unlabelled\-\.")", {"unlabelled-."}},          // escaped: only itself
        {R"(name eq 'unlabelled\-\.')", {"unlabelled-."}},
        {R"(name eq unlabelled\-\.)", {"unlabelled-."}},
        {R"(name ne "unlabelled\-\.")", {"unlabelled-1", "web|db", "", "say \"hi\""}},
        {"name eq unlabelled", {}},  // the whole value, not a part
        {"name eq ^unlabelled-1$", {"unlabelled-1"}},
        {"description eq a*b", {}},
        {R"(description eq "a\*b")", {"unlabelled-."}},
        {"name eq web|db", {}},  // "web" or "db"
        {R"(name eq "web\|db")", {"web|db"}},
        {"name eq (unlabelled|web)-1", {"unlabelled-1"}},
        {"description eq x[1](2)", {""}},
        {R"-(description eq "x\[1\]\(2\)")-", {"web|db"}},
        {R"(name eq "say \"hi\"")", {"say \"hi\""}},  // an escaped quote does not end the literal
        {R"(name eq 'say "hi"')", {"say \"hi\""}},
        {R"(name eq "")", {""}},
        {R"(labels.env eq "prod")", {"unlabelled-1"}},
        {R"(labels.env eq "")", {""}},  // an absent label is not an empty one
        {"labels.env ne prod", {"unlabelled-.", "web|db", "", "say \"hi\""}},
        {R"(id eq "123")", {"unlabelled-1"}},
        {"description eq (x*)*y", {}},  // linear time: no backtracking over 5000 x
        {"description eq x+", {"say \"hi\""}},
        {"labels.env = prod", {"unlabelled-1"}},
        {"name = unlabelled-.", {"unlabelled-."}},  // AIP-160 values are literal text
        {"name:labelled", {"unlabelled-1", "unlabelled-."}},
        {"labels.env:*", {"unlabelled-1", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        const gcemu::ComputeFilter filter(c.filter);
        std::vector<std::string> names;
        for (const mObject& resource : resources) {
            if (filter.Matches(resource)) names.push_back(Text(resource, "name"));
        }
        EXPECT_EQ(c.names, names);
    }
    for (const char* bad : {"name eq (a", "name eq a{2,1}", "name eq *a", R"(name eq "a\")", R"(name eq "a)",
                            "name eq 'a' 'b'", "name eq", "name eq ''x", "labels.env", ".name eq a"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(gcemu::ComputeFilter{bad}, std::invalid_argument);
    }
}

}  // namespace
