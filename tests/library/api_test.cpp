// The library's API as a program uses it: every reason a file is refused,
// reads at word and block edges against the digit stream read a digit at a
// time, find, count and compare over ranges against the digits themselves,
// on any number of threads and kernel sets, a stop within a chunk, and the
// formatter against the command line's text.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stop_token>
#include <string>
#include <vector>

#include "reader/word_source.h"
#include "rovurer/rovurer.h"
#include "test_support.h"

namespace {

const int thread_counts[] = {0, 1, 2, 3, 7};  // 0: every processor

rovurer::file open_or_fail(const std::string& path) {
    rovurer::result<rovurer::file> opened = rovurer::file::open(path);
    EXPECT_TRUE(opened.ok()) << path << ": " << (opened.ok() ? "" : opened.error().message);
    return std::move(opened).value();
}

// The digits of a range read through the API, or "ERROR: " and the message.
std::string read_text(const rovurer::file& source, const rovurer::range& where, std::size_t capacity,
                      const rovurer::scan_options& options = {}) {
    std::string digits(capacity, '\0');
    const rovurer::result<std::int64_t> got = rovurer::read(source, where, digits, options);
    if (!got) {
        return "ERROR: " + got.error().message;
    }
    digits.resize(static_cast<std::size_t>(*got));
    return digits;
}

// Every position of `pattern` in `text` (1-based from `first_position`).
std::vector<std::uint64_t> positions_in(const std::string& text, const std::string& pattern,
                                        std::int64_t first_position) {
    std::vector<std::uint64_t> positions;
    for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1)) {
        positions.push_back(static_cast<std::uint64_t>(first_position) + at);
    }
    return positions;
}

TEST(Api, OpenGivesTheFileOrTheReasonItIsRefused) {
    fixture_header kind_three;
    kind_three.kind = 3;
    fixture_header negative;
    negative.lead_words = -2;
    fixture_header wrong;
    wrong.magic = "NOTDIGIT";
    struct refusal_case {
        std::string path;
        rovurer::errc code;
        std::string message;
        int system_error;
    };
    const refusal_case cases[] = {
        {temp_folder() + "/api-missing", rovurer::errc::cannot_open,
         "cannot open: " + std::string(std::strerror(ENOENT)), ENOENT},
        {std::string("api-\0name", 9), rovurer::errc::cannot_open, "cannot open: " + std::string(std::strerror(EINVAL)),
         EINVAL},
        {write_bytes("api-short", "MPT"), rovurer::errc::too_short, "not a digit file: shorter than the 56-byte header",
         0},
        {write_digit_file("api-magic", wrong, {1}), rovurer::errc::wrong_magic, "not a digit file: wrong magic", 0},
        {write_digit_file("api-kind", kind_three, {1}), rovurer::errc::wrong_kind,
         "not a digit file: the kind is 3, not 2", 0},
        {write_digit_file("api-lead", negative, {1}), rovurer::errc::negative_lead_words,
         "not a digit file: lead_words is negative (-2)", 0},
    };
    for (const refusal_case& refused : cases) {
        const rovurer::result<rovurer::file> opened = rovurer::file::open(refused.path);
        ASSERT_FALSE(opened.ok()) << refused.message;
        EXPECT_EQ(opened.error().code, refused.code) << refused.message;
        EXPECT_EQ(opened.error().message, refused.message);
        EXPECT_EQ(opened.error().system_error, refused.system_error) << refused.message;
    }
#ifdef __linux__
    // A folder is refused as it opens.
    const rovurer::result<rovurer::file> folder = rovurer::file::open(temp_folder());
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().code, rovurer::errc::cannot_open);
    EXPECT_EQ(folder.error().message, "cannot open: " + std::string(std::strerror(EISDIR)));
