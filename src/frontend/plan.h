// The plan of a run of digits: which of its digits this process does (its
// shard), on how many threads, in what parts, and whether a dump writes its
// parts in place.
#pragma once

#include <cstdint>

#include "engine/progress.h"
#include "frontend/console.h"
#include "frontend/options.h"

namespace rovurer {

// How a run, or a shard of it, is split for threads.
// Parts of at least smallest_part() digits (a million: fewer would cost
// more in starting threads and readers than they save) and at most the
// largest part asked for, four a thread where the range allows.
std::int64_t smallest_part();

namespace detail {
// A seam for tests and the fuzzer: parts of at least `digits` digits from
// now on, so that small files run in many parts on several threads. Set it
// while no run is under way.
void set_smallest_part(std::int64_t digits);
}  // namespace detail

struct run_split {
    std::int64_t begin = 0;  // the shard: [begin, end) of the run's digits
    std::int64_t end = 0;
    int threads = 1;
    std::int64_t part_digits = 1;  // a whole number of `unit`
    std::int64_t parts() const { return begin == end ? 0 : (end - begin - 1) / part_digits + 1; }
    // Where part `part` begins and ends, as run digit indexes.
    std::int64_t part_begin(std::int64_t part) const { return begin + part * part_digits; }
    std::int64_t part_end(std::int64_t part) const {
        return end - part_begin(part) < part_digits ? end : part_begin(part) + part_digits;
    }
    // Sets the size of the parts: at most `largest_part` (what one reader
    // buffers, or less), whole units.
    void cut(std::int64_t unit, std::int64_t largest_part) {
        std::int64_t part = (end - begin) / (4 * std::int64_t{threads});
        part = part < smallest_part() ? smallest_part() : part > largest_part ? largest_part : part;
        part_digits = (part + unit - 1) / unit * unit;
    }
};

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
