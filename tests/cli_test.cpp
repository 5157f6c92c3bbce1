// End-to-end tests of the built rovurer: standard output, standard error and
// exit status, exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string usage =
    "usage: rovurer filename base pos [nb_digits]\n\nDump digits using vor internal floating point format\n"
    "Example to display 50 digits starting from position 1:\nrovurer pi_base10 10 1\n";

const std::string& pi3() {
    static const std::string path = write_digit_file("pi3", {6264338327950288419ULL, 1415926535897932384ULL, 3}, 1);
    return path;
}

const std::string& hex2() {
    static const std::string path = write_digit_file("hex2", {0x243F6A8885A308D3ULL, 3}, 1);
    return path;
}

TEST(Cli, UsageWhenArgumentsAreMissing) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rovurer"}, {"rovurer", pi3()}, {"/some/other-name", pi3(), "10"}}) {
        const run_result run = run_tool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, usage);
        EXPECT_EQ(run.err, "");
    }
}

TEST(Cli, GroupsOfTen) {
    expect_shown(run_tool({"rovurer", pi3(), "10", "1"}), "1415926535 8979323846 2643383279 50288419");
    expect_shown(run_tool({"rovurer", pi3(), "10", "1", "10"}), "1415926535");
    expect_shown(run_tool({"rovurer", pi3(), "10", "1", "11"}), "1415926535 8");
    expect_shown(run_tool({"rovurer", pi3(), "10", "1", "20"}), "1415926535 8979323846");
    // The data ends right after a tenth digit: the space after it stays.
    expect_shown(run_tool({"rovurer", pi3(), "10", "19"}), "4626433832 7950288419 ");
    expect_shown(run_tool({"rovurer", pi3(), "10", "19", "20"}), "4626433832 7950288419");
    expect_shown(run_tool({"rovurer", pi3(), "10", "20"}), "6264338327 950288419");
    expect_shown(run_tool({"rovurer", pi3(), "10", "38"}), "9");
    expect_shown(run_tool({"rovurer", hex2(), "16", "1"}), "243F6A8885 A308D3");
    expect_shown(run_tool({"rovurer", hex2(), "16", "2"}), "43F6A8885A 308D3");
    expect_shown(run_tool({"rovurer", hex2(), "2", "3", "8"}), "10010000");
    expect_shown(run_tool({"rovurer", hex2(), "2", "1", "64", "ignored", "args"}),
                 "0010010000 1111110110 1010100010 0010000101 1010001100 0010001101 0011");
    const std::string no_lead = write_digit_file("hex2-nolead", {0x243F6A8885A308D3ULL, 3}, 0);
    expect_shown(run_tool({"rovurer", no_lead, "16", "1"}), "0000000000 000003243F 6A8885A308 D3");
}

TEST(Cli, ArgumentConversions) {
    std::vector<std::uint64_t> words(60, 1234567890123456789ULL);
    const std::string file = write_digit_file("many", words, 0);
    const std::string from_1000 = run_tool({"rovurer", file, "10", "1000", "5"}).out;
    EXPECT_EQ(from_1000, "23456\n");  // 999 = 52 * 19 + 11
    EXPECT_EQ(run_tool({"rovurer", file, "10", "1e3", "5"}).out, from_1000);
    expect_shown(run_tool({"rovurer", pi3(), "10", "12.9", "3"}), "979");
    expect_shown(run_tool({"rovurer", hex2(), "16abc", "1", "4"}), "243F");
    expect_refused(run_tool({"rovurer", hex2(), "0x10", "1"}), hex2());
    expect_shown(run_tool({"rovurer", pi3(), "10", "1", "0"}), "");
    expect_shown(run_tool({"rovurer", pi3(), "10", "1", "-5"}), "");
    expect_shown(run_tool({"rovurer", pi3(), "10", "1", "junk"}), "");
    // 2^32 + 2 digits: saturates rather than wrapping to 2.
    expect_shown(run_tool({"rovurer", pi3(), "10", "37", "4294967298"}), "19");
}

TEST(Cli, RefusalsShareOneMessage) {
    const std::string missing = temp_folder() + "/no such file";
    expect_refused(run_tool({"rovurer", missing, "10", "1"}), missing);
    expect_refused(run_tool({"rovurer", pi3(), "8", "1"}), pi3());
    expect_refused(run_tool({"rovurer", pi3(), "4294967306", "1"}), pi3());
    expect_refused(run_tool({"rovurer", pi3(), "10", "39"}), pi3());
    expect_refused(run_tool({"rovurer", pi3(), "10", "39", "0"}), pi3());
    expect_refused(run_tool({"rovurer", hex2(), "16", "17"}), hex2());
    expect_refused(run_tool({"rovurer", "relative/../name", "10", "1"}), "relative/../name");
}

TEST(Cli, PositionsBelowOneOrOutOfRangeAreRefused) {
    for (const char* pos : {"0", "-1", "abc", "0.9", "-19", "-9223372036854775808", "9223372036854775808", "1e19",
                            "inf", "nan", "-1e300"}) {
        expect_refused(run_tool({"rovurer", pi3(), "10", pos}), pi3());
    }
}

