// pi_position POS RUNS: pi's hexadecimal digits from position POS after the
// point (the library's digit extraction, every processor), RUNS times;
// prints the digits once, then each run's milliseconds, one a line. Used by
// bench/constants.py.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rovurer/check.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        (void)std::fprintf(stderr, "usage: pi_position POS RUNS\n");
        return 2;
    }
    const long long pos = std::strtoll(argv[1], nullptr, 10);
    const auto runs = static_cast<int>(std::strtol(argv[2], nullptr, 10));
    rovurer::scan_options options;
    options.threads = 0;
    for (int run = 0; run < runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const rovurer::result<std::string> digits = rovurer::pi_hex_digits(pos, options);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        if (!digits) {
            (void)std::fprintf(stderr, "pi_position: %s\n", digits.error().message.c_str());
            return 1;
        }
        if (run == 0) {
            (void)std::printf("%s\n", digits->c_str());
        }
        (void)std::printf("%.3f\n", took.count());
    }
    return 0;
}
