#include "cli/check_form.h"

#include <string>

#include "cli/names.h"
#include "cli/plan.h"
#include "platform/platform.h"
#include "rovurer/check.h"

namespace rovurer {

int check_pi_action(const command_line& command, console& io) {
    if (command.operands.size() != 1) {
        return usage_error(command, io,
                           command.operands.empty() ? "rovurer: missing arguments" : "rovurer: too many arguments");
    }
    const char* filename = command.operands[0];
    const result<file> opened = file::open(filename);
    if (!opened) {
        return report(io, "rovurer: " + error_message(filename, opened.error()), command.trouble_status);
    }
    platform::catch_stop_signals();
    call_progress progress(progress_mode::off);
    const scan_options options = call_options(command, io, progress);
    const result<pi_check> checked = check_pi(*opened, static_cast<int>(command.samples), options);
    if (!checked) {
        return end_with_error(command, io, filename, checked.error());
    }
    std::int64_t digits = 0;
    for (const pi_sample& sample : checked->samples) {
        io.out.append("position " + std::to_string(sample.pos) + ": pi " + sample.computed + ", the file " +
                      sample.read + (sample.read == sample.computed ? "\n" : ": differs\n"));
        digits += static_cast<std::int64_t>(sample.computed.size());
    }
    if (checked->difference != 0) {
        const int status = finish(io, exit_refused, command.trouble_status);
        return report(io,
                      "rovurer: " + shown_name(filename) + " is not pi in base 16: position " +
                          std::to_string(checked->difference) + " differs",
                      status);
    }
    const std::size_t positions = checked->samples.size();
    io.out.append("pi: " + std::to_string(digits) + " hexadecimal digits at " + std::to_string(positions) +
                  (positions == 1 ? " position match\n" : " positions match\n"));
    return finish(io, exit_shown, command.trouble_status);
}

}  // namespace rovurer
