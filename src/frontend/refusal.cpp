#include "frontend/refusal.h"

#include <cstring>

#include "reader/digit_stream.h"

std::string digit_file_problem(const char* filename, const digit_file_opening& opening) {
    const std::string name = std::string(filename) + ": ";
    switch (opening.check) {
        case digit_file_check::ok:
            return {};
        case digit_file_check::cannot_open:
            return name + "cannot open: " + std::strerror(opening.open_error);
        case digit_file_check::too_short:
            return name + "not a digit file: shorter than the 56-byte header";
        case digit_file_check::unreadable:
            return name + "cannot read its header";
        case digit_file_check::wrong_magic:
            return name + "not a digit file: wrong magic";
        case digit_file_check::wrong_kind:
            return name + "not a digit file: the kind is " + std::to_string(opening.header.kind) + ", not 2";
        case digit_file_check::negative_lead_words:
            return name + "not a digit file: lead_words is negative (" + std::to_string(opening.header.lead_words) +
                   ")";
    }
    return {};
}

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

std::string digits_from_position_one(const digit_file_header& header, std::int32_t base) {
    return digits_in_words(digit_file_words_from(header, 0), digits_per_word(base));
}

std::string base_refusal(std::int32_t base) {
    return "base " + std::to_string(base) + " is not 2, 10 or 16";
}

std::string refusal_reason(const char* filename, std::int32_t base, std::int64_t pos) {
    if (!digit_base_supported(base)) {
        return base_refusal(base);
    }
    if (pos < 1) {
        return "positions start at 1, not " + std::to_string(pos);
    }
    const digit_file_opening opening = digit_file_open(filename);
    if (opening.check != digit_file_check::ok) {
        return digit_file_problem(filename, opening);
    }
    platform_close(opening.file);
    if (digit_file_words_from(opening.header, (pos - 1) / digits_per_word(base)) == 0) {
        return std::string(filename) + ": position " + std::to_string(pos) + " is past the end of the data (" +
               digits_from_position_one(opening.header, base) + " base-" + std::to_string(base) + " digits)";
    }
    return "out of memory";
}