#endif

    // The facts of the header, exact past 2^63 digits.
    fixture_header huge;
    huge.word_count = INT64_MAX;
    const rovurer::file big = open_or_fail(write_digit_file("api-huge", huge, {1, 2}));
    EXPECT_EQ(big.facts().word_count, INT64_MAX);
    EXPECT_EQ(big.facts().data_words, 2);
    EXPECT_EQ(big.facts().digits_text(2), "590295810358705651648");
    EXPECT_EQ(big.facts().digits(2), INT64_MAX);
    EXPECT_EQ(big.facts().digits_text(8), "");
    const rovurer::file pi = open_or_fail(write_digit_file("api-pi", {6264338327950288419ULL, 3}, 1));
    EXPECT_EQ(pi.facts().lead_words, 1);
    EXPECT_EQ(pi.facts().digits(10), 19);
    EXPECT_EQ(pi.facts().digits_text(16), "16");
    EXPECT_EQ(pi.facts().digits(2), 64);
}

TEST(Api, ReadsGiveTheDigitStreamsDigitsAtWordAndBlockEdges) {
    const small_parts parts;
    const std::string path = write_digit_file("api-mixed", mixed_words(300, 7), 1);
    const rovurer::file source = open_or_fail(path);
    struct read_case {
        int base;
        std::int64_t pos;
        std::int64_t count;
        std::size_t capacity;
    };
    const read_case cases[] = {
        {10, 1, 19, 100},
        {10, 19, 2, 100},
        {10, 20, 1, 100},
        {10, 18, 40, 40},
        {10, 1, rovurer::to_end, 6000},
        {10, 5000, 681, 700},
        {10, 5681, 10, 10},
        {16, 16, 2, 8},
        {16, 17, 4000, 4000},
        {16, 4784, 5, 9},
        {2, 63, 3, 3},
        {2, 64, 10000, 10000},
        {2, 19071, 200, 200},
        {10, 7, 500, 37},
        {16, 1, 0, 10},
    };
    for (const read_case& wanted : cases) {
        // The stream's slow path, a digit at a time, is the reference.
        const std::int64_t expected_count = std::min(wanted.count, static_cast<std::int64_t>(wanted.capacity));
        const std::string expected = digits_of(path, wanted.base, wanted.pos - 1, expected_count);
        for (const int threads : thread_counts) {
            rovurer::scan_options options;
            options.threads = threads;
            EXPECT_EQ(read_text(source, {wanted.base, wanted.pos, wanted.count}, wanted.capacity, options), expected)
                << "base " << wanted.base << " pos " << wanted.pos << " threads " << threads;
            // As values, made as they are read.
            std::vector<std::uint8_t> values(wanted.capacity, 99);
            const rovurer::result<std::int64_t> got =
                rovurer::read_values(source, {wanted.base, wanted.pos, wanted.count}, values, options);
            ASSERT_TRUE(got.ok());
            std::string as_text;
            for (std::int64_t k = 0; k < *got; ++k) {
                as_text += "0123456789ABCDEF"[values[static_cast<std::size_t>(k)]];
            }
            EXPECT_EQ(as_text, expected) << "values, base " << wanted.base << " pos " << wanted.pos;
        }
    }
    // Errors, in the command line's words.
    EXPECT_EQ(read_text(source, {10, 5682, 1}, 10),
              "ERROR: position 5682 is past the end of the data (5681 base-10 digits)");
    EXPECT_EQ(read_text(source, {10, 0, 1}, 10), "ERROR: positions start at 1, not 0");
    EXPECT_EQ(read_text(source, {8, 1, 1}, 10), "ERROR: base 8 is not 2, 10 or 16");
    EXPECT_EQ(read_text(source, {10, 1, -1}, 10), "ERROR: a count of digits below 0 (-1)");

    // Past a block of words: a stream reads its words a block at a time.
    fixture_header long_file;
    long_file.word_count = rovurer::block_words + 70;
    const std::int64_t top = long_file.word_count - 1;
    std::vector<std::pair<std::int64_t, std::uint64_t>> known;
    for (const std::int64_t near : {top - rovurer::block_words, std::int64_t{69}}) {
        for (std::int64_t k = -3; k <= 3; ++k) {
            known.emplace_back(near + k, 0x0123456789ABCDEFULL * static_cast<std::uint64_t>(k + 5));
        }
    }
    const std::string long_path = write_sparse_digit_file("api-blocks", long_file, known);
    const rovurer::file blocks = open_or_fail(long_path);
    for (const int base : {10, 16}) {
        const std::string expected = digits_of(long_path, base, 0, INT64_MAX);
        for (const int threads : {1, 2}) {
            rovurer::scan_options options;
            options.threads = threads;
            EXPECT_TRUE(read_text(blocks, {base, 1, rovurer::to_end}, expected.size() + 1, options) == expected)
                << "base " << base << " threads " << threads;
        }
    }
}

