// The bulk paths (digit_stream_read and dump_digits) against the per-digit
// path, digit_stream_next, which states the digits most plainly.
#include "scan/dump.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "reader/digit_stream.h"
#include "test_support.h"

using namespace rovurer;

namespace {

// Digits through digit_stream_read, asking for `capacities` in turn.
std::string digits_by_read(const std::string& path, int base, std::int64_t offset, std::int64_t limit,
                           const std::vector<std::int64_t>& capacities) {
    digit_stream* stream = digit_stream_open(path.c_str(), base, offset);
    if (stream == nullptr) {
        return "REFUSED";
    }
    std::string digits;
    for (std::size_t turn = 0; static_cast<std::int64_t>(digits.size()) < limit; ++turn) {
        const std::int64_t capacity =
            std::min(capacities[turn % capacities.size()], limit - static_cast<std::int64_t>(digits.size()));
        std::string chunk(static_cast<std::size_t>(capacity), '#');
        const std::int64_t got = digit_stream_read(stream, chunk.data(), capacity);
        EXPECT_GE(got, 0);
        if (got <= 0) {
            break;
        }
        EXPECT_LE(got, capacity);
        digits += chunk.substr(0, static_cast<std::size_t>(got));
    }
    digit_stream_close(stream);
    return digits;
}

// What dump_digits writes, by the per-digit rule: a space after digit i when
// i % 10 == 9 and i is not the last one asked for.
std::string grouped_by_next(const std::string& path, int base, std::int64_t pos, std::int64_t nb_digits) {
    const std::string digits = digits_of(path, base, pos - 1, nb_digits);
    std::string grouped;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(digits.size()); ++i) {
        grouped.push_back(digits[static_cast<std::size_t>(i)]);
        if (i % 10 == 9 && i != nb_digits - 1) {
            grouped.push_back(' ');
        }
    }
    return grouped;
}

std::string dumped(const std::string& path, int base, std::int64_t pos, std::int64_t nb_digits,
                   std::optional<command_result>* result, std::size_t output_capacity = 4096) {
    std::string text;
    output_buffer out(append_to_string, &text, output_capacity);
    digit_run run(path.c_str(), base, pos, nb_digits);
    *result = run.opened() ? std::optional(dump_digits(out, run)) : std::nullopt;
    out.flush();
    return text;
}

const std::string& random_file() {
    static const std::string path = [] {
        std::mt19937_64 random(314);
        std::vector<std::uint64_t> words(600);
        for (std::uint64_t& word : words) {
            word = random();  // about half of them 10^19 or more
        }
        words[300] = 0;
        words[301] = 10000000000000000000ULL;
        return write_digit_file("random600", words, 2);
    }();
    return path;
}

TEST(Dump, StreamReadGivesTheDigitsNextGives) {
    std::mt19937_64 random(1);
    const std::vector<std::vector<std::int64_t>> capacity_patterns = {
        {1}, {7}, {19}, {64}, {100000}, {1, 100000}, {3, 1, 40, 19, 5, 200}, {16, 64, 1000}};
    for (const int base : {10, 16, 2}) {
        for (int trial = 0; trial < 60; ++trial) {
            const auto offset = static_cast<std::int64_t>(random() % (base == 2 ? 38000 : 11000));
            const auto limit = static_cast<std::int64_t>(random() % 3000);
            const std::string expected = digits_of(random_file(), base, offset, limit);
            for (const auto& capacities : capacity_patterns) {
                ASSERT_EQ(digits_by_read(random_file(), base, offset, limit, capacities), expected)
                    << base << ' ' << offset << ' ' << limit;
            }
        }
        // Everything from offset 0 and from inside the first word, to the end.
        for (const std::int64_t offset : {0, 1, 5, 18, 19, 63}) {
            const std::string expected = digits_of(random_file(), base, offset, 1 << 20);
            ASSERT_EQ(digits_by_read(random_file(), base, offset, 1 << 20, {4096}), expected);
            // A first read of one digit, then large ones.
            ASSERT_EQ(digits_by_read(random_file(), base, offset, 1 << 20, {1, 100000}), expected);
        }
    }
}

