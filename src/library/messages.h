// The words of rovurer's messages about a file, a base or a position, with
// no file name and no "rovurer: ": the command line puts those in front,
// other callers show them as they are. Built from what the reader found;
// nothing here looks at a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/digit_file.h"

namespace rovurer {

// Why a file is not a digit file ("not a digit file: wrong magic"); empty
// when its check is ok.
std::string file_problem_text(const digit_file::verdict& verdict);

// "base B is not 2, 10 or 16".
std::string base_refusal(std::int32_t base);

// "positions start at 1, not P".
std::string position_refusal(std::int64_t pos);

// "position P is past the end of the data (D base-B digits)", for a file
// whose header is `declared`.
std::string past_end_text(std::int64_t pos, std::int32_t base, const digit_file::header& declared);

// Why `digits` cannot be found in `base`: "'12a' is not a string of
// base-10 digits".
std::string digits_refusal(std::string_view digits, std::int32_t base);

// Why the kernel set `name` cannot be used: unknown (naming the known ones),
// or not supported by this CPU; empty when it can.
std::string kernel_set_refusal(std::string_view name);

// A number the option forms (and the server's parameters) refuse: "invalid
// position '1,000'", or "position '9e99' is out of range"; `what` names it.
std::string number_refusal(std::string_view what, std::string_view text, bool out_of_range);

// A read of the data that came short.
inline constexpr const char* read_failed_text = "a read of the data failed";
inline constexpr const char* out_of_memory_text = "out of memory";

}  // namespace rovurer
