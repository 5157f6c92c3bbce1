#include "cli/compare_form.h"

#include <atomic>
#include <string>

#include "cli/plan.h"
#include "cli/progress.h"
#include "cli/refusal.h"
#include "platform/platform.h"
#include "scan/compare.h"

namespace rovurer {

int run_compare(const command_line& command, const run_operands& run, console& io) {
    digit_run first(run.filename, run.base, run.pos, run.nb_digits);
    digit_run second(run.second_filename, run.base, run.pos, run.nb_digits);
    for (const digit_run* opened : {&first, &second}) {
        if (!opened->opened()) {
            const char* name = opened == &first ? run.filename : run.second_filename;
            return report(io, "rovurer: " + refusal_reason(name, run.base, run.pos, opened->refusal()),
                          command.trouble_status);
        }
    }
    platform::catch_stop_signals();
    platform::ignore_file_size_signal();
    const platform::interruptible_thread writes_stop;
    const std::int64_t common = first.length() < second.length() ? first.length() : second.length();
    const run_split split = split_run(command, common, 1, thread_count(command, io));
    std::atomic<std::int64_t> done{0};
    progress_display display(progress_of(command), split.end - split.begin, &done);
    compare_plan plan;
    plan.begin = split.begin;
    plan.end = split.end;
    plan.threads = split.threads;
    plan.in_place = true;
    plan.done = &done;
    const runs_comparison answer = compare_in_parts(first, second, plan);
    if (answer.result == command_result::differ) {
        io.out.append(run.filename);
        io.out.put(' ');
        io.out.append(run.second_filename);
        io.out.append(" differ: position ");
        append_number_line(io.out, answer.position);
    }
    display.stop();
    if (platform::stop_signal() != 0) {
        return stopped_by_signal(io);
    }
    switch (answer.result) {
        case command_result::differ:
            return finish(io, exit_refused, command.trouble_status);
        case command_result::read_failed:
            return report_read_failure(io, answer.failed_run == 2 ? run.second_filename : run.filename,
                                       command.trouble_status);
        case command_result::write_failed:
            return report_write_error(io, command.trouble_status);
        case command_result::out_of_memory:
            return report_out_of_memory(io, command.trouble_status);
        case command_result::shown:
            break;
    }
    // One run ends before the other: the last shard says so.
    if (first.length() != second.length() && last_shard(command)) {
        const char* shorter = first.length() < second.length() ? run.filename : run.second_filename;
        const int status = finish(io, exit_refused, command.trouble_status);
        return report(io,
                      "rovurer: EOF on " + shown_name(shorter) + " after position " +
                          std::to_string(static_cast<std::uint64_t>(run.pos) + static_cast<std::uint64_t>(common) - 1),
                      status);
    }
    return finish(io, exit_shown, command.trouble_status);
}

}  // namespace rovurer
