// Conversion of whole data words into digit characters, in bulk.
//
// Each function formats `count` words, most significant first: words[count-1]
// first, words[0] last, exactly as a digit stream hands them out, and writes
// exactly count * digits-per-word characters to `out` (19 per word in base
// 10, 16 in base 16, 64 in base 2), never more. A decimal word of 10^19 or
// more shows its 19 low-order digits. They allocate nothing and never fail.
//
// Grouping copies digits into groups of ten separated by single spaces;
// searching and counting scan digit text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rovurer::kernels {

// The digit characters, by value: '0' to '9', then 'A' to 'F' for base 16.
inline constexpr char digit_characters[] = "0123456789ABCDEF";

using format_words_function = void (*)(const std::uint64_t* words, std::size_t count, char* out);

// Copies `count` digits to `out`, writing a space after every digit that
// completes a group of ten, where the first group already holds `phase`
// digits (0 to 9); so a space follows the last digit when it completes a
// group. Returns the bytes written: count + (phase + count) / 10. Reads up to
// group_slack bytes past the digits and may write up to group_slack bytes past
// the result (scratch that later output overwrites).
using group_digits_function = std::size_t (*)(const char* digits, std::size_t count, std::size_t phase, char* out);
inline constexpr std::size_t group_slack = 16;

// What a search looks for first: three characters of the string, at its
// start, at `middle_at` and at `last_at` (middle_at <= last_at). On uniform
// digits three positions leave a tenth of the candidates that two do.
struct match_probe {
    char first;
    char middle;
    char last;
    std::size_t middle_at;
    std::size_t last_at;
};

// Where a search may match, in `windows` windows of 64 positions: bit i of
// masks[w] is set when text[p] == first, text[p + middle_at] == middle and
// text[p + last_at] == last, for p = 64 * w + i. Reads text[0] to
// text[64 * windows - 1 + last_at], whatever the caller will keep of the
// result.
using match_candidates_function = void (*)(const char* text, std::size_t windows, const match_probe& probe,
                                           std::uint64_t* masks);
inline constexpr std::size_t match_window = 64;

// Adds to counts[j] how many of the `length` bytes at `text` equal values[j],
// for j below value_count (at most 16).
using tally_bytes_function = void (*)(const char* text, std::size_t length, const char* values, std::size_t value_count,
                                      std::uint64_t* counts);
inline constexpr std::size_t max_tally_values = 16;

// The one bits of `count` words: a base-2 count that needs no text.
using count_ones_function = std::uint64_t (*)(const std::uint64_t* words, std::size_t count);

// Adds to counts[v] how many of the digits that `count` whole words show
// have the value v: their 16 hex digits (counts[0] to counts[15]), or the 19
// decimal digits that the decimal kernel shows (counts[0] to counts[9]).
// Counts that need no text: the digits are counted as values, in registers.
using count_digits_function = void (*)(const std::uint64_t* words, std::size_t count, std::uint64_t* counts);

struct digit_kernels {
    const char* name;
    format_words_function decimal;
    format_words_function hex;
    format_words_function binary;
    group_digits_function group;
    match_candidates_function match_candidates;
    tally_bytes_function tally;
    count_ones_function count_ones;
    count_digits_function count_hex;
    count_digits_function count_decimal;
};

// Portable kernels, plain C++ for every CPU; the reference for the others,
// and what they use for the words or digits left over from their steps.
extern const digit_kernels portable_kernels;

}  // namespace rovurer::kernels
