// The console of a run: standard output and error, the messages rovurer
// gives there, and the statuses they end with. Every message of the option
// forms is written here, once, as the run ends.
#pragma once

#include <string>

#include "cli/exit_status.h"
#include "cli/options.h"
#include "parallel/command_result.h"
#include "parallel/output.h"

namespace rovurer {

// How a form that reads digits ended, and the status it ends with when it
// succeeds.
struct digit_outcome {
    command_result result;
    int status;
    bool no_digits = false;  // the run holds none: a dump in lines still ends its one line
};

struct console {
    output_buffer& out;
    output_buffer& err;
};

// Reports the failed write of standard output; returns `status`.
int report_write_error(console& io, int status);

// Flushes standard output; a failed write turns any status into a reported
// error with `write_status`.
int finish(console& io, int status, int write_status = exit_refused);

// Writes `message` and a newline on standard error; returns `status`.
int report(console& io, const std::string& message, int status);

// A failed read of the option forms: what was shown stays, and the message
// names the file.
int report_read_failure(console& io, const char* filename, int write_status);

// A job that a signal asked to stop: what was shown stays, and the caller
// ends the process by that signal. Returns 128 + its number.
int stopped_by_signal(console& io);

// A part that could not get its memory: what was shown stays.
int report_out_of_memory(console& io, int write_status);

// The usage text on standard output, as for missing arguments without an
// option.
int show_usage(console& io);

// A usage error of the option forms: the message and a pointer to --help,
// on standard error only.
int usage_error(const command_line& command, console& io, const std::string& message);

// Ends a digit form after its work. Without an option, as the plain command
// has always ended: a failed read says nothing, and the line ends with a
// newline; with one, each failure says why; a signal that stopped the job
// ends it with 128 + its number.
int conclude(const command_line& command, const char* filename, digit_outcome outcome, console& io);

}  // namespace rovurer
