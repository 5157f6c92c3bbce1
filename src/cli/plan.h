// The plan of a run of digits: which of its digits this process does (its
// shard), on how many threads, in what parts, and whether a dump writes its
// parts in place.
#pragma once

#include <cstdint>

#include "cli/console.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "parallel/split.h"

namespace rovurer {

// The shard of the run and its threads: as many as asked, or the processors
// this process may use, but no more than there are parts of the smallest
// size, so that a short request starts one thread. The caller then cuts the
// parts.
run_split split_run(const command_line& command, std::int64_t length, std::int64_t unit, int threads);

// The threads a job may use: as many as --threads asks, but no more than
// the processors this process may run on (more only share them, each with
// its buffers), saying so; by default those processors.
int thread_count(const command_line& command, console& io);

// Whether this run is the whole run, or its last shard.
bool last_shard(const command_line& command);

// The progress display --progress and --no-progress ask for.
progress_mode progress_of(const command_line& command);

// The plan of a digit form (not --compare) over a run of `length` digits in
// `base`, on `threads` threads: shards and lines end on whole groups and
// lines; a dump on several threads to an output that takes writes anywhere
// (`output_offset`, as platform::output_offset gives it, or -1) writes its
// parts in place, from placed_at.
struct digit_plan {
    run_split split;
    std::int64_t placed_at = -1;  // where the parts' text starts in standard output, or -1: in order
};
digit_plan plan_digit_form(const command_line& command, std::int64_t length, std::int32_t base, int threads,
                           std::int64_t output_offset);

}  // namespace rovurer
