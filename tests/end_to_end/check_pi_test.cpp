// --check-pi end to end: its lines, messages and statuses (0 pi, 1 not pi,
// 2 trouble), in one table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_paths.h"
#include "test_support.h"

namespace {

const std::string try_help = "\nTry 'rovurer --help' for more information.\n";

TEST(CheckPiForm, LinesMessagesAndStatuses) {
    const std::string pi16 = std::string(examples_dir) + "/pi_base16";
    const std::string pi10 = std::string(examples_dir) + "/pi_base10";
    struct check_case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const check_case cases[] = {
        {{"--check-pi", pi16},
         0,
         "position 1: pi 243F6A8885A30, the file 243F6A8885A30\n"
         "position 1065: pi 04C006BAC1A9, the file 04C006BAC1A9\n"
         "position 2129: pi B6636521E7B, the file B6636521E7B\n"
         "position 3193: pi 361D2B3D, the file 361D2B3D\n"
         "pi: 44 hexadecimal digits at 4 positions match\n",
         ""},
        {{"--samples", "1", "--threads", "1", "--check-pi", pi16},
         0,
         "position 3193: pi 361D2B3D, the file 361D2B3D\npi: 8 hexadecimal digits at 1 position match\n",
         ""},
        {{"--check-pi", "--samples=2", pi10},
         1,
         "position 1: pi 243F6A8885A30, the file 13A661AEB83EE: differs\n"
         "position 3193: pi 361D2B3D, the file 533D72A8: differs\n",
         "rovurer: " + pi10 + " is not pi in base 16: position 1 differs\n"},
        {{"--check-pi"}, 2, "", "rovurer: missing arguments" + try_help},
        {{"--check-pi", pi16, "16"}, 2, "", "rovurer: too many arguments" + try_help},
        {{"--check-pi", temp_folder() + "/none"},
         2,
         "",
         "rovurer: " + temp_folder() + "/none: cannot open: No such file or directory\n"},
        {{"--samples", "0", "--check-pi", pi16},
         2,
         "",
         "rovurer: --samples needs a number of positions, from 1 to 10000, not '0'" + try_help},
        {{"--samples", "3", "--count", pi16, "16"}, 1, "", "rovurer: --samples needs --check-pi" + try_help},
        {{"--shard", "1/2", "--check-pi", pi16},
         2,
         "",
         "rovurer: --shard cannot be combined with --check-pi" + try_help},
    };
    for (const check_case& test : cases) {
        std::vector<std::string> args = {"rovurer"};
        args.insert(args.end(), test.args.begin(), test.args.end());
        const run_result run = run_tool(args);
        EXPECT_EQ(run.status, test.status) << test.args[0];
        EXPECT_EQ(run.out, test.out) << test.args[0];
        EXPECT_EQ(run.err, test.err) << test.args[0];
    }
}

}  // namespace
