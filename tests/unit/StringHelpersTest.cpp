#include <gtest/gtest.h>

#include "host/CXwString.h"
#include "host/JtString.h"

namespace {

using Parts = std::vector<std::string>;

TEST(JtStringTest, FindString) {
    struct Case {
        const char* text;
        const char* sought;
        int ignoreCase;
        bool expected;
    };
    const Case cases[] = {
        {"us-central1-a", "central", 0, true},
        {"us-central1-a", "CENTRAL", 0, false},
        {"us-central1-a", "CENTRAL", 1, true},
        {"us-central1-a", "Central2", 1, false},
        {"abc", "", 0, true},
        {"", "", 1, true},
        {"", "a", 0, false},
        {"", "a", 1, false},
        {"ab", "abc", 1, false},
        {"xxABcABC", "abc", 1, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JtString::FindString(c.text, c.sought, c.ignoreCase), c.expected)
            << c.text << " / " << c.sought << " / " << c.ignoreCase;
}

TEST(JtStringTest, Split) {
    struct Case {
        const char* text;
        const char* separator;
        size_t maxParts;
        Parts expected;
    };
    const Case cases[] = {
        {"a,b,c", ",", 0, {"a", "b", "c"}},
        {"a,,b,", ",", 0, {"a", "", "b", ""}},
        {",a", ",", 0, {"", "a"}},
        {"", ",", 0, {""}},
        {"abc", ",", 0, {"abc"}},
        {"a::b::c", "::", 0, {"a", "b", "c"}},
        {"a:b::c", "::", 0, {"a:b", "c"}},
        {"a,b,c,d", ",", 2, {"a", "b,c,d"}},
        {"a,b,c", ",", 1, {"a,b,c"}},
        {"a,b", ",", 5, {"a", "b"}},
        {"a,b", "", 0, {"a,b"}},
    };
    for (const auto& c : cases) {
        Parts parts{"kept"};
        EXPECT_EQ(JtString::Split(c.text, c.separator, parts, c.maxParts), c.expected.size()) << c.text;
        Parts expected{"kept"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(parts, expected) << c.text << " max " << c.maxParts;
    }
}

TEST(JtStringTest, JoinReplacesTextAndInvertsSplit) {
    std::string text = "old";
    JtString::Join({"a", "", "b"}, ", ", text);
    EXPECT_EQ(text, "a, , b");
    JtString::Join({}, ",", text);
    EXPECT_EQ(text, "");
    JtString::Join({"only"}, ",", text);
    EXPECT_EQ(text, "only");

    Parts parts;
    JtString::Split(",x,,y,", ",", parts, 0);
    JtString::Join(parts, ",", text);
    EXPECT_EQ(text, ",x,,y,");
}

TEST(JtStringTest, CompareLeftNoCase) {
    const std::tuple<const char*, const char*, int> cases[] = {
        // a, b, expected sign
        {"projects/p1", "PROJECTS/", 0},
        {"abc", "ABC", 0},
        {"abc", "", 0},
        {"", "", 0},
        {"abd", "abc", 1},
        {"abb", "ABC", -1},
        {"ab", "abc", -1},  // a shorter a sorts before, as with strcasecmp
        {"", "a", -1},
        {"[x", "Zx", -1},  // 'Z' folds to 'z', above '['; unfolded it would be below
    };
    for (const auto& [a, b, sign] : cases) {
        int result = JtString::CompareLeftNoCase(a, b);
        EXPECT_EQ((result > 0) - (result < 0), sign) << a << " / " << b;
    }
    EXPECT_LT(JtString::CompareLeftNoCase("ab", std::string("ab\0", 3)), 0);
}

TEST(JtStringTest, Compare) {
    EXPECT_EQ(JtString::Compare("abc", "abc"), 0);
    EXPECT_LT(JtString::Compare("abc", "abd"), 0);
    EXPECT_GT(JtString::Compare("abc", "ab"), 0);
    EXPECT_NE(JtString::Compare("abc", "ABC"), 0);
    EXPECT_LT(JtString::Compare("a", "\xe9"), 0);  // bytes compare unsigned
}

TEST(JtStringTest, FormatAnyLength) {
    std::string longText(5000, 'x');
    std::string result = JtString::Format("[%s] %d %s", longText.c_str(), 42, "end");
    EXPECT_EQ(result, "[" + longText + "] 42 end");

    std::string into = "previous content";
    JtString::Format(into, "%05.1f|%-4s|%x", 3.14159, "ab", 255u);
    EXPECT_EQ(into, "003.1|ab  |ff");
    JtString::Format(into, "%s", "");
    EXPECT_EQ(into, "");

    // A format built by Format, then used as one.
    std::string inner = JtString::Format("%%s-%%0%dd", 3);
    EXPECT_EQ(inner, "%s-%03d");
    // The inner format is run time data here: that is the point of the case.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    EXPECT_EQ(JtString::Format(inner.c_str(), "vm", 7), "vm-007");
#pragma GCC diagnostic pop
}

TEST(CXwStringTest, Tokenize) {
    struct Case {
        const char* text;
        size_t startPos;
        size_t maxTokens;
        bool trim;
        bool keepEmpty;
        Parts expected;
    };
    const Case cases[] = {
        {"a,b,c", 0, 0, false, true, {"a", "b", "c"}},
        {"a,,b,", 0, 0, false, true, {"a", "", "b", ""}},
        {"a,,b,", 0, 0, false, false, {"a", "b"}},
        {",,", 0, 0, false, false, {}},
        {"", 0, 0, false, true, {""}},
        {"", 0, 0, false, false, {}},
        {" a , b ,c ", 0, 0, true, true, {"a", "b", "c"}},
        {" a , b ,c ", 0, 0, false, true, {" a ", " b ", "c "}},
        {"a, ,b", 0, 0, true, false, {"a", "b"}},
        {"a, ,b", 0, 0, false, false, {"a", " ", "b"}},
        {"a,b,c,d", 0, 2, false, true, {"a", "b,c,d"}},
        {"a,,b,c", 0, 2, false, false, {"a", "b,c"}},
        {"a, , b ,c ", 0, 2, true, false, {"a", "b ,c"}},
        {"a,b,c", 0, 1, false, true, {"a,b,c"}},
        {"a,b,c", 2, 0, false, true, {"b", "c"}},
        {"a,b,c", 5, 0, false, true, {""}},
        {"a,b,c", 6, 0, false, true, {}},
        {"\ta\t", 0, 0, true, true, {"a"}},
    };
    for (const auto& c : cases) {
        CXwString text(c.text);
        Parts tokens{"kept"};
        EXPECT_EQ(text.Tokenize(tokens, c.startPos, c.maxTokens, c.trim, ',', c.keepEmpty), c.expected.size())
            << c.text;
        Parts expected{"kept"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(tokens, expected) << "'" << c.text << "' start " << c.startPos << " max " << c.maxTokens
                                    << " trim " << c.trim << " keepEmpty " << c.keepEmpty;
    }
}

TEST(CXwStringTest, OtherSeparator) {
    CXwString text("zones/us-east1-b/instances/vm");
    Parts tokens;
    EXPECT_EQ(text.Tokenize(tokens, 0, 0, false, '/', false), 4u);
    EXPECT_EQ(tokens, (Parts{"zones", "us-east1-b", "instances", "vm"}));
    EXPECT_EQ(text.str(), "zones/us-east1-b/instances/vm");
}

}  // namespace
