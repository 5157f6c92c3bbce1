// --check-pi: a file of pi checked against digits computed at positions
// spread over it.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

namespace rovurer {

// Checks the file's hexadecimal digits at --samples positions against pi's:
// a line a position, then how many digits matched (status 0); the first
// position that differs (status 1); any trouble, status 2.
int check_pi_action(const command_line& command, console& io);

}  // namespace rovurer
