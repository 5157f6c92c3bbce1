// Comparing two runs of digits, as a verifier compares one computation's
// digits with another's.
#pragma once

#include <atomic>
#include <cstdint>

#include "parallel/command_result.h"
#include "reader/digit_run.h"

namespace rovurer {

// Where two runs first differ, or which of them failed.
struct runs_comparison {
    command_result result = command_result::shown;  // shown: equal; differ; read_failed
    std::uint64_t position = 0;                     // with differ: the first position that differs
    int failed_run = 0;                             // with read_failed: 1 or 2
};

// Compares the first `count` digits of two runs opened at the same position
// in the same base, each holding at least `count` digits. When
// `same_words`, the two files map positions to words the same way, and
// whole words are compared rather than digits.
runs_comparison compare_runs(digit_run& first, digit_run& second, std::int64_t count, bool same_words);

// How a comparison in parts runs.
struct compare_plan {
    std::int64_t begin = 0;  // digits [begin, end) of the two runs
    std::int64_t end = 0;
    int threads = 1;
    bool in_place = false;       // the parts read long spans in place (digit_run::read_in_place)
    run_watch* watch = nullptr;  // watches the first run's parts; the second's stop with them
    run_watch* alongside = nullptr;
    std::atomic<std::int64_t>* done = nullptr;  // counts the first run's digits (digit_run::count_into)
};

// Compares digits [plan.begin, plan.end) of two runs opened whole at the
// same position in the same base, both holding them: in parts of half a
// block (two readers a thread), on plan.threads threads. The first part
// that differs or fails, in part order, gives the answer, as compare_runs
// over the whole span would.
runs_comparison compare_in_parts(const digit_run& first, const digit_run& second, const compare_plan& plan);

}  // namespace rovurer
