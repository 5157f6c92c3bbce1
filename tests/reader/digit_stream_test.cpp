#include "reader/digit_stream.h"

#include <gtest/gtest.h>

#include <bit>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <filesystem>

#include <string>
#include <vector>

#include "parallel/output.h"
#include "reader/digit_run.h"
#include "rovurer/info.h"
#include "test_support.h"

using namespace rovurer;

namespace {

const std::vector<std::uint64_t> pi_words = {6264338327950288419ULL, 1415926535897932384ULL, 3};
const std::vector<std::uint64_t> hex_words = {0x243F6A8885A308D3ULL, 3};

TEST(DigitStream, DecimalPositionsMapToWords) {
    const std::string path = write_digit_file("pi3", pi_words, 1);
    EXPECT_EQ(digits_of(path, 10, 0, 50), "14159265358979323846264338327950288419");
    EXPECT_EQ(digits_of(path, 10, 18, 20), "46264338327950288419");
    EXPECT_EQ(digits_of(path, 10, 19, 50), "6264338327950288419");
    EXPECT_EQ(digits_of(path, 10, 37, 50), "9");
    EXPECT_EQ(digits_of(path, 10, 38, 1), "REFUSED");
}

TEST(DigitStream, BinaryAndHexPositionsMapToBits) {
    const std::string path = write_digit_file("hex2", hex_words, 1);
    EXPECT_EQ(digits_of(path, 16, 0, 50), "243F6A8885A308D3");
    EXPECT_EQ(digits_of(path, 16, 1, 50), "43F6A8885A308D3");
    EXPECT_EQ(digits_of(path, 16, 16, 1), "REFUSED");
    EXPECT_EQ(digits_of(path, 2, 2, 8), "10010000");
    EXPECT_EQ(digits_of(path, 2, 3, 100).size(), 61U);
    EXPECT_EQ(digits_of(path, 2, 63, 100), "1");
    EXPECT_EQ(digits_of(path, 2, 64, 1), "REFUSED");

    const std::string no_lead = write_digit_file("hex2-nolead", hex_words, 0);
    EXPECT_EQ(digits_of(no_lead, 16, 0, 50), "0000000000000003243F6A8885A308D3");
    EXPECT_EQ(digits_of(no_lead, 16, 17, 50), "43F6A8885A308D3");
}

TEST(DigitStream, DecimalWordValues) {
    const std::string path = write_digit_file("values", {0, 18446744073709551615ULL, 10000000000000000000ULL, 3}, 0);
    EXPECT_EQ(digits_of(path, 10, 0, 19), "0000000000000000003");
    // 10^19 and 2^64 - 1 keep only their 19 low-order digits.
    EXPECT_EQ(digits_of(path, 10, 19, 19), "0000000000000000000");
    EXPECT_EQ(digits_of(path, 10, 38, 19), "8446744073709551615");
    EXPECT_EQ(digits_of(path, 10, 57, 19), "0000000000000000000");
    EXPECT_EQ(digits_of(path, 2, 128, 64), std::string(64, '1'));
}

TEST(DigitStream, EndOfDataRepeats) {
    const std::string path = write_digit_file("end", hex_words, 1);
    digit_stream* stream = digit_stream_open(path.c_str(), 16, 10);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(take_digits(stream, 100), "A308D3");
    EXPECT_EQ(digit_stream_next(stream), digit_stream_end);
    EXPECT_EQ(digit_stream_next(stream), digit_stream_end);
    digit_stream_close(stream);
}

TEST(DigitStream, RefusesBadBasesHeadersAndPositions) {
    const std::string good = write_digit_file("good", pi_words, 1);
    for (const int base : {0, 1, 3, 8, 36, -10}) {
        EXPECT_EQ(digit_stream_open(good.c_str(), base, 0), nullptr) << base;
    }
    EXPECT_EQ(digit_stream_open(good.c_str(), 10, -1), nullptr);
    EXPECT_EQ(digit_stream_open(good.c_str(), 16, -16), nullptr);
    EXPECT_EQ(digit_stream_open((temp_folder() + "/missing").c_str(), 10, 0), nullptr);
    EXPECT_EQ(digit_stream_open(temp_folder().c_str(), 10, 0), nullptr);

    fixture_header header;
    header.word_count = 3;
    header.lead_words = 1;
    header.kind = 1;
    EXPECT_EQ(digits_of(write_digit_file("kind1", header, pi_words), 10, 0, 1), "REFUSED");
    header.kind = 2;
    header.magic[7] = 'F';
    EXPECT_EQ(digits_of(write_digit_file("magic", header, pi_words), 10, 0, 1), "REFUSED");
    header.magic = std::string(
        "MPT\x01"
        "FILE",
        8);
    header.lead_words = -1;
    EXPECT_EQ(digits_of(write_digit_file("negative-lead", header, pi_words), 10, 0, 1), "REFUSED");
    header.lead_words = 3;
    EXPECT_EQ(digits_of(write_digit_file("all-lead", header, pi_words), 10, 0, 1), "REFUSED");
    header.lead_words = 0;
    header.word_count = -5;
    EXPECT_EQ(digits_of(write_digit_file("negative-count", header, pi_words), 10, 0, 1), "REFUSED");

    // 55 bytes of a valid header are not enough; 56 with no data area are.
    const std::string full = std::string(
                                 "MPT\x01"
                                 "FILE",
                                 8) +
                             std::string(48, '\0');
    std::string header_only = full;
    header_only[8] = 1;   // word_count 1
    header_only[24] = 2;  // kind 2
    EXPECT_EQ(digits_of(write_bytes("short55", header_only.substr(0, 55)), 10, 0, 1), "REFUSED");
    int last = 0;
    EXPECT_EQ(digits_of(write_bytes("short56", header_only), 10, 0, 1, &last), "");
    EXPECT_EQ(last, digit_stream_read_failed);
}

// Each refusal, from a file made to fail that way, says why.
TEST(DigitStream, RefusalsSayWhy) {
    using reason = digit_stream_refusal::reason;
    using digit_file::check;
    const std::string good = write_digit_file("why-good", pi_words, 1);
    fixture_header header;
    header.word_count = 3;
    header.kind = 1;
    const std::string kind1 = write_digit_file("why-kind1", header, pi_words);
    header.kind = 2;
    header.lead_words = -4;
    const std::string negative_lead = write_digit_file("why-negative-lead", header, pi_words);
    header.lead_words = 0;
    header.magic[3] = 2;
    const std::string magic = write_digit_file("why-magic", header, pi_words);
    const std::string short55 = write_bytes("why-short55", std::string(55, 'x'));
    struct refusal_case {
        std::string path;
        int base;
        std::int64_t offset;
        reason why;
        check file_check;
        int open_error;  // for cannot_open
    };
    std::vector<refusal_case> cases = {
        {good, 8, 0, reason::unsupported_base, check::ok, 0},
        {good, 10, -1, reason::negative_offset, check::ok, 0},
        {temp_folder() + "/why-missing", 10, 0, reason::not_a_digit_file, check::cannot_open, ENOENT},
        {short55, 10, 0, reason::not_a_digit_file, check::too_short, 0},
        {magic, 10, 0, reason::not_a_digit_file, check::wrong_magic, 0},
        {kind1, 16, 0, reason::not_a_digit_file, check::wrong_kind, 0},
        {negative_lead, 2, 0, reason::not_a_digit_file, check::negative_lead_words, 0},
        {good, 10, 38, reason::past_end, check::ok, 0},
    };
#ifndef _WIN32
    cases.push_back({temp_folder(), 10, 0, reason::not_a_digit_file, check::cannot_open, EISDIR});
    const std::string fifo = temp_folder() + "/why-fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, 10, 0, reason::not_a_digit_file, check::cannot_open, ESPIPE});
#endif
#ifdef __linux__
    cases.push_back({"/dev/null", 10, 0, reason::not_a_digit_file, check::unreadable, 0});
#endif
    for (const refusal_case& c : cases) {
        digit_stream_refusal refusal;
        EXPECT_EQ(digit_stream_open(c.path.c_str(), c.base, c.offset, &refusal), nullptr) << c.path;
        EXPECT_EQ(refusal.why, c.why) << c.path;
        EXPECT_EQ(refusal.file.check, c.file_check) << c.path;
        if (c.file_check == check::cannot_open) {
            EXPECT_EQ(refusal.file.open_error, c.open_error) << c.path;
        }
    }
    digit_stream_refusal past_end;
    digit_stream_open(good.c_str(), 10, 38, &past_end);
    EXPECT_EQ(past_end.file.header.word_count, 3);  // for the message's digit count
    EXPECT_EQ(past_end.file.header.lead_words, 1);

    // A data region that ends in part of a word opens; the read of the words
    // the header declares then fails.
    header.magic[3] = 1;
    header.word_count = 4;
    std::string partial = file_contents(write_digit_file("why-partial", header, pi_words));
    partial += "abc";
    const std::string partial_path = write_bytes("why-partial", partial);
    int last = 0;
    EXPECT_EQ(digits_of(partial_path, 10, 0, 5, &last), "");
    EXPECT_EQ(last, digit_stream_read_failed);
}

// Nothing is left open: after a stream's close, after each refusal, and
// after --info's look at a file.
TEST(DigitStream, NoDescriptorIsLeftOpen) {
#ifndef __linux__
    GTEST_SKIP() << "/proc/self/fd exists on Linux only";
#else
    const auto open_descriptors = [] {
        const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
        return std::distance(std::filesystem::begin(entries), std::filesystem::end(entries));
    };
    const std::string good = write_digit_file("fd-good", pi_words, 1);
    fixture_header header;
    header.kind = 3;
    const std::string bad = write_digit_file("fd-bad", header, pi_words);
    const auto before = open_descriptors();
    for (const std::string& path : {good, bad, temp_folder(), std::string("/dev/null"), temp_folder() + "/fd-none"}) {
        for (const std::int64_t offset : {std::int64_t{0}, std::int64_t{1000}}) {
            digit_stream* stream = digit_stream_open(path.c_str(), 10, offset);
            if (stream != nullptr) {
                EXPECT_EQ(take_digits(stream, 5), "14159");
            }
            digit_stream_close(stream);
            EXPECT_EQ(open_descriptors(), before) << path << ' ' << offset;
        }
        const rovurer::result<rovurer::file_report> report = rovurer::inspect(path);
        static_cast<void>(report);
        EXPECT_EQ(open_descriptors(), before) << "--info " << path;
    }
#endif
}

TEST(DigitStream, OffsetArithmeticNeverOverflows) {
    fixture_header header;
    header.word_count = INT64_MAX;
    header.lead_words = 0;
    const std::string huge = write_digit_file("huge", header, {1});
    constexpr std::int64_t max = INT64_MAX;
    // An offset that overflows when turned into bits is still mapped exactly:
    // max / 16 words down in base 16, max / 64 in base 2.
    for (const int base : {2, 16}) {
        digit_stream* stream = digit_stream_open(huge.c_str(), base, max);
        ASSERT_NE(stream, nullptr) << base;
        // The first block lies far past any byte offset: a failed read, not a
        // read from a wrapped-around place.
        EXPECT_EQ(digit_stream_next(stream), digit_stream_read_failed);
        digit_stream_close(stream);
    }
    header.lead_words = max;
    EXPECT_EQ(digits_of(write_digit_file("huge-lead", header, {1}), 10, max, 1), "REFUSED");
    header.word_count = INT64_MIN;
    header.lead_words = max;
    EXPECT_EQ(digits_of(write_digit_file("min-count", header, {1}), 10, max, 1), "REFUSED");
    // ~2^60 words: the offset of the top block cannot be represented.
    header.word_count = std::int64_t{1} << 60;
    header.lead_words = 0;
    int last = 0;
    EXPECT_EQ(digits_of(write_digit_file("2p60", header, {1}), 10, 0, 1, &last), "");
    EXPECT_EQ(last, digit_stream_read_failed);
}

TEST(DigitStream, DeclaredWordsBeyondTheFileFailTheRead) {
    fixture_header header;
    header.word_count = 5;
    const std::string path = write_digit_file("declared5", header, {1, 2, 3});
    int last = 0;
    EXPECT_EQ(digits_of(path, 10, 0, 100, &last), "");
    EXPECT_EQ(last, digit_stream_read_failed);
    // A position below the missing words reads only what is there.
    EXPECT_EQ(digits_of(path, 10, 38, 19), "0000000000000000003");
    // In bulk too: a first read that fails is a failure, not the end (0).
    for (const int base : {10, 16, 2}) {
        digit_stream* stream = digit_stream_open(path.c_str(), base, 0);
        ASSERT_NE(stream, nullptr);
        char digits[200];
        EXPECT_EQ(digit_stream_read(stream, digits, sizeof digits), digit_stream_read_failed) << base;
        EXPECT_EQ(digit_stream_read(stream, digits, sizeof digits), digit_stream_read_failed) << base;
        EXPECT_TRUE(digit_stream_failed(stream));
        digit_stream_close(stream);
    }
}

// Word i of the data region holds i, so every digit tells where it came from.
class BlockBoundaries : public ::testing::Test {
protected:
    static std::string file_of(std::int64_t word_count) {
        std::vector<std::uint64_t> words(static_cast<std::size_t>(word_count));
        for (std::size_t i = 0; i < words.size(); ++i) {
            words[i] = i;
        }
        return write_digit_file("blocks" + std::to_string(word_count), words, 0);
    }
    static std::string decimal(std::uint64_t value) {
        std::string digits = std::to_string(value);
        return std::string(19 - digits.size(), '0') + digits;
    }
};

TEST_F(BlockBoundaries, OneFullBlock) {
    const std::string path = file_of(block_words);
    digit_stream* stream = digit_stream_open(path.c_str(), 10, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(take_digits(stream, 19), decimal(block_words - 1));
    EXPECT_EQ(digit_stream_progress(stream).words_left, 0);
    EXPECT_EQ(digit_stream_progress(stream).buffered, static_cast<std::uint64_t>(block_words - 1));
    digit_stream_close(stream);
    EXPECT_EQ(digits_of(path, 10, 19 * (block_words - 1), 100), decimal(0));
}

TEST_F(BlockBoundaries, OneWordMoreMakesASecondBlock) {
    const std::string path = file_of(block_words + 1);
    digit_stream* stream = digit_stream_open(path.c_str(), 10, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(take_digits(stream, 19), decimal(block_words));
    EXPECT_EQ(digit_stream_progress(stream).words_left, 1);  // the first block started at byte 4104
    std::string rest = take_digits(stream, 19 * block_words + 5);
    ASSERT_EQ(rest.size(), 19U * block_words);
    // Digit 19,922,945 is the first of the last word, from the second block.
    EXPECT_EQ(rest.substr(rest.size() - 38), decimal(1) + decimal(0));
    EXPECT_EQ(digit_stream_progress(stream).words_left, 0);
    EXPECT_EQ(digit_stream_next(stream), digit_stream_end);
    digit_stream_close(stream);

    EXPECT_EQ(digits_of(path, 16, 16 * block_words - 1, 100), std::string("1").append(16, '0'));
}

// Reads sized to need: the first read holds the words asked for and little
// more; later reads grow. Word i of a file of block_words + 3000 words holds
// i, so each digit tells which word it came from, across reads and blocks.
TEST_F(BlockBoundaries, ReadsSizedToNeed) {
    const std::int64_t word_count = block_words + 3000;
    const std::string path = file_of(word_count);
    struct read_case {
        int base;
        std::int64_t offset;
        std::int64_t count;
        std::int64_t bytes;  // of the data region, read
        std::int64_t reads;
    };
    const std::int64_t top_block = block_words;  // words of the top block
    const read_case cases[] = {
        // The first read ends at the first word shown and starts on the page
        // boundary at least 512 words (a page) below it, so with the page
        // that holds the first word it spans most of two pages.
        {10, 0, 50, 7616, 1},                            // words 1050624 to 1051575
        {16, std::int64_t{16} * 511 + 3, 50, 7624, 1},   // 1050112 to 1051064, straddling a page boundary
        {2, std::int64_t{64} * 700, 50, 6112, 1},        // 1050112 to 1050875
        {10, std::int64_t{19} * 4000 + 18, 1, 4288, 1},  // 1047040 to 1047575
        {10, 19 * (top_block - 1) - 5, 60, 7632, 1},     // near the bottom: words 2048 to 3001
        {16, 1600, 80000, 43680, 1},                     // 5,000 words asked for at once: 1046016 to 1051475
        {16, 0, 16 * word_count, 8 * word_count, 2},     // everything, each word once: a read per block
    };
    for (const read_case& c : cases) {
        digit_stream* stream = digit_stream_open(path.c_str(), c.base, c.offset);
        ASSERT_NE(stream, nullptr);
        std::string digits(static_cast<std::size_t>(c.count), '#');
        const std::int64_t got = digit_stream_read(stream, digits.data(), c.count);
        const word_source::reading reading = digit_stream_progress(stream);
        digit_stream_close(stream);
        ASSERT_EQ(got, c.count) << c.base << ' ' << c.offset;
        EXPECT_EQ(reading.bytes_read, c.bytes) << c.base << ' ' << c.offset;
        EXPECT_EQ(reading.reads, c.reads) << c.base << ' ' << c.offset;
        // The same digits one at a time, which reads in the smallest steps.
        EXPECT_EQ(digits, digits_of(path, c.base, c.offset, c.count)) << c.base << ' ' << c.offset;
    }
    // Digits by the word they came from, from the top: word w shows w.
    EXPECT_EQ(digits_of(path, 10, std::int64_t{19} * 3000, 19), decimal(static_cast<std::uint64_t>(word_count - 3001)));
    EXPECT_EQ(digits_of(path, 10, 19 * (top_block - 1), 38), decimal(3000) + decimal(2999));
}

// Reads grow by doubling after the first, whatever a later request asks for;
// a run that asks for fewer digits than the data holds reads nothing below
// them (but the rest of their page).
TEST_F(BlockBoundaries, LaterReadsDoubleAndRunsReadNoFurther) {
    const std::string path = file_of(block_words + 3000);
    digit_stream* stream = digit_stream_open(path.c_str(), 10, 0);
    ASSERT_NE(stream, nullptr);
    std::string digits(100000, '#');
    ASSERT_EQ(digit_stream_read(stream, digits.data(), 1), 1);
    ASSERT_EQ(digit_stream_read(stream, digits.data(), 100000), 100000);
    const word_source::reading doubled = digit_stream_progress(stream);
    digit_stream_close(stream);
    EXPECT_EQ(doubled.reads, 2);
    EXPECT_EQ(doubled.bytes_read, 7616 + 8 * 4608);  // 952 words, then the 5264 needed down to their page
    for (const std::int64_t wanted : {1, 19, 5000, 19 * 4000 + 7, 19 * 70000}) {
        digit_run run(path.c_str(), 10, 1, wanted);
        std::vector<char> text(static_cast<std::size_t>(digit_run::chunk_digits));
        while (run.read(text.data(), digit_run::chunk_digits) > 0) {
        }
        const std::int64_t needed_words = (wanted + 18) / 19;
        // Page-aligned reads: at most a page of words below the last one needed.
        EXPECT_LE(run.progress().bytes_read, 8 * (needed_words + 512) + 4096) << wanted;
        EXPECT_GE(run.progress().bytes_read, 8 * needed_words) << wanted;
    }
}

// Read in place, long spans are mapped: the same digits from the same bytes
// of the file as reads give; spans under view_words are still read.
TEST_F(BlockBoundaries, MappedSpansGiveWhatReadsGive) {
    const std::int64_t word_count = block_words + 3000;
    const std::string path = file_of(word_count);
    struct view_case {
        int base;
        std::int64_t pos;
        std::int64_t count;
        std::int64_t reads;  // reads and mappings; -1: as without mapping
        std::int64_t bytes;  // of the data region, read or taken in place; -1: as without mapping
    };
    const std::int64_t view = word_source::view_words;
    const view_case cases[] = {
        {16, 1, 16 * word_count, 2, 8 * word_count},  // the top block mapped, the last 3000 words read
        {10, 19 * (word_count - view) - 4, 19 * view, 1, 8 * (view + 1)},  // mapped: the words taken, no more
        {2, 64 * 5000 + 9, 64 * (view - 600), -1, -1},                     // a page under view_words: reads
    };
    for (const view_case& c : cases) {
        digit_run mapped(path.c_str(), c.base, c.pos, c.count);
        digit_run read(path.c_str(), c.base, c.pos, c.count);
        ASSERT_TRUE(mapped.opened() && read.opened());
        mapped.read_in_place();
        std::string in_place(static_cast<std::size_t>(c.count), '#');
        std::string copied(static_cast<std::size_t>(c.count), '#');
        for (std::int64_t got = 0; got < c.count;) {
            const std::int64_t step = mapped.read(in_place.data() + got, c.count - got);
            ASSERT_GT(step, 0) << c.base << ' ' << c.pos;
            ASSERT_EQ(read.read(copied.data() + got, step), step);
            got += step;
        }
        EXPECT_EQ(in_place, copied) << c.base << ' ' << c.pos;
        EXPECT_EQ(mapped.read(in_place.data(), 1), 0);
        // Machines that cannot map read as without mapping.
        const bool maps = mapped.progress().mapped > 0;
        EXPECT_EQ(mapped.progress().bytes_read, c.bytes >= 0 && maps ? c.bytes : read.progress().bytes_read)
            << c.base << ' ' << c.pos;
        EXPECT_EQ(mapped.progress().reads, c.reads >= 0 && maps ? c.reads : read.progress().reads)
            << c.base << ' ' << c.pos;
#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
        EXPECT_EQ(maps, c.reads >= 0) << c.base << ' ' << c.pos;
#endif
    }
}

// A stream limited to fewer words than it then hands out maps its block
// down to the limit only; the words below are read when they are taken.
TEST_F(BlockBoundaries, WordsBelowAMappedLimitAreRead) {
    const std::int64_t word_count = block_words + 3000;
    const std::string path = file_of(word_count);
    digit_stream* stream = digit_stream_open(path.c_str(), 16, 0);
    ASSERT_NE(stream, nullptr);
    digit_stream_limit(stream, 16 * word_source::view_words);
    digit_stream_read_in_place(stream);
    const std::int64_t count = 16 * (word_source::view_words + 5000);
    std::string digits(static_cast<std::size_t>(count), '#');
    ASSERT_EQ(digit_stream_read(stream, digits.data(), count), count);
    EXPECT_FALSE(digit_stream_failed(stream));
    digit_stream_close(stream);
    EXPECT_EQ(digits, digits_of(path, 16, 0, count));
}

// A mapped page that can no longer be read (here, the file cut below words
// already in use) fails the next read as a short read does, instead of
// stopping the process with a bus error.
TEST_F(BlockBoundaries, MappedPagesLostFailTheReadNotTheProcess) {
    SKIP_UNLESS_LINUX("mapping a file that is then cut");
    const std::int64_t word_count = 2 * word_source::view_words;
    const std::string path = file_of(word_count);
    digit_run run(path.c_str(), 16, 1, 16 * word_count);
    ASSERT_TRUE(run.opened());
    run.read_in_place();
    const std::int64_t some = std::int64_t{16} * 1000;
    std::string digits(static_cast<std::size_t>(some), '#');
    ASSERT_EQ(run.read(digits.data(), some), some);
    EXPECT_EQ(digits.substr(0, 16), "000000000003FFFF");  // word 262143
    std::filesystem::resize_file(fs_path(path), 4096 + 8 * 1000);
    EXPECT_EQ(run.read(digits.data(), some), digit_run::read_failed);
    EXPECT_TRUE(run.failed());
    EXPECT_EQ(run.read(digits.data(), 16), digit_run::read_failed);
}

// A take touches the mapped pages of its words before it hands them out:
// a page lost before then fails the take itself, so no word of it is used.
TEST_F(BlockBoundaries, ATakeOfMappedWordsFindsALostPageFirst) {
    SKIP_UNLESS_LINUX("mapping a file that is then cut");
    if (sizeof(void*) < 8 || std::endian::native != std::endian::little) {
        GTEST_SKIP() << "words are mapped on 64-bit little-endian machines only";
    }
    const std::int64_t word_count = 4 * word_source::view_words;
    for (const std::int64_t first_take : {std::int64_t{1}, std::int64_t{5000}}) {
        const std::string path = file_of(word_count);
        word_source source;
        ASSERT_TRUE(source.open(platform::open_read(path.c_str(), nullptr), word_count));
        source.use_views();
        ASSERT_EQ(source.refill(), 0);
        const std::uint64_t* const top = source.take(static_cast<std::uint64_t>(first_take));
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(top[first_take - 1], static_cast<std::uint64_t>(word_count - 1));
        ASSERT_EQ(source.progress().mapped, 1);
        std::filesystem::resize_file(fs_path(path), 4096 + 8 * 1000);
        EXPECT_EQ(source.take(4096), nullptr) << "after a take of " << first_take;
        EXPECT_TRUE(source.failed());
    }
}

// A source takes its block buffer at the first read that needs one: one
// that maps what it goes through never takes it.
TEST_F(BlockBoundaries, TheBlockBufferIsTakenAtTheFirstReadThatNeedsIt) {
    const std::int64_t word_count = 2 * word_source::view_words;
    const std::string path = file_of(word_count);
#ifdef _WIN32
    const bool maps = false;  // the Windows platform layer reads where others map
#else
    const bool maps = sizeof(void*) == 8 && std::endian::native == std::endian::little;
#endif
    for (const bool views : {false, true}) {
        word_source source;
        ASSERT_TRUE(source.open(platform::open_read(path.c_str(), nullptr), word_count));
        EXPECT_FALSE(source.progress().has_buffer);
        if (views) {
            source.use_views();
        }
        ASSERT_EQ(source.refill(), 0);
        ASSERT_NE(source.take(1000), nullptr);
        EXPECT_EQ(source.progress().has_buffer, !(views && maps)) << (views ? "mapped" : "read");
    }
}

}  // namespace
