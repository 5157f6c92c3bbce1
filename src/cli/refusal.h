// Why a file, a base or a position cannot be shown: the reasons that the
// option forms give (the plain form keeps its one message). Built from what
// the reader found; nothing here looks at a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "library/messages.h"
#include "reader/digit_stream.h"

namespace rovurer {

// A file name as messages show it: as typed, unless it holds control
// characters or bytes that are not UTF-8, which would reach the terminal raw;
// then quoted as GNU tools quote such names, for the shell:
// 'a'$'\n''b' for "a", a newline, "b".
std::string shown_name(std::string_view name);

// What is wrong with a file that is not a digit file, as "FILENAME: REASON";
// empty when its check is ok.
std::string file_problem(const char* filename, const digit_file::verdict& verdict);

// Why the digits of `filename` in `base` from `pos` could not be opened, as
// one line without "rovurer: " or a newline.
std::string refusal_reason(const char* filename, std::int32_t base, std::int64_t pos,
                           const digit_stream_refusal& refusal);

}  // namespace rovurer
