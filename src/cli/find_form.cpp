// --find DIGITS: the position of every occurrence, one a line.
#include <cstdint>
#include <cstring>
#include <limits>

#include "cli/digit_form.h"
#include "cli/exit_status.h"
#include "library/messages.h"

namespace rovurer {

namespace {

std::string find_refusal(const command_line& command, std::int32_t base) {
    return is_digit_string(command.find_digits, base) ? std::string() : digits_refusal(command.find_digits, base);
}

// A part reads len(DIGITS) - 1 digits past its end, so that its matches are
// those that start in it.
std::int64_t find_reach(const command_line& command, std::int64_t first, std::int64_t last, std::int64_t length,
                        std::int64_t /*nb_digits*/) {
    const auto tail = static_cast<std::int64_t>(std::strlen(command.find_digits)) - 1;
    return last - first + tail < length - first ? last - first + tail : length - first;
}

command_result find_work(output_buffer& out, digit_run& digits, const command_line& command, std::int64_t /*first*/,
                         part_results& results) {
    std::uint64_t found = 0;
    const command_result result = find_digits(out, digits, command.find_digits, command.max_count, &found);
    const std::lock_guard<std::mutex> held(results.lock);
    results.found += found;
    return result;
}

// Found somewhere: 0; nowhere: 1, as grep.
int find_merge(output_buffer& /*out*/, const command_line& /*command*/, std::int32_t /*base*/,
               const part_results& results) {
    return results.found > 0 ? exit_shown : exit_refused;
}

}  // namespace

const digit_form find_form = {
    .form = command_form::find,
    .fewest_operands = 2,
    .default_nb_digits = std::numeric_limits<std::int64_t>::max(),
    .refusal = find_refusal,
    .reach = find_reach,
    .work = find_work,
    .merge = find_merge,
};

}  // namespace rovurer
