// Numbers written as text, as rovurer reads them: the command line's
// arguments, and the parameters of the server's requests.
//
// Two manners. The plain command line (no option) reads its numbers
// leniently, as strtol and strtod do, and never fails. The option forms and
// the server read them strictly: the whole text must be the number, and a
// refusal names it in the words of number_refusal (messages.h).
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <optional>

namespace rovurer {

// Decimal text to a signed integer, as strtol reads it: leading white space,
// an optional sign, then digits up to the first other character; 0 when there
// are no digits. A value outside the result type saturates at its nearest
// limit, so it can never wrap around into a small number. Never fails.
ROVURER_API std::int32_t parse_int32(const char* text);
ROVURER_API std::int64_t parse_int64(const char* text);

// A position text to a signed 64-bit position, truncated towards zero.
// A plain decimal text (no exponent, like "9007199254740993" or "12.9") gives
// its integer part exactly; any other number strtod reads ("1e9", "0x10")
// goes through double. 0 when the text holds no number. Returns nullopt when
// the value is not finite or does not fit a signed 64-bit integer.
ROVURER_API std::optional<std::int64_t> parse_position(const char* text);

// The option forms' numbers: the whole text must be the number.
struct strict_number {
    enum class verdict { ok, invalid, out_of_range };
    strict_number::verdict status = verdict::invalid;
    std::int64_t value = 0;  // when ok
};

// A decimal integer, optionally signed ("-12", "+7"), nothing else: no
// blanks, separators, fraction or other base. out_of_range when it is below
// `lowest` or above `highest`.
ROVURER_API strict_number parse_strict_integer(const char* text, std::int64_t lowest, std::int64_t highest);

// A decimal integer, or a number in exponent form ("1e9", "2.5E3") whose
// value is whole, as a signed 64-bit integer; out_of_range when it is whole
// but does not fit. Exact: no floating point.
ROVURER_API strict_number parse_strict_whole(const char* text);

}  // namespace rovurer
