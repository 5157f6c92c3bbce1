#include "frontend/cli.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/arguments.h"
#include "frontend/compare.h"
#include "frontend/dump.h"
#include "frontend/exit_status.h"
#include "frontend/info.h"
#include "frontend/options.h"
#include "frontend/parts.h"
#include "frontend/progress.h"
#include "frontend/refusal.h"
#include "frontend/search.h"
#include "kernels/registry.h"
#include "platform/platform.h"

#ifndef ROVURER_VERSION
#define ROVURER_VERSION "unknown"
#endif

namespace rovurer {

namespace {

constexpr std::int64_t default_nb_digits = 50;
constexpr std::int64_t rest_of_the_data = INT64_MAX;

using operand_list = std::span<const char* const>;

struct console {
    output_buffer& out;
    output_buffer& err;
};

int report_write_error(console& io, int status) {
    io.err.append("rovurer: write error: ");
    io.err.append(std::strerror(io.out.error()));
    io.err.put('\n');
    io.err.flush();
    return status;
}

// Flushes standard output; a failed write turns any status into a reported
// error with `write_status`.
int finish(console& io, int status, int write_status = exit_refused) {
    return io.out.flush() ? status : report_write_error(io, write_status);
}

int report(console& io, const std::string& message, int status) {
    io.err.append(message.c_str());
    io.err.put('\n');
    io.err.flush();
    return status;
}

// A failed read of the option forms: what was shown stays, and the message
// names the file.
int report_read_failure(console& io, const char* filename, int write_status) {
    const int status = finish(io, exit_read_failed, write_status);
    return report(io, "rovurer: " + shown_name(filename) + ": a read of the data failed", status);
}

// A job that a signal asked to stop: what was shown stays, and the caller
// ends the process by that signal.
int stopped_by_signal(console& io) {
    (void)io.out.flush();
    return 128 + platform::stop_signal();
}

// A part that could not get its memory: what was shown stays.
int report_out_of_memory(console& io, int write_status) {
    const int status = finish(io, exit_read_failed, write_status);
    return report(io, "rovurer: out of memory", status);
}

// The usage text on standard output, as for missing arguments without an
// option.
int show_usage(console& io) {
    io.out.append(usage_text);
    io.out.put('\n');
    return finish(io, exit_refused);
}

// A usage error of the option forms: the message and a pointer to --help,
// on standard error only.
int usage_error(const command_line& command, console& io, const std::string& message) {
    return report(io, message + "\nTry 'rovurer --help' for more information.", command.trouble_status);
}

// What a form that reads digits does with its opened run; the status it
// ends with when it succeeds.
struct digit_outcome {
    command_result result;
    int status;
    bool no_digits = false;  // the run holds none: a dump in lines still ends its one line
};
using digit_action = digit_outcome (*)(output_buffer& out, digit_run& run, const command_line& command,
                                       std::int32_t base);

digit_outcome dump_action(output_buffer& out, digit_run& run, const command_line& command, std::int32_t /*base*/) {
    return {dump_digits(out, run, command.layout), exit_shown};
}

digit_outcome find_action(output_buffer& out, digit_run& run, const command_line& command, std::int32_t /*base*/) {
    std::uint64_t found = 0;
    const command_result result = find_digits(out, run, command.find_digits, command.max_count, &found);
    return {result, found > 0 ? exit_shown : exit_refused};
}

digit_outcome count_action(output_buffer& out, digit_run& run, const command_line& /*command*/, std::int32_t base) {
    return {count_digits(out, run, base), exit_shown};
}

// What the other forms do, given their operands.
using other_action = int (*)(const command_line& command, console& io);

int info_action(const command_line& command, console& io) {
    if (command.operands.size() != 1) {
        return usage_error(command, io,
                           command.operands.empty() ? "rovurer: missing arguments" : "rovurer: too many arguments");
    }
    std::vector<std::string> problems;
    if (!describe_file(io.out, command.operands[0], &problems)) {
        return report(io, "rovurer: " + problems.front(), exit_refused);
    }
    const int status = finish(io, problems.empty() ? exit_shown : exit_refused);
    for (const std::string& problem : problems) {
        report(io, "rovurer: " + problem, status);
    }
    return status;
}

int help_action(const command_line& /*command*/, console& io) {
    io.out.append(usage_text);
    io.out.append("\n\n");
    io.out.append(options_help().c_str());
    return finish(io, exit_shown);
}

int version_action(const command_line& /*command*/, console& io) {
    io.out.append("rovurer " ROVURER_VERSION "\nkernel set: ");
    io.out.append(kernels::active().name);
    io.out.append(" (this CPU supports:");
    for (const kernels::digit_kernels* set : kernels::supported_sets()) {
        io.out.put(' ');
        io.out.append(set->name);
    }
    io.out.append(")\n");
    return finish(io, exit_shown);
}

// One row per form of the command.
struct form_row {
    command_form form;
    std::size_t files;               // file operands before base: 1, or 2 for --compare
    std::size_t fewest_operands;     // with an option given; the plain form needs 3
    std::int64_t default_nb_digits;  // when nb_digits is not given
    digit_action digits;             // for the forms that read digits (the compare is its own)
    other_action other;              // for the others
};

// The operands the digit forms share: filename base [pos [nb_digits]].
struct run_operands {
    const char* filename = nullptr;
    const char* second_filename = nullptr;  // --compare's FILE2
    std::int32_t base = 0;
    std::int64_t pos = 1;
    std::int64_t nb_digits = 0;
};

// Reads the operands as the plain form always has: leniently. False (after
// the one message) when the position cannot be represented.
bool read_plain_operands(operand_list operands, run_operands& run) {
    run.filename = operands[0];
    run.base = parse_int32(operands[1]);
    const auto pos = parse_position(operands[2]);
    if (!pos) {
        return false;
    }
    run.pos = *pos;
    if (operands.size() > 3) {
        run.nb_digits = parse_int64(operands[3]);
    }
    return true;
}

// Reads the operands strictly, after `files` file names; an empty result,
// or the usage error.
std::string read_strict_operands(operand_list operands, std::size_t files, run_operands& run) {
    const auto number_error = [](const char* what, const char* text, strict_number::verdict verdict) {
        return "rovurer: " + std::string(verdict == strict_number::verdict::invalid ? "invalid " : "") + what + " '" +
               text + "'" + (verdict == strict_number::verdict::out_of_range ? " is out of range" : "");
    };
    run.filename = operands[0];
    run.second_filename = files > 1 ? operands[1] : nullptr;
    const strict_number base = parse_strict_integer(operands[files], INT32_MIN, INT32_MAX);
    if (base.status != strict_number::verdict::ok) {
        return number_error("base", operands[files], base.status);
    }
    run.base = static_cast<std::int32_t>(base.value);
    if (operands.size() > files + 1) {
        const strict_number pos = parse_strict_whole(operands[files + 1]);
        if (pos.status != strict_number::verdict::ok) {
            return number_error("position", operands[files + 1], pos.status);
        }
        run.pos = pos.value;
    }
    if (operands.size() > files + 2) {
        const strict_number count = parse_strict_whole(operands[files + 2]);
        if (count.status != strict_number::verdict::ok) {
            return number_error("number of digits", operands[files + 2], count.status);
        }
        run.nb_digits = count.value;
    }
    return {};
}

// Whether this run is the whole run, or its last shard.
bool last_shard(const command_line& command) {
    return command.shard == 0 || command.shard == command.shards;
}

// Ends a digit form after its work. Without an option, as the plain command
// has always ended: a failed read says nothing, and the line ends with a
// newline; with one, each failure says why.
int conclude(const command_line& command, const char* filename, digit_outcome outcome, console& io) {
    if (platform::stop_signal() != 0) {
        return stopped_by_signal(io);
    }
    const int write_status = command.trouble_status;
    switch (outcome.result) {
        case command_result::read_failed:
            // The digits already handed out still appear; nothing follows them.
            return command.any_option ? report_read_failure(io, filename, write_status)
                                      : finish(io, exit_read_failed, write_status);
        case command_result::write_failed:
            return report_write_error(io, write_status);
        case command_result::out_of_memory:
            return report_out_of_memory(io, write_status);
        case command_result::shown:
        case command_result::differ:
            break;
    }
    // One line of digits ends with a newline: the last shard's. So does a
    // run of no digits, in lines too.
    if (command.form == command_form::dump && (command.layout.per_line == 0 || outcome.no_digits) &&
        last_shard(command)) {
        io.out.put('\n');
    }
    return finish(io, outcome.status, write_status);
}

// How a run, or a shard of it, is split for threads.
// Parts of at least a million digits and at most the largest part asked
// for, four a thread where the range allows.
constexpr std::int64_t smallest_part = std::int64_t{1} << 20;

struct run_split {
    std::int64_t begin = 0;  // the shard: [begin, end) of the run's digits
    std::int64_t end = 0;
    int threads = 1;
    std::int64_t part_digits = 1;  // a whole number of `unit`
    std::int64_t parts() const { return begin == end ? 0 : (end - begin - 1) / part_digits + 1; }
    // Where part `part` begins and ends, as run digit indexes.
    std::int64_t part_begin(std::int64_t part) const { return begin + part * part_digits; }
    std::int64_t part_end(std::int64_t part) const {
        return end - part_begin(part) < part_digits ? end : part_begin(part) + part_digits;
    }
    // Sets the size of the parts: at most `largest_part` (what one reader
    // buffers, or less), whole units.
    void cut(std::int64_t unit, std::int64_t largest_part) {
        std::int64_t part = (end - begin) / (4 * std::int64_t{threads});
        part = part < smallest_part ? smallest_part : part > largest_part ? largest_part : part;
        part_digits = (part + unit - 1) / unit * unit;
    }
};

// The shard of the run and its threads: as many as asked, or the processors
// this process may use, but no more than there are parts of the smallest
// size, so that a short request starts one thread. The caller then cuts the
// parts.
run_split split_run(const command_line& command, std::int64_t length, std::int64_t unit, int threads) {
    run_split split;
    const std::int64_t shards = command.shard == 0 ? 1 : command.shards;
    const std::int64_t shard = command.shard == 0 ? 1 : command.shard;
    split.begin = piece_start(length, unit, shards, shard - 1);
    split.end = piece_start(length, unit, shards, shard);
    const std::int64_t span = split.end - split.begin;
    const int wanted = threads;
    const std::int64_t most_threads = span / smallest_part > 1 ? span / smallest_part : 1;
    split.threads = wanted < most_threads ? wanted : static_cast<int>(most_threads);
    return split;
}

// The threads a job may use: as many as --threads asks, but no more than
// the processors this process may run on (more only share them, each with
// its buffers), saying so; by default those processors.
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

progress_mode progress_of(const command_line& command) {
    return command.progress > 0   ? progress_mode::forced
           : command.progress < 0 ? progress_mode::off
                                  : progress_mode::automatic;
}

// The work of a digit form, split in parts on threads; the same output as
// one thread running the whole (shard of the) run.
digit_outcome run_digit_parts(const command_line& command, const run_operands& run, const digit_run& whole,
                              const run_split& split, std::int64_t placed_at, std::atomic<std::int64_t>& done,
                              output_buffer& out) {
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

// --compare FILE1 FILE2 base [pos [nb_digits]], as cmp: 0 the same, 1
// different (or one run ends first), 2 for any trouble.
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
    const auto report_difference = [&](const comparison& found, output_buffer& out) {
        if (found.result == command_result::differ) {
            out.append(run.filename);
            out.put(' ');
            out.append(run.second_filename);
            out.append(" differ: position ");
            append_number_line(out, found.position);
        }
    };
    comparison answer;
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
            const comparison found = compare_runs(one, other, end - begin, same_words);
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

constexpr form_row forms[] = {
    {command_form::dump, 1, 3, default_nb_digits, dump_action, nullptr},
    {command_form::find, 1, 2, rest_of_the_data, find_action, nullptr},
    {command_form::count, 1, 2, rest_of_the_data, count_action, nullptr},
    {command_form::compare, 2, 3, rest_of_the_data, nullptr, nullptr},
    {command_form::info, 0, 1, 0, nullptr, info_action},
    {command_form::help, 0, 0, 0, nullptr, help_action},
    {command_form::version, 0, 0, 0, nullptr, version_action},
};

// Reads the operands, opens the run and does the form's work.
int run_digit_form(const form_row& row, const command_line& command, console& io) {
    const operand_list operands = command.operands;
    run_operands run;
    run.nb_digits = row.default_nb_digits;
    if (!command.any_option) {
        if (operands.size() < 3) {
            return show_usage(io);
        }
        if (!read_plain_operands(operands, run)) {
            return report(io, std::string(run.filename) + ": cannot display at this position", exit_refused);
        }
        digit_run digits(run.filename, run.base, run.pos, run.nb_digits);
        if (!digits.opened()) {
            return report(io, std::string(run.filename) + ": cannot display at this position", exit_refused);
        }
        return conclude(command, run.filename, row.digits(io.out, digits, command, run.base), io);
    }
    if (operands.size() < row.fewest_operands) {
        return usage_error(command, io, "rovurer: missing arguments");
    }
    if (operands.size() > row.files + 3) {
        return usage_error(command, io, "rovurer: too many arguments");
    }
    const std::string error = read_strict_operands(operands, row.files, run);
    if (!error.empty()) {
        return usage_error(command, io, error);
    }
    if (!digit_base_supported(run.base)) {
        return report(io, "rovurer: " + base_refusal(run.base), command.trouble_status);
    }
    if (command.form == command_form::find && !is_digit_string(command.find_digits, run.base)) {
        return report(io,
                      "rovurer: '" + std::string(command.find_digits) + "' is not a string of base-" +
                          std::to_string(run.base) + " digits",
                      command.trouble_status);
    }
    if (command.form == command_form::compare) {
        return run_compare(command, run, io);
    }
    digit_run digits(run.filename, run.base, run.pos, run.nb_digits);
    if (!digits.opened()) {
        return report(io, "rovurer: " + refusal_reason(run.filename, run.base, run.pos, digits.refusal()),
                      command.trouble_status);
    }
    // The option forms read long spans in place; the plain form keeps its
    // one block buffer.
    platform::catch_stop_signals();
    const platform::interruptible_thread writes_stop;
    digits.read_in_place();
    const std::int64_t length = digits.length();
    // Shards and lines end on whole groups and lines.
    const std::int64_t unit = command.form != command_form::dump ? 1
                              : command.layout.per_line > 0       ? command.layout.per_line
                              : command.layout.group > 0          ? command.layout.group
                                                                  : 1;
    run_split split = split_run(command, length, unit, thread_count(command, io));
    // A dump on several threads to an output that takes writes anywhere (a
    // file, /dev/null) writes each part in place as it goes: then parts of
    // half a block keep a thread's mapped words at the memory of a part
    // buffer.
    std::int64_t placed_at = -1;
    if (command.form == command_form::dump && split.threads > 1 && split.end <= std::int64_t{1} << 56 &&
        io.out.to_standard_output()) {
        placed_at = platform::output_offset();
        if (placed_at >= std::int64_t{1} << 62) {
            placed_at = -1;  // text offsets could pass the largest file offset
        }
    }
    // Otherwise a part reads at most a block; a dump's part also fits, as
    // text, the output buffer of a thread, so that threads convert their
    // parts while another part is written.
    std::int64_t largest_part = block_words * digits_per_word(run.base);
    if (placed_at >= 0) {
        largest_part /= 2;
    } else if (command.form == command_form::dump) {
        const layout& shape = command.layout;
        const double text_per_digit = 1.0 + (shape.group > 0 ? 1.0 / static_cast<double>(shape.group) : 0.0) +
                                      (shape.per_line > 0 ? 24.0 / static_cast<double>(shape.per_line) : 0.0);
        const auto fitting = static_cast<std::int64_t>(static_cast<double>(part_output_bytes) / text_per_digit);
        largest_part = fitting < largest_part ? fitting : largest_part;
    }
    split.cut(unit, largest_part);
    std::atomic<std::int64_t> done{0};
    progress_display display(progress_of(command), split.end - split.begin, &done);
    digit_outcome outcome;
    if (split.threads == 1 && command.shard == 0) {
        digits.count_into(&done);
        outcome = row.digits(io.out, digits, command, run.base);
    } else {
        outcome = run_digit_parts(command, run, digits, split, placed_at, done, io.out);
    }
    display.stop();
    outcome.no_digits = length == 0;
    return conclude(command, run.filename, outcome, io);
}

// Makes the kernel set --kernels names the one in use; false after saying
// why it cannot be.
bool choose_kernels(const command_line& command, console& io) {
    const kernels::digit_kernels* const set = kernels::find_supported(command.kernel_set);
    if (set != nullptr) {
        kernels::use(*set);
        return true;
    }
    std::string known;
    bool exists = false;
    for (const kernels::kernel_set* entry : kernels::all_sets()) {
        known += known.empty() ? "" : ", ";
        known += entry->name;
        exists = exists || std::string_view(command.kernel_set) == entry->name;
    }
    report(io,
           "rovurer: kernel set '" + std::string(command.kernel_set) +
               (exists ? "' is not supported by this CPU" : "' is unknown (known: " + known + ")"),
           command.trouble_status);
    return false;
}

}  // namespace

namespace {

int run_command(int argc, const char* const* argv, output_buffer& out, output_buffer& err) {
    console io{out, err};
    const command_line command = parse_command_line(argc, argv);
    if (!command.error.empty()) {
        return usage_error(command, io, command.error);
    }
    if (command.kernel_set != nullptr && !choose_kernels(command, io)) {
        return command.trouble_status;
    }
    for (const form_row& row : forms) {
        if (row.form == command.form) {
            return row.other == nullptr ? run_digit_form(row, command, io) : row.other(command, io);
        }
    }
    return exit_refused;
}

}  // namespace

int run_rovurer(int argc, const char* const* argv, output_buffer& out, output_buffer& err) {
    try {
        return run_command(argc, argv, out, err);
    } catch (const std::bad_alloc&) {
        // What was shown stays; the message needs no memory.
        (void)out.flush();
        err.append("rovurer: out of memory\n");
        err.flush();
        return exit_read_failed;
    }
}

}  // namespace rovurer
