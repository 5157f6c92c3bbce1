// The option forms' manners, end to end, in one table: for each command
// line the status, whether standard output is empty, and the first line of
// standard error.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string try_help = "Try 'rovurer --help' for more information.";

struct manners_case {
    std::vector<std::string> args;  // after "rovurer"
    int status;
    bool out_empty;
    std::string first_error_line;  // "" when standard error is empty
};

std::string first_line(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(Manners, OptionFormsBehaveAsUnixToolsDo) {
    const std::string p = write_digit_file("manners-pi3", {6264338327950288419ULL, 1415926535897932384ULL, 3}, 1);
    fixture_header header;
    header.word_count = 5;
    const std::string short_data = write_digit_file("manners-short", header, {1, 2, 3});
    header.word_count = -3;
    const std::string negative_count = write_digit_file("manners-negative", header, {1});
    header.word_count = 2;
    header.lead_words = 2;
    const std::string all_lead = write_digit_file("manners-all-lead", header, {1, 2});
    const std::string partial = write_bytes("manners-partial", file_contents(p) + "xyz");
    const std::string partial1 = write_bytes("manners-partial1", file_contents(p) + "x");
    std::vector<manners_case> cases;
    // Each bad number form, for each operand, in the digit forms.
    for (const std::string bad : {"1,000", "1_000", "16abc", "10.5", "0x10", "", "abc", " 10", "1e"}) {
        cases.push_back({{"--count", p, bad}, 1, true, "rovurer: invalid base '" + bad + "'"});
        cases.push_back({{"--count", p, "10", bad}, 1, true, "rovurer: invalid position '" + bad + "'"});
        cases.push_back({{"--count", p, "10", "1", bad}, 1, true, "rovurer: invalid number of digits '" + bad + "'"});
        cases.push_back({{"--find", "1", p, bad}, 2, true, "rovurer: invalid base '" + bad + "'"});
    }
    const std::vector<manners_case> fixed = {
        {{"--count", p, "99999999999"}, 1, true, "rovurer: base '99999999999' is out of range"},
        {{"--count", p, "10", "1e30"}, 1, true, "rovurer: position '1e30' is out of range"},
        {{"--count", p, "10", "1", "9223372036854775808"},
         1,
         true,
         "rovurer: number of digits '9223372036854775808' is out of range"},
        {{"--count", p, "10", "1.5e0"}, 1, true, "rovurer: invalid position '1.5e0'"},
        {{"--count", p, "10", "1.5e1", "2e0"}, 0, false, ""},  // 15 and 2: whole numbers
        {{"--count", p, "7"}, 1, true, "rovurer: base 7 is not 2, 10 or 16"},
        {{"--count", p, "10", "0"}, 1, true, "rovurer: positions start at 1, not 0"},
        {{"--count", p, "10", "-4"}, 1, true, "rovurer: positions start at 1, not -4"},
        // Usage errors: standard error only.
        {{"--bogus", p, "10", "1"}, 1, true, "rovurer: unknown option '--bogus'"},
        {{p, "10", "1", "--bogus"}, 1, true, "rovurer: unknown option '--bogus'"},
        {{"--find", "1", p, "10", "--bogus"}, 2, true, "rovurer: unknown option '--bogus'"},
        {{"--count"}, 1, true, "rovurer: missing arguments"},
        {{"--count", p, "10", "1", "2", "3"}, 1, true, "rovurer: too many arguments"},
        {{"--find"}, 2, true, "rovurer: option '--find' needs a value"},
        {{"--find", "1", p}, 2, true, "rovurer: missing arguments"},
        {{"--count=yes", p, "10"}, 1, true, "rovurer: option '--count' takes no value"},
        {{"--count", "--info", p}, 1, true, "rovurer: --count and --info cannot be combined"},
        {{"--info"}, 1, true, "rovurer: missing arguments"},
        {{"--info", p, p}, 1, true, "rovurer: too many arguments"},
        {{"--per-line", "15", p, "10", "1"}, 1, true, "rovurer: --per-line needs a positive multiple of 10, not '15'"},
        {{"--group", "x", p, "10", "1"}, 1, true, "rovurer: --group needs a number of digits, 0 or more, not 'x'"},
        {{"--max-count", "1", p, "10", "1"}, 1, true, "rovurer: --max-count needs --find, --runs or --merge"},
        {{"--max-count", "-1", "--find", "1", p, "10"},
         2,
         true,
         "rovurer: --max-count needs a number, 0 or more, not '-1'"},
        {{"--kernels", "none", p, "10", "1"},
         1,
         true,
         "rovurer: kernel set 'none' is unknown (known: portable, sse2, neon, avx2, avx512)"},
        // Options before, between and after the operands.
        {{"--per-line", "10", p, "10", "1", "20"}, 0, false, ""},
        {{p, "--per-line", "10", "10", "1", "20"}, 0, false, ""},
        {{p, "10", "1", "20", "--per-line=10"}, 0, false, ""},
        {{p, "10", "1", "--per-line", "10", "--", "20"}, 0, false, ""},
        // --find: found, not found, refused; --max-count.
        {{"--find", "26", p, "10"}, 0, false, ""},
        {{"--find", "77", p, "10"}, 1, true, ""},
        {{"--find", "26", p, "10", "40"},
         2,
         true,
         "rovurer: " + p + ": position 40 is past the end of the data (38 base-10 digits)"},
        {{"--find", "26", short_data, "10"}, 2, true, "rovurer: " + short_data + ": a read of the data failed"},
        {{"--find", "26", p, "10", "--max-count", "1"}, 0, false, ""},
        {{"--find", "26", p, "10", "--max-count", "0"}, 1, true, ""},
        // --info on each problem file, and a sound one.
        {{"--info", p}, 0, false, ""},
        {{"--info", short_data},
         1,
         false,
         "rovurer: " + short_data + ": the data region holds 3 words, fewer than the 5 of word_count"},
        {{"--info", partial},
         1,
         false,
         "rovurer: " + partial + ": the data region ends in part of a word (3 bytes after the last whole word)"},
        {{"--info", negative_count}, 1, false, "rovurer: " + negative_count + ": word_count is negative (-3)"},
        {{"--info", all_lead},
         1,
         false,
         "rovurer: " + all_lead + ": no digits from position 1: lead_words (2) is not below word_count (2)"},
        {{"--info", temp_folder()}, 1, true, "rovurer: " + temp_folder() + ": cannot open: Is a directory"},
        // Each layout option, alone and combined.
        {{"--group", "5", p, "10", "1", "12"}, 0, false, ""},
        {{"--group", "0", p, "10", "1"}, 0, false, ""},
        {{"--no-labels", p, "10", "1"}, 0, false, ""},
        {{"--group", "0", "--per-line", "7", "--no-labels", p, "10", "1"}, 0, false, ""},
        {{"--per-line", "20", "--no-labels", p, "10", "1"}, 0, false, ""},
        {{"--group", "3", "--per-line", "9", p, "10", "1", "20"}, 0, false, ""},
    };
    cases.insert(cases.end(), fixed.begin(), fixed.end());
    cases.push_back(
        {{"--info", partial1},
         1,
         false,
         "rovurer: " + partial1 + ": the data region ends in part of a word (1 bytes after the last whole word)"});
    // No digits in lines: the line still ends.
    cases.push_back({{"--per-line", "10", p, "10", "1", "0"}, 0, false, ""});
#ifndef _WIN32
    // Control characters and bytes that are not UTF-8 reach no terminal raw.
    cases.push_back(
        {{"--count",
          temp_folder() + "/manners-a\nb\x01"
                          "c\xff\xc3\xa9'",
          "10"},
         1,
         true,
         "rovurer: '" + temp_folder() +
             "/manners-a'$'\\n''b'$'\\001''c'$'\\377''\xc3\xa9'$'\\'': cannot open: " + std::strerror(ENOENT)});
    const std::string socket_path = temp_folder() + "/manners-socket";
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    if (listening >= 0 && bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        cases.push_back({{"--count", socket_path, "10"},
                         1,
                         true,
                         "rovurer: " + socket_path +
                             ": cannot be read at a position: rovurer reads a digit file from its end, so it needs a "
                             "regular file or a device, not a pipe or FIFO"});
    }
#endif
#ifdef __linux__
    // A read that fails says why, whatever size the system gives the file.
    cases.push_back({{"--info", "/proc/self/mem"},
                     1,
                     true,
                     std::string("rovurer: /proc/self/mem: cannot read its header: ") + std::strerror(EIO)});
#endif
#ifndef _WIN32
    const std::string fifo = temp_folder() + "/manners-fifo";
    if (mkfifo(fifo.c_str(), 0600) == 0) {
        cases.push_back({{"--count", fifo, "10"},
                         1,
                         true,
                         "rovurer: " + fifo +
                             ": cannot be read at a position: rovurer reads a digit file from its end, so it needs a "
                             "regular file or a device, not a pipe or FIFO"});
    }
#endif
    for (const manners_case& c : cases) {
        std::vector<std::string> args = {"rovurer"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string label;
        for (const std::string& arg : c.args) {
            label += "'" + arg + "' ";
        }
        const run_result run = run_tool(args);
        EXPECT_EQ(run.status, c.status) << label;
        EXPECT_EQ(run.out.empty(), c.out_empty) << label << run.out;
        EXPECT_EQ(first_line(run.err), c.first_error_line) << label;
        const auto starts = [&](const char* prefix) { return c.first_error_line.rfind(prefix, 0) == 0; };
        const bool out_of_range =
            c.first_error_line.size() > 16 &&
            c.first_error_line.compare(c.first_error_line.size() - 16, 16, " is out of range") == 0;
        const bool usage_error = starts("rovurer: invalid ") || starts("rovurer: unknown option") ||
                                 starts("rovurer: option '") || starts("rovurer: --") ||
                                 starts("rovurer: missing arguments") || starts("rovurer: too many arguments") ||
                                 out_of_range;
        if (usage_error) {
            EXPECT_EQ(run.err, c.first_error_line + "\n" + try_help + "\n") << label;
        }
    }
#ifndef _WIN32
    if (listening >= 0) {
        close(listening);
    }
#endif
}

// What the layout options write, exactly.
TEST(Manners, LayoutsReadyToKeep) {
    const std::string p = write_digit_file("layout-pi3", {6264338327950288419ULL, 1415926535897932384ULL, 3}, 1);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--group", "5", p, "10", "1", "12"}, "14159 26535 89\n"},
        {{"--group", "0", p, "10", "1"}, "14159265358979323846264338327950288419\n"},
        {{"--group", "0", "--per-line", "15", "--no-labels", p, "10", "1"},
         "141592653589793\n238462643383279\n50288419\n"},
        {{"--per-line", "20", "--no-labels", p, "10", "1"}, "1415926535 8979323846\n2643383279 50288419\n"},
        {{"--group", "4", "--per-line", "8", p, "10", "1", "16"}, "1415 9265  : 8\n3589 7932  : 16\n"},
        // Without a layout option the data's end after a full group keeps its
        // space, as in the plain form; with one, lines end clean.
        {{"--kernels", "portable", p, "10", "19"}, "4626433832 7950288419 \n"},
        {{"--group", "10", p, "10", "19"}, "4626433832 7950288419\n"},
        {{"--no-labels", p, "10", "19"}, "4626433832 7950288419\n"},
        {{"--group", "5", p, "10", "29"}, "79502 88419\n"},
        {{"--group", "5", p, "10", "29", "7"}, "79502 88\n"},
        {{"--group", "0", p, "10", "1", "0"}, "\n"},
    };
    for (const auto& [args, expected] : cases) {
        std::vector<std::string> command = {"rovurer"};
        command.insert(command.end(), args.begin(), args.end());
        const run_result run = run_tool(command);
        EXPECT_EQ(run.status, 0) << args[0] << ' ' << args[1];
        EXPECT_EQ(run.out, expected) << args[0] << ' ' << args[1];
        EXPECT_EQ(run.err, "") << args[0] << ' ' << args[1];
    }
}

}  // namespace
