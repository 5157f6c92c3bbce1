// The forms that read digits: the plain command line's dump, and with
// options the dump, --find, --count and --compare.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

namespace rovurer {

// Reads the form's operands (leniently without an option, strictly with
// one), checks them, opens the files and does the form's one call of the
// library; returns the exit status.
int run_digit_form(const command_line& command, console& io);

}  // namespace rovurer
