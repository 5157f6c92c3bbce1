#include "cli/digit_parts.h"

#include <functional>

#include "parallel/parts.h"
#include "platform/platform.h"
#include "scan/dump.h"

namespace rovurer {

command_result run_digit_parts(const digit_form& form, const command_line& command, const run_operands& run,
                               const digit_run& whole, const digit_plan& plan, std::atomic<std::int64_t>& done,
                               part_results& results, output_buffer& out) {
    const run_split& split = plan.split;
    const std::int64_t placed_at = plan.placed_at;
    const std::int64_t length = whole.length();
    const part_job job = [&](std::int64_t part, output_buffer& part_out) {
        const std::int64_t first = split.part_begin(part);
        const std::int64_t wanted = form.reach(command, first, split.part_end(part), length, run.nb_digits);
        digit_run digits(whole, run.pos + first, wanted);
        if (!digits.opened()) {
            return command_result::out_of_memory;  // the same header holds the part: only memory can lack
        }
        digits.read_in_place();
        digits.count_into(&done);
        return form.work(part_out, digits, command, first, results);
    };
    if (placed_at >= 0) {
        // Each part's text where one thread would have written it.
        const std::int64_t shard_start = text_before(command.layout, run.pos, split.begin);
        const std::function<std::int64_t(std::int64_t)> offset_of = [&](std::int64_t part) {
            return text_before(command.layout, run.pos, split.part_begin(part)) - shard_start;
        };
        if (!out.flush()) {
            return command_result::write_failed;
        }
        const placed_outcome placed = run_in_place(placed_at, split.threads, split.parts(), offset_of, job);
        if (placed.result != command_result::write_failed || platform::stop_signal() != 0) {
            // The parts before the one that ended the job are whole: the
            // output ends where that one's text stopped.
            const int move_error = platform::move_output_to(placed.end, placed.result != command_result::shown);
            out.fail(placed.result == command_result::write_failed ? placed.write_error : move_error);
            return out.failed() ? command_result::write_failed : placed.result;
        }
        // A write failed (a full disk, the file-size limit), perhaps because
        // later parts took what it needed: from that part's start the rest
        // goes out in order, as one thread writes it, and fails where one
        // thread fails.
        const int move_error = platform::move_output_to(placed_at + offset_of(placed.part), true);
        if (move_error != 0) {
            out.fail(move_error);
            return command_result::write_failed;
        }
        const part_job rest = [&](std::int64_t part, output_buffer& part_out) {
            return job(placed.part + part, part_out);
        };
        return run_in_parts(out, 1, split.parts() - placed.part, -1, rest).result;
    }
    // --max-count, which only --find takes, ends the output after that many
    // lines, and the job with it.
    return run_in_parts(out, split.threads, split.parts(), command.max_count, job).result;
}

}  // namespace rovurer
