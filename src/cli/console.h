// The console of a run: standard output and error, the messages rovurer
// gives there, and the statuses they end with. Every message of the option
// forms is written here, once, as the run ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cli/exit_status.h"
#include "cli/options.h"
#include "rovurer/result.h"
#include "rovurer/text.h"

namespace rovurer {

// One of the console's streams: text held until it is flushed to a sink.
class console_stream {
public:
    // Delivers `length` bytes; returns 0, or an errno value when they could
    // not all be delivered.
    using sink_function = int (*)(void* context, const char* bytes, std::size_t length);

    // `standard_output`: the sink writes this process's standard output,
    // where the library may write text itself (in place, on threads).
    console_stream(sink_function sink, void* context, bool standard_output = false)
        : sink_(sink), context_(context), standard_output_(standard_output) {}

    void put(char c) { held_ += c; }
    void append(std::string_view text) { held_ += text; }

    // Delivers what is held. False once any delivery has failed; then
    // nothing more is delivered.
    bool flush();
    bool failed() const { return error_ != 0; }
    int error() const { return error_; }

    // Where the library's text goes, after what is held: standard output
    // itself, or this stream's sink.
    text_output text_target();

private:
    sink_function sink_;
    void* context_;
    bool standard_output_;
    std::string held_;
    int error_ = 0;
};

struct console {
    console_stream& out;
    console_stream& err;
};

// Reports a failed write of standard output ("rovurer: write error:
// REASON"); returns `status`.
int report_write_error(console& io, int error, int status);

// Flushes standard output; a failed write turns any status into a reported
// error with `write_status`.
int finish(console& io, int status, int write_status = exit_refused);

// Writes `message` and a newline on standard error; returns `status`.
int report(console& io, const std::string& message, int status);

// The usage text on standard output, as for missing arguments without an
// option.
int show_usage(console& io);

// A usage error of the option forms: the message and a pointer to --help,
// on standard error only.
int usage_error(const command_line& command, console& io, const std::string& message);

// A library call's error in the command line's words, after "rovurer: ":
// an error about the file (it cannot be opened or read, is not a digit
// file, holds no digit at the position) names it first.
std::string error_message(const char* filename, const error& failure);

// Ends an option form whose call failed, or that a stop signal stopped:
// what was shown stays; a signal ends it with 128 + its number; a read that
// failed, or memory that lacked, says so with status 2; a write that failed
// says why; any other refusal says why with the form's trouble status.
int end_with_error(const command_line& command, console& io, const char* filename, const error& failure);

// A job that a signal asked to stop: what was shown stays, and the caller
// ends the process by that signal. Returns 128 + its number.
int stopped_by_signal(console& io);

}  // namespace rovurer
