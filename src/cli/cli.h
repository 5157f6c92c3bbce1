// The command line of rovurer: `rovurer filename base pos [nb_digits]`, and
// the forms its options choose. The options are defined once, in
// options.cpp's table, which --help prints.
#pragma once

#include "cli/console.h"

namespace rovurer {

inline constexpr const char* usage_text =
    "usage: rovurer filename base pos [nb_digits]\n"
    "\n"
    "Dump digits using vor internal floating point format\n"
    "Example to display 50 digits starting from position 1:\n"
    "rovurer pi_base10 10 1";

// Runs the tool on `argc` arguments (argv[0] is the tool's name, never used),
// writing digits, reports and the usage text to `out` and messages to `err`,
// and flushing both. Returns the exit status. Without an option the command
// line means what it always has; only "--" at the front is new.
int run_rovurer(int argc, const char* const* argv, console_stream& out, console_stream& err);

}  // namespace rovurer
