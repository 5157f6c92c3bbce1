// --compare FILE1 FILE2 base [pos [nb_digits]], as cmp compares: 0 the
// same, 1 different (or one run ends first), 2 for any trouble.
#pragma once

#include "cli/console.h"
#include "cli/operands.h"
#include "cli/options.h"

namespace rovurer {

// Compares the two files' runs of `run`, on the threads and in the shard
// the command asks for, and reports the answer; returns the status.
int run_compare(const command_line& command, const run_operands& run, console& io);

}  // namespace rovurer
