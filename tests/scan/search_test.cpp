// --find and --count in process, against a naive search and count over the
// digits the plain form shows: across bases, positions, and chunk, word and
// block boundaries.
#include "scan/search.h"

#include <gtest/gtest.h>

#include "rovurer/messages.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "reader/digit_run.h"
#include "reader/digit_stream.h"
#include "scan/dump.h"
#include "test_support.h"

using namespace rovurer;

namespace {

// A block and a bit of random words, so a long run crosses a block boundary.
const std::string& two_block_file() {
    static const std::string path = [] {
        std::mt19937_64 random(77);
        std::vector<std::uint64_t> words(static_cast<std::size_t>(block_words) + 3000);
        for (std::uint64_t& word : words) {
            word = random() % 10000000000000000000ULL;
        }
        return write_digit_file("two-blocks", words, 1);
    }();
    return path;
}

// Equal texts, or where they first differ: printing whole multi-megabyte
// texts (and their diff) would swamp a failure.
::testing::AssertionResult same_text(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto at = static_cast<std::size_t>(
        std::mismatch(actual.begin(), actual.begin() + static_cast<long>(std::min(actual.size(), expected.size())),
                      expected.begin())
            .first -
        actual.begin());
    const std::size_t from = at > 20 ? at - 20 : 0;
    return ::testing::AssertionFailure() << "differ at byte " << at << " of " << actual.size() << " and "
                                         << expected.size() << ": '" << actual.substr(from, 40) << "' against '"
                                         << expected.substr(from, 40) << "'";
}

// dump_digits, find_digits and count_digits on a run that opens.
command_result dumped_run(output_buffer& out, const std::string& path, std::int32_t base, std::int64_t pos,
                          std::int64_t nb_digits) {
    digit_run run(path.c_str(), base, pos, nb_digits);
    EXPECT_TRUE(run.opened());
    return run.opened() ? dump_digits(out, run) : command_result::read_failed;
}
command_result found_in(output_buffer& out, std::string_view pattern, const std::string& path, std::int32_t base,
                        std::int64_t pos, std::int64_t nb_digits) {
    digit_run run(path.c_str(), base, pos, nb_digits);
    EXPECT_TRUE(run.opened());
    return run.opened() ? find_digits(out, run, pattern) : command_result::read_failed;
}
command_result counted_in(output_buffer& out, const std::string& path, std::int32_t base, std::int64_t pos,
                          std::int64_t nb_digits) {
    digit_run run(path.c_str(), base, pos, nb_digits);
    EXPECT_TRUE(run.opened());
    return run.opened() ? count_digits(out, run, base) : command_result::read_failed;
}

template <typename Write>
std::string output_of(Write write, command_result expected = command_result::shown) {
    std::string text;
    output_buffer out(append_to_string, &text, 1 << 16);
    EXPECT_EQ(write(out), expected);
    out.flush();
    return text;
}

// The digits the plain form shows, without their spaces.
std::string shown_digits(std::int32_t base, std::int64_t pos, std::int64_t nb_digits) {
    std::string text =
        output_of([&](output_buffer& out) { return dumped_run(out, two_block_file(), base, pos, nb_digits); });
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

void expect_find_and_count(std::int32_t base, std::int64_t pos, std::int64_t nb_digits,
                           const std::vector<std::string>& patterns) {
    const std::string digits = shown_digits(base, pos, nb_digits);
    for (const std::string& pattern : patterns) {
        std::string expected;
        for (std::size_t at = digits.find(pattern); at != std::string::npos; at = digits.find(pattern, at + 1)) {
            expected += std::to_string(pos + static_cast<std::int64_t>(at)) + "\n";
        }
        const std::string found = output_of(
            [&](output_buffer& out) { return found_in(out, pattern, two_block_file(), base, pos, nb_digits); });
        ASSERT_TRUE(same_text(found, expected))
            << "base " << base << " pos " << pos << " nb " << nb_digits << " '" << pattern << "'";
    }
    std::string expected;
    for (std::int32_t value = 0; value < base; ++value) {
        const char digit = "0123456789ABCDEF"[value];
        expected +=
            std::string(1, digit) + " " + std::to_string(std::count(digits.begin(), digits.end(), digit)) + "\n";
    }
    const std::string counted =
        output_of([&](output_buffer& out) { return counted_in(out, two_block_file(), base, pos, nb_digits); });
    ASSERT_TRUE(same_text(counted, expected)) << "base " << base << " pos " << pos << " nb " << nb_digits;
}

TEST(Search, FindAndCountAgreeWithTheShownDigits) {
    std::mt19937_64 random_engine(2027);
    const auto random = [&] { return static_cast<std::size_t>(random_engine() % 1000000007); };
    for (const std::int32_t base : {10, 16, 2}) {
        for (int trial = 0; trial < 12; ++trial) {
            const auto pos = static_cast<std::int64_t>(1 + random() % 5000);
            const auto nb_digits = static_cast<std::int64_t>(random() % 120000);
            const std::string digits = shown_digits(base, pos, nb_digits);
            std::vector<std::string> patterns = {"0", "99", "1111111", std::string(1, base == 16 ? 'F' : '1')};
            // Pieces of the run itself, some straddling chunk boundaries.
            for (int piece = 0; piece < 6 && !digits.empty(); ++piece) {
                const std::size_t length = 1 + random() % 24;
                std::size_t at = random() % digits.size();
                if (piece % 2 == 0) {
                    const auto chunk = static_cast<std::size_t>(digit_run::chunk_digits);
                    const std::size_t boundary = chunk * (1 + random() % (digits.size() / chunk + 1));
                    at = boundary > length / 2 ? boundary - length / 2 : 0;
                }
                if (at < digits.size()) {
                    patterns.push_back(digits.substr(at, length));
                }
            }
            expect_find_and_count(base, pos, nb_digits, patterns);
        }
    }
}

TEST(Search, AcrossTheBlockBoundary) {
    for (const std::int32_t base : {10, 16}) {
        const std::int64_t per_word = base == 10 ? 19 : 16;
        // The first block holds block_words words from the first one shown.
        const std::int64_t pos = 7;
        const std::int64_t boundary = block_words * per_word - (pos - 1);
        const std::string digits = shown_digits(base, pos, boundary + 5000);
        expect_find_and_count(base, pos, boundary + 5000,
                              {digits.substr(static_cast<std::size_t>(boundary) - 9, 20),
                               digits.substr(static_cast<std::size_t>(boundary) - 1, 2)});
        // Lines across the chunks and the block boundary, by the rule.
        for (const std::int64_t per_line : {20, 90}) {
            std::string expected;
            for (std::size_t start = 0; start < digits.size(); start += static_cast<std::size_t>(per_line)) {
                const std::string line = digits.substr(start, static_cast<std::size_t>(per_line));
                for (std::size_t i = 0; i < line.size(); ++i) {
                    if (i > 0 && i % 10 == 0) {
                        expected += ' ';
                    }
                    expected += line[i];
                }
                expected += "  : ";
                expected += std::to_string(pos + static_cast<std::int64_t>(start + line.size()) - 1);
                expected += '\n';
            }
            const std::string lines = output_of([&](output_buffer& out) {
                digit_run run(two_block_file().c_str(), base, pos, boundary + 5000);
                dump_layout shape;
                shape.per_line = per_line;
                return dump_digits(out, run, shape);
            });
            ASSERT_TRUE(same_text(lines, expected)) << base << ' ' << per_line;
        }
    }
}

TEST(Search, MaxCountStopsTheReading) {
    // The first occurrences, and no reading past the one that ends the search.
    const std::string all =
        output_of([](output_buffer& out) { return found_in(out, "12", two_block_file(), 10, 1, INT64_MAX / 2); });
    ASSERT_GT(std::count(all.begin(), all.end(), '\n'), 1000);
    for (const std::int64_t most : {1, 2, 1000}) {
        std::string text;
        output_buffer out(append_to_string, &text, 1 << 16);
        digit_run run(two_block_file().c_str(), 10, 1, INT64_MAX / 2);
        std::uint64_t found = 0;
        EXPECT_EQ(find_digits(out, run, "12", most, &found), command_result::shown);
        out.flush();
        EXPECT_EQ(found, static_cast<std::uint64_t>(most));
        std::size_t end = 0;
        for (std::int64_t line = 0; line < most; ++line) {
            end = all.find('\n', end) + 1;
        }
        EXPECT_EQ(text, all.substr(0, end)) << most;
        EXPECT_LT(run.progress().bytes_read, std::int64_t{1} << 20) << most;  // of a 16 MiB file
    }
}

TEST(Search, HexDigitsInEitherCaseAndDigitStrings) {
    EXPECT_TRUE(is_digit_string("09AFaf", 16));
    EXPECT_TRUE(is_digit_string("0123456789", 10));
    EXPECT_TRUE(is_digit_string("0110", 2));
    for (const auto& [digits, base] : std::vector<std::pair<std::string, int>>{
             {"", 10}, {"a", 10}, {"2", 2}, {"G", 16}, {"1 2", 10}, {"-1", 10}, {"12", 8}}) {
        EXPECT_FALSE(is_digit_string(digits, base)) << digits << ' ' << base;
    }
    const std::string upper =
        output_of([](output_buffer& out) { return found_in(out, "A3", two_block_file(), 16, 1, 100000); });
    const std::string lower =
        output_of([](output_buffer& out) { return found_in(out, "a3", two_block_file(), 16, 1, 100000); });
    EXPECT_EQ(upper, lower);
    EXPECT_FALSE(upper.empty());
}

}  // namespace
