// The exit statuses of rovurer; a signal that ends a run adds 128 to its
// number, as the shell shows it.
#pragma once

namespace rovurer {

inline constexpr int exit_shown = 0;        // digits shown (also none, or fewer at end of data)
inline constexpr int exit_refused = 1;      // usage text, refusal, or write error
inline constexpr int exit_read_failed = 2;  // a block of the data region could not be read

}  // namespace rovurer
