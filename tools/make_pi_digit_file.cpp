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
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "constants/constants.h"
#include "rovurer/pack.h"

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
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t per_word = base == 10 ? 19 : 16;
    const std::uint64_t digits = (static_cast<std::uint64_t>(asked) + per_word - 1) / per_word * per_word;
    constants::timings spent;
    std::string why;
    const std::string text =
        constants::text_of("pi", static_cast<int>(base), digits, std::thread::hardware_concurrency() > 1, spent, why);
    if (text.empty()) {
        (void)std::fprintf(stderr, "make_pi_digit_file: %s\n", why.c_str());
        return 1;
    }
    rovurer::pack_options options;
    options.replace = true;
    options.threads = 0;
    const rovurer::result<rovurer::packed> written = rovurer::pack_text(text, argv[3], static_cast<int>(base), options);
    if (!written) {
        (void)std::fprintf(stderr, "make_pi_digit_file: %s: %s\n", argv[3], written.error().message.c_str());
        return 1;
    }
    // What was written, and where the time went.
    const double all = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    (void)std::fprintf(stderr,
                       "make_pi_digit_file: %s: %lld base-%ld digits of pi after the point, %lld words, in %.2f s "
                       "(series %.2f s, root and division %.2f s, digits %.2f s, written %.2f s)\n",
                       argv[3], static_cast<long long>(written->digits), base,
                       static_cast<long long>(written->word_count), all, spent.series, spent.divided - spent.series,
                       spent.digits - spent.divided, all - spent.digits);
    return 0;
}
