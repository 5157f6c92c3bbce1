#include "frontend/cli.h"

#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "frontend/arguments.h"
#include "frontend/dump.h"
#include "frontend/info.h"
#include "frontend/options.h"
#include "frontend/refusal.h"
#include "frontend/search.h"
#include "kernels/registry.h"

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
    std::size_t fewest_operands;     // with an option given; the plain form needs 3
    std::int64_t default_nb_digits;  // when nb_digits is not given
    digit_action digits;             // for the forms that read digits
    other_action other;              // for the others
};

constexpr form_row forms[] = {
    {command_form::plain, 3, default_nb_digits, dump_action, nullptr},
    {command_form::find, 2, rest_of_the_data, find_action, nullptr},
    {command_form::count, 2, rest_of_the_data, count_action, nullptr},
    {command_form::info, 1, 0, nullptr, info_action},
    {command_form::help, 0, 0, nullptr, help_action},
    {command_form::version, 0, 0, nullptr, version_action},
};

// The operands the digit forms share: filename base [pos [nb_digits]].
struct run_operands {
    const char* filename = nullptr;
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

// Reads the operands strictly; an empty result, or the usage error.
std::string read_strict_operands(operand_list operands, run_operands& run) {
    const auto number_error = [](const char* what, const char* text, strict_number::verdict verdict) {
        return "rovurer: " + std::string(verdict == strict_number::verdict::invalid ? "invalid " : "") + what + " '" +
               text + "'" + (verdict == strict_number::verdict::out_of_range ? " is out of range" : "");
    };
    run.filename = operands[0];
    const strict_number base = parse_strict_integer(operands[1], INT32_MIN, INT32_MAX);
    if (base.status != strict_number::verdict::ok) {
        return number_error("base", operands[1], base.status);
    }
    run.base = static_cast<std::int32_t>(base.value);
    if (operands.size() > 2) {
        const strict_number pos = parse_strict_whole(operands[2]);
        if (pos.status != strict_number::verdict::ok) {
            return number_error("position", operands[2], pos.status);
        }
        run.pos = pos.value;
    }
    if (operands.size() > 3) {
        const strict_number count = parse_strict_whole(operands[3]);
        if (count.status != strict_number::verdict::ok) {
            return number_error("number of digits", operands[3], count.status);
        }
        run.nb_digits = count.value;
    }
    return {};
}

// Ends a digit form after its work. Without an option, as the plain command
// has always ended: a failed read says nothing, and the line ends with a
// newline; with one, each failure says why.
int conclude(const command_line& command, const run_operands& run, digit_outcome outcome, console& io) {
    const int write_status = command.trouble_status;
    switch (outcome.result) {
        case command_result::read_failed: {
            // The digits already handed out still appear; nothing follows them.
            const int status = finish(io, exit_read_failed, write_status);
            if (!command.any_option) {
                return status;
            }
            return report(io, "rovurer: " + std::string(run.filename) + ": a read of the data failed", status);
        }
        case command_result::write_failed:
            return report_write_error(io, write_status);
        case command_result::shown:
            break;
    }
    if (command.form == command_form::plain && command.layout.per_line == 0) {
        io.out.put('\n');
    }
    return finish(io, outcome.status, write_status);
}

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
    } else {
        if (operands.size() < row.fewest_operands) {
            return usage_error(command, io, "rovurer: missing arguments");
        }
        if (operands.size() > 4) {
            return usage_error(command, io, "rovurer: too many arguments");
        }
        const std::string error = read_strict_operands(operands, run);
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
    }
    digit_run digits(run.filename, run.base, run.pos, run.nb_digits);
    if (!digits.opened()) {
        if (!command.any_option) {
            return report(io, std::string(run.filename) + ": cannot display at this position", exit_refused);
        }
        return report(io, "rovurer: " + refusal_reason(run.filename, run.base, run.pos, digits.refusal()),
                      command.trouble_status);
    }
    return conclude(command, run, row.digits(io.out, digits, command, run.base), io);
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

int run_rovurer(int argc, const char* const* argv, output_buffer& out, output_buffer& err) {
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
            return row.digits != nullptr ? run_digit_form(row, command, io) : row.other(command, io);
        }
    }
    return exit_refused;
}

}  // namespace rovurer
