// The options of every run: the layout of a dump, threads, shards, the
// progress line, the kernel set, and --help and --version: the last rows of
// the option table.
#include <array>
#include <cstdint>
#include <string>

#include "cli/options.h"
#include "rovurer/numbers.h"

namespace rovurer {

namespace {

bool given_layout(command_line& command, const char* /*value*/) {
    command.layout_given = true;
    return true;
}

bool no_labels(command_line& command, const char* /*value*/) {
    command.labels = false;
    command.layout_given = true;
    return true;
}

bool progress_on(command_line& command, const char* /*value*/) {
    command.progress = 1;
    return true;
}

bool progress_off(command_line& command, const char* /*value*/) {
    command.progress = -1;
    return true;
}

// "K/N" with 1 <= K <= N <= 10^6, in decimal digits only.
bool take_shard(command_line& command, const char* value) {
    const std::string_view text = value;
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        const std::string part(text.substr(0, slash));
        const std::string whole(text.substr(slash + 1));
        const strict_number k = parse_strict_integer(part.c_str(), 1, 1000000);
        const strict_number n = parse_strict_integer(whole.c_str(), 1, 1000000);
        if (k.status == strict_number::verdict::ok && n.status == strict_number::verdict::ok && k.value <= n.value &&
            part.front() != '+' && whole.front() != '+') {
            command.shard = k.value;
            command.shards = n.value;
            return true;
        }
    }
    command.error = "rovurer: --shard needs K/N, a part K from 1 to N, not '" + std::string(value) + "'";
    return false;
}

constexpr std::array<known_option, 10> rows = {{
    {
        .name = "--group",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--group N",
        .description = "N digits a group (default 10; 0: no spaces)",
        .trouble_status = 1,
        .given_with = forms_of(command_form::dump),
        .conflict_order = 3,
        .number = &command_line::group,
        .lowest = 0,
        .highest = INT64_MAX,
        .wanted = "a number of digits, 0 or more",
        .apply = given_layout,
        .manual = "Show the digits in groups of\n"
                  ".I N\n"
                  "(10 when not given); 0 shows them with no spaces.\n",
    },
    {
        .name = "--per-line",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--per-line N",
        .description = "N digits a line (a multiple of the group size), each\n"
                       "line followed by the position of its last digit",
        .trouble_status = 1,
        .given_with = forms_of(command_form::dump),
        .conflict_order = 1,
        .text = &command_line::per_line_text,
        .apply = given_layout,
        .manual = "Print\n"
                  ".I N\n"
                  "digits a line (a multiple of the group size, or any positive number with\n"
                  ".BR \"\\-\\-group 0\" ),\n"
                  "each line followed by two spaces, a colon, a space and the position of its\n"
                  "last digit. The last line may be shorter.\n",
    },
    {
        .name = "--no-labels",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--no-labels",
        .description = "no positions after the lines of --per-line",
        .trouble_status = 1,
        .given_with = forms_of(command_form::dump),
        .conflict_order = 2,
        .apply = no_labels,
        .manual = "Leave out the positions after the lines of\n"
                  ".BR \\-\\-per\\-line .\n"
                  ".IP\n"
                  "With any of these three layout options, lines end without a trailing space\n"
                  "and the output ends with one newline.\n",
    },
    {
        .name = "--threads",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--threads N",
        .description = "convert, search, count, compare or pack on N threads\n"
                       "(default, and 0: every processor this process may use)",
        .trouble_status = 1,
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve) &
                      ~forms_of(command_form::merge),
        .conflict_order = 5,
        .number = &command_line::threads,
        .lowest = 0,
        .highest = 1024,
        .wanted = "a number of threads, from 0 to 1024",
        .manual = "With\n"
                  ".BR \\-\\-find ,\n"
                  ".BR \\-\\-count ,\n"
                  ".B \\-\\-compare\n"
                  "or a dump with any option: cut the run into parts that\n"
                  ".I N\n"
                  "threads read and convert, each with its own reader of the one file opened\n"
                  "at the start; the output is the same, byte for byte, for every\n"
                  ".IR N .\n"
                  "A dump to a regular file with nothing after its position, or to\n"
                  ".IR /dev/null ,\n"
                  "writes each part at its place as it goes; whatever stops it (a failed read\n"
                  "or write, a full disk, the file-size limit, a signal) the file ends as one\n"
                  "thread leaves it.\n"
                  "The default, and\n"
                  ".BR \"\\-\\-threads 0\" ,\n"
                  "is the processors this process may run on (one for a short request); more\n"
                  "than that is capped at it, with a line on standard error.\n"
                  ".B \\-\\-threads 1\n"
                  "keeps to one thread.\n"
                  "With\n"
                  ".BR \\-\\-pack :\n"
                  "check and pack the text on\n"
                  ".I N\n"
                  "threads, a few megabytes each at a time; the file is the same for every\n"
                  ".IR N .\n",
    },
    {
        .name = "--shard",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--shard K/N",
        .description = "do part K of N of the run, for one job over many machines",
        .trouble_status = 1,
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve) &
                      ~forms_of(command_form::pack) & ~forms_of(command_form::merge) &
                      ~forms_of(command_form::check_pi),
        .conflict_order = 7,
        .apply = take_shard,
        .manual = "Do part\n"
                  ".I K\n"
                  "(from 1) of\n"
                  ".I N\n"
                  "parts of the run, cut so that the parts' outputs concatenated in order are the\n"
                  "whole output (dumps on whole groups and lines, the last part writing the final\n"
                  "newline;\n"
                  ".B \\-\\-find\n"
                  "searching past the part's end for the matches that start in it), the counts\n"
                  "of\n"
                  ".B \\-\\-count\n"
                  "add up, and the first part that\n"
                  ".B \\-\\-compare\n"
                  "finds a difference in has the answer: one job over many machines.\n",
    },
    {
        .name = "--progress",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--progress",
        .description = "show how far a long job is on standard error (shown on a\n"
                       "terminal after a second without it)",
        .trouble_status = 1,
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve) &
                      ~forms_of(command_form::merge) & ~forms_of(command_form::check_pi),
        .conflict_order = 6,
        .apply = progress_on,
        .manual = "Show how far the job is on standard error, on one line redrawn four times a\n"
                  "second: percent done, digits done of the total, the rate and the time left;\n"
                  "erased when the job ends. Without it, the line is shown when standard error\n"
                  "is a terminal and the job runs past a second; never for the plain form.\n"
                  "With\n"
                  ".BR \\-\\-pack ,\n"
                  "the bytes of the text done, when it is a regular file.\n",
    },
    {
        .name = "--no-progress",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--no-progress",
        .description = "never show it",
        .trouble_status = 1,
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve) &
                      ~forms_of(command_form::merge) & ~forms_of(command_form::check_pi),
        .conflict_order = 6,
        .apply = progress_off,
        .manual = "Never show it.\n",
    },
    {
        .name = "--kernels",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--kernels NAME",
        .description = "convert with the kernel set NAME (--version lists them)\n"
                       "instead of the fastest this CPU supports",
        .text = &command_line::kernel_set,
        .manual = "With any form that reads digits: convert, search and count with the kernel\n"
                  "set\n"
                  ".I NAME\n"
                  "(one of those\n"
                  ".B \\-\\-version\n"
                  "lists as supported) instead of the fastest one this CPU supports. The output\n"
                  "is the same with every set; this is for measuring and testing them. A set\n"
                  "that is unknown, or that this CPU cannot run, is refused.\n",
    },
    {
        .name = "--help",
        .form = command_form::help,
        .takes_value = false,
        .usage = "--help",
        .description = "print this help",
        .manual = "Print the usage text, then what the operands, the options and the exit\n"
                  "statuses mean.\n",
    },
    {
        .name = "--version",
        .form = command_form::version,
        .takes_value = false,
        .usage = "--version",
        .description = "print the version and the kernel sets",
        .manual = "Print\n"
                  ".BI \"rovurer \" version ,\n"
                  "then the kernel set in use and those this CPU supports.\n",
    },
}};

}  // namespace

std::span<const known_option> options_of_runs() {
    return rows;
}

}  // namespace rovurer
