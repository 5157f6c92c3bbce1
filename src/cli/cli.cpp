#include "cli/cli.h"

#include <new>
#include <string>
#include <vector>

#include "cli/check_form.h"
#include "cli/digit_forms.h"
#include "cli/names.h"
#include "cli/options.h"
#include "cli/pack_form.h"
#include "cli/serve_form.h"
#include "cli/statistics_forms.h"
#include "rovurer/info.h"
#include "rovurer/messages.h"
#include "rovurer/scan.h"
#include "rovurer/version.h"

namespace rovurer {

namespace {

int info_action(const command_line& command, console& io) {
    if (command.operands.size() != 1) {
        return usage_error(command, io,
                           command.operands.empty() ? "rovurer: missing arguments" : "rovurer: too many arguments");
    }
    const char* filename = command.operands[0];
    const result<file_report> report_of = inspect(filename);
    if (!report_of) {
        return report(io, "rovurer: " + error_message(filename, report_of.error()), exit_refused);
    }
    const header_facts& facts = report_of->facts;
    const auto line = [&io](const std::string& key, const std::string& value) {
        io.out.append(key);
        io.out.put(' ');
        io.out.append(value);
        io.out.put('\n');
    };
    line("word_count", std::to_string(facts.word_count));
    line("lead_words", std::to_string(facts.lead_words));
    line("data_words", std::to_string(facts.data_words));
    for (const int base : {10, 16, 2}) {
        line("digits_base" + std::to_string(base), facts.digits_text(base));
    }
    const int status = finish(io, report_of->problems.empty() ? exit_shown : exit_refused);
    for (const std::string& problem : report_of->problems) {
        report(io, "rovurer: " + shown_name(filename) + ": " + problem, status);
    }
    return status;
}

int help_action(const command_line& /*command*/, console& io) {
    io.out.append(usage_text);
    io.out.append("\n\n");
    io.out.append(options_help());
    return finish(io, exit_shown);
}

int version_action(const command_line& /*command*/, console& io) {
    io.out.append("rovurer " ROVURER_VERSION_STRING "\nkernel set: ");
    io.out.append(active_kernel_set());
    io.out.append(" (this CPU supports:");
    for (const std::string_view set : kernel_sets()) {
        io.out.put(' ');
        io.out.append(set);
    }
    io.out.append(")\n");
#ifndef ROVURER_WITH_SERVER
    io.out.append("built without the HTTP server of --serve\n");
#endif
    return finish(io, exit_shown);
}

// The forms other than those that read digits.
using other_action = int (*)(const command_line& command, console& io);
struct form_row {
    command_form form;
    other_action action;
};
constexpr form_row other_forms[] = {
    {command_form::info, info_action},         {command_form::serve, serve_action},
    {command_form::pack, pack_action},         {command_form::help, help_action},
    {command_form::version, version_action},   {command_form::merge, merge_action},
    {command_form::check_pi, check_pi_action},
};

int run_command(int argc, const char* const* argv, console_stream& out, console_stream& err) {
    console io{out, err};
    const command_line command = parse_command_line(argc, argv);
    if (!command.error.empty()) {
        return usage_error(command, io, command.error);
    }
    if (command.kernel_set != nullptr) {
        const result<std::string_view> chosen = use_kernel_set(command.kernel_set);
        if (!chosen) {
            return report(io, "rovurer: " + chosen.error().message, command.trouble_status);
        }
    }
    for (const form_row& row : other_forms) {
        if (row.form == command.form) {
            return row.action(command, io);
        }
    }
    return run_digit_form(command, io);
}

}  // namespace

int run_rovurer(int argc, const char* const* argv, console_stream& out, console_stream& err) {
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