TEST(Api, FindCountAndCompareOverRangesAgreeWithTheDigits) {
    const small_parts parts;
    const std::vector<std::uint64_t> words = mixed_words(400, 11);
    const std::string path = write_digit_file("api-scan", words, 0);
    std::vector<std::uint64_t> changed = words;
    changed[400 - 1 - 123] ^= 1;  // the last digit of word 123 from the top, in every base
    const std::string changed_path = write_digit_file("api-scan-changed", changed, 0);
    const std::string short_path =
        write_digit_file("api-scan-short", std::vector<std::uint64_t>(words.begin() + 100, words.end()), 0);
    const rovurer::file source = open_or_fail(path);
    const rovurer::file other = open_or_fail(changed_path);
    const rovurer::file shorter = open_or_fail(short_path);

    struct scan_case {
        int base;
        std::int64_t pos;
        std::int64_t count;
        std::string pattern;
    };
    const scan_case cases[] = {
        {10, 1, rovurer::to_end, "14"},
        {10, 30, 3000, "999"},
        {10, 2300, 500, "0"},
        {16, 1, rovurer::to_end, "aB"},
        {16, 1000, 2000, "F0F"},
        {2, 1, rovurer::to_end, "1011011"},
        {2, 7000, 90, "0"},
    };
    for (const scan_case& scan : cases) {
        const std::string text = digits_of(path, scan.base, scan.pos - 1, scan.count);
        std::string upper_pattern = scan.pattern;
        std::transform(upper_pattern.begin(), upper_pattern.end(), upper_pattern.begin(),
                       [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; });
        const std::vector<std::uint64_t> expected = positions_in(text, upper_pattern, scan.pos);
        rovurer::digit_counts expected_counts{};
        for (const char c : text) {
            ++expected_counts[static_cast<std::size_t>(c <= '9' ? c - '0' : c - 'A' + 10)];
        }
        const rovurer::range where{scan.base, scan.pos, scan.count};
        const std::int64_t where_end = scan.pos + static_cast<std::int64_t>(text.size());
        for (const int threads : thread_counts) {
            SCOPED_TRACE("base " + std::to_string(scan.base) + " pos " + std::to_string(scan.pos) + " threads " +
                         std::to_string(threads));
            rovurer::scan_options options;
            options.threads = threads;
            const rovurer::result<rovurer::found> all =
                rovurer::find(source, scan.pattern, where, rovurer::to_end, options);
            ASSERT_TRUE(all.ok());
            EXPECT_EQ(all->positions, expected);
            EXPECT_EQ(all->next, 0);
            // Pages of seven, each going on where the last stopped.
            std::vector<std::uint64_t> paged;
            rovurer::range rest = where;
            for (int page = 0; page < 10000; ++page) {
                const rovurer::result<rovurer::found> some = rovurer::find(source, scan.pattern, rest, 7, options);
                ASSERT_TRUE(some.ok());
                paged.insert(paged.end(), some->positions.begin(), some->positions.end());
                if (some->next == 0) {
                    break;
                }
                EXPECT_EQ(some->positions.size(), 7U);
                EXPECT_EQ(some->next, static_cast<std::int64_t>(some->positions.back()) + 1);
                rest = where.from(some->next);
            }
            EXPECT_EQ(paged, expected);
            // A page that ends with the range's last digit leaves nothing to
            // go on with: no next.
            const std::string last(1, text.back());
            const std::vector<std::uint64_t> lasts = positions_in(text, last, scan.pos);
            const rovurer::result<rovurer::found> to_the_end =
                rovurer::find(source, last, where, static_cast<std::int64_t>(lasts.size()), options);
            ASSERT_TRUE(to_the_end.ok());
            EXPECT_EQ(to_the_end->positions, lasts);
            EXPECT_EQ(to_the_end->next, 0);

            const rovurer::result<rovurer::digit_counts> counted = rovurer::count(source, where, options);
            ASSERT_TRUE(counted.ok());
            EXPECT_EQ(*counted, expected_counts);

            const rovurer::result<rovurer::comparison> same = rovurer::compare(source, source, where, options);
            ASSERT_TRUE(same.ok());
            EXPECT_EQ(same->difference, 0);
            EXPECT_EQ(same->compared, static_cast<std::int64_t>(text.size()));
            EXPECT_EQ(same->ends_first, 0);

            // Word 123 from the top ends at position 124 words' digits.
            const std::int64_t per_word = scan.base == 10 ? 19 : scan.base == 16 ? 16 : 64;
            const std::int64_t changed_at = 124 * per_word;
            const rovurer::result<rovurer::comparison> differ = rovurer::compare(source, other, where, options);
            ASSERT_TRUE(differ.ok());
            const bool within = changed_at >= scan.pos && changed_at < where_end;
            EXPECT_EQ(differ->difference, within ? changed_at : 0);

            const rovurer::result<rovurer::comparison> cut = rovurer::compare(source, shorter, where, options);
            ASSERT_TRUE(cut.ok());
            const std::int64_t short_end = 300 * per_word + 1;
            if (cut->difference == 0) {
                EXPECT_EQ(cut->ends_first, where_end > short_end ? 2 : 0);
                EXPECT_EQ(cut->compared, std::min(where_end, short_end) - scan.pos);
            }
        }
    }
    // What cannot be searched for, and options that cannot be.
    const rovurer::result<rovurer::found> letters = rovurer::find(source, "12a", {10, 1, 10});
    ASSERT_FALSE(letters.ok());
    EXPECT_EQ(letters.error().code, rovurer::errc::bad_digits);
    EXPECT_EQ(letters.error().message, "'12a' is not a string of base-10 digits");
    EXPECT_FALSE(rovurer::find(source, "", {10, 1, 10}).ok());
    rovurer::scan_options unknown;
    unknown.kernels = "nonesuch";
    const rovurer::result<rovurer::digit_counts> refused = rovurer::count(source, {10, 1, 10}, unknown);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, rovurer::errc::bad_option);
    EXPECT_EQ(refused.error().message.rfind("kernel set 'nonesuch' is unknown (known: portable", 0), 0U);
    const rovurer::result<rovurer::comparison> past = rovurer::compare(source, shorter, {10, 5800, 10});
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.error().file, 2);
    EXPECT_EQ(past.error().code, rovurer::errc::past_end);
}

