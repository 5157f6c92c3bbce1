// The statistics forms end to end: published facts of pi's decimals, each
// form's refusals with their messages and statuses, JSON that parses back,
// and shards whose answers --merge makes into the whole run's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "library/json_value.h"
#include "test_paths.h"
#include "test_support.h"

namespace {

const std::string try_help = "\nTry 'rovurer --help' for more information.\n";

std::string pi_sample() {
    return std::string(examples_dir) + "/pi_base10";
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

rovurer::json_value parsed(const std::string& text) {
    std::string why;
    std::optional<rovurer::json_value> value = rovurer::parse_json(text, why);
    EXPECT_TRUE(value) << why << ": " << text.substr(0, 80);
    return value ? *value : rovurer::json_value{};
}

TEST(Statistics, PiHoldsPublishedFacts) {
    const std::string pi = pi_sample();
    // The smallest numbers missing from the first 100 and 1000 decimals.
    const run_result hundred = run_tool({"rovurer", "--missing", "3", pi, "10", "1", "100"});
    EXPECT_EQ(hundred.out,
              "length  distinct\n1             10\n2             69\n3             95\nsmallest missing: 12\n");
    const run_result thousand = run_tool({"rovurer", "--missing", "3", "--json", pi, "10", "1", "1000"});
    EXPECT_EQ(thousand.out, "{\"distinct\":[10,100,633],\"smallest_missing\":\"103\"}\n");
    // The first decimal, 1, is at position 1.
    const run_result located = run_tool({"rovurer", "--self-locating", pi, "10"});
    EXPECT_EQ(lines_of(located.out).front(), "1");
    // Six nines at 762, the only run of six in the sample.
    EXPECT_EQ(run_tool({"rovurer", "--runs", "5", pi, "10"}).out, "762 9 6\n");
    EXPECT_EQ(run_tool({"rovurer", "--runs", "3", "--max-count", "2", "--json", pi, "10"}).out,
              "{\"pos\":153,\"digit\":\"1\",\"length\":3}\n{\"pos\":177,\"digit\":\"5\",\"length\":3}\n");
    // Blocks, the last one short.
    EXPECT_EQ(run_tool({"rovurer", "--blocks", "1000", pi, "10", "2001"}).out,
              "2001,1000,77,97,96,77,123,110,102,90,108,120,22.8000\n"
              "3001,800,81,93,78,81,64,90,76,75,78,84,7.4000\n");
    if (std::string(make_pi_binary).empty()) {
        GTEST_SKIP() << "the generator is built with GMP";
    }
    const std::string path = temp_folder() + "/stats_pi_1e6";
    ASSERT_EQ(run_program(make_pi_binary, {"make_pi_digit_file", "10", "1000000", path}).status, 0);
    const run_result stats = run_tool({"rovurer", "--stats", "--json", path, "10", "1", "1000000"});
    ASSERT_EQ(stats.status, 0) << stats.err;
    const rovurer::json_value answer = parsed(stats.out);
    const std::int64_t published[] = {99959, 99758, 100026, 100229, 100230, 100359, 99548, 99800, 99985, 100106};
    ASSERT_EQ(answer.find("counts")->items.size(), 10U);
    for (std::size_t d = 0; d < 10; ++d) {
        EXPECT_EQ(answer.find("counts")->items[d].integer, published[d]) << d;
    }
    EXPECT_EQ(answer.find("digits")->integer, 1000000);
    EXPECT_NEAR(answer.find("p_value")->number, 0.7879, 0.0001);  // chi-square 5.5091 at 9 degrees of freedom
    EXPECT_EQ(answer.find("longest_runs")->items[9].find("pos")->integer, 762);
    EXPECT_EQ(answer.find("serial3")->find("df")->integer, 810);
    EXPECT_EQ(answer.find("poker")->find("counts")->items.size(), 7U);
    EXPECT_EQ(answer.find("walk")->find("steps")->integer,
              1000000 - published[8] - published[9]);  // 8 and 9 make no step
}

TEST(Statistics, RefusalsSayWhyWithTheirStatus) {
    const std::string pi = pi_sample();
    const std::string text = write_bytes("stats-not-json", "not json\n");
    const std::string blocks =
        write_bytes("stats-blocks", "1,10,1,1,1,1,1,1,1,1,1,1,0.0\n1,10,1,1,1,1,1,1,1,1,1,1,0.0\n");
    const std::string cut = write_bytes("stats-cut", "12 5 7\n15 3");
    struct refusal {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const refusal refusals[] = {
        {{"--blocks", "0", pi, "10"}, 1, "rovurer: --blocks needs a number of digits, 1 or more, not '0'" + try_help},
        {{"--missing", "10", pi, "10"},
         1,
         "rovurer: strings of 10 base-10 digits are too many to hold (1073741824 at most)\n"},
        {{"--missing", "9", "--first", pi, "10"},
         1,
         "rovurer: strings of 9 base-10 digits are too many to hold (134217728 at most)\n"},
        {{"--missing", "8", pi, "16"},
         1,
         "rovurer: strings of 8 base-16 digits are too many to hold (1073741824 at most)\n"},
        {{"--missing", "64", pi, "2"},
         1,
         "rovurer: --missing needs a number of digits, from 1 to 63, not '64'" + try_help},
        {{"--json", "--count", pi, "10"},
         1,
         "rovurer: --json needs --stats, --blocks, --runs, --missing, --self-locating or --merge" + try_help},
        {{"--first", "--stats", pi, "10"}, 1, "rovurer: --first needs --missing" + try_help},
        {{"--max-count", "2", "--stats", pi, "10"},
         1,
         "rovurer: --max-count needs --find, --runs or --merge" + try_help},
        {{"--stats", "--blocks", "5", pi, "10"}, 1, "rovurer: --stats and --blocks cannot be combined" + try_help},
        {{"--stats", pi}, 1, "rovurer: missing arguments" + try_help},
        {{"--runs", "2", pi, "10", "1", "10", "x"}, 1, "rovurer: too many arguments" + try_help},
        {{"--self-locating", pi, "8"}, 1, "rovurer: base 8 is not 2, 10 or 16\n"},
        {{"--stats", pi, "10", "3801"},
         1,
         "rovurer: " + pi + ": position 3801 is past the end of the data (3800 base-10 digits)\n"},
        {{"--walk", temp_folder() + "/no/such/folder/walk.svg", pi, "10"},
         1,
         "rovurer: " + temp_folder() + "/no/such/folder/walk.svg: cannot create: No such file or directory\n"},
        {{"--merge", "stats"}, 1, "rovurer: missing arguments" + try_help},
        {{"--merge", "bogus", text},
         1,
         "rovurer: --merge needs stats, missing, first, blocks, runs or self-locating, not 'bogus'" + try_help},
        {{"--merge", "stats", temp_folder() + "/none"},
         1,
         "rovurer: " + temp_folder() + "/none: cannot open: No such file or directory\n"},
        {{"--merge", "stats", text},
         1,
         "rovurer: " + text + ": not the answer of a part: an unexpected character at byte 1\n"},
        {{"--merge", "missing", text},
         1,
         "rovurer: " + text + ": not the answer of a part: an unexpected character at byte 1\n"},
        {{"--merge", "blocks", blocks}, 1, "rovurer: " + blocks + ": line 2 is out of order: position 1 after 1\n"},
        {{"--merge", "runs", cut}, 1, "rovurer: " + cut + ": line 2 is cut short: it has no newline\n"},
        {{"--merge", "first", text}, 1, "rovurer: " + text + ": line 1 is not a line of --first\n"},
        {{"--merge", "stats", "--threads", "2", text},
         1,
         "rovurer: --threads cannot be combined with --merge" + try_help},
        {{"--merge", "blocks", "--json", blocks},
         1,
         "rovurer: --json needs --merge stats or --merge missing" + try_help},
        {{"--merge", "stats", "--max-count", "1", text}, 1, "rovurer: --max-count needs --merge runs" + try_help},
    };
    for (const refusal& each : refusals) {
        const run_result run = run_tool([&] {
            std::vector<std::string> args = {"rovurer"};
            args.insert(args.end(), each.args.begin(), each.args.end());
            return args;
        }());
        EXPECT_EQ(run.status, each.status) << each.args[0] << " " << each.args[1];
        EXPECT_EQ(run.err, each.err);
        EXPECT_EQ(run.out, "") << each.args[0] << " " << each.args[1];
    }
}

TEST(Statistics, ShardsMergeIntoTheWholeAnswer) {
    const std::string path = write_digit_file("stats-shards", mixed_words(400, 17), 1);
    struct merge_case {
        std::vector<std::string> form;  // before the operands
        std::string merged;             // the FORM of --merge
        std::vector<std::string> merge_options;
    };
    const merge_case cases[] = {
        {{"--stats", "--json"}, "stats", {"--json"}},
        {{"--stats", "--json"}, "stats", {}},
        {{"--missing", "4", "--json"}, "missing", {}},
        {{"--missing", "3", "--json"}, "missing", {"--json"}},
        {{"--missing", "3", "--first"}, "first", {}},
        {{"--missing", "2", "--first", "--json"}, "first", {}},
        {{"--blocks", "333"}, "blocks", {}},
        {{"--blocks", "100", "--json"}, "blocks", {}},
        {{"--runs", "3"}, "runs", {}},
        {{"--runs", "2", "--json"}, "runs", {}},
        {{"--self-locating"}, "self-locating", {}},
    };
    for (const merge_case& test : cases) {
        for (const std::string base : {"10", "16", "2"}) {
            std::vector<std::string> whole_args = {"rovurer"};
            whole_args.insert(whole_args.end(), test.form.begin(), test.form.end());
            whole_args.insert(whole_args.end(), {path, base, "5"});
            // The whole run's answer, as --merge prints it: the same options.
            std::vector<std::string> plain = whole_args;
            if (test.merged == "stats" || test.merged == "missing") {
                plain.erase(std::find(plain.begin(), plain.end(), "--json"));
                if (!test.merge_options.empty()) {
                    plain.push_back("--json");
                }
            }
            const run_result whole = run_tool(plain);
            ASSERT_EQ(whole.status, 0) << whole.err;
            for (const int shards : {2, 5}) {
                std::vector<std::string> merge_args = {"rovurer", "--merge", test.merged};
                merge_args.insert(merge_args.end(), test.merge_options.begin(), test.merge_options.end());
                for (int k = 1; k <= shards; ++k) {
                    std::vector<std::string> args = whole_args;
                    args.insert(args.begin() + 1, {"--shard", std::to_string(k) + "/" + std::to_string(shards)});
                    const std::string part = temp_folder() + "/stats-part-" + std::to_string(k);
                    const run_result ran = run_tool(args, part);
                    ASSERT_EQ(ran.status, 0) << ran.err;
                    merge_args.push_back(part);
                }
                const run_result merged = run_tool(merge_args);
                ASSERT_EQ(merged.status, 0) << merged.err;
                const std::string& wanted = whole.out;
                if (!test.merge_options.empty()) {
                    // --merge --json adds the merged state after the whole answer's members.
                    const std::size_t members = wanted.size() - 2;  // without "}\n"
                    EXPECT_EQ(merged.out.substr(0, members), wanted.substr(0, members)) << test.merged << " " << base;
                    EXPECT_EQ(merged.out.substr(members, 10), ",\"merge\":{");
                    EXPECT_EQ(parsed(merged.out).find("merge")->find("pos")->integer, 5);
                    continue;
                }
                EXPECT_EQ(merged.out, wanted) << test.merged << " base " << base << " in " << shards;
            }
        }
    }
}

TEST(Statistics, JsonParsesBack) {
    const std::string path = write_digit_file("stats-json-lines", mixed_words(50, 2), 0);
    const std::vector<std::vector<std::string>> forms = {
        {"--stats", "--json"},
        {"--blocks", "77", "--json"},
        {"--runs", "2", "--json"},
        {"--missing", "2", "--json"},
        {"--missing", "2", "--first", "--json"},
        {"--self-locating", "--json"},
    };
    for (const std::vector<std::string>& form : forms) {
        for (const std::string base : {"10", "16", "2"}) {
            std::vector<std::string> args = {"rovurer"};
            args.insert(args.end(), form.begin(), form.end());
            args.insert(args.end(), {path, base});
            const run_result run = run_tool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            for (const std::string& line : lines_of(run.out)) {
                const rovurer::json_value value = parsed(line);
                EXPECT_EQ(value.type, rovurer::json_value::kind::object) << form[0];
                if (const rovurer::json_value* pos = value.find("pos")) {
                    EXPECT_EQ(pos->type, rovurer::json_value::kind::integer) << form[0];
                }
            }
        }
    }
    // The walk: its picture made, what it did printed.
    const std::string svg = temp_folder() + "/stats-walk.svg";
    const run_result walked = run_tool({"rovurer", "--walk", svg, path, "16"});
    EXPECT_EQ(walked.status, 0) << walked.err;
    EXPECT_TRUE(walked.out.starts_with("walk: 1600 steps, ends at (")) << walked.out;
    EXPECT_TRUE(file_contents(svg).ends_with("</svg>\n"));
}

}  // namespace
