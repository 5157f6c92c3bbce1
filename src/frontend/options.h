// The options that come before the operands: which form of the command runs,
// and the values its options give.
#pragma once

#include <cstdint>
#include <string>

enum class command_form { plain, find, count, info, help, version };

struct command_line {
    command_form form = command_form::plain;
    const char* find_digits = nullptr;  // --find's DIGITS, as typed
    std::int64_t per_line = 0;          // --per-line N, or 0: one line
    int first_operand = 1;              // argv index of the first operand
    std::string error;                  // a usage error, "rovurer: ...", or empty
};

// Reads the options at the front of argv: arguments that start with "--",
// up to the first other argument or up to "--", which ends them. An option's
// value follows it as the next argument or after '=' ("--per-line=50").
// --help and --version end the reading at once. Never fails: a usage error
// is reported in the result's `error`.
command_line parse_command_line(int argc, const char* const* argv);
