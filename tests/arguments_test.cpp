#include "frontend/arguments.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Arguments, IntegersReadLikeStrtol) {
    EXPECT_EQ(parse_int32("16abc"), 16);
    EXPECT_EQ(parse_int32("0x10"), 0);
    EXPECT_EQ(parse_int32("  \t+10"), 10);
    EXPECT_EQ(parse_int32("-2"), -2);
    EXPECT_EQ(parse_int32(""), 0);
    EXPECT_EQ(parse_int32("abc"), 0);
    EXPECT_EQ(parse_int32("- 5"), 0);
}

TEST(Arguments, IntegersSaturateInsteadOfWrapping) {
    // 2^32 + 10 and 2^32 + 16 would wrap into accepted bases.
    EXPECT_EQ(parse_int32("4294967306"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(parse_int32("4294967312"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(parse_int32("2147483647"), 2147483647);
    EXPECT_EQ(parse_int32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parse_int32("-2147483649"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parse_int32("99999999999999999999999999"), std::numeric_limits<std::int32_t>::max());

    EXPECT_EQ(parse_int64("4294967306"), 4294967306);
    EXPECT_EQ(parse_int64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse_int64("9223372036854775808"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse_int64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parse_int64("184467440737095516160"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse_int64("-99999999999999999999999"), std::numeric_limits<std::int64_t>::min());
}

TEST(Arguments, PositionsTruncateTowardsZero) {
    EXPECT_EQ(parse_position("1"), 1);
    EXPECT_EQ(parse_position("1e3"), 1000);
    EXPECT_EQ(parse_position("12.9"), 12);
    EXPECT_EQ(parse_position("  +7xyz"), 7);
    EXPECT_EQ(parse_position("1.5e1"), 15);
    EXPECT_EQ(parse_position("-0.5"), 0);
    EXPECT_EQ(parse_position("-3"), -3);
    EXPECT_EQ(parse_position("abc"), 0);
    EXPECT_EQ(parse_position(""), 0);
    EXPECT_EQ(parse_position(".9"), 0);
    EXPECT_EQ(parse_position("5e"), 5);
}

TEST(Arguments, PlainPositionsAreExactBeyondDoublePrecision) {
    // Through a double these would become ...992 and ...6000.
    EXPECT_EQ(parse_position("9007199254740993"), 9007199254740993);
    EXPECT_EQ(parse_position("123456789012345678.7"), 123456789012345678);
    EXPECT_EQ(parse_position("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse_position("9223372036854775808"), std::nullopt);
    EXPECT_EQ(parse_position("99999999999999999999999"), std::nullopt);
}

TEST(Arguments, PositionsWithExponentsGoThroughDouble) {
    EXPECT_EQ(parse_position("9.007199254740993e15"), 9007199254740992);
    EXPECT_EQ(parse_position("9.2e18"), 9200000000000000000);
    EXPECT_EQ(parse_position("9.3e18"), std::nullopt);
    EXPECT_EQ(parse_position("-9.3e18"), std::nullopt);
    EXPECT_EQ(parse_position("1e999"), std::nullopt);
    EXPECT_EQ(parse_position("inf"), std::nullopt);
    EXPECT_EQ(parse_position("-infinity"), std::nullopt);
    EXPECT_EQ(parse_position("nan"), std::nullopt);
    EXPECT_EQ(parse_position("1e-400"), 0);
}
