// The options before the operands, as a unit; and --help, the manual page
// and the README each list every option.
#include "frontend/options.h"

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
        int first_operand;
        std::string error;
    };
    const option_case cases[] = {
        {{"pi", "10", "1"}, command_form::plain, false, 0, 1, ""},
        {{"-digits", "10", "1"}, command_form::plain, false, 0, 1, ""},  // one dash: an operand
        {{"--", "--name", "10", "1"}, command_form::plain, false, 0, 2, ""},
        {{"--per-line", "90", "pi"}, command_form::plain, true, 90, 3, ""},
        {{"--per-line=9223372036854775800", "pi"}, command_form::plain, true, 9223372036854775800, 2, ""},
        {{"--per-line", "9223372036854775810", "pi"},
         command_form::plain,
         true,
         0,
         1,
         "rovurer: --per-line needs a positive multiple of 10, not '9223372036854775810'"},
        {{"--per-line", "0"},
         command_form::plain,
         true,
         0,
         1,
         "rovurer: --per-line needs a positive multiple of 10, not '0'"},
        {{"--per-line"}, command_form::plain, true, 0, 1, "rovurer: option '--per-line' needs a value"},
        {{"--count=1"}, command_form::plain, true, 0, 1, "rovurer: option '--count' takes no value"},
        {{"--find", "12", "pi", "10"}, command_form::find, true, 0, 3, ""},
        {{"--find=12", "--", "--pi", "10"}, command_form::find, true, 0, 3, ""},
        {{"--count", "--find", "1"}, command_form::count, true, 0, 1, "rovurer: --count and --find cannot be combined"},
        {{"--per-line", "10", "--info", "pi"},
         command_form::info,
         true,
         10,
         1,
         "rovurer: --per-line cannot be combined with --info"},
        {{"--kernels", "portable", "pi", "10", "1"}, command_form::plain, true, 0, 3, ""},
        {{"--version", "--bogus"}, command_form::version, true, 0, 1, ""},  // reading stops at --help and --version
        {{"--help"}, command_form::help, true, 0, 1, ""},
        {{"--bogus"}, command_form::plain, true, 0, 1, "rovurer: unknown option '--bogus'"},
    };
    for (const option_case& c : cases) {
        const command_line command = parsed(c.args);
        const std::string label = c.args.empty() ? "" : c.args.front();
        EXPECT_EQ(command.error, c.error) << label;
        if (!c.error.empty()) {
            continue;
        }
        EXPECT_EQ(command.form, c.form) << label;
        EXPECT_EQ(command.any_option, c.any_option) << label;
        EXPECT_EQ(command.per_line, c.per_line) << label;
        EXPECT_EQ(command.first_operand, c.first_operand) << label;
    }
    EXPECT_STREQ(parsed({"--find=12", "--", "--pi", "10"}).find_digits, "12");
    EXPECT_STREQ(parsed({"--kernels", "portable", "pi", "10", "1"}).kernel_set, "portable");
}

TEST(Options, HelpManualAndReadmeListEveryOption) {
    const std::string help = options_help();
    const std::string manual = file_contents(std::string(source_dir) + "/doc/rovurer.1");
    const std::string readme = file_contents(std::string(source_dir) + "/README.md");
    for (const known_option& option : known_options()) {
        const std::string name(option.name);
        EXPECT_NE(help.find("  " + std::string(option.usage)), std::string::npos) << name;
        // The manual page writes a dash as "\-".
        std::string in_manual;
        for (const char c : name) {
            in_manual += c == '-' ? "\\-" : std::string(1, c);
        }
        EXPECT_NE(manual.find(in_manual), std::string::npos) << name << " is not in doc/rovurer.1";
        EXPECT_NE(readme.find("`rovurer " + name), std::string::npos) << name << " is not in README.md's option table";
    }
}

}  // namespace
