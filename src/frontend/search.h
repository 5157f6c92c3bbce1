// Searching and counting over a run of digits: the digits that
// `rovurer filename base pos nb_digits` shows, without their spaces.
#pragma once

#include <cstdint>
#include <string_view>

#include "frontend/dump.h"
#include "frontend/output.h"

// Whether `digits` is one or more digits of `base` (2, 10 or 16; in base 16
// both cases of A-F).
bool is_digit_string(std::string_view digits, std::int32_t base);

// Writes the 1-based file position of every occurrence of `digits` (a digit
// string of `base`, letters in either case) in the run, overlapping ones
// included, one a line in increasing order. The positions found before a
// failed read stay in `out`. Refuses what dump_digits refuses.
dump_result find_digits(output_buffer& out, std::string_view digits, const char* filename, std::int32_t base,
                        std::int64_t pos, std::int64_t nb_digits);

// Writes how often each digit of `base` occurs in the run, one "DIGIT COUNT"
// line per digit value in increasing order, zeros included. Writes nothing
// when a read fails. Refuses what dump_digits refuses.
dump_result count_digits(output_buffer& out, const char* filename, std::int32_t base, std::int64_t pos,
                         std::int64_t nb_digits);
