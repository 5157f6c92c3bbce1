// The words of rovurer's messages about a file and a position (the public
// ones are in rovurer/messages.h), with no file name and no "rovurer: ".
// Built from what the reader found; nothing here looks at a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/digit_file.h"
#include "rovurer/messages.h"

namespace rovurer {

// Why a file is not a digit file ("not a digit file: wrong magic"); empty
// when its check is ok.
std::string file_problem_text(const digit_file::verdict& verdict);

// "position P is past the end of the data (D base-B digits)", for a file
// whose header is `declared`.
std::string past_end_text(std::int64_t pos, std::int32_t base, const digit_file::header& declared);

}  // namespace rovurer
