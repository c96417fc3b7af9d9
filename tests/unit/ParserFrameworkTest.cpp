// The parser's generic machinery: value getters, list and nested conversions, text helpers, bodies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;
using testsupport::LogCapture;

namespace {

mObject Obj(const std::string& text) {
    mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << text;
    return object;
}

// Each getter's result as text, so one table covers all six.
using Getter = std::string (*)(CGoogleCloudParser&, const mObject&);
std::string Str(CGoogleCloudParser& p, const mObject& o) {
    return p.GetStringValue(o, "v");
}
std::string Bool(CGoogleCloudParser& p, const mObject& o) {
    return p.GetBoolValue(o, "v") ? "true" : "false";
}
std::string Int(CGoogleCloudParser& p, const mObject& o) {
    return std::to_string(p.GetIntValue(o, "v"));
}
std::string Long(CGoogleCloudParser& p, const mObject& o) {
    return std::to_string(p.GetLongValue(o, "v"));
}
std::string U64(CGoogleCloudParser& p, const mObject& o) {
    return std::to_string(p.GetUInt64Value(o, "v"));
}
std::string Dbl(CGoogleCloudParser& p, const mObject& o) {
    return std::to_string(p.GetDoubleValue(o, "v"));
}

TEST(ParserGetters, ValuesDefaultsAndTypeErrors) {
    struct Case {
        Getter get;
        const char* object;
        std::string result;
        const char* error;  // the exception text of the one expected error line, "" for none
    };
    const std::string zero = std::to_string(0.0);
    const Case cases[] = {
        {Str, R"({"v": "abc"})", "abc", ""},
        {Str, R"({"v": 5})", "", "value type is 4 not 2"},
        {Bool, R"({"v": true})", "true", ""},
        {Bool, R"({"v": "true"})", "false", "value type is 2 not 3"},
        {Int, R"({"v": -7})", "-7", ""},
        {Int, R"({"v": 1.5})", "0", "value type is 5 not 4"},
        {Int, R"({"v": 4294967297})", "1", ""},  // the low 32 bits
        {Long, R"({"v": "200"})", "200", ""},
        {Long, R"({"v": 200})", "0", "value type is 4 not 2"},
        {Long, R"({"v": "-2511816066479461182"})", "-2511816066479461182", ""},
        {U64, R"({"v": 18446744073709551615})", "18446744073709551615", ""},
        {U64, R"({"v": "5"})", "0", "value type is 2 not 4"},
        {Dbl, R"({"v": 3})", std::to_string(3.0), ""},
        {Dbl, R"({"v": "3"})", zero, "value type is 2 not 5"},
    };
    CGoogleCloudParser parser;
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(c.result, c.get(parser, Obj(c.object))) << c.object;
        EXPECT_EQ(*c.error ? 1u : 0u, log.Lines().size()) << c.object << log.Dump();
        if (*c.error) {
            EXPECT_TRUE(log.Has(host::kLogError, std::string("Exception getting value [v] - ") + c.error));
        }
    }
    // Absent, null, or only in a nested object: the default, silently.
    LogCapture log;
    const std::pair<Getter, std::string> defaults[] = {{Str, ""},   {Bool, "false"}, {Int, "0"},
                                                       {Long, "0"}, {U64, "0"},      {Dbl, zero}};
    for (const auto& [get, value] : defaults)
        for (const char* object : {R"({"v": null})", R"({"w": {"v": "x"}})"})
            EXPECT_EQ(value, get(parser, Obj(object))) << object;
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST(ParserLists, ParseListAndParseObject) {
    CGoogleCloudParser parser;
    std::vector<SLicenseInfoLib> licenses(1, SLicenseInfoLib{"kept", ""});
    {
        LogCapture log;
        ASSERT_TRUE(
            parser.ParseList(R"({"items": [{"name": "a"}, 5, null, {"name": "b"}]})", "items", licenses));
        EXPECT_TRUE(log.Lines().empty()) << log.Dump();
    }
    ASSERT_EQ(3u, licenses.size());
    EXPECT_EQ("kept", licenses[0].name);
    EXPECT_EQ("a", licenses[1].name);
    EXPECT_EQ("b", licenses[2].name);

    for (const char* text : {R"({"kind": "x"})", R"({"items": {"zones/a": {}}})"}) {
        LogCapture log;
        EXPECT_FALSE(parser.ParseList(text, "items", licenses));
        EXPECT_EQ(3u, licenses.size());
        EXPECT_EQ(1u, log.Lines().size()) << log.Dump();
        EXPECT_TRUE(log.Has(host::kLogDebug2, "[items] not found in response.")) << log.Dump();
        EXPECT_NE(log.TagOf("[items] not found in response.").find("CGoogleCloudParser::ParseList("),
                  std::string::npos);
    }

    LogCapture log;
    for (const char* text : {"", "not json", "[1]", "{\"name\": "}) {
        EXPECT_FALSE(parser.ParseObject(text, licenses[0])) << text;
        EXPECT_FALSE(parser.ParseList(text, "items", licenses)) << text;
    }
    EXPECT_EQ(3u, licenses.size());
    for (const host::LogLine& line : log.Lines())  // only the JSON reader's own debug notes
        EXPECT_TRUE(line.level == host::kLogDebug2 &&
                    line.tag.find("CGoogleCloudParser") == std::string::npos);
}

TEST(ParserLists, LabelValueThatIsNotAStringFailsTheParse) {
    CGoogleCloudParser parser;
    const std::string object = R"({"name": "s", "labels": {"a": 1}})";
    const std::string list = R"({"items": [{"name": "first"}, )" + object + "]}";
    LogCapture log;
    SSnapshotInfoLib snapshot;
    std::vector<SSnapshotInfoLib> snapshots;
    EXPECT_FALSE(parser.ParseObject(object, snapshot));
    EXPECT_EQ("s", snapshot.name);  // what was read before stays
    EXPECT_FALSE(parser.ParseList(list, "items", snapshots));
    ASSERT_EQ(1u, snapshots.size());  // converted before the exception
    EXPECT_TRUE(log.Has(host::kLogError, "Exception parsing json object - value type is 4 not 2\n" + object));
    EXPECT_TRUE(
        log.Has(host::kLogError, "Exception parsing json list [items] - value type is 4 not 2\n" + list));
}

TEST(ParserNested, MissingMembersItemListsAndKeyPairs) {
    CGoogleCloudParser parser;
    LogCapture log;
    std::vector<std::string> strings{"kept"};
    EXPECT_TRUE(
        parser.ConvertNestedItemListString(Obj(R"({"tags": {"fingerprint": "x"}})"), "tags", strings));
    EXPECT_FALSE(parser.ConvertNestedItemListString(Obj(R"({"tagz": {}})"), "tags", strings));
    EXPECT_FALSE(parser.ConvertNestedItemListString(Obj(R"({"tags": ["a"]})"), "tags", strings));
    EXPECT_EQ("kept", mappingtest::Join(strings));
    EXPECT_TRUE(
        parser.ConvertNestedItemListString(Obj(R"({"tags": {"items": ["a", 1, "b"]}})"), "tags", strings));
    EXPECT_EQ("kept,a,b", mappingtest::Join(strings));
    EXPECT_FALSE(parser.ConvertNestedListString(Obj(R"({"a": "b"})"), "a", strings));

    std::vector<SKeyValueInfoLib> pairs;
    EXPECT_TRUE(parser.ConvertNestedItemListObject(Obj(R"({"metadata": {}})"), "metadata", pairs));
    EXPECT_TRUE(parser.ConvertNestedItemListObject(
        Obj(R"({"metadata": {"items": [{"key": "k", "value": "v"}]}})"), "metadata", pairs));
    EXPECT_FALSE(parser.ConvertObjtoKeyPairList(Obj(R"({"labels": "x"})"), "labels", pairs));
    EXPECT_TRUE(parser.ConvertObjtoKeyPairList(Obj(R"({"labels": {"b": "2", "a": "1"}})"), "labels", pairs));
    EXPECT_EQ("k=v,a=1,b=2", mappingtest::Join(pairs));

    SLicenseInfoLib license;
    EXPECT_FALSE(parser.ConvertNestedObject(Obj(R"({"a": []})"), "a", license));
    EXPECT_TRUE(parser.ConvertNestedObject(Obj(R"({"a": {"name": "n"}})"), "a", license));
    EXPECT_EQ("n", license.name);
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

// Writes members out of name order, and can refuse, to see what the body writer makes of it.
class WriterProbe : public CGoogleCloudParser {
public:
    using CGoogleCloudParser::Convert;
    bool refuse = false;
    bool Convert(const SLabelInfoLib&, mObject& object) override {
        object["zeta"] = 1;
        object["alpha"] = "a";
        object["Mid"] = true;
        return !refuse;
    }
};

TEST(ParserBodies, KeysInNameOrderAndNoBodyFromARefusingWriter) {
    WriterProbe parser;
    SLabelInfoLib labels;
    std::string body = "previous";
    ASSERT_TRUE(parser.GetRequestBody(labels, body));
    EXPECT_EQ(R"({"Mid":true,"alpha":"a","zeta":1})", body);
    parser.refuse = true;
    body = "previous";
    EXPECT_FALSE(parser.GetRequestBody(labels, body));
    EXPECT_EQ("previous", body);
}

TEST(ParserText, LastSegmentKeySplitAndImageLicenses) {
    CGoogleCloudParser parser;
    const std::pair<const char*, const char*> segments[] = {
        {"", ""},  {"pd-ssd", ""},   {"a/b", "b"},
        {"/", ""}, {"zones/z/", ""}, {"https://h/p/zones/us-east1-b", "us-east1-b"}};
    for (const auto& [text, segment] : segments)
        EXPECT_EQ(segment, parser.GetRSubStrFromLastSlash(text)) << text;

    const std::pair<const char*, const char*> keys[] = {
        {"kmsKeyName:projects/p/keyRings/r/cryptoKeys/k", "kmsKeyName|projects/p/keyRings/r/cryptoKeys/k"},
        {"sha256:abc+/=", "sha256|abc+/="},
        {"a:b:c", "a|b"},
        {"", "false"},
        {"kmsKeyName", "false"},
        {"rawKey:", "false"},
        {":path", "false"}};
    for (const auto& [text, split] : keys) {
        std::string type = "old", path = "old";
        bool ok = parser.GetKeyTypeAndKeyPath(text, type, path);
        EXPECT_EQ(split, ok ? type + "|" + path : type + path + "false")
            << text;  // outputs cleared on failure
    }

    const std::pair<const char*, bool> licenses[] = {
        {"https://www.googleapis.com/compute/v1/projects/windows-cloud/global/licenses/"
         "windows-server-2019-dc",
         true},
        {"projects/rhel-cloud/global/licenses/rhel-8-server", true},
        {"projects/suse-cloud/global/licenses/sles-15", true},
        {"projects/ubuntu-os-cloud/global/licenses/ubuntu-2204-lts", true},
        {"projects/centos-cloud/global/licenses/centos-7", true},
        {"projects/fedora-cloud/global/licenses/fedora", true},
        {"projects/Windows-Cloud/global/licenses/x", true},
        {"projects/debian-cloud/global/licenses/debian-12-bookworm", false},
        {"projects/rhel-sap-cloud/global/licenses/rhel-8-sap", false},
        {"", false}};
    for (const auto& [url, expected] : licenses) EXPECT_EQ(expected, parser.IsLicenseOfOSImage(url)) << url;
}

}  // namespace
