#include "frontend/cli.h"

#include <cstring>
#include <string>
#include <string_view>

#include "frontend/arguments.h"
#include "frontend/dump.h"
#include "frontend/info.h"
#include "frontend/options.h"
#include "frontend/refusal.h"
#include "frontend/search.h"
#include "reader/digit_stream.h"

#ifndef ROVURER_VERSION
#define ROVURER_VERSION "unknown"
#endif

namespace {

constexpr std::int64_t default_nb_digits = 50;
constexpr std::int64_t rest_of_the_data = INT64_MAX;

int report_write_error(const output_buffer& out, output_buffer& err) {
    err.append("rovurer: write error: ");
    err.append(std::strerror(out.error()));
    err.put('\n');
    err.flush();
    return exit_refused;
}

// Flushes `out`; a failed write turns any status into a reported error.
int finish(output_buffer& out, output_buffer& err, int status) {
    return out.flush() ? status : report_write_error(out, err);
}

int report(output_buffer& err, const std::string& message, int status) {
    err.append(message.c_str());
    err.put('\n');
    err.flush();
    return status;
}

// A usage error of the option forms: the message, and the usage text on
// standard output as for missing arguments.
int usage_error(output_buffer& out, output_buffer& err, const std::string& message) {
    out.append(usage_text);
    out.put('\n');
    const int status = finish(out, err, exit_refused);
    return report(err, message, status);
}

// The plain form, exactly as it has always been when no option is given.
int run_plain(int operands, const char* const* operand, output_buffer& out, output_buffer& err) {
    if (operands < 3) {
        out.append(usage_text);
        out.put('\n');
        return finish(out, err, exit_refused);
    }
    const char* filename = operand[0];
    const std::int32_t base = parse_int32(operand[1]);
    const auto pos = parse_position(operand[2]);
    const std::int64_t nb_digits = operands > 3 ? parse_int64(operand[3]) : default_nb_digits;

    const dump_result result = pos ? dump_digits(out, filename, base, *pos, nb_digits) : dump_result::refused;
    switch (result) {
        case dump_result::refused:
            err.append(filename);
            err.append(": cannot display at this position\n");
            err.flush();
            return exit_refused;
        case dump_result::read_failed:
            // The digits already handed out still appear; nothing follows them.
            return finish(out, err, exit_read_failed);
        case dump_result::write_failed:
            return report_write_error(out, err);
        case dump_result::shown:
            break;
    }
    out.put('\n');
    return finish(out, err, exit_shown);
}

// The operands the option forms share: filename base [pos [nb_digits]].
struct run_operands {
    const char* filename;
    std::int32_t base;
    std::int64_t pos;
    std::int64_t nb_digits;
};

// Ends an option form after its work: each failure says why.
int conclude(const run_operands& run, dump_result result, output_buffer& out, output_buffer& err) {
    switch (result) {
        case dump_result::refused:
            return report(err, "rovurer: " + refusal_reason(run.filename, run.base, run.pos), exit_refused);
        case dump_result::read_failed: {
            const int status = finish(out, err, exit_read_failed);
            return report(err, "rovurer: " + std::string(run.filename) + ": a read of the data failed", status);
        }
        case dump_result::write_failed:
            return report_write_error(out, err);
        case dump_result::shown:
            break;
    }
    return finish(out, err, exit_shown);
}

int run_option_form(const command_line& command, int operands, const char* const* operand, output_buffer& out,
                    output_buffer& err) {
    const bool find = command.form == command_form::find;
    const int minimum = command.form == command_form::plain ? 3 : 2;
    if (operands < minimum) {
        return usage_error(out, err, "rovurer: missing arguments");
    }
    if (operands > 4) {
        return usage_error(out, err, "rovurer: too many arguments");
    }
    run_operands run{operand[0], parse_int32(operand[1]), 1,
                     command.form == command_form::plain ? default_nb_digits : rest_of_the_data};
    if (!digit_base_supported(run.base)) {
        return report(err, "rovurer: " + base_refusal(run.base), exit_refused);
    }
    if (find && !is_digit_string(command.find_digits, run.base)) {
        return report(err,
                      "rovurer: '" + std::string(command.find_digits) + "' is not a string of base-" +
                          std::to_string(run.base) + " digits",
                      exit_refused);
    }
    if (operands > 2) {
        const auto pos = parse_position(operand[2]);
        if (!pos) {
            return report(err, "rovurer: position '" + std::string(operand[2]) + "' is out of range", exit_refused);
        }
        run.pos = *pos;
    }
    if (operands > 3) {
        run.nb_digits = parse_int64(operand[3]);
    }
    dump_result result = dump_result::shown;
    if (find) {
        result = find_digits(out, command.find_digits, run.filename, run.base, run.pos, run.nb_digits);
    } else if (command.form == command_form::count) {
        result = count_digits(out, run.filename, run.base, run.pos, run.nb_digits);
    } else {
        result = dump_digits(out, run.filename, run.base, run.pos, run.nb_digits, command.per_line);
    }
    return conclude(run, result, out, err);
}

}  // namespace

int run_rovurer(int argc, const char* const* argv, output_buffer& out, output_buffer& err) {
    const command_line command = parse_command_line(argc, argv);
    if (!command.error.empty()) {
        return usage_error(out, err, command.error);
    }
    const int operands = argc - command.first_operand;
    const char* const* operand = argv + command.first_operand;
    switch (command.form) {
        case command_form::help:
            out.append(usage_text);
            out.append("\n\n");
            out.append(options_text);
            return finish(out, err, exit_shown);
        case command_form::version:
            out.append("rovurer " ROVURER_VERSION "\n");
            return finish(out, err, exit_shown);
        case command_form::info: {
            if (operands != 1) {
                return usage_error(out, err,
                                   operands < 1 ? "rovurer: missing arguments" : "rovurer: too many arguments");
            }
            std::string problem;
            if (!describe_file(out, operand[0], &problem)) {
                return report(err, "rovurer: " + problem, exit_refused);
            }
            return finish(out, err, exit_shown);
        }
        case command_form::plain:
            if (command.per_line == 0) {
                return run_plain(operands, operand, out, err);
            }
            [[fallthrough]];
        case command_form::find:
        case command_form::count:
            return run_option_form(command, operands, operand, out, err);
    }
    return exit_refused;
}
