// read_bench FILE BASE POS N RUNS: the library's read of a range into a
// buffer (every processor), RUNS times after one warm-up; prints each run's
// milliseconds, one a line. The baseline of bench/python.py.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rovurer/rovurer.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        (void)std::fprintf(stderr, "usage: read_bench FILE BASE POS N RUNS\n");
        return 2;
    }
    const rovurer::result<rovurer::file> opened = rovurer::file::open(argv[1]);
    if (!opened) {
        (void)std::fprintf(stderr, "read_bench: %s: %s\n", argv[1], opened.error().message.c_str());
        return 1;
    }
    const rovurer::range where{static_cast<int>(std::strtol(argv[2], nullptr, 10)), std::strtoll(argv[3], nullptr, 10),
                               std::strtoll(argv[4], nullptr, 10)};
    const auto runs = static_cast<int>(std::strtol(argv[5], nullptr, 10));
    std::vector<char> digits(static_cast<std::size_t>(where.count));
    rovurer::scan_options options;
    options.threads = 0;
    for (int run = -1; run < runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const rovurer::result<std::int64_t> got = rovurer::read(*opened, where, digits, options);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        if (!got || *got != where.count) {
            (void)std::fprintf(stderr, "read_bench: the read failed\n");
            return 1;
        }
        if (run >= 0) {
            std::printf("%.3f\n", took.count());
        }
    }
    return 0;
}
