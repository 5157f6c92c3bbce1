// End-to-end tests of the built rovurer: standard output, standard error and
// exit status, exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_paths.h"
#include "test_support.h"

using namespace rovurer;

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

struct option_case {
    std::vector<std::string> args;  // after "rovurer"
    int status;
    std::string out;
    std::string err;
};

TEST(Cli, OptionForms) {
    const std::string& p = pi3();
    fixture_header declared5;
    declared5.word_count = 5;
    const std::string truncated = write_digit_file("truncated5", declared5, {3, 2, 1});
    fixture_header kind1;
    kind1.kind = 1;
    fixture_header negative;
    negative.lead_words = -2;
    fixture_header magic;
    magic.magic =
        "MPT\x01"
        "FILF";
    fixture_header most;
    most.word_count = INT64_MAX;
    fixture_header all_lead;
    all_lead.word_count = 1;
    all_lead.lead_words = 2;
    const std::string missing = temp_folder() + "/absent";
    const std::vector<option_case> cases = {
        {{"--find", "26", p, "10"}, 0, "6\n21\n", ""},
        {{"--find", "26", p, "10", "7"}, 0, "21\n", ""},
        {{"--find", "26", p, "10", "1", "21"}, 0, "6\n", ""},  // the match must lie whole in the run
        {{"--find=8419", p, "10"}, 0, "35\n", ""},
        {{"--find", "a3", hex2(), "16"}, 0, "11\n", ""},
        {{"--find", "77", p, "10"}, 1, "", ""},
        {{"--find", "12a", p, "10"}, 2, "", "rovurer: '12a' is not a string of base-10 digits\n"},
        {{"--find", "2", hex2(), "2"}, 2, "", "rovurer: '2' is not a string of base-2 digits\n"},
        {{"--count", p, "10", "1", "10"}, 0, "0 0\n1 2\n2 1\n3 1\n4 1\n5 3\n6 1\n7 0\n8 0\n9 1\n", ""},
        {{"--count", hex2(), "2", "1", "8"}, 0, "0 6\n1 2\n", ""},
        {{"--count", p, "7"}, 1, "", "rovurer: base 7 is not 2, 10 or 16\n"},
        {{"--count", p, "10", "0"}, 1, "", "rovurer: positions start at 1, not 0\n"},
        {{"--count", p, "10", "1e30"},
         1,
         "",
         "rovurer: position '1e30' is out of range\nTry 'rovurer --help' for more information.\n"},
        {{"--count", p, "10", "39"},
         1,
         "",
         "rovurer: " + p + ": position 39 is past the end of the data (38 base-10 digits)\n"},
        {{"--count", missing, "10"}, 1, "", "rovurer: " + missing + ": cannot open: No such file or directory\n"},
        {{"--count", truncated, "10"}, 2, "", "rovurer: " + truncated + ": a read of the data failed\n"},
        {{"--info", p},
         0,
         "word_count 3\nlead_words 1\ndata_words 3\ndigits_base10 38\ndigits_base16 32\ndigits_base2 128\n",
         ""},
        {{"--info", truncated},
         1,
         "word_count 5\nlead_words 0\ndata_words 3\ndigits_base10 95\ndigits_base16 80\ndigits_base2 320\n",
         "rovurer: " + truncated + ": the data region holds 3 words, fewer than the 5 of word_count\n"},
        // Digit counts past 2^63, exact; a count that is not positive is 0.
        {{"--info", write_digit_file("most", most, {1})},
         1,
         "word_count 9223372036854775807\nlead_words 0\ndata_words 1\ndigits_base10 175244068700240740333\n"
         "digits_base16 147573952589676412912\ndigits_base2 590295810358705651648\n",
         "rovurer: " + temp_folder() +
             "/most: the data region holds 1 words, fewer than the 9223372036854775807 of "
             "word_count\n"},
        {{"--info", write_digit_file("all-lead", all_lead, {1})},
         1,
         "word_count 1\nlead_words 2\ndata_words 1\ndigits_base10 0\ndigits_base16 0\ndigits_base2 0\n",
         "rovurer: " + temp_folder() +
             "/all-lead: no digits from position 1: lead_words (2) is not below "
             "word_count (1)\n"},
        {{"--info", write_bytes("short55", std::string(55, 'M'))},
         1,
         "",
         "rovurer: " + temp_folder() + "/short55: not a digit file: shorter than the 56-byte header\n"},
        {{"--info", write_digit_file("magic", magic, {1})},
         1,
         "",
         "rovurer: " + temp_folder() + "/magic: not a digit file: wrong magic\n"},
        {{"--info", write_digit_file("kind1", kind1, {1})},
         1,
         "",
         "rovurer: " + temp_folder() + "/kind1: not a digit file: the kind is 1, not 2\n"},
        {{"--info", write_digit_file("negative", negative, {1})},
         1,
         "",
         "rovurer: " + temp_folder() + "/negative: not a digit file: lead_words is negative (-2)\n"},
        {{"--per-line", "20", p, "10", "1"}, 0, "1415926535 8979323846  : 20\n2643383279 50288419  : 38\n", ""},
        {{"--per-line=10", p, "10", "5", "12"}, 0, "9265358979  : 14\n32  : 16\n", ""},
        {{"--per-line", "10", p, "10", "1", "0"}, 0, "\n", ""},  // no lines: the one newline
        {{"--per-line", "10", p, "10", "40"},
         1,
         "",
         "rovurer: " + p + ": position 40 is past the end of the data (38 base-10 digits)\n"},
        {{"--", p, "10", "1", "5"}, 0, "14159\n", ""},
        {{"--"}, 1, usage, ""},
        {{"--x"}, 1, "", "rovurer: unknown option '--x'\nTry 'rovurer --help' for more information.\n"},
        {{"--x", p, "10", "1"}, 1, "", "rovurer: unknown option '--x'\nTry 'rovurer --help' for more information.\n"},
        {{"--per-line", "15", p, "10", "1"},
         1,
         "",
         "rovurer: --per-line needs a positive multiple of 10, not '15'\nTry 'rovurer --help' for more information.\n"},
        {{"--per-line", "10", "--count", p, "10"},
         1,
         "",
         "rovurer: --per-line cannot be combined with --count\nTry 'rovurer --help' for more information.\n"},
        {{"--find", "1", "--count", p, "10"},
         2,
         "",
         "rovurer: --find and --count cannot be combined\nTry 'rovurer --help' for more information.\n"},
        {{"--find"}, 2, "", "rovurer: option '--find' needs a value\nTry 'rovurer --help' for more information.\n"},
        {{"--count=1", p, "10"},
         1,
         "",
         "rovurer: option '--count' takes no value\nTry 'rovurer --help' for more information.\n"},
        {{"--count", p}, 1, "", "rovurer: missing arguments\nTry 'rovurer --help' for more information.\n"},
        {{"--info", p, "10"}, 1, "", "rovurer: too many arguments\nTry 'rovurer --help' for more information.\n"},
        {{"--count", p, "10", "1", "5", "6"},
         1,
         "",
         "rovurer: too many arguments\nTry 'rovurer --help' for more information.\n"},
        {{"--per-line", "10", p}, 1, "", "rovurer: missing arguments\nTry 'rovurer --help' for more information.\n"},
        // --count from position 1 to the end of the data by default.
        {{"--count", p, "10"}, 0, "0 1\n1 3\n2 5\n3 6\n4 4\n5 4\n6 3\n7 2\n8 5\n9 5\n", ""},
        // The plain form's 50 digits of a longer file, with an option.
        {{"--kernels", "portable", std::string(examples_dir) + "/pi_base10", "10", "1"},
         0,
         "1415926535 8979323846 2643383279 5028841971 6939937510\n",
         ""},
        {{"--kernels=portable", "--count", p, "10", "1", "5"},
         0,
         "0 0\n1 2\n2 0\n3 0\n4 1\n5 1\n6 0\n7 0\n8 0\n9 1\n",
         ""},
        {{"--kernels", "no-such-set", p, "10", "1"},
         1,
         "",
         "rovurer: kernel set 'no-such-set' is unknown (known: portable, sse2, neon, avx2, avx512)\n"},
    };
    for (const option_case& c : cases) {
        std::vector<std::string> args = {"rovurer"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const run_result run = run_tool(args);
        EXPECT_EQ(run.status, c.status) << c.args[0] << ' ' << c.args.back();
        EXPECT_EQ(run.out, c.out) << c.args[0] << ' ' << c.args.back();
        EXPECT_EQ(run.err, c.err) << c.args[0] << ' ' << c.args.back();
    }
    // --version names the set in use: the one --kernels chose.
    const std::string chosen = run_tool({"rovurer", "--kernels", "portable", "--version"}).out;
    EXPECT_NE(chosen.find("\nkernel set: portable ("), std::string::npos) << chosen;
    for (const std::string option : {"--help", "--version"}) {
        const run_result run = run_tool({"rovurer", option, "--bogus"});
        EXPECT_EQ(run.status, 0) << option;
        EXPECT_EQ(run.out.substr(0, option == "--help" ? usage.size() + 1 : 8),
                  option == "--help" ? usage + "\n" : "rovurer ");
        EXPECT_EQ(run.err, "");
    }
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
