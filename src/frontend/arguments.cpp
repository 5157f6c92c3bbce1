#include "frontend/arguments.h"

#include <cmath>
#include <cstdlib>
#include <limits>

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

}  // namespace rovurer
