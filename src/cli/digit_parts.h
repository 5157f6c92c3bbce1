// The work of a digit form (a dump, --find, --count) split in parts on
// threads: the same output as one thread running the whole shard.
#pragma once

#include <atomic>
#include <cstdint>

#include "cli/digit_form.h"
#include "cli/operands.h"
#include "cli/options.h"
#include "cli/plan.h"
#include "parallel/command_result.h"
#include "parallel/output.h"
#include "reader/digit_run.h"

namespace rovurer {

// Runs the parts of `plan` over the run `whole` opened (every part reads its
// file), each worked as `form` says, counting the digits read into `done`,
// writing to `out` in order, or in place from plan.placed_at, and leaving
// what the parts merge into in `results`.
command_result run_digit_parts(const digit_form& form, const command_line& command, const run_operands& run,
                               const digit_run& whole, const digit_plan& plan, std::atomic<std::int64_t>& done,
                               part_results& results, output_buffer& out);

}  // namespace rovurer
