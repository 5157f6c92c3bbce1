// describe_file: what a digit file's header says and what the file holds.
#pragma once

#include <string>

#include "frontend/output.h"

// Writes "key value" lines for `filename`: word_count, lead_words,
// data_words (the whole words its data region holds), then digits_base10,
// digits_base16 and digits_base2 (the digits from position 1 by the header).
// Returns false, writing nothing, when the file is not a digit file, and sets
// *problem to "FILENAME: REASON".
bool describe_file(output_buffer& out, const char* filename, std::string* problem);
