// List filters: every value goes to Compute Engine as a literal that matches only itself.
#include <gtest/gtest.h>

#include "GoogleCloudQueries/ListFilter.h"

namespace {

namespace filter = GoogleCloudSDKWrapper::filter;

TEST(ListFilter, WritesEveryValueAsAQuotedRe2Literal) {
    const struct {
        const char* value;
        const char* query;
    } cases[] = {
        {"web-1", "?filter=name%20eq%20%22web-1%22"},
        {"unlabelled-.", "?filter=name%20eq%20%22unlabelled-%5C.%22"},
        {"web-*", "?filter=name%20eq%20%22web-%5C*%22"},
        {"a|b", "?filter=name%20eq%20%22a%5C%7Cb%22"},
        {"web-[12]", "?filter=name%20eq%20%22web-%5C%5B12%5C%5D%22"},
        {"f(x)+{2}?", "?filter=name%20eq%20%22f%5C(x%5C)%5C%2B%5C%7B2%5C%7D%5C?%22"},
        {"^a$\\", "?filter=name%20eq%20%22%5C%5Ea%5C$%5C%5C%22"},
        {"say \"hi\"", "?filter=name%20eq%20%22say%20%5C%22hi%5C%22%22"},
        {"a&filter=b#c", "?filter=name%20eq%20%22a%26filter%3Db%23c%22"},
    };
    for (const auto& c : cases) EXPECT_EQ(filter::EqualsQuery("name", c.value), c.query) << c.value;
    EXPECT_EQ(filter::Re2Literal(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(filter::Re2Literal("caf\xc3\xa9"), "caf\xc3\xa9") << "UTF-8 is no metacharacter";
}

TEST(ListFilter, TakesOnlyLabelKeysThatCannotChangeTheExpression) {
    for (const char* key : {"backup", "env_1", "a-b", "caf\xc3\xa9", "k"})
        EXPECT_TRUE(filter::IsLabelKey(key)) << key;
    for (const char* key : {"", "Backup", "a.b", "a b", "a=b", "a)", "a:b", "a\"b"})
        EXPECT_FALSE(filter::IsLabelKey(key)) << key;
}

}  // namespace
