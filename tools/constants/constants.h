// Mathematical constants to any number of digits, exact, on GMP: the text
// "I.FFFF..." that rovurer::pack_text packs into a digit file (the integer
// part its lead word). The generators make_digit_file and
// make_pi_digit_file share it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace constants {

// Where the time went, in seconds from the start.
struct timings {
    double series = 0;   // the series summed (pi, e); 0 for the roots
    double divided = 0;  // the root and the division done
    double digits = 0;   // the digits written as text
};

// The constants: "pi", "e", "sqrt2", "phi".
bool known(std::string_view name);

// `digits` digits after the point of `name` in `base` (10 or 16), every one
// exact, after "I." (I the integer part in the base); "" with `why` set
// when the last digits computed lie too near a carry to be sure of, or the
// result is not what it must be.
std::string text_of(std::string_view name, int base, std::uint64_t digits, bool two_threads, timings& spent,
                    std::string& why);

// The generators' work after parsing: `asked` digits of `name` (rounded up
// to whole words) written as the digit file `output`, replacing it, with a
// line on standard error saying what was written and where the time went,
// or the failure, each after "`program`: ". Returns the exit status.
int write_constant_file(const char* program, std::string_view name, int base, long long asked, const char* output);

}  // namespace constants