TEST(Dump, NextAndReadCanBeMixed) {
    for (const int base : {10, 16, 2}) {
        const std::string expected = digits_of(random_file(), base, 3, 500);
        digit_stream* stream = digit_stream_open(random_file().c_str(), base, 3);
        ASSERT_NE(stream, nullptr);
        std::string mixed;
        for (int turn = 0; mixed.size() < 500; ++turn) {
            if (turn % 2 == 0) {
                mixed.push_back(static_cast<char>(digit_stream_next(stream)));
            } else {
                char chunk[37];
                mixed.append(chunk, static_cast<std::size_t>(digit_stream_read(stream, chunk, sizeof chunk)));
            }
        }
        digit_stream_close(stream);
        EXPECT_EQ(mixed.substr(0, 500), expected) << base;
    }
}

TEST(Dump, GroupedOutputMatchesThePerDigitRule) {
    std::mt19937_64 random(2);
    std::vector<std::pair<std::int64_t, std::int64_t>> requests = {
        {1, 50}, {1, 10}, {1, 11}, {1, 0}, {1, -3}, {7, 1}, {1, 1000000}, {11381, 50}, {11400, 50}, {11391, 50}};
    for (int trial = 0; trial < 100; ++trial) {
        requests.emplace_back(1 + static_cast<std::int64_t>(random() % 11400),
                              static_cast<std::int64_t>(random() % 25000));
    }
    for (const int base : {10, 16, 2}) {
        for (const auto& [pos, nb_digits] : requests) {
            std::optional<command_result> result;
            const std::string text = dumped(random_file(), base, pos, nb_digits, &result);
            if (pos > (base == 10 ? 598 * 19 : base == 16 ? 598 * 16 : 598 * 64)) {
                EXPECT_FALSE(result.has_value());
                continue;
            }
            ASSERT_EQ(result, command_result::shown) << base << ' ' << pos << ' ' << nb_digits;
            const std::string expected = grouped_by_next(random_file(), base, pos, nb_digits);
            ASSERT_EQ(text, expected) << base << ' ' << pos << ' ' << nb_digits;
            // The smallest output buffer takes the digits in small chunks.
            ASSERT_EQ(dumped(random_file(), base, pos, nb_digits, &result, 1), expected);
        }
    }
}

TEST(Dump, ReadFailuresKeepTheDigitsBeforeThem) {
    std::vector<std::uint64_t> words(static_cast<std::size_t>(block_words) + 2);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = i * 0x9E3779B97F4A7C15ULL;
    }
    const std::string path = write_digit_file("shrinking", words, 0);
    const std::string expected = digits_of(path, 16, 0, block_words * 16);
    for (const std::int64_t first : {1000, 100000, 1000000}) {
        write_digit_file("shrinking", words, 0);
        digit_stream* stream = digit_stream_open(path.c_str(), 16, 0);
        ASSERT_NE(stream, nullptr);
        std::string digits(static_cast<std::size_t>(first), '#');
        ASSERT_EQ(digit_stream_read(stream, digits.data(), first), first);
        // The file loses its data region while the stream is open: the words
        // already read still come, then every call reports the failure.
        std::filesystem::resize_file(fs_path(path), 4096 + 8);
        std::string rest(static_cast<std::size_t>(block_words) * 16, '#');
        const std::int64_t got = digit_stream_read(stream, rest.data(), static_cast<std::int64_t>(rest.size()));
        if (got != digit_stream_read_failed) {
            ASSERT_GT(got, 0);
            EXPECT_LT(got, block_words * 16 - first);
            EXPECT_EQ(digits + rest.substr(0, static_cast<std::size_t>(got)),
                      expected.substr(0, static_cast<std::size_t>(first + got)));
            EXPECT_EQ(digit_stream_read(stream, rest.data(), 10), digit_stream_read_failed);
        }
        EXPECT_EQ(digit_stream_next(stream), digit_stream_read_failed);
        EXPECT_EQ(digit_stream_read(stream, rest.data(), 10), digit_stream_read_failed);
        EXPECT_EQ(digit_stream_refill(stream), digit_stream_read_failed);
        EXPECT_EQ(digit_stream_refill(stream), digit_stream_read_failed);
        digit_stream_close(stream);
    }

    fixture_header header;
    header.word_count = 4;
    std::optional<command_result> result;
    EXPECT_EQ(dumped(write_digit_file("declared4", header, {1, 2}), 10, 1, 50, &result), "");
    EXPECT_EQ(result, command_result::read_failed);
}

