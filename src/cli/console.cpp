#include "cli/console.h"

#include <cstring>

#include "cli/cli.h"
#include "cli/names.h"
#include "platform/platform.h"

namespace rovurer {

bool console_stream::flush() {
    if (error_ == 0 && !held_.empty()) {
        error_ = sink_(context_, held_.data(), held_.size());
    }
    held_.clear();
    return error_ == 0;
}

text_output console_stream::text_target() {
    flush();
    if (standard_output_) {
        return text_output::standard_output();
    }
    return text_output::to([this](std::string_view piece) {
        if (error_ == 0) {
            error_ = sink_(context_, piece.data(), piece.size());
        }
        return error_;
    });
}

int report_write_error(console& io, int error, int status) {
    io.err.append("rovurer: write error: ");
    io.err.append(std::strerror(error));
    io.err.put('\n');
    io.err.flush();
    return status;
}

int finish(console& io, int status, int write_status) {
    return io.out.flush() ? status : report_write_error(io, io.out.error(), write_status);
}

int report(console& io, const std::string& message, int status) {
    io.err.append(message);
    io.err.put('\n');
    io.err.flush();
    return status;
}

int show_usage(console& io) {
    io.out.append(usage_text);
    io.out.put('\n');
    return finish(io, exit_refused);
}

int usage_error(const command_line& command, console& io, const std::string& message) {
    return report(io, message + "\nTry 'rovurer --help' for more information.", command.trouble_status);
}

std::string error_message(const char* filename, const error& failure) {
    switch (failure.code) {
        case errc::cannot_open:
        case errc::unreadable:
        case errc::too_short:
        case errc::wrong_magic:
        case errc::wrong_kind:
        case errc::negative_lead_words:
        case errc::past_end:
        case errc::read_failed:
        case errc::size_unknown:
            return shown_name(filename) + ": " + failure.message;
        default:
            return failure.message;
    }
}

int stopped_by_signal(console& io) {
    (void)io.out.flush();
    return 128 + platform::stop_signal();
}

int end_with_error(const command_line& command, console& io, const char* filename, const error& failure) {
    if (platform::stop_signal() != 0) {
        return stopped_by_signal(io);
    }
    const int write_status = command.trouble_status;
    switch (failure.code) {
        case errc::read_failed:
        case errc::out_of_memory: {
            const int status = finish(io, exit_read_failed, write_status);
            return report(io, "rovurer: " + error_message(filename, failure), status);
        }
        case errc::write_failed:
            (void)io.out.flush();
            return report_write_error(io, failure.system_error, write_status);
        default:
            (void)io.out.flush();
            return report(io, "rovurer: " + error_message(filename, failure), command.trouble_status);
    }
}

}  // namespace rovurer
