// Lists are mapped element by element while they are read: the result must be the one a whole tree
// would give, whatever the text does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "host/ZkJson.h"
#include "tests/support/LogCapture.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudParser;
using GoogleCloudSDKWrapper::SZoneInfoLib;

std::vector<std::string> Names(const std::vector<SZoneInfoLib>& zones) {
    std::vector<std::string> names;
    for (const auto& zone : zones) names.push_back(zone.name);
    return names;
}

TEST(ListStreaming, GivesWhatTheWholeTreeWouldGive) {
    struct Case {
        const char* text;
        bool parsed;
        std::vector<std::string> names;
        const char* nextPageToken;
    } cases[] = {
        {R"({"items":[{"name":"a"},1,null,{"name":"b"}],"nextPageToken":"t2"})", true, {"a", "b"}, "t2"},
        {R"({"nextPageToken":"t2","items":[{"name":"a"}]})", true, {"a"}, "t2"},
        // A later member of the same name replaces the earlier one.
        {R"({"items":[{"name":"a"}],"items":[{"name":"b"},{"name":"c"}]})", true, {"b", "c"}, ""},
        {R"({"items":[{"name":"a"}],"items":"none"})", false, {}, ""},
        {R"({"items":"none","items":[{"name":"b"}]})", true, {"b"}, ""},
        // Nested arrays named like the list are not the list.
        {R"({"other":{"items":[{"name":"x"}]}})", false, {}, ""},
        {R"({"items":[[{"name":"x"}],{"name":"a","items":[1]}]})", true, {"a"}, ""},
        // Text that turns out not to be JSON adds nothing, even after complete elements.
        {R"({"items":[{"name":"a"},{"name":"b"}], oops})", false, {}, ""},
        {R"([{"name":"a"}])", false, {}, ""},
        {R"({"items":[]})", true, {}, ""},
    };
    CGoogleCloudParser parser;
    for (const auto& c : cases) {
        std::vector<SZoneInfoLib> zones(1);
        zones[0].name = "kept";
        std::string token = "stale";
        EXPECT_EQ(parser.ParseList(c.text, "items", zones, &token), c.parsed) << c.text;
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.names.begin(), c.names.end());
        EXPECT_EQ(Names(zones), expected) << c.text;
        if (c.parsed) {
            EXPECT_EQ(token, c.nextPageToken) << c.text;
        }
    }
}

TEST(ListStreaming, AFailureInsideTheListKeepsWhatWasMappedAndLogsOnce) {
    testsupport::LogCapture capture;
    CGoogleCloudParser parser;
    std::vector<GoogleCloudSDKWrapper::SVMInfoLib> vms;
    const std::string text = R"({"items":[{"name":"a"},{"name":"b","labels":{"k":5}},{"name":"c"}]})";
    EXPECT_FALSE(parser.ParseList(text, "items", vms));
    ASSERT_EQ(vms.size(), 1u);
    EXPECT_EQ(vms[0].name, "a");
    EXPECT_EQ(capture.Count("Exception parsing json list [items] - value type is 4 not 2\n" + text), 1u)
        << capture.Dump();
}

}  // namespace