TEST(Cli, ExactPositionsPastDoublePrecision) {
    // Position 2^53 + 1 falls in word 1 of a file declaring 2^53 / 19 + 2
    // words; only words 0 and 1 are ever read. Through a double the position
    // would become 2^53 and show the digits one place earlier.
    constexpr std::int64_t offset = 9007199254740992;  // position 2^53 + 1
    fixture_header header;
    header.word_count = offset / 19 + 2;
    const std::string file = write_digit_file("past2p53", header, {0, 1234567890123456789ULL});
    const auto in_word = static_cast<std::size_t>(offset % 19);  // 10
    expect_shown(run_tool({"rovurer", file, "10", "9007199254740993", "5"}),
                 std::string("1234567890123456789").substr(in_word, 5));
    expect_shown(run_tool({"rovurer", file, "10", "9007199254740992", "5"}),
                 std::string("1234567890123456789").substr(in_word - 1, 5));
}

TEST(Cli, FilesOverFourGibibytes) {
    // 5 GiB of words, sparse: known words at the top, at byte offset 2^32
    // and at the bottom; 32-bit offsets anywhere would misplace them.
    fixture_header header;
    header.word_count = (std::int64_t{5} << 30) / 8;
    header.lead_words = 1;
    const std::int64_t at_4g = ((std::int64_t{1} << 32) - 4096) / 8;
    const std::string path = write_sparse_digit_file("five-gib", header,
                                                     {{header.word_count - 1, 3},
                                                      {header.word_count - 2, 0x243F6A8885A308D3ULL},
                                                      {at_4g, 1234567890123456789ULL},
                                                      {0, 0xFEDCBA9876543210ULL}});
    // Word w shows from position (word_count - 2 - w) * 19 + 1 in base 10.
    const auto position_of = [&](std::int64_t word, int digits_per_word) {
        return std::to_string((header.word_count - 2 - word) * digits_per_word + 1);
    };
    expect_shown(run_tool({"rovurer", path, "16", "1", "20"}), "243F6A8885 A308D30000");
    expect_shown(run_tool({"rovurer", path, "10", position_of(at_4g, 19), "19"}), "1234567890 123456789");
    expect_shown(run_tool({"rovurer", path, "16", position_of(0, 16)}), "FEDCBA9876 543210");
    expect_refused(run_tool({"rovurer", path, "16", std::to_string(16 * (header.word_count - 1) + 1)}), path);
}

TEST(Cli, NonAsciiFileNamesAsTyped) {
    const std::string name = "\xcf\x80 \xe5\x9c\x86\xe5\x91\xa8\xe7\x8e\x87";  // "pi" in Greek and Chinese
    const std::string path = write_digit_file(name, {0x243F6A8885A308D3ULL, 3}, 1);
    expect_shown(run_tool({"rovurer", path, "16", "1", "4"}), "243F");
    const std::string missing = temp_folder() + "/\xc3\xa9t\xc3\xa9 missing";
    expect_refused(run_tool({"rovurer", missing, "10", "1"}), missing);
}

TEST(Cli, FailedReadEndsTheRunWithStatusTwo) {
    fixture_header header;
    header.word_count = 5;  // two more than the file holds
    const std::string file = write_digit_file("truncated", header, {3, 2, 1});
    expect_failed_read(run_tool({"rovurer", file, "10", "1"}));
    // Positions below the missing words are displayable.
    expect_shown(run_tool({"rovurer", file, "10", "58", "3"}), "000");
    header.word_count = std::int64_t{1} << 60;
    expect_failed_read(run_tool({"rovurer", write_digit_file("2p60", header, {1}), "16", "1"}));
}

TEST(Cli, WriteErrorsAreReported) {
    SKIP_UNLESS_LINUX("/dev/full");
    const run_result run = run_tool({"rovurer", pi3(), "10", "1"}, "/dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "rovurer: write error: No space left on device\n");
    const run_result usage_run = run_tool({"rovurer"}, "/dev/full");
    EXPECT_EQ(usage_run.status, 1);
    EXPECT_EQ(usage_run.err, "rovurer: write error: No space left on device\n");
}

// AddressSanitizer reserves terabytes of address space, so the limit is
// tested only without it.
#if defined(__SANITIZE_ADDRESS__)
#define ROVURER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROVURER_ADDRESS_SANITIZER 1
#endif
#endif

#ifndef ROVURER_ADDRESS_SANITIZER
TEST(Cli, BlockBufferThatCannotBeAllocatedIsARefusal) {
    SKIP_UNLESS_LINUX("RLIMIT_AS");
    if (tool_is_wrapped()) {
        GTEST_SKIP() << "an emulator or wrapper needs more address space than the limit";
    }
    // 8 MiB of address space leaves no room for the 8 MiB block buffer.
    expect_refused(run_tool({"rovurer", pi3(), "10", "1"}, "", std::size_t{8} << 20), pi3());
}
#endif

}  // namespace
