#include "rovurer/numbers.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace rovurer {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The value of the leading decimal digits at `text` when it is at most
// `limit`, or limit + 1 when it is larger. `limit` must be below 2^64 - 1.
std::uint64_t leading_magnitude(const char* text, std::uint64_t limit) {
    std::uint64_t magnitude = 0;
    for (; is_digit(*text); ++text) {
        const auto digit = static_cast<std::uint64_t>(*text - '0');
        if (magnitude > (limit - digit) / 10) {
            return limit + 1;
        }
        magnitude = magnitude * 10 + digit;
    }
    return magnitude;
}

template <typename Int>
Int parse_saturating(const char* text) {
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
    while (is_space(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    const std::uint64_t magnitude = leading_magnitude(text, max + 1);
    if (negative) {
        return magnitude > max ? std::numeric_limits<Int>::min() : static_cast<Int>(-static_cast<Int>(magnitude));
    }
    return magnitude > max ? std::numeric_limits<Int>::max() : static_cast<Int>(magnitude);
}

}  // namespace

std::int32_t parse_int32(const char* text) {
    return parse_saturating<std::int32_t>(text);
}

std::int64_t parse_int64(const char* text) {
    return parse_saturating<std::int64_t>(text);
}

std::optional<std::int64_t> parse_position(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);

    // Is the number strtod read a plain decimal: sign, digits, point, digits?
    const char* cursor = text;
    while (is_space(*cursor)) {
        ++cursor;
    }
    const bool negative = *cursor == '-';
    if (*cursor == '-' || *cursor == '+') {
        ++cursor;
    }
    const char* const digits = cursor;
    while (cursor < end && (is_digit(*cursor) || *cursor == '.')) {
        ++cursor;
    }
    if (end != text && cursor == end) {
        constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        const std::uint64_t magnitude = leading_magnitude(digits, max);
        if (magnitude > max) {
            return std::nullopt;
        }
        const auto integer_part = static_cast<std::int64_t>(magnitude);
        return negative ? -integer_part : integer_part;
    }

    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    // 2^63 is exact in double; anything at or above it, or below -2^63, is
    // out of range, and truncation of what is left cannot overflow.
    constexpr double two_to_63 = 9223372036854775808.0;
    if (value >= two_to_63 || value < -two_to_63) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

namespace {

// Sign and digits at `text`: the magnitude, up to 2^63 (then capped there
// and marked too large), and where the digits end.
struct signed_digits {
    bool negative = false;
    bool any = false;
    bool too_large = false;
    std::uint64_t magnitude = 0;
    const char* end = nullptr;
};

signed_digits read_signed_digits(const char* text) {
    constexpr std::uint64_t cap = std::uint64_t{1} << 63;
    signed_digits read;
    read.negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    for (; is_digit(*text); ++text) {
        read.any = true;
        const auto digit = static_cast<std::uint64_t>(*text - '0');
        if (read.magnitude > (cap - digit) / 10) {
            read.too_large = true;
            read.magnitude = cap;
        } else if (!read.too_large) {
            read.magnitude = read.magnitude * 10 + digit;
        }
    }
    read.end = text;
    return read;
}

// The signed value of a magnitude up to 2^63, when it lies in [lowest, highest].
strict_number within(bool negative, std::uint64_t magnitude, bool too_large, std::int64_t lowest,
                     std::int64_t highest) {
    constexpr std::uint64_t cap = std::uint64_t{1} << 63;
    strict_number number;
    number.status = strict_number::verdict::out_of_range;
    if (too_large || magnitude > cap || (!negative && magnitude == cap)) {
        return number;
    }
    const std::int64_t value =
        negative ? (magnitude == cap ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(magnitude))
                 : static_cast<std::int64_t>(magnitude);
    if (value < lowest || value > highest) {
        return number;
    }
    number.status = strict_number::verdict::ok;
    number.value = value;
    return number;
}

}  // namespace

strict_number parse_strict_integer(const char* text, std::int64_t lowest, std::int64_t highest) {
    const signed_digits read = read_signed_digits(text);
    if (!read.any || *read.end != '\0') {
        return {};
    }
    return within(read.negative, read.magnitude, read.too_large, lowest, highest);
}

strict_number parse_strict_whole(const char* text) {
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const signed_digits integer = read_signed_digits(text);
    const char* cursor = integer.end;
    if (*cursor == '\0') {
        return integer.any ? within(integer.negative, integer.magnitude, integer.too_large, -max - 1, max)
                           : strict_number{};
    }
    // Exponent form: the significant digits, the fraction's length and the
    // exponent, exactly.
    std::string digits(text + (*text == '-' || *text == '+' ? 1 : 0), integer.end);
    std::int64_t fraction = 0;
    if (*cursor == '.') {
        for (++cursor; is_digit(*cursor); ++cursor) {
            digits.push_back(*cursor);
            ++fraction;
        }
    }
    if (digits.empty() || (*cursor != 'e' && *cursor != 'E')) {
        return {};
    }
    ++cursor;
    const bool exponent_negative = *cursor == '-';
    if (*cursor == '-' || *cursor == '+') {
        ++cursor;
    }
    if (!is_digit(*cursor)) {
        return {};
    }
    // Exponents past a million are all alike: far beyond any 64-bit value.
    constexpr std::int64_t exponent_cap = 1000000;
    std::int64_t exponent = 0;
    for (; is_digit(*cursor); ++cursor) {
        exponent = exponent < exponent_cap ? exponent * 10 + (*cursor - '0') : exponent_cap;
    }
    if (*cursor != '\0') {
        return {};
    }
    std::int64_t scale = (exponent_negative ? -exponent : exponent) - fraction;
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        return {strict_number::verdict::ok, 0};  // zero, whatever the exponent
    }
    digits.erase(0, first);
    // A whole number only when the digits a negative scale drops are zeros.
    while (scale < 0) {
        if (digits.back() != '0') {
            return {};
        }
        digits.pop_back();
        ++scale;
    }
    if (static_cast<std::int64_t>(digits.size()) + scale > 19) {
        return {strict_number::verdict::out_of_range, 0};
    }
    digits.append(static_cast<std::size_t>(scale), '0');
    const signed_digits value = read_signed_digits(digits.c_str());
    return within(integer.negative, value.magnitude, value.too_large, -max - 1, max);
}

}  // namespace rovurer
