// File names as the command line's messages show them.
#pragma once

#include <string>
#include <string_view>

namespace rovurer {

// `name` as typed when it is printable UTF-8; otherwise quoted as GNU tools
// quote names: printable runs in '...', other bytes in $'...' escapes.
std::string shown_name(std::string_view name);

}  // namespace rovurer
