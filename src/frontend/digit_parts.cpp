#include "frontend/digit_parts.h"

#include <cstring>
#include <functional>
#include <mutex>

#include "engine/dump.h"
#include "engine/parts.h"
#include "engine/search.h"
#include "frontend/exit_status.h"
#include "platform/platform.h"

namespace rovurer {

digit_outcome run_digit_parts(const command_line& command, const run_operands& run, const digit_run& whole,
                              const digit_plan& plan, std::atomic<std::int64_t>& done, output_buffer& out) {
    const run_split& split = plan.split;
    const std::int64_t placed_at = plan.placed_at;
    const std::int64_t length = whole.length();
    digit_counts counts{};
    std::mutex counts_lock;
    const std::int64_t pattern_tail =
        command.form == command_form::find ? static_cast<std::int64_t>(std::strlen(command.find_digits)) - 1 : 0;
    const part_job job = [&](std::int64_t part, output_buffer& part_out) {
        const std::int64_t first = split.part_begin(part);
        const std::int64_t last = split.part_end(part);
        // The last part of the whole run asks for what the run asked for, so
        // that it sees the data end early where it does. A search reads
        // len(DIGITS) - 1 digits past its part, so its matches are those
        // that start in the part.
        std::int64_t wanted = last - first;
        if (command.form == command_form::dump && last == length) {
            wanted = run.nb_digits - first;
        } else if (command.form == command_form::find) {
            wanted = last - first + pattern_tail < length - first ? last - first + pattern_tail : length - first;
        }
        digit_run digits(whole, run.pos + first, wanted);
        if (!digits.opened()) {
            return command_result::out_of_memory;  // the same header holds the part: only memory can lack
        }
        digits.read_in_place();
        digits.count_into(&done);
        switch (command.form) {
            case command_form::find:
                return find_digits(part_out, digits, command.find_digits, command.max_count);
            case command_form::count: {
                digit_counts part_counts{};
                const command_result result = tally_digits(digits, run.base, part_counts);
                const std::lock_guard<std::mutex> held(counts_lock);
                for (std::size_t j = 0; j < counts.size(); ++j) {
                    counts[j] += part_counts[j];
                }
                return result;
            }
            default:
                return dump_digits(part_out, digits, command.layout, first);
        }
    };
    if (placed_at >= 0) {
        // Each part's text where one thread would have written it.
        const std::int64_t shard_start = text_before(command.layout, run.pos, split.begin);
        const std::function<std::int64_t(std::int64_t)> offset_of = [&](std::int64_t part) {
            return text_before(command.layout, run.pos, split.part_begin(part)) - shard_start;
        };
        if (!out.flush()) {
            return {command_result::write_failed, exit_shown};
        }
        const placed_outcome placed = run_in_place(placed_at, split.threads, split.parts(), offset_of, job);
        if (placed.result != command_result::write_failed || platform::stop_signal() != 0) {
            // The parts before the one that ended the job are whole: the
            // output ends where that one's text stopped.
            const int move_error = platform::move_output_to(placed.end, placed.result != command_result::shown);
            out.fail(placed.result == command_result::write_failed ? placed.write_error : move_error);
            return {out.failed() ? command_result::write_failed : placed.result, exit_shown};
        }
        // A write failed (a full disk, the file-size limit), perhaps because
        // later parts took what it needed: from that part's start the rest
        // goes out in order, as one thread writes it, and fails where one
        // thread fails.
        const int move_error = platform::move_output_to(placed_at + offset_of(placed.part), true);
        if (move_error != 0) {
            out.fail(move_error);
            return {command_result::write_failed, exit_shown};
        }
        const part_job rest = [&](std::int64_t part, output_buffer& part_out) {
            return job(placed.part + part, part_out);
        };
        return {run_in_parts(out, 1, split.parts() - placed.part, -1, false, rest).result, exit_shown};
    }
    const std::int64_t line_limit = command.form == command_form::find ? command.max_count : -1;
    const parts_outcome outcome =
        run_in_parts(out, split.threads, split.parts(), line_limit, command.form == command_form::find, job);
    if (command.form == command_form::count && outcome.result == command_result::shown) {
        append_counts(out, run.base, counts);
    }
    if (command.form == command_form::find) {
        return {outcome.result, outcome.lines > 0 ? exit_shown : exit_refused};
    }
    return {outcome.result, exit_shown};
}

}  // namespace rovurer
