// The options before the operands, as a unit; and --help, the manual page
// and the usage document each list every option.
#include "cli/options.h"
#include "cli/manual.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_paths.h"
#include "test_support.h"

using namespace rovurer;

namespace {

command_line parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "rovurer");
    return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(Options, ParsedAsTheTableSays) {
    struct option_case {
        std::vector<const char*> args;
        command_form form;
        bool any_option;
        std::int64_t per_line;
        std::vector<std::string> operands;
        std::string error;
    };
    const std::string per_line_10 = "rovurer: --per-line needs a positive multiple of 10, not ";
    const option_case cases[] = {
        {{"pi", "10", "1"}, command_form::dump, false, 0, {"pi", "10", "1"}, ""},
        {{"-digits", "10", "1", "-5"}, command_form::dump, false, 0, {"-digits", "10", "1", "-5"}, ""},
        {{"--", "--name", "10", "1"}, command_form::dump, false, 0, {"--name", "10", "1"}, ""},
        // Without an option, a later "--" is an operand, as it always was.
        {{"pi", "10", "1", "--"}, command_form::dump, false, 0, {"pi", "10", "1", "--"}, ""},
        {{"pi", "10", "--5"}, command_form::dump, false, 0, {"pi", "10", "--5"}, ""},
        // Options before, between and after the operands.
        {{"--per-line", "90", "pi"}, command_form::dump, true, 90, {"pi"}, ""},
        {{"pi", "--per-line=90", "10", "1"}, command_form::dump, true, 90, {"pi", "10", "1"}, ""},
        {{"pi", "10", "1", "--per-line", "90"}, command_form::dump, true, 90, {"pi", "10", "1"}, ""},
        {{"pi", "--per-line", "90", "--", "--count"}, command_form::dump, true, 90, {"pi", "--count"}, ""},
        {{"--per-line=9223372036854775800", "pi"}, command_form::dump, true, 9223372036854775800, {"pi"}, ""},
        {{"--per-line", "9223372036854775810", "pi"},
         command_form::dump,
         true,
         0,
         {},
         per_line_10 + "'9223372036854775810'"},
        {{"--per-line", "0"}, command_form::dump, true, 0, {}, per_line_10 + "'0'"},
        {{"--per-line", "1,000"}, command_form::dump, true, 0, {}, per_line_10 + "'1,000'"},
        {{"--group", "3", "--per-line", "9"}, command_form::dump, true, 9, {}, ""},
        {{"--per-line", "9", "--group", "0"}, command_form::dump, true, 9, {}, ""},
        {{"--per-line", "10", "--group", "3"},
         command_form::dump,
         true,
         0,
         {},
         "rovurer: --per-line needs a positive multiple of 3, not '10'"},
        {{"--group", "-1"},
         command_form::dump,
         true,
         0,
         {},
         "rovurer: --group needs a number of digits, 0 or more, not '-1'"},
        {{"--per-line"}, command_form::dump, true, 0, {}, "rovurer: option '--per-line' needs a value"},
        {{"--count=1"}, command_form::dump, true, 0, {}, "rovurer: option '--count' takes no value"},
        {{"--find", "12", "pi", "10"}, command_form::find, true, 0, {"pi", "10"}, ""},
        {{"pi", "--find=12", "--", "--pi"}, command_form::find, true, 0, {"pi", "--pi"}, ""},
        {{"--count", "--find", "1"},
         command_form::count,
         true,
         0,
         {},
         "rovurer: --count and --find cannot be combined"},
        {{"--per-line", "10", "--info", "pi"},
         command_form::info,
         true,
         10,
         {},
         "rovurer: --per-line cannot be combined with --info"},
        {{"--no-labels", "--count", "pi"},
         command_form::count,
         true,
         0,
         {},
         "rovurer: --no-labels cannot be combined with --count"},
        {{"--max-count", "1", "pi"},
         command_form::dump,
         true,
         0,
         {},
         "rovurer: --max-count needs --find, --runs or --merge"},
        // Of several options given with a form they do not take, the table's
        // conflict order names one: layouts, then --max-count, then --threads,
        // the progress options (the last given) and --shard.
        {{"--max-count", "3", "--group", "5", "--count"},
         command_form::count,
         true,
         0,
         {},
         "rovurer: --group cannot be combined with --count"},
        {{"--group", "3", "--no-labels", "--per-line", "9", "--find", "1"},
         command_form::find,
         true,
         9,
         {},
         "rovurer: --per-line cannot be combined with --find"},
        {{"--shard", "1/2", "--progress", "--no-progress", "--threads", "2", "--info"},
         command_form::info,
         true,
         0,
         {},
         "rovurer: --threads cannot be combined with --info"},
        {{"--shard", "1/2", "--no-progress", "--progress", "--info"},
         command_form::info,
         true,
         0,
         {},
         "rovurer: --progress cannot be combined with --info"},
        {{"--kernels", "portable", "--info", "pi"}, command_form::info, true, 0, {"pi"}, ""},
        {{"--max-count", "x", "--find", "1"},
         command_form::dump,
         true,
         0,
         {},
         "rovurer: --max-count needs a number, 0 or more, not 'x'"},
        {{"--kernels", "portable", "pi", "10", "1"}, command_form::dump, true, 0, {"pi", "10", "1"}, ""},
        {{"--version", "--bogus"}, command_form::version, true, 0, {}, ""},  // reading stops at --help and --version
        {{"pi", "--help"}, command_form::help, true, 0, {"pi"}, ""},
        {{"pi", "10", "1", "--bogus"}, command_form::dump, true, 0, {}, "rovurer: unknown option '--bogus'"},
    };
    for (const option_case& c : cases) {
        const command_line command = parsed(c.args);
        std::string label;
        for (const char* arg : c.args) {
            label += std::string(arg) + ' ';
        }
        EXPECT_EQ(command.error, c.error) << label;
        if (!c.error.empty()) {
            continue;
        }
        EXPECT_EQ(command.form, c.form) << label;
        EXPECT_EQ(command.any_option, c.any_option) << label;
        EXPECT_EQ(command.per_line, c.per_line) << label;
        EXPECT_EQ(std::vector<std::string>(command.operands.begin(), command.operands.end()), c.operands) << label;
    }
    EXPECT_STREQ(parsed({"pi", "--find=12", "--", "--pi"}).find_digits, "12");
    EXPECT_STREQ(parsed({"--kernels", "portable", "pi", "10", "1"}).kernel_set, "portable");
    EXPECT_EQ(parsed({"pi", "10", "--find", "1"}).trouble_status, 2);
    EXPECT_EQ(parsed({"--bogus", "--find", "1"}).trouble_status, 2);  // --find's statuses, whatever comes first
    EXPECT_EQ(parsed({"--count", "pi"}).trouble_status, 1);
    EXPECT_FALSE(parsed({"--no-labels"}).labels);
}

