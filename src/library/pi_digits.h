// pi's hexadecimal digits at a position, without the digits before them:
// Bellard's digit-extraction formula,
//   pi = 2^-6 sum_n (-1)^n 2^(-10n) (-2^5/(4n+1) - 1/(4n+3) + 2^8/(10n+1) - 2^6/(10n+3)
//                                    - 2^2/(10n+5) - 2^2/(10n+7) + 1/(10n+9)),
// whose terms, multiplied by 2^(4(pos - 1)), are each an integer plus
// (2^e mod m) / m; only the fractions matter. Each is kept as a 64-bit
// binary fraction, exact to below one unit of its last bit, and they add
// modulo 1 (2^64). 2^e mod m is a modular power in Montgomery form, from
// which the fraction floor(2^64 (2^e mod m) / m) comes with one
// multiplication: no division.
#pragma once

#include <cstdint>

namespace rovurer {

// The sum of the terms n in [first, last) for the digits from `pos`: a
// fraction modulo 1 in units of 2^-64, and the terms it took (each off by
// less than one unit).
struct pi_fraction {
    std::uint64_t sum = 0;
    std::uint64_t terms = 0;
};
pi_fraction pi_terms(std::int64_t pos, std::uint64_t first, std::uint64_t last);

// The terms n that count for `pos`: from 0 to this (exclusive); the ones
// after add less than a unit together.
std::uint64_t pi_term_count(std::int64_t pos);

// 2^e mod m, for an odd m below 2^63 (exposed for the tests).
std::uint64_t power_of_two_mod(std::uint64_t e, std::uint64_t m);

}  // namespace rovurer
