// Where a string of decimal digits first occurs in a digit file, and how
// often each digit occurs in the digits up to there.
//
//   first_and_counts FILE DIGITS
#include <cstdio>
#include <string>

#include <rovurer/rovurer.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: first_and_counts FILE DIGITS\n");
        return 2;
    }
    const rovurer::result<rovurer::file> pi = rovurer::file::open(argv[1]);
    if (!pi) {
        std::fprintf(stderr, "%s: %s\n", argv[1], pi.error().message.c_str());
        return 2;
    }
    rovurer::scan_options options;
    options.threads = 0;  // every processor
    const rovurer::range decimals{10, 1, rovurer::to_end};
    const rovurer::result<rovurer::found> first = rovurer::find(*pi, argv[2], decimals, 1, options);
    if (!first) {
        std::fprintf(stderr, "%s: %s\n", argv[1], first.error().message.c_str());
        return 2;
    }
    if (first->positions.empty()) {
        std::printf("%s does not occur in the %s decimals of %s\n", argv[2], pi->facts().digits_text(10).c_str(),
                    argv[1]);
        return 1;
    }
    const std::uint64_t at = first->positions.front();
    std::printf("%s first occurs at position %llu\n", argv[2], static_cast<unsigned long long>(at));

    const rovurer::range before{10, 1, static_cast<std::int64_t>(at) - 1};
    const rovurer::result<rovurer::digit_counts> counts = rovurer::count(*pi, before, options);
    if (!counts) {
        std::fprintf(stderr, "%s: %s\n", argv[1], counts.error().message.c_str());
        return 2;
    }
    std::printf("digits before it:");
    for (int digit = 0; digit < 10; ++digit) {
        std::printf(" %d:%llu", digit, static_cast<unsigned long long>((*counts)[static_cast<std::size_t>(digit)]));
    }
    std::printf("\n");
    return 0;
}
