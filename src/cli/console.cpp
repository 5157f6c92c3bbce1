#include "cli/console.h"

#include <cstring>

#include "cli/cli.h"
#include "cli/plan.h"
#include "cli/refusal.h"
#include "platform/platform.h"

namespace rovurer {

int report_write_error(console& io, int status) {
    io.err.append("rovurer: write error: ");
    io.err.append(std::strerror(io.out.error()));
    io.err.put('\n');
    io.err.flush();
    return status;
}

int finish(console& io, int status, int write_status) {
    return io.out.flush() ? status : report_write_error(io, write_status);
}

int report(console& io, const std::string& message, int status) {
    io.err.append(message.c_str());
    io.err.put('\n');
    io.err.flush();
    return status;
}

int report_read_failure(console& io, const char* filename, int write_status) {
    const int status = finish(io, exit_read_failed, write_status);
    return report(io, "rovurer: " + shown_name(filename) + ": " + read_failed_text, status);
}

int stopped_by_signal(console& io) {
    (void)io.out.flush();
    return 128 + platform::stop_signal();
}

int report_out_of_memory(console& io, int write_status) {
    const int status = finish(io, exit_read_failed, write_status);
    return report(io, std::string("rovurer: ") + out_of_memory_text, status);
}

int show_usage(console& io) {
    io.out.append(usage_text);
    io.out.put('\n');
    return finish(io, exit_refused);
}

int usage_error(const command_line& command, console& io, const std::string& message) {
    return report(io, message + "\nTry 'rovurer --help' for more information.", command.trouble_status);
}

int conclude(const command_line& command, const char* filename, digit_outcome outcome, console& io) {
    if (platform::stop_signal() != 0) {
        return stopped_by_signal(io);
    }
    const int write_status = command.trouble_status;
    switch (outcome.result) {
        case command_result::read_failed:
            // The digits already handed out still appear; nothing follows them.
            return command.any_option ? report_read_failure(io, filename, write_status)
                                      : finish(io, exit_read_failed, write_status);
        case command_result::write_failed:
            return report_write_error(io, write_status);
        case command_result::out_of_memory:
            return report_out_of_memory(io, write_status);
        case command_result::shown:
        case command_result::differ:
            break;
    }
    // One line of digits ends with a newline: the last shard's. So does a
    // run of no digits, in lines too.
    if (command.form == command_form::dump && (command.layout.per_line == 0 || outcome.no_digits) &&
        last_shard(command)) {
        io.out.put('\n');
    }
    return finish(io, outcome.status, write_status);
}

}  // namespace rovurer
