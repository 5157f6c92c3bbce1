// make_pi_digit_file: writes pi as a digit file.
//
//   make_pi_digit_file BASE DIGITS OUTPUT
//
// BASE is 10 or 16. The file holds the integer part 3 as its one lead word,
// then DIGITS digits of the fraction, rounded up to whole words (19 decimal
// or 16 hexadecimal digits each), every one exact: no word is padded.
//
// pi comes from the Chudnovsky series,
//   1/pi = 12 sum_k (-1)^k (6k)! (13591409 + 545140134 k) / ((3k)! (k!)^3 640320^(3k + 3/2)),
// summed by binary splitting on GMP, in fixed point with guard digits; the
// digits are made by GMP and packed by the library's writer. A result whose
// guard digits come too near a carry is refused rather than written.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "constants/constants.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        (void)std::fprintf(stderr, "usage: make_pi_digit_file BASE DIGITS OUTPUT\n");
        return 1;
    }
    char* end = nullptr;
    const long base = std::strtol(argv[1], &end, 10);
    const bool base_ok = *end == '\0' && (base == 10 || base == 16);
    const long long asked = std::strtoll(argv[2], &end, 10);
    if (!base_ok || *end != '\0' || asked < 1 || asked > 10000000000LL) {
        (void)std::fprintf(stderr, "make_pi_digit_file: BASE must be 10 or 16, DIGITS 1 to 10^10\n");
        return 1;
    }
    return constants::write_constant_file("make_pi_digit_file", "pi", static_cast<int>(base), asked, argv[3]);
}
