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
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "constants/constants.h"
#include "rovurer/pack.h"

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
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t per_word = base == 10 ? 19 : 16;
    const std::uint64_t digits = (static_cast<std::uint64_t>(asked) + per_word - 1) / per_word * per_word;
    constants::timings spent;
    std::string why;
    const std::string text =
        constants::text_of(name, static_cast<int>(base), digits, std::thread::hardware_concurrency() > 1, spent, why);
    if (text.empty()) {
        (void)std::fprintf(stderr, "make_digit_file: %s\n", why.c_str());
        return 1;
    }
    rovurer::pack_options options;
    options.replace = true;
    options.threads = 0;
    const rovurer::result<rovurer::packed> written = rovurer::pack_text(text, argv[4], static_cast<int>(base), options);
    if (!written) {
        (void)std::fprintf(stderr, "make_digit_file: %s: %s\n", argv[4], written.error().message.c_str());
        return 1;
    }
    const double all = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    (void)std::fprintf(stderr,
                       "make_digit_file: %s: %lld base-%ld digits of %s after the point, %lld words, in %.2f s "
                       "(series %.2f s, root and division %.2f s, digits %.2f s, written %.2f s)\n",
                       argv[4], static_cast<long long>(written->digits), base, name.c_str(),
                       static_cast<long long>(written->word_count), all, spent.series, spent.divided - spent.series,
                       spent.digits - spent.divided, all - spent.digits);
    return 0;
}
