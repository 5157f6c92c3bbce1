// Searching and counting over a run of digits: the digits that
// `rovurer filename base pos nb_digits` shows, without their spaces.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "parallel/command_result.h"
#include "parallel/output.h"
#include "reader/digit_run.h"

namespace rovurer {

// Writes the 1-based file position of every occurrence of `digits` (a digit
// string of the run's base, letters in either case) in the run, overlapping
// ones included, one a line in increasing order; with `max_count` 0 or more,
// stops after that many, reading no further. Sets *found to the number
// written. The positions found before a failed read stay in `out`.
command_result find_digits(output_buffer& out, digit_run& run, std::string_view digits, std::int64_t max_count = -1,
                           std::uint64_t* found = nullptr);

// Appends to `positions` the positions find_digits writes, at most `most`
// of them (stopping there, reading no further). The positions found before a
// failed read stay.
command_result find_positions(std::vector<std::uint64_t>& positions, digit_run& run, std::string_view digits,
                              std::size_t most);

// Writes how often each digit of `base` (the run's) occurs in the run, one
// "DIGIT COUNT" line per digit value in increasing order, zeros included.
// Writes nothing when a read fails.
command_result count_digits(output_buffer& out, digit_run& run, std::int32_t base);

// How often each digit value occurs in the run, added to counts[0..base-1];
// the counting of count_digits, for a run in parts.
using digit_counts = std::array<std::uint64_t, 16>;
command_result tally_digits(digit_run& run, std::int32_t base, digit_counts& counts);

// The same for the run's next `count` digits (fewer where it ends), from
// wherever its reads have got to.
command_result tally_next(digit_run& run, std::int64_t count, digit_counts& counts);

// The "DIGIT COUNT" lines of count_digits.
void append_counts(output_buffer& out, std::int32_t base, const digit_counts& counts);

}  // namespace rovurer
