// Conversions of the command-line argument texts.
#pragma once

#include <cstdint>
#include <optional>

namespace rovurer {

// Decimal text to a signed integer, as strtol reads it: leading white space,
// an optional sign, then digits up to the first other character; 0 when there
// are no digits. A value outside the result type saturates at its nearest
// limit, so it can never wrap around into a small number. Never fails.
std::int32_t parse_int32(const char* text);
std::int64_t parse_int64(const char* text);

// A position text to a signed 64-bit position, truncated towards zero.
// A plain decimal text (no exponent, like "9007199254740993" or "12.9") gives
// its integer part exactly; any other number strtod reads ("1e9", "0x10")
// goes through double. 0 when the text holds no number. Returns nullopt when
// the value is not finite or does not fit a signed 64-bit integer.
std::optional<std::int64_t> parse_position(const char* text);

}  // namespace rovurer
