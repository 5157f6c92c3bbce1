// Comparing two runs of digits, as a verifier compares one computation's
// digits with another's.
#pragma once

#include <cstdint>

#include "engine/command_result.h"
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

}  // namespace rovurer
