// --info: what a digit file's header says and what the file holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/output.h"
#include "reader/digit_file.h"

namespace rovurer {

// Writes "key value" lines for `filename`: word_count, lead_words,
// data_words (the whole words its data region holds), then digits_base10,
// digits_base16 and digits_base2 (the digits from position 1 by the header).
// Opens the file once. Returns false, writing nothing, when the file is not
// a digit file or not a regular file, with the reason as the one entry of
// *problems; otherwise true, with what is wrong with a readable header in
// *problems, one "FILENAME: REASON" each (none for a sound file): a data
// region shorter than word_count words, one that ends in part of a word, a
// negative word_count, and no digits from position 1.
bool describe_file(output_buffer& out, const char* filename, std::vector<std::string>* problems);

// words * per_word in decimal, exactly, for any words >= 0 and per_word up
// to 64 (the product can pass 2^63).
std::string digits_in_words(std::int64_t words, std::int64_t per_word);

// The digits of `base` that a file holds from position 1: word_count -
// lead_words words' worth, or 0 when that is not positive.
std::string digits_from_position_one(const digit_file::header& declared, std::int32_t base);

}  // namespace rovurer
