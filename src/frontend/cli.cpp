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

int report_write_error(console& io) {
    io.err.append("rovurer: write error: ");
    io.err.append(std::strerror(io.out.error()));
    io.err.put('\n');
    io.err.flush();
    return exit_refused;
}

// Flushes standard output; a failed write turns any status into a reported
// error.
int finish(console& io, int status) {
    return io.out.flush() ? status : report_write_error(io);
}

int report(console& io, const std::string& message, int status) {
    io.err.append(message.c_str());
    io.err.put('\n');
    io.err.flush();
    return status;
}

// The usage text on standard output, as for missing arguments.
int show_usage(console& io) {
    io.out.append(usage_text);
    io.out.put('\n');
    return finish(io, exit_refused);
}

// A usage error of the option forms: the usage text, then the message.
int usage_error(console& io, const std::string& message) {
    return report(io, message, show_usage(io));
}

// What a form that reads digits does with its opened run.
using digit_action = command_result (*)(output_buffer& out, digit_run& run, const command_line& command,
                                        std::int32_t base);

command_result dump_action(output_buffer& out, digit_run& run, const command_line& command, std::int32_t /*base*/) {
    return dump_digits(out, run, command.per_line);
}

command_result find_action(output_buffer& out, digit_run& run, const command_line& command, std::int32_t /*base*/) {
    return find_digits(out, run, command.find_digits);
}

command_result count_action(output_buffer& out, digit_run& run, const command_line& /*command*/, std::int32_t base) {
    return count_digits(out, run, base);
}

// What the other forms do, given their operands.
using other_action = int (*)(const command_line& command, operand_list operands, console& io);

int info_action(const command_line& /*command*/, operand_list operands, console& io) {
    if (operands.size() != 1) {
        return usage_error(io, operands.empty() ? "rovurer: missing arguments" : "rovurer: too many arguments");
    }
    std::string problem;
    if (!describe_file(io.out, operands[0], &problem)) {
        return report(io, "rovurer: " + problem, exit_refused);
    }
    return finish(io, exit_shown);
}

int help_action(const command_line& /*command*/, operand_list /*operands*/, console& io) {
    io.out.append(usage_text);
    io.out.append("\n\n");
    io.out.append(options_help().c_str());
    return finish(io, exit_shown);
}

int version_action(const command_line& /*command*/, operand_list /*operands*/, console& io) {
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
    int fewest_operands;             // with an option given; the plain form needs 3
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

// Ends a digit form after its work. Without an option, as the plain command
// has always ended: a failed read says nothing, and the line ends with a
// newline; with one, each failure says why.
int conclude(const command_line& command, const run_operands& run, command_result result, console& io) {
    switch (result) {
        case command_result::read_failed: {
            // The digits already handed out still appear; nothing follows them.
            const int status = finish(io, exit_read_failed);
            if (!command.any_option) {
                return status;
            }
            return report(io, "rovurer: " + std::string(run.filename) + ": a read of the data failed", status);
        }
        case command_result::write_failed:
            return report_write_error(io);
        case command_result::shown:
            break;
    }
    if (command.form == command_form::plain && command.per_line == 0) {
        io.out.put('\n');
    }
    return finish(io, exit_shown);
}

// Reads the operands, opens the run and does the form's work.
int run_digit_form(const form_row& row, const command_line& command, operand_list operands, console& io) {
    const bool plain = !command.any_option;
    run_operands run;
    run.nb_digits = row.default_nb_digits;
    if (plain) {
        // The plain form converts leniently, as it always has.
        if (operands.size() < 3) {
            return show_usage(io);
        }
    } else if (operands.size() < static_cast<std::size_t>(row.fewest_operands)) {
        return usage_error(io, "rovurer: missing arguments");
    } else if (operands.size() > 4) {
        return usage_error(io, "rovurer: too many arguments");
    }
    run.filename = operands[0];
    run.base = parse_int32(operands[1]);
    if (!plain && !digit_base_supported(run.base)) {
        return report(io, "rovurer: " + base_refusal(run.base), exit_refused);
    }
    if (command.form == command_form::find && !is_digit_string(command.find_digits, run.base)) {
        return report(io,
                      "rovurer: '" + std::string(command.find_digits) + "' is not a string of base-" +
                          std::to_string(run.base) + " digits",
                      exit_refused);
    }
    if (operands.size() > 2) {
        const auto pos = parse_position(operands[2]);
        if (!pos) {
            if (plain) {
                return report(io, std::string(run.filename) + ": cannot display at this position", exit_refused);
            }
            return report(io, "rovurer: position '" + std::string(operands[2]) + "' is out of range", exit_refused);
        }
        run.pos = *pos;
    }
    if (operands.size() > 3) {
        run.nb_digits = parse_int64(operands[3]);
    }
    digit_run digits(run.filename, run.base, run.pos, run.nb_digits);
    if (!digits.opened()) {
        if (plain) {
            return report(io, std::string(run.filename) + ": cannot display at this position", exit_refused);
        }
        return report(io, "rovurer: " + refusal_reason(run.filename, run.base, run.pos, digits.refusal()),
                      exit_refused);
    }
    return conclude(command, run, row.digits(io.out, digits, command, run.base), io);
}

}  // namespace

int run_rovurer(int argc, const char* const* argv, output_buffer& out, output_buffer& err) {
    console io{out, err};
    const command_line command = parse_command_line(argc, argv);
    if (!command.error.empty()) {
        return usage_error(io, command.error);
    }
    if (command.kernel_set != nullptr) {
        const kernels::digit_kernels* const set = kernels::find_supported(command.kernel_set);
        if (set == nullptr) {
            std::string known;
            bool exists = false;
            for (const kernels::kernel_set* entry : kernels::all_sets()) {
                known += known.empty() ? "" : ", ";
                known += entry->name;
                exists = exists || std::string_view(command.kernel_set) == entry->name;
            }
            return report(io,
                          "rovurer: kernel set '" + std::string(command.kernel_set) +
                              (exists ? "' is not supported by this CPU" : "' is unknown (known: " + known + ")"),
                          exit_refused);
        }
        kernels::use(*set);
    }
    const operand_list operands(argv + command.first_operand, static_cast<std::size_t>(argc - command.first_operand));
    for (const form_row& row : forms) {
        if (row.form == command.form) {
            return row.digits != nullptr ? run_digit_form(row, command, operands, io)
                                         : row.other(command, operands, io);
        }
    }
    return exit_refused;
}

}  // namespace rovurer
