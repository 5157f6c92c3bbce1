#include "cli/pack_form.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "cli/operands.h"
#include "cli/plan.h"
#include "cli/progress.h"
#include "library/messages.h"
#include "platform/platform.h"
#include "reader/digit_stream.h"
#include "rovurer/numbers.h"
#include "write/pack_file.h"

namespace rovurer {

namespace {

constexpr std::size_t pack_operands = 3;

}  // namespace

int pack_action(const command_line& command, console& io) {
    const operand_list& operands = command.operands;
    if (operands.size() != pack_operands) {
        return usage_error(
            command, io,
            operands.size() < pack_operands ? "rovurer: missing arguments" : "rovurer: too many arguments");
    }
    const std::string text = operands[0];
    const std::string target = operands[1];
    if (target == "-") {
        // A digit file is renamed into place once whole: it cannot be a stream.
        return usage_error(command, io, "rovurer: --pack writes a file: name it, not -");
    }
    const strict_number base = parse_strict_integer(operands[2], INT32_MIN, INT32_MAX);
    if (base.status != strict_number::verdict::ok) {
        return usage_error(
            command, io,
            "rovurer: " + number_refusal("base", operands[2], base.status == strict_number::verdict::out_of_range));
    }
    if (!digit_base_supported(static_cast<std::int32_t>(base.value))) {
        return report(io, "rovurer: " + base_refusal(static_cast<std::int32_t>(base.value)), command.trouble_status);
    }
    const bool from_input = text == "-";
    const std::string text_name = from_input ? "standard input" : text;
    int open_error = 0;
    const platform::file opened = from_input ? platform::file() : platform::open_sequential(text.c_str(), &open_error);
    if (!from_input && !opened.is_open()) {
        return report(io, "rovurer: " + text + ": cannot open: " + std::strerror(open_error), command.trouble_status);
    }
    // A signal stops the packing between pieces, and the temporary file
    // goes; a write past the file-size limit is a write error.
    platform::catch_stop_signals();
    platform::ignore_file_size_signal();
    // A signal that the writer's thread catches still ends a read that
    // waits on a pipe here.
    const platform::interruptible_thread reads_stop;
    pack_request request;
    request.base = static_cast<int>(base.value);
    request.replace = command.force;
    request.threads = thread_count(command, io);
    request.stopped = [] { return platform::stop_signal() != 0; };
    const std::unique_ptr<text_source> source =
        from_input ? text_of_handle(platform::standard_input()) : text_of_file(opened);
    // How far, in bytes of the text, where its size is known.
    const std::int64_t size = from_input ? -1 : platform::file_size(opened);
    std::atomic<std::int64_t> done{0};
    request.done = &done;
    progress_display display(size >= 0 ? progress_of(command) : progress_mode::off, size, &done, nullptr, "bytes");
    const result<packed> made = pack_to_file(*source, target, request);
    display.stop();
    if (platform::stop_signal() != 0) {
        return stopped_by_signal(io);
    }
    if (!made) {
        const std::string& name = made.error().file == 1 ? text_name : target;
        return report(io, "rovurer: " + name + ": " + made.error().message, command.trouble_status);
    }
    if (made->padding > 0) {
        report(io,
               "rovurer: " + target + ": the last word is filled with " + std::to_string(made->padding) +
                   (made->padding == 1 ? " zero" : " zeros"),
               exit_shown);
    }
    return finish(io, exit_shown);
}

}  // namespace rovurer
