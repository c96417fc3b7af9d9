#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/ZkJson.h"

using namespace json_spirit;
using namespace std::string_literals;

namespace {

std::string Reserialized(const std::string& text) {
    mValue value;
    if (!ZkJson::Unserialize(text, value)) return "<refused>";
    return ZkJson::Serialize(value);
}

std::string Nested(int depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// Long enough not to fit in the string object itself, allocated to the exact size.
std::string HeapText(const std::string& tail) {
    std::string text = std::string(40, ' ') + tail;
    return std::string(text.data(), text.size());
}

TEST(ZkJsonTest, TextRoundTrips) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {R"( { "b" : [1, -2, {"c":null}, [], {}], "a":true , "d":"x/y" } )",
         R"({"a":true,"b":[1,-2,{"c":null},[],{}],"d":"x/y"})"},
        {R"({"b":1,"a":2,"b":{"x":[3]}})", R"({"a":2,"b":{"x":[3]}})"},  // the last duplicate wins
        {R"({"a":{"x":1},"a":3})", R"({"a":3})"},
        {R"("\u0000\u001f\"\\\/\b\f\n\r\t")", R"("\u0000\u001F\"\\/\b\f\n\r\t")"},
        {R"("\u00e9\ud83d\ude00")", "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        {"\"\xC3\xA9\xF4\x8F\xBF\xBF\x7F\"", "\"\xC3\xA9\xF4\x8F\xBF\xBF\x7F\""},
        {"[9223372036854775807,-9223372036854775808,18446744073709551615,18446744073709551616]",
         "[9223372036854775807,-9223372036854775808,18446744073709551615,18446744073709553000.0]"},
        {"[0.1,1e300,-0.0,5e-324,1.7976931348623157e308]", "[0.1,1e300,-0.0,5e-324,1.7976931348623157e308]"},
        {Nested(256), Nested(256)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.out, Reserialized(c.in)) << c.in;

    mValue v;
    ASSERT_TRUE(ZkJson::Unserialize("[18446744073709551615, 9223372036854775807, 18446744073709551616]", v));
    EXPECT_TRUE(v.get_array()[0].is_uint64());
    EXPECT_FALSE(v.get_array()[1].is_uint64());
    EXPECT_EQ(real_type, v.get_array()[2].type());
}

TEST(ZkJsonTest, DoublesReadCorrectlyRoundedAndWriteBackIdentically) {
    struct Case {
        const char* text;
        double expected;
    } cases[] = {
        {"0.30000000000000004", 0.30000000000000004},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"2.4703282292062328e-324", 4.9406564584124654e-324},  // just above half the smallest subnormal
        {"1e-400", 0.0},
        {"-0.000001e-330", -0.0},
        {"-1.7923618157463536511158e-330", -0.0},  // crashed the reader's own conversion
        {"9007199254740993.0", 9007199254740992.0},
    };
    for (const Case& c : cases) {
        mValue v, again;
        ASSERT_TRUE(ZkJson::Unserialize(c.text, v)) << c.text;
        ASSERT_TRUE(ZkJson::Unserialize(ZkJson::Serialize(v), again));
        double read = v.get_real(), reread = again.get_real();
        EXPECT_EQ(0, std::memcmp(&c.expected, &read, sizeof read)) << c.text;
        EXPECT_EQ(0, std::memcmp(&read, &reread, sizeof read)) << c.text;
    }
}

TEST(ZkJsonTest, InvalidTextIsRefusedAndLeavesTheValueAlone) {
    std::vector<std::string> cases = {"",        "  ",  "{} x", "{}{}",    "[1,]",  "[1 2]",
                                      "{\"a\"}", "nul", "01",   "1e400",   "9e308", "-1.8e308",
                                      "1.",      "-",   "+1",   "\"a\nb\""};
    // Not UTF-8, or escapes that do not make it.
    for (const char* text :
         {"\"\xC3(\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xFF\"", "\"\\udc00\"",
          "{\"\\udfff\":1}", "\"\\ud800\"", "\"\\ud800\\u0041\""}) {
        cases.push_back(text);
    }
    // The truncated ones end a heap buffer, so that reading past them would show under ASan.
    for (const char* tail : {"\"\xF1", "\"\xE3", "{\"\xF1"}) cases.push_back(HeapText(tail));
    for (const std::string& text : {"{}\0 x"s, Nested(257), Nested(10000)}) {
        cases.push_back(text);
    }
    for (const std::string& text : cases) {
        mValue value("kept");
        EXPECT_FALSE(ZkJson::Unserialize(text, value)) << text.substr(0, 40);
        EXPECT_EQ(mValue("kept"), value);
        // The transport's answer check refuses what the parse refuses, but for the parse's own limits.
        const std::set<std::string> parseLimits = {"1e400", "9e308", "-1.8e308", Nested(257), Nested(10000)};
        std::string why;
        if (!parseLimits.count(text)) {
            EXPECT_FALSE(ZkJson::IsJsonText(text, why)) << text.substr(0, 40);
        }
    }
    std::string why;
    EXPECT_TRUE(ZkJson::IsJsonText("{\"caf\xC3\xA9\":[\"\\ud83d\\ude00\", 1e5, null]}", why)) << why;
    EXPECT_FALSE(ZkJson::IsJsonText("[\"\xFF\"]", why));
    EXPECT_EQ("at offset 4: a string that is not UTF-8", why);
}

