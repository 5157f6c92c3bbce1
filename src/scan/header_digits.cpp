#include "scan/header_digits.h"

#include "reader/digit_stream.h"

namespace rovurer {

std::string digits_in_words(std::int64_t words, std::int64_t per_word) {
    // words = high * 10^17 + low, so low * per_word < 6.4 * 10^18 fits.
    constexpr std::uint64_t ten_to_17 = 100000000000000000ULL;
    const auto high = static_cast<std::uint64_t>(words) / ten_to_17;
    const std::uint64_t low_product =
        static_cast<std::uint64_t>(words) % ten_to_17 * static_cast<std::uint64_t>(per_word);
    const std::uint64_t top = high * static_cast<std::uint64_t>(per_word) + low_product / ten_to_17;
    std::string rest = std::to_string(low_product % ten_to_17);
    if (top == 0) {
        return rest;
    }
    return std::to_string(top) + std::string(17 - rest.size(), '0') + rest;
}

std::string digits_from_position_one(const digit_file::header& declared, std::int32_t base) {
    return digits_in_words(digit_file::words_from(declared, 0), digits_per_word(base));
}

}  // namespace rovurer
