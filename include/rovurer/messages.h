// rovurer's words for what a request gets wrong, as the errors of the
// calls carry them (result.h) and as the command line and the server say
// them: with no file name and no "rovurer: ", which callers put in front.
// For checking a request before any file is opened, in the order the
// command line checks it.
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rovurer {

// Whether digits of `base` can be shown: 2, 10 and 16.
ROVURER_API bool base_supported(int base);

// "base B is not 2, 10 or 16".
ROVURER_API std::string base_refusal(int base);

// "positions start at 1, not P".
ROVURER_API std::string position_refusal(std::int64_t pos);

// Whether `digits` is one or more digits of `base` (A-F in either case).
ROVURER_API bool is_digit_string(std::string_view digits, int base);

// Why `digits` cannot be found in `base`: "'12a' is not a string of
// base-10 digits".
ROVURER_API std::string digits_refusal(std::string_view digits, int base);

// A number refused: "invalid position '1,000'", or "position '9e99' is out
// of range"; `what` names it.
ROVURER_API std::string number_refusal(std::string_view what, std::string_view text, bool out_of_range);

// Why the kernel set `name` cannot be used: unknown (naming the known ones),
// or not one this CPU runs; empty when it can.
ROVURER_API std::string kernel_set_refusal(std::string_view name);

// The words of errc::read_failed and errc::out_of_memory.
inline constexpr const char* read_failed_text = "a read of the data failed";
inline constexpr const char* out_of_memory_text = "out of memory";

}  // namespace rovurer