TEST(Dump, BlockBoundaryInBulk) {
    std::vector<std::uint64_t> words(static_cast<std::size_t>(block_words) + 3);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = i * 0x9E3779B97F4A7C15ULL;
    }
    const std::string path = write_digit_file("bulk-blocks", words, 0);
    for (const int base : {10, 16}) {
        const std::int64_t per_word = base == 10 ? 19 : 16;
        // Straddle the boundary between the top block (the highest 2^20
        // words) and the three words of the second block.
        const std::int64_t offset = per_word * (block_words - 2) - 7;
        EXPECT_EQ(digits_by_read(path, base, offset, 200, {4096}), digits_of(path, base, offset, 200)) << base;
        std::optional<command_result> result;
        EXPECT_EQ(dumped(path, base, offset + 1, 150, &result), grouped_by_next(path, base, offset + 1, 150));
    }
}

// A part of a run, dumped with its first index, is the tail of the whole
// run's output from text_before on: threads that write parts in place put
// them there. Labels cross 99/100 and 999/1000.
TEST(Dump, PartsStartWhereTextBeforeSays) {
    struct layout_case {
        dump_layout shape;
        std::int64_t pos;
    };
    const layout_case cases[] = {
        {{10, 0, true, false}, 3},  {{0, 0, true, true}, 5},     {{3, 9, true, true}, 1},    {{0, 7, true, true}, 993},
        {{10, 10, true, true}, 91}, {{10, 10, false, true}, 91}, {{5, 45, true, true}, 955}, {{1, 3, false, true}, 2},
    };
    constexpr std::int64_t nb_digits = 3000;
    for (const layout_case& c : cases) {
        const auto text_of = [&](std::int64_t first_index) {
            std::string text;
            output_buffer out(append_to_string, &text, 4096);
            digit_run run(random_file().c_str(), 10, c.pos + first_index, nb_digits - first_index);
            EXPECT_EQ(dump_digits(out, run, c.shape, first_index), command_result::shown);
            out.flush();
            return text;
        };
        const std::string whole = text_of(0);
        const std::int64_t unit = c.shape.per_line > 0 ? c.shape.per_line : c.shape.group > 0 ? c.shape.group : 1;
        for (const std::int64_t units : {0, 1, 2, 11, 37, 100, 333}) {
            const std::int64_t index = units * unit;
            if (index >= nb_digits) {
                continue;
            }
            const std::int64_t before = text_before(c.shape, c.pos, index);
            ASSERT_GE(before, 0);
            EXPECT_EQ(whole.substr(static_cast<std::size_t>(before)), text_of(index))
                << c.shape.group << ' ' << c.shape.per_line << ' ' << c.pos << ' ' << index;
        }
    }
    EXPECT_EQ(text_before({}, 1, (std::int64_t{1} << 58) + 10), -1);
}

int fail_with_no_space(void* /*context*/, const char* /*bytes*/, std::size_t /*length*/) {
    return ENOSPC;
}

TEST(Dump, WriteFailuresStopTheDumpAndAreReported) {
    // After the first failed write no more data is read: of a file of more
    // than a block, only the first read's pages.
    fixture_header header;
    header.word_count = block_words + 100;
    const std::string large = write_sparse_digit_file("large-for-write-failures", header, {});
    for (const int base : {10, 16, 2}) {
        output_buffer out(fail_with_no_space, nullptr, 4096);
        digit_run run(large.c_str(), base, 1, 100000000);
        ASSERT_TRUE(run.opened());
        EXPECT_EQ(dump_digits(out, run), command_result::write_failed) << base;
        EXPECT_EQ(out.error(), ENOSPC);
        EXPECT_LE(run.progress().bytes_read, 8 * 4096) << base;
        EXPECT_EQ(run.progress().reads, 1) << base;
    }
    for (const std::vector<const char*>& args : {std::vector<const char*>{"rovurer", "x"},
                                                 {"rovurer", random_file().c_str(), "10", "1"},
                                                 {"rovurer", random_file().c_str(), "16", "1", "100000"}}) {
        console_stream out(fail_with_no_space, nullptr);
        std::string messages;
        console_stream err(append_to_string, &messages);
        EXPECT_EQ(run_rovurer(static_cast<int>(args.size()), args.data(), out, err), 1);
        EXPECT_EQ(messages, std::string("rovurer: write error: ") + std::strerror(ENOSPC) + "\n");
    }
}

}  // namespace