TEST(Options, HelpManualAndUsageListEveryOption) {
    const std::string help = options_help();
    const std::string manual = file_contents(std::string(source_dir) + "/doc/rovurer.1");
    const std::string usage = file_contents(std::string(source_dir) + "/doc/usage.md");
    for (const known_option& option : known_options()) {
        const std::string name(option.name);
        EXPECT_NE(help.find("  " + std::string(option.usage)), std::string::npos) << name;
        EXPECT_NE(help.find(std::string(option.description.substr(0, option.description.find('\n')))),
                  std::string::npos)
            << name;
        // The manual page writes a dash as "\-".
        std::string in_manual;
        for (const char c : name) {
            in_manual += c == '-' ? "\\-" : std::string(1, c);
        }
        EXPECT_NE(manual.find(in_manual), std::string::npos) << name << " is not in doc/rovurer.1";
        EXPECT_NE(usage.find("`rovurer " + name), std::string::npos)
            << name << " is not in doc/usage.md's option table";
    }
}

// The manual page's SYNOPSIS and OPTIONS are the text the table makes,
// whole; each form's help names its operands as the table has them.
TEST(Options, TheManualIsMadeFromTheTable) {
    const std::string manual = file_contents(std::string(source_dir) + "/doc/rovurer.1");
    const std::string made = with_made_sections(manual);
    ASSERT_FALSE(made.empty()) << "doc/rovurer.1 lacks the marker lines";
    EXPECT_TRUE(made == manual) << "doc/rovurer.1 is not what the option table makes: run "
                                   "cmake --build BUILD --target manual; it should read\n"
                                << made;
    for (const known_option& option : known_options()) {
        if (!option.operands.empty()) {
            std::string form_line = "rovurer ";
            form_line += option.usage;
            form_line += ' ';
            form_line += option.operands;
            EXPECT_NE(option.description.find(form_line), std::string::npos) << option.name;
        }
    }
}

}  // namespace
