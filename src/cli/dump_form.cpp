// The dump: the digits in groups, in one line or in lines.
#include "cli/digit_form.h"
#include "cli/exit_status.h"
#include "scan/dump.h"

namespace rovurer {

namespace {

// The last part asks for what the run asked for, so that it sees the data
// end early where it does (a line that stops after a full group keeps its
// space).
std::int64_t dump_reach(const command_line& /*command*/, std::int64_t first, std::int64_t last, std::int64_t length,
                        std::int64_t nb_digits) {
    return last == length ? nb_digits - first : last - first;
}

command_result dump_work(output_buffer& out, digit_run& digits, const command_line& command, std::int64_t first,
                         part_results& /*results*/) {
    return dump_digits(out, digits, command.layout, first);
}

int dump_merge(output_buffer& /*out*/, const command_line& /*command*/, std::int32_t /*base*/,
               const part_results& /*results*/) {
    return exit_shown;
}

}  // namespace

const digit_form dump_form = {
    .form = command_form::dump,
    .fewest_operands = 3,
    .default_nb_digits = 50,
    .refusal = nullptr,
    .reach = dump_reach,
    .work = dump_work,
    .merge = dump_merge,
};

}  // namespace rovurer
