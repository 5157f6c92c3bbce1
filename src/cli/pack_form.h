// --pack: text digits into a digit file, written whole or not at all.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

namespace rovurer {

// Packs TEXT ("-": standard input) into DIGITFILE in the base; says where a
// character that is not a digit stands, and why a write failed. A note on
// standard error tells how many zeros fill the last word. Status 0, or 1
// after any trouble (nothing then at DIGITFILE that was not there before);
// a stop signal ends it by that signal, leaving nothing behind.
int pack_action(const command_line& command, console& io);

}  // namespace rovurer
