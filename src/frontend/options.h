// The options that come before the operands: which form of the command runs,
// and the values its options give. One table (options.cpp) lists them; the
// help text is made from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rovurer {

enum class command_form { plain, find, count, info, help, version };

struct command_line {
    command_form form = command_form::plain;
    bool any_option = false;            // an option (not only "--") was given
    const char* find_digits = nullptr;  // --find's DIGITS, as typed
    std::int64_t per_line = 0;          // --per-line N, or 0: one line
    const char* kernel_set = nullptr;   // --kernels NAME, as typed, or nullptr
    int first_operand = 1;              // argv index of the first operand
    std::string error;                  // a usage error, "rovurer: ...", or empty
};

struct known_option {
    std::string_view name;  // "--find"
    command_form form;      // the form it selects; plain for those that select none
    bool takes_value;
    std::string_view usage;        // as --help shows it: "--find DIGITS filename base [pos [nb_digits]]"
    std::string_view description;  // for --help; lines after the first start with '\n'
};

// Every option, in the order --help lists them.
std::span<const known_option> known_options();

// The text --help prints after the usage text: every option of the table.
std::string options_help();

// Reads the options at the front of argv: arguments that start with "--",
// up to the first other argument or up to "--", which ends them. An option's
// value follows it as the next argument or after '=' ("--per-line=50").
// --help and --version end the reading at once. Never fails: a usage error
// is reported in the result's `error`.
command_line parse_command_line(int argc, const char* const* argv);

}  // namespace rovurer
