// The forms that read digits: the plain command line's dump, and with
// options the dump, --find, --count, --compare and the statistics, each one
// call of the library over the run its operands name.
#include "cli/digit_forms.h"

#include <algorithm>
#include <string>

#include "cli/names.h"
#include "cli/operands.h"
#include "cli/plan.h"
#include "cli/statistics_forms.h"
#include "platform/platform.h"
#include "rovurer/messages.h"
#include "rovurer/numbers.h"
#include "rovurer/text.h"

namespace rovurer {

namespace {

// The one message of the plain form, for every refusal.
int cannot_display(console& io, const char* filename) {
    return report(io, std::string(filename) + ": cannot display at this position", exit_refused);
}

// As the plain command line always has: the dump, leniently read, on one
// thread, with the default actions of signals.
int run_plain(const command_line& command, console& io) {
    const operand_list operands = command.operands;
    if (operands.size() < 3) {
        return show_usage(io);
    }
    run_operands run;
    run.nb_digits = 50;
    if (!read_plain_operands(operands, run)) {
        return cannot_display(io, run.filename);
    }
    // An unsupported base is refused before the file is touched.
    if (!base_supported(run.base)) {
        return cannot_display(io, run.filename);
    }
    const result<file> opened = file::open(run.filename);
    if (!opened) {
        return cannot_display(io, run.filename);
    }
    layout shape;
    shape.space_at_data_end = true;
    const range where{run.base, run.pos, std::max<std::int64_t>(run.nb_digits, 0)};
    const result<text_written> written = write_text(*opened, where, shape, io.out.text_target(), {});
    if (!written) {
        switch (written.error().code) {
            case errc::read_failed:
                // The digits already handed out stay; nothing follows them.
                return finish(io, exit_read_failed, command.trouble_status);
            case errc::write_failed:
                return report_write_error(io, written.error().system_error, command.trouble_status);
            default:
                // Every refusal, and memory for the buffers that lacks at
                // the start, which is all a run on one thread takes.
                return cannot_display(io, run.filename);
        }
    }
    io.out.put('\n');
    return finish(io, exit_shown, command.trouble_status);
}

// A run's digits, laid out.
int run_dump(const command_line& command, const file& source, const range& where, console& io) {
    call_progress progress(progress_of(command));
    const scan_options options = call_options(command, io, progress);
    const layout shape = command.layout();
    const result<text_written> written = write_text(source, where, shape, io.out.text_target(), options);
    progress.stop();
    if (!written) {
        return end_with_error(command, io, command.operands[0], written.error());
    }
    if (platform::stop_signal() != 0) {
        return stopped_by_signal(io);
    }
    // One line of digits ends with a newline: the last shard's. So does a
    // run of no digits, in lines too.
    if ((shape.per_line == 0 || written->range_digits == 0) && last_shard(command)) {
        io.out.put('\n');
    }
    return finish(io, exit_shown, command.trouble_status);
}

// Every position of the digits, one a line.
int run_find(const command_line& command, const file& source, const range& where, console& io) {
    call_progress progress(progress_of(command));
    const scan_options options = call_options(command, io, progress);
    const std::int64_t most = command.max_count < 0 ? to_end : command.max_count;
    const result<text_written> written =
        write_found(source, command.find_digits, where, most, io.out.text_target(), options);
    progress.stop();
    if (!written) {
        return end_with_error(command, io, command.operands[0], written.error());
    }
    // Found somewhere: 0; nowhere: 1, as grep.
    return finish(io, written->positions > 0 ? exit_shown : exit_refused, command.trouble_status);
}

// How often each digit occurs, a "DIGIT COUNT" line each.
int run_count(const command_line& command, const file& source, const range& where, console& io) {
    call_progress progress(progress_of(command));
    const scan_options options = call_options(command, io, progress);
    const result<digit_counts> counted = rovurer::count(source, where, options);
    progress.stop();
    if (!counted) {
        return end_with_error(command, io, command.operands[0], counted.error());
    }
    constexpr std::string_view characters = "0123456789ABCDEF";
    for (std::size_t digit = 0; digit < static_cast<std::size_t>(where.base); ++digit) {
        io.out.put(characters[digit]);
        io.out.put(' ');
        io.out.append(std::to_string((*counted)[digit]));
        io.out.put('\n');
    }
    return finish(io, exit_shown, command.trouble_status);
}

// Where two files' runs first differ, as cmp says it.
int run_compare(const command_line& command, const run_operands& run, const file& first, const file& second,
                console& io) {
    call_progress progress(progress_of(command));
    const scan_options options = call_options(command, io, progress);
    const result<comparison> compared = rovurer::compare(first, second, {run.base, run.pos, run.nb_digits}, options);
    progress.stop();
    if (!compared) {
        const char* name = compared.error().file == 2 ? run.second_filename : run.filename;
        return end_with_error(command, io, name, compared.error());
    }
    if (compared->difference != 0) {
        io.out.append(run.filename);
        io.out.put(' ');
        io.out.append(run.second_filename);
        io.out.append(" differ: position ");
        io.out.append(std::to_string(compared->difference));
        io.out.put('\n');
        return finish(io, exit_refused, command.trouble_status);
    }
    // One run ends before the other: the last shard says so.
    if (compared->ends_first != 0) {
        const char* shorter = compared->ends_first == 1 ? run.filename : run.second_filename;
        const int status = finish(io, exit_refused, command.trouble_status);
        return report(
            io, "rovurer: EOF on " + shown_name(shorter) + " after position " + std::to_string(compared->last_common),
            status);
    }
    return finish(io, exit_shown, command.trouble_status);
}

// Opens a file of the run and checks the run on it, as the command line
// refuses them: a file at a time, each before the next is opened.
result<file> open_run(const char* filename, const run_operands& run) {
    result<file> opened = file::open(filename);
    if (!opened) {
        return opened;
    }
    std::string none;
    const result<std::int64_t> checked = read(*opened, {run.base, run.pos, 0}, none);
    if (!checked) {
        return checked.error();
    }
    return opened;
}

}  // namespace

int run_digit_form(const command_line& command, console& io) {
    if (!command.any_option) {
        return run_plain(command, io);
    }
    const operand_list operands = command.operands;
    const bool two_files = command.form == command_form::compare;
    const std::size_t files = two_files ? 2 : 1;
    const std::size_t fewest = command.form == command_form::dump || two_files ? 3 : 2;
    if (operands.size() < fewest) {
        return usage_error(command, io, "rovurer: missing arguments");
    }
    if (operands.size() > files + 3) {
        return usage_error(command, io, "rovurer: too many arguments");
    }
    run_operands run;
    run.nb_digits = command.form == command_form::dump ? 50 : rest_of_the_data;
    const std::string error = read_strict_operands(operands, files, run);
    if (!error.empty()) {
        return usage_error(command, io, error);
    }
    run.nb_digits = std::max<std::int64_t>(run.nb_digits, 0);
    if (!base_supported(run.base)) {
        return report(io, "rovurer: " + base_refusal(run.base), command.trouble_status);
    }
    if (command.form == command_form::find && !is_digit_string(command.find_digits, run.base)) {
        return report(io, "rovurer: " + digits_refusal(command.find_digits, run.base), command.trouble_status);
    }
    const result<file> first = open_run(run.filename, run);
    if (!first) {
        return report(io, "rovurer: " + error_message(run.filename, first.error()), command.trouble_status);
    }
    const result<file> second = two_files ? open_run(run.second_filename, run) : first;
    if (!second) {
        return report(io, "rovurer: " + error_message(run.second_filename, second.error()), command.trouble_status);
    }
    // Signals end the option forms cleanly, and a write past the file-size
    // limit is a write error like any other; the plain form keeps the
    // defaults it has always had.
    platform::catch_stop_signals();
    platform::ignore_file_size_signal();
    const platform::interruptible_thread writes_stop;
    const range where{run.base, run.pos, run.nb_digits};
    switch (command.form) {
        case command_form::find:
            return run_find(command, *first, where, io);
        case command_form::count:
            return run_count(command, *first, where, io);
        case command_form::compare:
            return run_compare(command, run, *first, *second, io);
        case command_form::dump:
            return run_dump(command, *first, where, io);
        default:
            return run_statistics_form(command, *first, where, io);
    }
}

}  // namespace rovurer
