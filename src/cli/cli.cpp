#include "cli/cli.h"

#include <atomic>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/compare_form.h"
#include "cli/console.h"
#include "cli/digit_form.h"
#include "cli/digit_parts.h"
#include "cli/exit_status.h"
#include "cli/info.h"
#include "cli/operands.h"
#include "cli/options.h"
#include "cli/pack_form.h"
#include "cli/plan.h"
#include "cli/progress.h"
#include "cli/refusal.h"
#include "cli/serve_form.h"
#include "kernels/registry.h"
#include "platform/platform.h"
#include "rovurer/version.h"
#include "scan/dump.h"
#include "scan/search.h"

namespace rovurer {

namespace {

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
    io.out.append("rovurer " ROVURER_VERSION_STRING "\nkernel set: ");
    io.out.append(kernels::active().name);
    io.out.append(" (this CPU supports:");
    for (const kernels::digit_kernels* set : kernels::supported_sets()) {
        io.out.put(' ');
        io.out.append(set->name);
    }
    io.out.append(")\n");
#ifndef ROVURER_WITH_SERVER
    io.out.append("built without the HTTP server of --serve\n");
#endif
    return finish(io, exit_shown);
}

// One row per form of the command: a form that reads one run of digits, or
// two (--compare), or none.
using runs_action = int (*)(const command_line& command, const run_operands& run, console& io);
struct form_row {
    command_form form;
    const digit_form* one_run;  // a dump, --find, --count
    runs_action two_runs;       // --compare
    other_action other;         // --info, --serve, --pack, --help, --version
};

constexpr std::size_t compare_operands = 3;

constexpr form_row forms[] = {
    {command_form::dump, &dump_form, nullptr, nullptr},        {command_form::find, &find_form, nullptr, nullptr},
    {command_form::count, &count_form, nullptr, nullptr},      {command_form::compare, nullptr, run_compare, nullptr},
    {command_form::info, nullptr, nullptr, info_action},       {command_form::serve, nullptr, nullptr, serve_action},
    {command_form::pack, nullptr, nullptr, pack_action},       {command_form::help, nullptr, nullptr, help_action},
    {command_form::version, nullptr, nullptr, version_action},
};

// Does the work of a form that reads one run, opened from `run`: on one
// thread as one part, or in the parts of its plan; then the merge.
int run_one_run(const digit_form& form, const command_line& command, const run_operands& run, console& io) {
    digit_run digits(run.filename, run.base, run.pos, run.nb_digits);
    if (!digits.opened()) {
        return report(io, "rovurer: " + refusal_reason(run.filename, run.base, run.pos, digits.refusal()),
                      command.trouble_status);
    }
    // Signals end the option forms cleanly, and a write past the file-size
    // limit is a write error like any other; the plain form keeps the
    // defaults it has always had.
    platform::catch_stop_signals();
    platform::ignore_file_size_signal();
    const platform::interruptible_thread writes_stop;
    // The option forms read long spans in place; the plain form keeps its
    // one block buffer.
    digits.read_in_place();
    const std::int64_t length = digits.length();
    const int threads = thread_count(command, io);
    const bool may_place = command.form == command_form::dump && io.out.to_standard_output();
    const digit_plan plan =
        plan_digit_form(command, length, run.base, threads, may_place ? platform::output_offset() : -1);
    std::atomic<std::int64_t> done{0};
    progress_display display(progress_of(command), plan.split.end - plan.split.begin, &done);
    part_results results;
    digit_outcome outcome{command_result::shown, exit_shown};
    if (plan.split.threads == 1 && command.shard == 0) {
        digits.count_into(&done);
        outcome.result = form.work(io.out, digits, command, 0, results);
    } else {
        outcome.result = run_digit_parts(form, command, run, digits, plan, done, results, io.out);
    }
    display.stop();
    if (outcome.result == command_result::shown) {
        outcome.status = form.merge(io.out, command, run.base, results);
    }
    outcome.no_digits = length == 0;
    return conclude(command, run.filename, outcome, io);
}

// Reads the operands of a form that reads digits, and does its work.
int run_digit_form(const form_row& row, const command_line& command, console& io) {
    const operand_list operands = command.operands;
    const std::size_t files = row.one_run != nullptr ? 1 : 2;
    run_operands run;
    run.nb_digits = row.one_run != nullptr ? row.one_run->default_nb_digits : rest_of_the_data;
    if (!command.any_option) {
        // As the plain command line always has: the dump, leniently read.
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
        part_results results;
        return conclude(command, run.filename, {row.one_run->work(io.out, digits, command, 0, results), exit_shown},
                        io);
    }
    const std::size_t fewest = row.one_run != nullptr ? row.one_run->fewest_operands : compare_operands;
    if (operands.size() < fewest) {
        return usage_error(command, io, "rovurer: missing arguments");
    }
    if (operands.size() > files + 3) {
        return usage_error(command, io, "rovurer: too many arguments");
    }
    const std::string error = read_strict_operands(operands, files, run);
    if (!error.empty()) {
        return usage_error(command, io, error);
    }
    if (!digit_base_supported(run.base)) {
        return report(io, "rovurer: " + base_refusal(run.base), command.trouble_status);
    }
    if (row.one_run == nullptr) {
        return row.two_runs(command, run, io);
    }
    const std::string refused = row.one_run->refusal != nullptr ? row.one_run->refusal(command, run.base) : "";
    if (!refused.empty()) {
        return report(io, "rovurer: " + refused, command.trouble_status);
    }
    return run_one_run(*row.one_run, command, run, io);
}

// Makes the kernel set --kernels names the one in use; false after saying
// why it cannot be.
bool choose_kernels(const command_line& command, console& io) {
    const kernels::digit_kernels* const set = kernels::find_supported(command.kernel_set);
    if (set != nullptr) {
        kernels::use(*set);
        return true;
    }
    report(io, "rovurer: " + kernel_set_refusal(command.kernel_set), command.trouble_status);
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
