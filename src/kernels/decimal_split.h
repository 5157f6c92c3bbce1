// What every decimal kernel shares: a word's 19 low-order digits split as
// 3 + 8 + 8, and the table of three-digit groups.
#pragma once

#include <array>
#include <cstdint>

namespace rovurer::kernels {

inline constexpr std::uint64_t ten_to_8 = 100000000;
inline constexpr std::uint64_t ten_to_19 = 10000000000000000000ULL;

// "000" to "999", four bytes each so that one 32-bit store writes three.
inline constexpr std::array<std::array<char, 4>, 1000> three_digit_table = [] {
    std::array<std::array<char, 4>, 1000> table{};
    for (int i = 0; i < 1000; ++i) {
        table[static_cast<std::size_t>(i)] = {static_cast<char>('0' + i / 100), static_cast<char>('0' + i / 10 % 10),
                                              static_cast<char>('0' + i % 10), 0};
    }
    return table;
}();

struct decimal_parts {
    std::uint64_t top;     // digits 1-3, below 1000
    std::uint64_t middle;  // digits 4-11, below 10^8
    std::uint64_t bottom;  // digits 12-19, below 10^8
};

// The word modulo 10^19, split. 2^64 < 2 * 10^19, so one subtraction is the
// modulo. One 128-bit multiply-high divides by 10^8; the quotient q < 10^11
// then splits with a 64-bit multiply: q / 10^8 = (q >> 8) / 390625, and for
// n = q >> 8 < 2^29, n / 390625 = n * 1441151881 >> 49 exactly (1441151881 =
// ceil(2^49 / 390625), whose excess 94313 times n stays below 2^49).
inline decimal_parts split_decimal(std::uint64_t word) {
    if (word >= ten_to_19) {
        word -= ten_to_19;
    }
    const std::uint64_t high = word / ten_to_8;
    const std::uint64_t top = ((high >> 8) * 1441151881) >> 49;
    return {top, high - top * ten_to_8, word - high * ten_to_8};
}

}  // namespace rovurer::kernels
