#include "rovurer/numbers.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>

#include <limits>
#include <optional>
#include <string>
#include <utility>

using namespace rovurer;

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

TEST(Arguments, EveryLeadingWhiteSpaceCharacterIsSkipped) {
    for (const char* space : {" ", "\t", "\n", "\v", "\f", "\r"}) {
        const std::string text = std::string(space) + "16";
        EXPECT_EQ(parse_int32(text.c_str()), 16) << static_cast<int>(*space);
        EXPECT_EQ(parse_int64(text.c_str()), 16) << static_cast<int>(*space);
        EXPECT_EQ(parse_position(text.c_str()), 16) << static_cast<int>(*space);
    }
    // Not white space to strtol: the number is not read.
    for (const char* other : {"\x1c", "\xa0", "_"}) {
        EXPECT_EQ(parse_int32((std::string(other) + "16").c_str()), 0);
    }
}

TEST(Arguments, ValuesOneInsideAndOneOutsideTheLimits) {
    struct int64_case {
        const char* text;
        std::int64_t as_int32;
        std::int64_t as_int64;
    };
    constexpr std::int64_t int32_max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t int32_min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();
    const int64_case cases[] = {
        {"2147483646", int32_max - 1, 2147483646},
        {"2147483648", int32_max, 2147483648},
        {"-2147483647", int32_min + 1, -2147483647},
        {"-2147483649", int32_min, -2147483649},
        {"9223372036854775806", int32_max, int64_max - 1},
        {"-9223372036854775807", int32_min, int64_min + 1},
        {"-9223372036854775809", int32_min, int64_min},
        {"000000000000000000000009223372036854775807", int32_max, int64_max},  // leading zeros
    };
    for (const int64_case& c : cases) {
        EXPECT_EQ(parse_int32(c.text), c.as_int32) << c.text;
        EXPECT_EQ(parse_int64(c.text), c.as_int64) << c.text;
    }
}

TEST(Arguments, PositionsWithExponentsAroundTwoToThe63) {
    // 2^63 = 9223372036854775808 is exact in double; the double just below it
    // is 2^63 - 1024, and -2^63 is the least value that fits.
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"9.223372036854775808e18", std::nullopt},
        {"9.2233720368547758e18", std::nullopt},  // rounds to 2^63
        {"9.223372036854774784e18", 9223372036854774784},
        {"9223372036854774784e0", 9223372036854774784},
        {"-9.223372036854775808e18", std::numeric_limits<std::int64_t>::min()},
        {"-9.223372036854777856e18", std::nullopt},  // the double below -2^63
        {"0x1p63", std::nullopt},
        {"0x1p62", std::int64_t{1} << 62},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parse_position(text), expected) << text;
    }
}

#ifndef _WIN32
namespace {

// Text whose terminating NUL is the last byte before a page that cannot be
// read: a parser that reads past its operand's end faults at once.
class text_at_page_end {
public:
    explicit text_at_page_end(const std::string& text) {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        pages_ = ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(pages_, MAP_FAILED);
        char* const start = static_cast<char*>(pages_) + page_ - text.size() - 1;
        std::memcpy(start, text.c_str(), text.size() + 1);
        EXPECT_EQ(::mprotect(static_cast<char*>(pages_) + page_, page_, PROT_NONE), 0);
        text_ = start;
    }
    ~text_at_page_end() { ::munmap(pages_, 2 * page_); }
    text_at_page_end(const text_at_page_end&) = delete;
    text_at_page_end& operator=(const text_at_page_end&) = delete;
    const char* c_str() const { return text_; }

private:
    std::size_t page_ = 0;
    void* pages_ = nullptr;
    const char* text_ = nullptr;
};

}  // namespace

TEST(Arguments, NoParserReadsPastTheEndOfItsOperand) {
    const char* const texts[] = {"",
                                 "1",
                                 "12.9",
                                 "1e9",
                                 "1E",
                                 "1e+",
                                 "-",
                                 "+",
                                 " 7",
                                 ".",
                                 "5.",
                                 ".5",
                                 "1,000",
                                 "16abc",
                                 "0x10",
                                 "end",
                                 "-0",
                                 "9223372036854775807",
                                 "9223372036854775808",
                                 "1e19",
                                 "nan",
                                 "inf",
                                 "\t\n",
                                 "00"};
    for (const char* const text : texts) {
        const text_at_page_end guarded(text);
        static_cast<void>(parse_position(guarded.c_str()));
        static_cast<void>(parse_int32(guarded.c_str()));
        static_cast<void>(parse_int64(guarded.c_str()));
        static_cast<void>(parse_strict_whole(guarded.c_str()));
        static_cast<void>(parse_strict_integer(guarded.c_str(), INT64_MIN, INT64_MAX));
        SUCCEED() << text;
    }
}
#endif
