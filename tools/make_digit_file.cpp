// make_digit_file: writes a mathematical constant as a digit file.
//
//   make_digit_file CONSTANT BASE DIGITS OUTPUT
//
// CONSTANT is pi (Chudnovsky's series), e (the series of 1/k!), sqrt2 or
// phi (the golden ratio, (1 + sqrt 5) / 2), BASE 10 or 16. The file holds
// the integer part as its one lead word, then DIGITS digits of the
// fraction, rounded up to whole words (19 decimal or 16 hexadecimal digits
// each), every one exact: the series are summed with guard digits and a
// result too near a carry is refused; the roots are exact floors. pi's
// files are those of make_pi_digit_file.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "constants/constants.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        (void)std::fprintf(stderr,
                           "usage: make_digit_file CONSTANT BASE DIGITS OUTPUT\n"
                           "  CONSTANT: pi, e, sqrt2 or phi; BASE: 10 or 16\n");
        return 1;
    }
    const std::string name = argv[1];
    char* end = nullptr;
    const long base = std::strtol(argv[2], &end, 10);
    const bool base_ok = *end == '\0' && (base == 10 || base == 16);
    const long long asked = std::strtoll(argv[3], &end, 10);
    if (!constants::known(name) || !base_ok || *end != '\0' || asked < 1 || asked > 10000000000LL) {
        (void)std::fprintf(stderr,
                           "make_digit_file: CONSTANT must be pi, e, sqrt2 or phi, BASE 10 or 16, "
                           "DIGITS 1 to 10^10\n");
        return 1;
    }
    return constants::write_constant_file("make_digit_file", name, static_cast<int>(base), asked, argv[4]);
}
