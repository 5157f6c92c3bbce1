// --info: what a digit file's header says and what the file holds.
#pragma once

#include <string>
#include <vector>

#include "parallel/output.h"
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

}  // namespace rovurer
