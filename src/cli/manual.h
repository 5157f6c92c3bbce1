// The manual page's SYNOPSIS and OPTIONS, in troff, made from the option
// table, and its version: doc/rovurer.1 holds them, a test checks that they
// are what the table and the build make, and
// `cmake --build BUILD --target manual` writes them there.
#pragma once

#include <string>
#include <string_view>

namespace rovurer {

// The lines of the SYNOPSIS: one for each form, then the options every
// form that reads digits takes.
std::string manual_synopsis();

// The entries of OPTIONS, one ".TP" paragraph an option, in table order.
std::string manual_options();

// The markers around the made text in the manual page.
inline constexpr std::string_view synopsis_begin = ".\\\" synopsis: made from the option table\n";
inline constexpr std::string_view options_begin = ".\\\" options: made from the option table\n";
inline constexpr std::string_view made_end = ".\\\" end of the text made from the option table\n";

// `manual` with the text between each begin marker and the end marker after
// it replaced by what the table makes, and the version in its title line
// (.TH ... "rovurer VERSION") this build's; "" when a marker or the title's
// version is missing.
std::string with_made_sections(std::string_view manual);

}  // namespace rovurer