TEST(Api, EveryKernelSetGivesTheSameAnswers) {
    const small_parts parts;
    const std::string path = write_digit_file("api-kernels", mixed_words(500, 3), 2);
    const rovurer::file source = open_or_fail(path);
    for (const int base : {2, 10, 16}) {
        const rovurer::range where{base, 3, 9000};
        const std::string expected = read_text(source, where, 9000);
        const rovurer::result<rovurer::digit_counts> expected_counts = rovurer::count(source, where);
        ASSERT_TRUE(expected_counts.ok());
        for (const std::string_view set : rovurer::kernel_sets()) {
            rovurer::scan_options options;
            options.kernels = set;
            options.threads = 2;
            EXPECT_EQ(read_text(source, where, 9000, options), expected) << set << " base " << base;
            const rovurer::result<rovurer::digit_counts> counted = rovurer::count(source, where, options);
            ASSERT_TRUE(counted.ok());
            EXPECT_EQ(*counted, *expected_counts) << set << " base " << base;
        }
    }
}

TEST(Api, AStopEndsTheCallWithinAChunkOfEachThread) {
    const small_parts parts;
    const std::string path = write_digit_file("api-stop", mixed_words(20000, 5), 0);
    const rovurer::file source = open_or_fail(path);
    for (const int threads : {1, 2}) {
        for (int call = 0; call < 3; ++call) {
            SCOPED_TRACE("threads " + std::to_string(threads) + " call " + std::to_string(call));
            std::stop_source stopper;
            int reports_after_stop = 0;
            bool stopped = false;
            rovurer::scan_options options;
            options.threads = threads;
            options.stop = stopper.get_token();
            // Reports come one at a time: the counters need no lock.
            options.progress = [&](std::int64_t /*done*/, std::int64_t /*total*/) {
                reports_after_stop += stopped ? 1 : 0;
                stopped = true;
                stopper.request_stop();
            };
            const rovurer::range where{10, 1, rovurer::to_end};
            rovurer::error failure;
            if (call == 0) {
                failure = rovurer::count(source, where, options).error();
            } else if (call == 1) {
                failure = rovurer::find(source, "12345678", where, rovurer::to_end, options).error();
            } else {
                failure = rovurer::compare(source, source, where, options).error();
            }
            EXPECT_EQ(failure.code, rovurer::errc::stopped);
            // Each other thread ends at most the chunk it was in.
            EXPECT_LE(reports_after_stop, threads - 1);
        }
    }
    // A stop asked for before the call: no digit is read.
    std::stop_source early;
    early.request_stop();
    rovurer::scan_options options;
    options.stop = early.get_token();
    std::string digits(100, '\0');
    const rovurer::result<std::int64_t> got = rovurer::read(source, {10, 1, 100}, digits, options);
    ASSERT_FALSE(got.ok());
    EXPECT_EQ(got.error().code, rovurer::errc::stopped);
}

