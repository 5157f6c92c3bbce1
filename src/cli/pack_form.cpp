#include "cli/pack_form.h"

#include <string>

#include "cli/operands.h"
#include "cli/plan.h"
#include "cli/progress.h"
#include "platform/platform.h"
#include "rovurer/messages.h"
#include "rovurer/numbers.h"
#include "rovurer/pack.h"

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
    if (!base_supported(static_cast<int>(base.value))) {
        return report(io, "rovurer: " + base_refusal(static_cast<int>(base.value)), command.trouble_status);
    }
    const bool from_input = text == "-";
    const std::string text_name = from_input ? "standard input" : text;
    // A signal stops the packing between pieces, and the temporary file
    // goes; a write past the file-size limit is a write error.
    platform::catch_stop_signals();
    platform::ignore_file_size_signal();
    // A signal that the writer's thread catches still ends a read that
    // waits on a pipe here.
    const platform::interruptible_thread reads_stop;
    pack_options options;
    options.replace = command.force;
    options.threads = thread_count(command, io);
    // How far, in bytes of the text, where its size is known.
    call_progress progress(progress_of(command), "bytes");
    options.progress = progress.callback();
    const int base_value = static_cast<int>(base.value);
    const result<packed> made =
        from_input ? pack_standard_input(target, base_value, options) : pack(text, target, base_value, options);
    progress.stop();
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
