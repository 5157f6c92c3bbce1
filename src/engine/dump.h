// dump_digits: writes a run of digits in groups, in one line or in lines.
#pragma once

#include <cstdint>

#include "engine/command_result.h"
#include "engine/output.h"
#include "reader/digit_run.h"

namespace rovurer {

// How a dump lays its digits out.
struct layout {
    std::int64_t group = 10;    // digits a group; 0: no spaces
    std::int64_t per_line = 0;  // digits a line; 0: one line
    bool labels = true;         // "  : POS" after each line of per_line digits
    bool given = false;         // a layout option was given: no trailing space
};

// Writes the digits of `run` to `out` in groups of `shape.group` digits (no
// spaces for 0), with a space between groups. With shape.per_line 0 they
// make one line, without its newline; when the data ends early right after
// a full group, the space after it stays, unless a layout option was given
// (shape.given). With shape.per_line N they come in lines of N, each ending,
// unless shape.labels is false, in "  : " and the position of its last
// digit, then a newline; the last line may be shorter. The digits handed out
// before a failed read are left in `out`.
//
// `first_index` is for a run that is a part of a longer one: the digits of
// the whole run before it. Groups, lines and the space between parts then
// fall as they would in the whole run's output, so that the parts' outputs
// concatenated are the whole output.
command_result dump_digits(output_buffer& out, digit_run& run, const layout& shape = {}, std::int64_t first_index = 0);

// Where the output of a part that starts at digit `index` of a run falls in
// the run's output: the bytes dump_digits writes for the digits before it,
// for a run whose first digit is at position `first_position`. `index` must
// be a multiple of shape.per_line when that is not 0, else of the group
// size. -1 for an index above 2^58 (no file holds that many digits), so
// that the result always fits.
std::int64_t text_before(const layout& shape, std::int64_t first_position, std::int64_t index);

}  // namespace rovurer
