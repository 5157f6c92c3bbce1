// Digits laid out for people: in groups, in lines with the position of
// their last digit, as the command line shows them.
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "rovurer/result.h"

namespace rovurer {

struct layout {
    std::int64_t group = 10;    // digits a group, a space between groups; 0: no spaces
    std::int64_t per_line = 0;  // digits a line (a multiple of group, as the command line asks,
                                // or groups restart on each line); 0: one line
    bool labels = true;         // each line ends in "  : " and the position of its last digit
    // One line that the data ends right after a full group keeps the space
    // after that group, as the plain command line writes it (write_text,
    // text.h; format knows no end of data and ignores it).
    bool space_at_data_end = false;
};

// The text `rovurer --group G --per-line L [--no-labels] FILE BASE POS N`
// writes for `digits`, the digits from `first_position` on: lines of
// per_line digits each end in a newline (the last may be shorter); one line
// (per_line 0) has no newline. Refuses a group or per_line below 0
// (errc::bad_option) and a position below 1.
ROVURER_API result<std::string> format(std::string_view digits, std::int64_t first_position, const layout& shape = {});

}  // namespace rovurer
