// Edges, end to end, in one table: matches across parts and shards, a
// shard written in place from its own start, a failing part before parts
// with matches, comparisons that end or differ at the edge, numbers at their
// limits, --info on files cut at every kind of place, past-the-end messages
// in every base, opens that fail, and kernel sets this CPU cannot run.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/registry.h"
#include "test_support.h"

namespace {

const std::string try_help = "\nTry 'rovurer --help' for more information.\n";

struct edge_case {
    std::vector<std::string> args;  // after "rovurer"
    int status;
    std::string out;
    std::string err;
};

std::string counts_of(const std::vector<std::pair<char, int>>& counts) {
    std::string lines;
    for (const auto& [digit, count] : counts) {
        lines += std::string(1, digit) + " " + std::to_string(count) + "\n";
    }
    return lines;
}

TEST(Edges, EachLineOfTheTable) {
    // Three words, one lead word: 38 base-10 digits, 32 base-16 and 128 base-2.
    const std::vector<std::uint64_t> pi_words = {6264338327950288419ULL, 1415926535897932384ULL, 3};
    const std::string p = write_digit_file("edges-pi3", pi_words, 1);
    // Word 0's first digit changed: position 20 differs, 1 to 19 do not.
    const std::string q = write_digit_file("edges-pi3-changed", {7264338327950288419ULL, 1415926535897932384ULL, 3}, 1);
    // Words of ones with two changed in the first block: position 19 * 10 +
    // 19 (the last digit of the eleventh word shown), then 19 * 50 + 1.
    std::vector<std::uint64_t> ones(200, 1111111111111111111ULL);
    const std::string r = write_digit_file("edges-ones", ones, 0);
    ones[200 - 1 - 10] = 1111111111111111112ULL;
    ones[200 - 1 - 50] = 2111111111111111111ULL;
    const std::string s = write_digit_file("edges-ones-changed", ones, 0);
    // Base 16, 2^18 words: "ABCDEF" from digit 1,048,574 to 1,048,579, across
    // the boundary at 2^20 digits between two parts (two threads), and
    // "123456" from 2,097,150 across the boundary of two shards.
    fixture_header wide;
    wide.word_count = std::int64_t{1} << 18;
    const std::int64_t top = wide.word_count - 1;
    const std::string straddle = write_sparse_digit_file("edges-straddle", wide,
                                                         {{top - 65535, 0xABCU},
                                                          {top - 65536, 0xDEF0000000000000U},
                                                          {top - 131071, 0x123U},
                                                          {top - 131072, 0x4560000000000000U}});
    // A header that declares 500 words more than the file holds: the top
    // part fails, and every part below it is full of matches.
    fixture_header failing_header;
    failing_header.word_count = 300500;
    const std::string failing =
        write_digit_file("edges-failing", failing_header, std::vector<std::uint64_t>(300000, 1111111111111111111ULL));
    // --info: data ending in part of a word, inside the header area, and no words.
    const std::string partial = write_bytes("edges-partial", file_contents(p) + "xyz");
    const std::string in_header = write_bytes("edges-in-header", file_contents(p).substr(0, 100));
    fixture_header no_words;
    const std::string empty = write_digit_file("edges-empty", no_words, {});
    const std::string info_of_pi =
        "word_count 3\nlead_words 1\ndata_words 3\ndigits_base10 38\ndigits_base16 32\n"
        "digits_base2 128\n";
    // The whole base-16 dump of the straddle file.
    std::string whole_dump(std::size_t{1} << 22, '0');
    whole_dump.replace(1048573, 6, "ABCDEF");
    whole_dump.replace(2097149, 6, "123456");

    std::vector<edge_case> cases = {
        // A match across two parts and across two shards.
        {{"--threads", "1", "--find", "abcdef", straddle, "16"}, 0, "1048574\n", ""},
        {{"--threads", "2", "--find", "abcdef", straddle, "16"}, 0, "1048574\n", ""},
        {{"--shard", "1/2", "--find", "123456", straddle, "16"}, 0, "2097150\n", ""},
        {{"--shard", "2/2", "--find", "123456", straddle, "16"}, 1, "", ""},
        // A shard other than the first, on two threads, written in place in
        // a file from the shard's own start.
        {{"--threads", "2", "--shard", "2/2", "--group", "0", straddle, "16", "1", "4194304"},
         0,
         whole_dump.substr(2097152) + "\n",
         ""},
        {{"--threads", "2", "--shard", "1/2", "--group", "0", straddle, "16", "1", "4194304"},
         0,
         whole_dump.substr(0, 2097152),
         ""},
        // A failing part first: nothing of the parts after it is shown.
        {{"--threads", "1", "--find", "1", failing, "10"},
         2,
         "",
         "rovurer: " + failing + ": a read of the data failed\n"},
        {{"--threads", "2", "--find", "1", failing, "10"},
         2,
         "",
         "rovurer: " + failing + ": a read of the data failed\n"},
        // Comparisons: runs that end just before a difference, and the first
        // of two differences in one block.
        {{"--compare", p, q, "10", "1", "19"}, 0, "", ""},
        {{"--compare", p, q, "10", "1", "20"}, 1, p + " " + q + " differ: position 20\n", ""},
        {{"--compare", p, q, "10", "2", "18"}, 0, "", ""},
        {{"--compare", r, s, "10"}, 1, r + " " + s + " differ: position 209\n", ""},
        {{"--threads", "2", "--compare", r, s, "10", "100"}, 1, r + " " + s + " differ: position 209\n", ""},
        {{"--compare", r, s, "10", "210"}, 1, r + " " + s + " differ: position 951\n", ""},
        // Options that need operands or another option.
        {{"--group", "5", p, "10"}, 1, "", "rovurer: missing arguments" + try_help},
        {{"--max-count", "0", p, "10", "1"}, 1, "", "rovurer: --max-count needs --find, --runs or --merge" + try_help},
        {{"--max-count", "0", "--find", "1", p, "10"}, 1, "", ""},
        // Numbers at their limits, and one past them.
        {{"--threads", "1024", "--count", p, "10", "1", "3"},
         0,
         counts_of(
             {{'0', 0}, {'1', 2}, {'2', 0}, {'3', 0}, {'4', 1}, {'5', 0}, {'6', 0}, {'7', 0}, {'8', 0}, {'9', 0}}),
         ""},
        {{"--threads", "1025", "--count", p, "10"},
         1,
         "",
         "rovurer: --threads needs a number of threads, from 0 to 1024, not '1025'" + try_help},
        {{"--threads", "-1", "--count", p, "10"},
         1,
         "",
         "rovurer: --threads needs a number of threads, from 0 to 1024, not '-1'" + try_help},
        // 0 threads: every processor, as when none are named.
        {{"--threads", "0", "--count", p, "10", "1", "3"},
         0,
         counts_of(
             {{'0', 0}, {'1', 2}, {'2', 0}, {'3', 0}, {'4', 1}, {'5', 0}, {'6', 0}, {'7', 0}, {'8', 0}, {'9', 0}}),
         ""},
        // nb_digits "end": the rest of the data, with any option; the plain
        // form reads it as 0, as it always has.
        {{"--group", "10", p, "10", "30", "end"}, 0, "950288419\n", ""},
        {{"--per-line", "5", "--group", "0", p, "10", "30", "end"}, 0, "95028  : 34\n8419  : 38\n", ""},
        {{"--find", "9", p, "10", "30", "end"}, 0, "30\n38\n", ""},
        {{"--count", p, "2", "65", "end"}, 0, counts_of({{'0', 29}, {'1', 35}}), ""},
        {{"--compare", p, p, "16", "1", "end"}, 0, "", ""},
        {{p, "10", "30", "end"}, 0, "\n", ""},
        {{"--group", "10", p, "10", "30", "End"}, 1, "", "rovurer: invalid number of digits 'End'" + try_help},
        {{"--shard", "1000000/1000000", "--count", p, "2"}, 0, counts_of({{'0', 0}, {'1', 1}}), ""},  // the last bit
        {{"--shard", "1/1000001", "--count", p, "10"},
         1,
         "",
         "rovurer: --shard needs K/N, a part K from 1 to N, not '1/1000001'" + try_help},
        {{"--count", p, "2147483647"}, 1, "", "rovurer: base 2147483647 is not 2, 10 or 16\n"},
        {{"--count", p, "2147483648"}, 1, "", "rovurer: base '2147483648' is out of range" + try_help},
        // Exponents with a capital E.
        {{"--count", p, "10", "1E1", "2E0"},
         0,
         counts_of(
             {{'0', 0}, {'1', 0}, {'2', 0}, {'3', 0}, {'4', 0}, {'5', 1}, {'6', 0}, {'7', 0}, {'8', 1}, {'9', 0}}),
         ""},
        // --info on data that ends in part of a word, inside the header area,
        // and on no words.
        {{"--info", p}, 0, info_of_pi, ""},
        {{"--info", partial},
         1,
         info_of_pi,
         "rovurer: " + partial + ": the data region ends in part of a word (3 bytes after the last whole word)\n"},
        {{"--info", in_header},
         1,
         "word_count 3\nlead_words 1\ndata_words 0\ndigits_base10 38\ndigits_base16 32\ndigits_base2 128\n",
         "rovurer: " + in_header + ": the data region holds 0 words, fewer than the 3 of word_count\n"},
        {{"--info", empty},
         1,
         "word_count 0\nlead_words 0\ndata_words 0\ndigits_base10 0\ndigits_base16 0\ndigits_base2 0\n",
         "rovurer: " + empty + ": no digits from position 1: lead_words (0) is not below word_count (0)\n"},
        // Past the end, with the digits in the base asked for.
        {{"--count", p, "10", "39"},
         1,
         "",
         "rovurer: " + p + ": position 39 is past the end of the data (38 base-10 digits)\n"},
        {{"--count", p, "16", "33"},
         1,
         "",
         "rovurer: " + p + ": position 33 is past the end of the data (32 base-16 digits)\n"},
        {{"--find", "1", p, "2", "129"},
         2,
         "",
         "rovurer: " + p + ": position 129 is past the end of the data (128 base-2 digits)\n"},
    };
#ifndef _WIN32
    // Opens that fail say why.
    const std::string loop = temp_folder() + "/edges-loop";
    if (symlink(loop.c_str(), loop.c_str()) == 0) {
        cases.push_back(
            {{"--count", loop, "10"}, 1, "", "rovurer: " + loop + ": cannot open: " + std::strerror(ELOOP) + "\n"});
    }
    cases.push_back(
        {{"--count", p + "/x", "10"}, 1, "", "rovurer: " + p + "/x: cannot open: " + std::strerror(ENOTDIR) + "\n"});
#endif
    // A kernel set that is built in but that this CPU cannot run.
    for (const rovurer::kernels::kernel_set* set : rovurer::kernels::all_sets()) {
        if (rovurer::kernels::find_supported(set->name) == nullptr) {
            cases.push_back({{"--kernels", set->name, "--count", p, "10"},
                             1,
                             "",
                             std::string("rovurer: kernel set '") + set->name + "' is not supported by this CPU\n"});
            break;
        }
    }
    for (const edge_case& c : cases) {
        std::vector<std::string> args = {"rovurer"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string label;
        for (const std::string& arg : c.args) {
            label += arg.size() > 60 ? "FILE " : arg + " ";
        }
        const run_result run = run_tool(args);
        EXPECT_EQ(run.status, c.status) << label;
        EXPECT_TRUE(run.out == c.out) << label << (run.out.size() < 400 ? run.out : run.out.substr(0, 400));
        EXPECT_EQ(without_thread_note(run.err), c.err) << label;
    }
}

}  // namespace
