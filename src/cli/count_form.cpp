// --count: how often each digit of the base occurs.
#include <cstdint>
#include <limits>

#include "cli/digit_form.h"
#include "cli/exit_status.h"

namespace rovurer {

namespace {

std::int64_t count_reach(const command_line& /*command*/, std::int64_t first, std::int64_t last,
                         std::int64_t /*length*/, std::int64_t /*nb_digits*/) {
    return last - first;
}

command_result count_work(output_buffer& /*out*/, digit_run& digits, const command_line& /*command*/,
                          std::int64_t /*first*/, part_results& results) {
    digit_counts part_counts{};
    const command_result result = tally_digits(digits, digits.base(), part_counts);
    const std::lock_guard<std::mutex> held(results.lock);
    for (std::size_t j = 0; j < part_counts.size(); ++j) {
        results.counts[j] += part_counts[j];
    }
    return result;
}

// The parts' counts added up, one line a digit.
int count_merge(output_buffer& out, const command_line& /*command*/, std::int32_t base, const part_results& results) {
    append_counts(out, base, results.counts);
    return exit_shown;
}

}  // namespace

const digit_form count_form = {
    .form = command_form::count,
    .fewest_operands = 2,
    .default_nb_digits = std::numeric_limits<std::int64_t>::max(),
    .refusal = nullptr,
    .reach = count_reach,
    .work = count_work,
    .merge = count_merge,
};

}  // namespace rovurer
