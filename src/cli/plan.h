// How a form runs: its threads, its shard, its progress line.
#pragma once

#include "cli/console.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "rovurer/scan.h"

namespace rovurer {

// The threads a job may use: as many as --threads asks, but no more than
// the processors this process may run on (more only share them, each with
// its buffers), saying so; by default, and for 0, those processors.
int thread_count(const command_line& command, console& io);

// Whether this run is the whole run, or its last shard.
bool last_shard(const command_line& command);

// The progress display --progress and --no-progress ask for.
progress_mode progress_of(const command_line& command);

// A library call's options for the command: its threads (saying so when
// they are capped), its shard and its progress line.
scan_options call_options(const command_line& command, console& io, call_progress& progress);

}  // namespace rovurer
