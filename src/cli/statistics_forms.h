// The forms that ask what a run's digits look like: --stats, --blocks,
// --runs, --missing (and --first), --self-locating and --walk, each one
// call of the library (rovurer/stats.h); and --merge of their shards'
// answers.
#pragma once

#include <string>

#include "cli/console.h"
#include "cli/options.h"
#include "rovurer/file.h"
#include "rovurer/stats.h"

namespace rovurer {

// Runs the statistics form of `command` over `where` of `source`, opened
// and checked; returns the exit status.
int run_statistics_form(const command_line& command, const file& source, const range& where, console& io);

// --merge FORM PARTS...: the answer of the whole run from its shards'.
int merge_action(const command_line& command, console& io);

// The answers as the command line prints them without --json.
std::string statistics_table(const digit_statistics& answer);
std::string missing_table(const missing_strings& answer);

}  // namespace rovurer
