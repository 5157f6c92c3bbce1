// Why a file, a base or a position cannot be shown: the reasons that the
// option forms give (the plain form keeps its one message).
#pragma once

#include <cstdint>
#include <string>

#include "reader/digit_file.h"

// What is wrong with an opened digit file, as "FILENAME: REASON"; empty when
// its check is ok.
std::string digit_file_problem(const char* filename, const digit_file_opening& opening);

// words * per_word in decimal, exactly, for any words >= 0 and per_word up
// to 64 (the product can pass 2^63).
std::string digits_in_words(std::int64_t words, std::int64_t per_word);

// The digits of `base` that a file holds from position 1: word_count -
// lead_words words' worth, or 0 when that is not positive.
std::string digits_from_position_one(const digit_file_header& header, std::int32_t base);

// Why digits cannot be shown in an unsupported `base`, as one line.
std::string base_refusal(std::int32_t base);

// Why the digits of `filename` in `base` from `pos` cannot be shown, as one
// line without "rovurer: " or a newline. Looks at the file again.
std::string refusal_reason(const char* filename, std::int32_t base, std::int64_t pos);
