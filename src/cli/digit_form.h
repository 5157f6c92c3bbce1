// A form that reads one run of digits: a dump, --find or --count. Each is a
// unit of its own file (dump_form.cpp, find_form.cpp, count_form.cpp): the
// operands it takes, the work on one part of the run, how far a part reads,
// and how the parts' results merge. One thread doing the whole run works it
// as one part.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "cli/options.h"
#include "parallel/command_result.h"
#include "parallel/output.h"
#include "reader/digit_run.h"
#include "scan/search.h"

namespace rovurer {

// What the parts leave for the merge; parts on several threads add to it
// under its lock.
struct part_results {
    std::mutex lock;
    digit_counts counts{};    // --count: the digits counted
    std::uint64_t found = 0;  // --find: the matches written
};

struct digit_form {
    command_form form;
    std::size_t fewest_operands;     // with an option given; the plain form needs 3
    std::int64_t default_nb_digits;  // when nb_digits is not given

    // Why the command cannot run in `base` beyond what every form checks,
    // as one message without "rovurer: "; empty when it can. nullptr for a
    // form that every base can run.
    std::string (*refusal)(const command_line& command, std::int32_t base);

    // The digits the part covering digits [first, last) of a run of
    // `length` (of `nb_digits` asked for) reads.
    std::int64_t (*reach)(const command_line& command, std::int64_t first, std::int64_t last, std::int64_t length,
                          std::int64_t nb_digits);

    // Works the part `digits`, whose first digit is digit `first` of the
    // run, writing to `out` and adding to `results`.
    command_result (*work)(output_buffer& out, digit_run& digits, const command_line& command, std::int64_t first,
                           part_results& results);

    // Once every part is shown: writes what the parts merge into, and
    // returns the status the form ends with.
    int (*merge)(output_buffer& out, const command_line& command, std::int32_t base, const part_results& results);
};

extern const digit_form dump_form;
extern const digit_form find_form;
extern const digit_form count_form;

}  // namespace rovurer
