// --serve: the files' digits over HTTP, until SIGINT or SIGTERM.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

namespace rovurer {

// Opens every file (each refusal as the other forms say it), refuses two
// files of one name, listens, says where on standard error, and serves.
// Status 0 after a graceful end; 1 when it cannot start. In a build without
// the server, says so and ends 1.
int serve_action(const command_line& command, console& io);

}  // namespace rovurer
