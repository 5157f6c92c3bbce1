#include "cli/plan.h"

#include <string>

#include "parallel/parts.h"
#include "platform/platform.h"
#include "reader/digit_stream.h"

namespace rovurer {

run_split split_run(const command_line& command, std::int64_t length, std::int64_t unit, int threads) {
    const std::int64_t shards = command.shard == 0 ? 1 : command.shards;
    const std::int64_t shard = command.shard == 0 ? 1 : command.shard;
    return split_range(piece_start(length, unit, shards, shard - 1), piece_start(length, unit, shards, shard), threads);
}

int thread_count(const command_line& command, console& io) {
    const int usable = platform::usable_processors();
    if (command.threads > usable) {
        report(io,
               "rovurer: --threads " + std::to_string(command.threads) + ": this process may use " +
                   std::to_string(usable) + (usable == 1 ? " processor" : " processors") + "; using " +
                   std::to_string(usable),
               exit_shown);
        return usable;
    }
    return command.threads > 0 ? command.threads : usable;
}

bool last_shard(const command_line& command) {
    return command.shard == 0 || command.shard == command.shards;
}

progress_mode progress_of(const command_line& command) {
    return command.progress > 0   ? progress_mode::forced
           : command.progress < 0 ? progress_mode::off
                                  : progress_mode::automatic;
}

digit_plan plan_digit_form(const command_line& command, std::int64_t length, std::int32_t base, int threads,
                           std::int64_t output_offset) {
    digit_plan plan;
    const std::int64_t unit = command.form != command_form::dump ? 1
                              : command.layout.per_line > 0      ? command.layout.per_line
                              : command.layout.group > 0         ? command.layout.group
                                                                 : 1;
    plan.split = split_run(command, length, unit, threads);
    // A dump written in place: parts of half a block keep a thread's mapped
    // words at the memory of a part buffer. Text offsets past 2^62 could pass
    // the largest file offset.
    if (command.form == command_form::dump && plan.split.threads > 1 && plan.split.end <= std::int64_t{1} << 56 &&
        output_offset >= 0 && output_offset < std::int64_t{1} << 62) {
        plan.placed_at = output_offset;
    }
    // Otherwise a part reads at most a block; a dump's part also fits, as
    // text, the output buffer of a thread, so that threads convert their
    // parts while another part is written.
    std::int64_t largest_part = block_words * digits_per_word(base);
    if (plan.placed_at >= 0) {
        largest_part /= 2;
    } else if (command.form == command_form::dump) {
        const dump_layout& shape = command.layout;
        const double text_per_digit = 1.0 + (shape.group > 0 ? 1.0 / static_cast<double>(shape.group) : 0.0) +
                                      (shape.per_line > 0 ? 24.0 / static_cast<double>(shape.per_line) : 0.0);
        const auto fitting = static_cast<std::int64_t>(static_cast<double>(part_output_bytes) / text_per_digit);
        largest_part = fitting < largest_part ? fitting : largest_part;
    }
    plan.split.cut(unit, largest_part);
    return plan;
}

}  // namespace rovurer
