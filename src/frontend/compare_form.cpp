#include "frontend/compare_form.h"

#include <atomic>
#include <string>
#include <vector>

#include "engine/compare.h"
#include "engine/parts.h"
#include "engine/progress.h"
#include "frontend/plan.h"
#include "frontend/refusal.h"
#include "platform/platform.h"

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
    first.read_in_place();
    second.read_in_place();
    const std::int64_t common = first.length() < second.length() ? first.length() : second.length();
    const bool same_words = first.available() == second.available();
    // Two readers a thread: parts of half a block each keep a thread's
    // buffers at a block's size.
    run_split split = split_run(command, common, 1, thread_count(command, io));
    split.cut(1, block_words / 2 * digits_per_word(run.base));
    std::atomic<std::int64_t> done{0};
    progress_display display(progress_of(command), split.end - split.begin, &done);
    std::vector<int> failed_runs(static_cast<std::size_t>(split.parts()), 0);
    const auto report_difference = [&](const runs_comparison& found, output_buffer& out) {
        if (found.result == command_result::differ) {
            out.append(run.filename);
            out.put(' ');
            out.append(run.second_filename);
            out.append(" differ: position ");
            append_number_line(out, found.position);
        }
    };
    runs_comparison answer;
    if (split.threads == 1 && command.shard == 0) {
        first.count_into(&done);  // the digits of one run: the other's go alongside
        answer = compare_runs(first, second, common, same_words);
        report_difference(answer, io.out);
    } else {
        const part_job job = [&](std::int64_t part, output_buffer& part_out) {
            const std::int64_t begin = split.part_begin(part);
            const std::int64_t end = split.part_end(part);
            digit_run one(first, run.pos + begin, end - begin);
            digit_run other(second, run.pos + begin, end - begin);
            if (!one.opened() || !other.opened()) {
                return command_result::out_of_memory;
            }
            one.read_in_place();
            other.read_in_place();
            one.count_into(&done);
            const runs_comparison found = compare_runs(one, other, end - begin, same_words);
            failed_runs[static_cast<std::size_t>(part)] = found.failed_run;
            report_difference(found, part_out);
            return found.result;
        };
        answer.result = run_in_parts(io.out, split.threads, split.parts(), -1, false, job, 2).result;
        for (const int failed : failed_runs) {
            answer.failed_run = answer.failed_run != 0 ? answer.failed_run : failed;
        }
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