TEST(Api, TheFormatterLaysDigitsOutAsTheCommandLine) {
    const std::string path = write_digit_file("api-format", mixed_words(40, 9), 0);
    const rovurer::file source = open_or_fail(path);
    struct format_case {
        rovurer::layout shape;
        std::int64_t pos;
        std::int64_t count;
    };
    const format_case cases[] = {
        {{10, 0, true}, 1, 95}, {{10, 0, true}, 3, 100}, {{5, 20, true}, 7, 103},
        {{0, 7, false}, 1, 50}, {{3, 9, true}, 95, 61},  {{4, 0, true}, 1, 1},
    };
    for (const format_case& laid : cases) {
        const std::string digits = read_text(source, {10, laid.pos, laid.count}, static_cast<std::size_t>(laid.count));
        const rovurer::result<std::string> text = rovurer::format(digits, laid.pos, laid.shape);
        ASSERT_TRUE(text.ok());
        std::vector<std::string> args = {"rovurer", "--group", std::to_string(laid.shape.group)};
        if (laid.shape.per_line > 0) {
            args.insert(args.end(), {"--per-line", std::to_string(laid.shape.per_line)});
        }
        if (!laid.shape.labels) {
            args.emplace_back("--no-labels");
        }
        args.insert(args.end(), {path, "10", std::to_string(laid.pos), std::to_string(laid.count)});
        const run_result shown = run_tool(args);
        ASSERT_EQ(shown.status, 0) << shown.err;
        // One line ends with a newline on the command line.
        const std::string expected = laid.shape.per_line == 0 ? shown.out.substr(0, shown.out.size() - 1) : shown.out;
        EXPECT_EQ(*text, expected) << "group " << laid.shape.group << " per line " << laid.shape.per_line;
    }
    EXPECT_FALSE(rovurer::format("123", 1, {-1, 0, true}).ok());
    EXPECT_FALSE(rovurer::format("123", 0).ok());
}

}  // namespace
