#include <gtest/gtest.h>

#include "host/CFilterTerm.h"

namespace {

constexpr auto kSensitive = BFilterTermOptions::FILTER_CASE_SENSITIVE;
constexpr auto kInsensitive = BFilterTermOptions::FILTER_CASE_INSENSITIVE;

struct MatchCase {
    const char* pattern;
    const char* text;
    BFilterTermOptions::FILTER_CASE_STATE caseState;
    bool expected;
};

TEST(FilterTermTest, MatchesTable) {
    const MatchCase cases[] = {
        {"web-*", "web-01", kSensitive, true},
        {"web-*", "web-", kSensitive, true},
        {"web-*", "db-01", kSensitive, false},
        {"*", "", kSensitive, true},
        {"*", "projects/p/zones/z", kSensitive, true},  // '*' crosses '/'
        {"a*z", "a/b/z", kSensitive, true},
        {"*", ".hidden", kSensitive, true},  // a leading dot is not special
        {"vm-?", "vm-1", kSensitive, true},
        {"vm-?", "vm-12", kSensitive, false},
        {"vm-?", "vm-", kSensitive, false},
        {"a?c", "a/c", kSensitive, true},
        {"vm-[0-9]", "vm-7", kSensitive, true},
        {"vm-[0-9]", "vm-x", kSensitive, false},
        {"vm-[abc]x", "vm-bx", kSensitive, true},
        {"vm-[!a]", "vm-a", kSensitive, false},
        {"vm-[!a]", "vm-b", kSensitive, true},
        {"a\\*b", "a*b", kSensitive, true},
        {"a\\*b", "axb", kSensitive, false},
        {"vm", "vm-1", kSensitive, false},  // whole text, not a prefix
        {"vm-1", "xvm-1", kSensitive, false},
        {"Web-*", "web-01", kSensitive, false},
        {"Web-*", "WEB-01", kInsensitive, true},
        {"vm-[A-C]", "vm-b", kInsensitive, true},
        {"vm-[A-C]", "vm-b", kSensitive, false},
        {"ABC", "abc", kInsensitive, true},
        {"ABC", "abd", kInsensitive, false},
    };
    for (const auto& c : cases) {
        CFilterTerm term{BFilterTermOptions(c.caseState)};
        ASSERT_TRUE(term.LoadRaw(c.pattern));
        EXPECT_EQ(term.Matches(c.text), c.expected)
            << "pattern '" << c.pattern << "' text '" << c.text << "' case " << c.caseState;
    }
}

TEST(FilterTermTest, RefusesEmptyPatternAndMatchesNothingWithoutOne) {
    CFilterTerm term{BFilterTermOptions()};
    EXPECT_FALSE(term.Matches("anything"));
    EXPECT_FALSE(term.Matches(""));
    EXPECT_FALSE(term.LoadRaw(""));
    EXPECT_FALSE(term.Matches(""));

    ASSERT_TRUE(term.LoadRaw("*"));
    EXPECT_TRUE(term.Matches("x"));
    // A refused pattern must not leave the earlier one in force.
    EXPECT_FALSE(term.LoadRaw(""));
    EXPECT_FALSE(term.Matches("x"));
}

TEST(FilterTermTest, LaterPatternReplacesEarlier) {
    CFilterTerm term{BFilterTermOptions()};
    ASSERT_TRUE(term.LoadRaw("a*"));
    ASSERT_TRUE(term.LoadRaw("b*"));
    EXPECT_FALSE(term.Matches("abc"));
    EXPECT_TRUE(term.Matches("bcd"));
}

TEST(FilterTermTest, EmbeddedNulNeverMatchesAPrefix) {
    CFilterTerm term{BFilterTermOptions()};
    ASSERT_TRUE(term.LoadRaw("abc"));
    EXPECT_FALSE(term.Matches(std::string("abc\0xyz", 7)));
    EXPECT_FALSE(term.LoadRaw(std::string("a*\0b", 4)));
}

TEST(FilterTermTest, IsWildcardItem) {
    const std::pair<const char*, bool> cases[] = {
        {"vm-01", false}, {"", false},      {"*", true},      {"vm-?", true}, {"vm-[0-9]", true},
        {"a[b", false},   {"a]b[", false},  {"a[]", true},    {"a\\*", true}, {"projects/p", false},
        {"[x]", true},    {"x[y]z[", true}, {"{a,b}", false}, {"a+b", false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(CFilterTerm::IsWildcardItem(text), expected) << text;
}

}  // namespace
