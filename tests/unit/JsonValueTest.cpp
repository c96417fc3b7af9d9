#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "host/json/JsonValue.h"

using namespace json_spirit;

namespace {

std::string TypeError(const std::function<void()>& read) {
    try {
        read();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(JsonValueTest, WrongTypeReadsThrowTheExactText) {
    const mValue integer(42), real(1.5), text("x"), array{mArray()}, big(UINT64_MAX);
    struct Case {
        std::function<void()> read;
        const char* expected;
    } cases[] = {
        {[&] { integer.get_str(); }, "value type is 4 not 2"},
        {[&] { big.get_str(); }, "value type is 4 not 2"},
        {[&] { real.get_int(); }, "value type is 5 not 4"},
        {[&] { real.get_int64(); }, "value type is 5 not 4"},
        {[&] { array.get_obj(); }, "value type is 1 not 0"},
        {[&] { mValue::null.get_array(); }, "value type is 6 not 1"},
        {[&] { text.get_bool(); }, "value type is 2 not 3"},
        {[&] { text.get_real(); }, "value type is 2 not 5"},
        {[&] { mValue(true).get_uint64(); }, "value type is 3 not 4"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, TypeError(c.read));
}

TEST(JsonValueTest, IntegersKeepTheirRangeAndWiden) {
    EXPECT_FALSE(mValue(static_cast<unsigned long>(INT64_MAX)).is_uint64());
    EXPECT_EQ(UINT32_MAX, mValue(UINT32_MAX).get_int64());

    const mValue big(static_cast<unsigned long long>(UINT64_MAX));
    EXPECT_TRUE(big.is_uint64());
    EXPECT_EQ(UINT64_MAX, big.get_uint64());
    EXPECT_EQ(-1, big.get_int64());
    EXPECT_DOUBLE_EQ(18446744073709551615.0, big.get_real());

    EXPECT_EQ(5, mValue(INT64_C(0x100000005)).get_int());  // truncated to 32 bits
    EXPECT_DOUBLE_EQ(-7.0, mValue(-7).get_real());
}

TEST(JsonValueTest, EqualityComparesTypeAndValue) {
    EXPECT_NE(mValue(1), mValue(1.0));
    EXPECT_NE(mValue(1), mValue(true));
    EXPECT_NE(mValue(-1), mValue(static_cast<unsigned long>(UINT64_MAX)));
    EXPECT_EQ(mValue(UINT64_MAX), mValue(static_cast<unsigned long long>(UINT64_MAX)));

    mObject a{{"k", mArray{mValue(1), mValue("s"), mValue()}}};
    mObject b = a;
    EXPECT_EQ(mValue(a), mValue(b));
    b["k"].get_array()[1] = mValue("t");
    EXPECT_NE(mValue(a), mValue(b));
}

}  // namespace
