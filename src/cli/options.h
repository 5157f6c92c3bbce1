// The options of the command line: which form of the command runs, and the
// values its options give. One table lists them, each row once with what it
// sets (options_of_forms.cpp, options_of_runs.cpp); the parser
// (options.cpp), the help text and the manual page are made from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rovurer/format.h"

namespace rovurer {

enum class command_form {
    dump,
    find,
    count,
    compare,
    info,
    serve,
    help,
    version,
    pack,
    stats,
    blocks,
    runs,
    missing,
    self_locating,
    walk,
    merge,
    check_pi
};

struct command_line {
    command_form form = command_form::dump;
    bool any_option = false;               // an option (not only "--") was given
    int trouble_status = 1;                // the status of any trouble: 2 with --find, as grep
    const char* find_digits = nullptr;     // --find's DIGITS, as typed
    std::int64_t max_count = -1;           // --max-count N, or -1: every match
    std::int64_t group = 10;               // --group N: digits a group; 0: no spaces
    const char* per_line_text = nullptr;   // --per-line N, as typed: checked against the group size
    std::int64_t per_line = 0;             // and read: digits a line, or 0: one line
    bool labels = true;                    // --no-labels: none after the lines
    bool layout_given = false;             // one of those three was given: no space after a last full group
    const char* kernel_set = nullptr;      // --kernels NAME, as typed, or nullptr
    std::int64_t threads = 0;              // --threads N; 0 (or none): the processors this process may use
    int progress = 0;                      // --progress 1, --no-progress -1, or 0: when on a terminal
    std::int64_t shard = 0;                // --shard K/N: K from 1, or 0 for the whole run
    std::int64_t shards = 1;               // and N
    const char* listen = nullptr;          // --listen HOST:PORT, as typed, or nullptr: 127.0.0.1:8080
    std::int64_t max_digits = 1000000;     // --max-digits N: digits an answer of the server holds at most
    std::int64_t max_scan = 1000000000;    // --max-scan N: digits a find or count of the server reads at most
    std::int64_t max_matches = 10000;      // --max-matches N: positions an answer of a find holds at most
    std::int64_t max_connections = 10000;  // --max-connections N
    std::int64_t max_scans = 2;            // --max-scans N: finds and counts at once
    std::int64_t max_header = 8192;        // --max-header N: bytes of a request's line and headers
    std::int64_t idle_timeout = 30;        // --idle-timeout S: seconds a connection may wait between requests
    std::int64_t read_timeout = 10;        // --read-timeout S: seconds for a request's headers, and each write
    bool quiet = false;                    // --quiet: no access log
    bool force = false;                    // --force: --pack replaces a file at its target's name
    std::int64_t block = 0;                // --blocks N: digits a block
    std::int64_t run_least = 0;            // --runs L: the shortest run written
    std::int64_t missing_length = 0;       // --missing K: the longest strings
    bool first = false;                    // --first: with --missing, each string's first position
    const char* walk_path = nullptr;       // --walk OUT.svg: where the picture goes
    bool json = false;                     // --json: the answer as JSON
    const char* merge_form = nullptr;      // --merge FORM: the form whose parts' answers merge
    std::int64_t samples = 4;              // --samples K: the positions --check-pi computes
    std::vector<const char*> operands;     // the arguments that are not options
    std::string error;                     // a usage error, "rovurer: ...", or empty

    // The layout of a dump: its groups, lines and labels.
    rovurer::layout layout() const { return {group, per_line, labels, !layout_given}; }
};

// The forms an option may be given with, as a set.
using form_set = unsigned;
constexpr form_set forms_of(command_form form) {
    return 1U << static_cast<unsigned>(form);
}
inline constexpr form_set every_form = ~0U;

struct known_option {
    std::string_view name;             // "--find"
    command_form form;                 // the form it selects; dump for those that select none
    bool takes_value;                  //
    std::string_view usage;            // as --help shows it: "--find DIGITS"
    std::string_view description;      // for --help; lines after the first start with '\n'
    int trouble_status = 1;            // with the form it selects: the status of any trouble (2 as grep and cmp)
    form_set given_with = every_form;  // the forms it may be given with
    int conflict_order = 0;            // of two options given with a form they do not take, the lower is named
    bool needs_its_form = false;       // "NAME needs FORM" rather than "NAME cannot be combined with FORM"
    std::string_view operands = {};    // of the form it selects: "filename base [pos [nb_digits]]"

    // How it sets the command line, in this order: a strict number from
    // `lowest` to `highest` into `number` ("--NAME needs WANTED, not 'V'"
    // otherwise); true into `flag`; the value as typed into `text`; then
    // `apply`, which may read the value and returns false after setting the
    // usage error.
    std::int64_t command_line::*number = nullptr;
    std::int64_t lowest = 0;
    std::int64_t highest = 0;
    std::string_view wanted = {};
    bool command_line::*flag = nullptr;
    const char* command_line::*text = nullptr;
    bool (*apply)(command_line& command, const char* value) = nullptr;

    std::string_view manual = {};  // the manual page's text of it, in troff, after its usage line
};

// Every option, in the order --help lists them: the options that choose a
// form and those of the server, then those of every run.
std::span<const known_option> known_options();
std::span<const known_option> options_of_forms();
std::span<const known_option> options_of_statistics();
std::span<const known_option> options_of_runs();

// The operands of a dump, which no option selects.
inline constexpr std::string_view dump_operands = "filename base pos [nb_digits]";

// The text --help prints after the usage text: the operands, every option
// of the table and the exit statuses.
std::string options_help();

// Reads the command line. An argument "--name" or "--name=VALUE" (a letter
// after the dashes) is an option wherever it stands before a lone "--",
// which ends the options; every other argument is an operand. An option's
// value follows it as the next argument or after '='. --help and --version
// end the reading at once. A command line with no option is read as it
// always has been: only a "--" in front is dropped. Never fails: a usage
// error is reported in the result's `error`.
command_line parse_command_line(int argc, const char* const* argv);

}  // namespace rovurer