TEST(ZkJsonTest, ObjectOverloadWantsAnObject) {
    mObject object{{"kept", mValue(1)}};
    for (const char* text : {"[]", "\"s\"", "null", "3", "{"}) {
        EXPECT_FALSE(ZkJson::Unserialize(text, object)) << text;
        EXPECT_EQ(1u, object.count("kept"));
    }
    ASSERT_TRUE(ZkJson::Unserialize(R"({"n":[1]})", object));
    EXPECT_EQ(0u, object.count("kept"));
    EXPECT_EQ(1, object["n"].get_array()[0].get_int());
}

TEST(ZkJsonTest, WritingReplacesInvalidUtf8AndNonFiniteNumbers) {
    const std::string kFffd = "\xEF\xBF\xBD";
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a\xFFz", "a" + kFffd + "z"},
        {"\xE2\x82", kFffd},                             // truncated sequence: one replacement
        {"\xF0\x9F\x98x\xC3\xA9", kFffd + "x\xC3\xA9"},  // ... and valid text after it stays
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},         // encoded surrogate
        {"\xC0\xAF", kFffd + kFffd},                     // overlong
        {"0123456789abcdef\x80", "0123456789abcdef" + kFffd},
    };
    for (const Case& c : cases) {
        EXPECT_EQ("\"" + c.out + "\"", ZkJson::Serialize(mValue(c.in)));
        EXPECT_EQ("{\"" + c.out + "\":1}", ZkJson::Serialize(mObject{{c.in, mValue(1)}}));
    }
    mArray numbers{mValue(std::nan("")), mValue(HUGE_VAL), mValue(-HUGE_VAL)};
    EXPECT_EQ("[null,null,null]", ZkJson::Serialize(mValue(numbers)));
}

TEST(ZkJsonTest, MemberHelpersNeverThrow) {
    mObject o;
    ASSERT_TRUE(ZkJson::Unserialize(R"({"s":"t","i":7,"n":null,"r":1.5,"o":{"x":1},"a":[2]})", o));
    EXPECT_EQ("t", ZkJson::GetStringValue(o, "s"));
    EXPECT_EQ(7, ZkJson::GetIntValue(o, "i"));
    for (const char* key : {"i", "n", "o", "missing"}) EXPECT_EQ("", ZkJson::GetStringValue(o, key));
    for (const char* key : {"s", "n", "r", "missing"}) EXPECT_EQ(0, ZkJson::GetIntValue(o, key));

    mObject obj{{"kept", mValue(1)}};
    mArray arr{mValue(1)};
    EXPECT_FALSE(ZkJson::FindObjectValue(o, "a", obj) || ZkJson::FindArrayValue(o, "o", arr));
    EXPECT_EQ(1u, obj.count("kept") + arr.size() - 1);
    ASSERT_TRUE(ZkJson::FindObjectValue(o, "o", obj) && ZkJson::FindArrayValue(o, "a", arr));
    EXPECT_EQ("{\"x\":1}[2]", ZkJson::Serialize(obj) + ZkJson::Serialize(mValue(arr)));

    EXPECT_EQ(&o["o"].get_obj(), ZkJson::FindObject(o, "o"));  // no copy
    EXPECT_EQ(&o["a"].get_array(), ZkJson::FindArray(o, "a"));
    EXPECT_EQ(nullptr, ZkJson::FindObject(o, "a"));
}

TEST(ZkJsonTest, FlatMapConversion) {
    std::unordered_map<std::string, std::string> map{{"kept", "1"}};
    for (const char* text : {R"({"a":"x","b":1})", R"({"a":{}})", R"(["a"])", "{", R"({"a":null})"}) {
        EXPECT_FALSE(ZkJson::ConvertFromJsonToMap(text, map)) << text;
        EXPECT_EQ((std::unordered_map<std::string, std::string>{{"kept", "1"}}), map);
    }
    ASSERT_TRUE(ZkJson::ConvertFromJsonToMap(R"({"b":"2","a":"\"1\"","b":"3"})", map));
    EXPECT_EQ((std::unordered_map<std::string, std::string>{{"a", "\"1\""}, {"b", "3"}}), map);

    std::string text;
    ASSERT_TRUE(ZkJson::ConvertFromMapToJson({{"z", "\n"}, {"m", ""}, {"a", "\xC3\xA9"}}, text));
    EXPECT_EQ("{\"a\":\"\xC3\xA9\",\"m\":\"\",\"z\":\"\\n\"}", text);
}

}  // namespace
