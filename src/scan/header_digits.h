// How many digits a digit file holds, as its header says: exact decimal
// text, since the count can pass 2^63.
#pragma once

#include <cstdint>
#include <string>

#include "reader/digit_file.h"

namespace rovurer {

// words * per_word in decimal, exactly, for any words >= 0 and per_word up
// to 64 (the product can pass 2^63).
std::string digits_in_words(std::int64_t words, std::int64_t per_word);

// The digits of `base` that a file holds from position 1: word_count -
// lead_words words' worth, or 0 when that is not positive.
std::string digits_from_position_one(const digit_file::header& declared, std::int32_t base);

}  // namespace rovurer
