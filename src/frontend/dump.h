// dump_digits: writes a run of digits in groups of ten.
#pragma once

#include <cstdint>

#include "frontend/command_result.h"
#include "frontend/digit_run.h"
#include "frontend/output.h"

namespace rovurer {

// Writes the digits of `run` to `out` with a space after every tenth digit
// except the last one asked for; when the data ends early, right after a
// tenth digit, that space stays. Never writes the final newline. The digits
// handed out before a failed read are left in `out`.
//
// With `per_line` (a positive multiple of 10) the digits come in lines of
// that many instead, each ending in "  : " and the position of its last
// digit, then a newline; the last line may be shorter. 0 means one line.
command_result dump_digits(output_buffer& out, digit_run& run, std::int64_t per_line = 0);

}  // namespace rovurer
