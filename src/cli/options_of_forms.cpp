// The options that choose a form, and those of the server: the first rows
// of the option table.
#include <array>
#include <cstdint>

#include "cli/options.h"

namespace rovurer {

namespace {

constexpr std::array<known_option, 18> rows = {{
    {
        .name = "--find",
        .form = command_form::find,
        .takes_value = true,
        .usage = "--find DIGITS",
        .description = "print the position of every occurrence of DIGITS, one a line:\n"
                       "rovurer --find DIGITS filename base [pos [nb_digits]]",
        .trouble_status = 2,
        .operands = "filename base [pos [nb_digits]]",
        .text = &command_line::find_digits,
        .manual = "Print the position of every occurrence of\n"
                  ".I DIGITS\n"
                  "in the run of digits that the plain form would show (without its spaces),\n"
                  "overlapping ones included, one a line in increasing order; nothing when there\n"
                  "is none.\n"
                  "A position is the one at which the plain form shows the match.\n"
                  ".I DIGITS\n"
                  "is one or more digits of the base: 0\\(en9 in base 10, 0\\(en9 and A\\(enF or\n"
                  "a\\(enf in base 16, 0 and 1 in base 2.\n"
                  ".I pos\n"
                  "defaults to 1 and\n"
                  ".I nb_digits\n"
                  "to the rest of the data.\n",
    },
    {
        .name = "--max-count",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-count N",
        .description = "with --find or --runs: stop after N lines",
        .trouble_status = 1,
        .given_with = forms_of(command_form::find) | forms_of(command_form::runs) | forms_of(command_form::merge),
        .conflict_order = 4,
        .needs_its_form = true,
        .number = &command_line::max_count,
        .lowest = 0,
        .highest = INT64_MAX,
        .wanted = "a number, 0 or more",
        .manual = "With\n"
                  ".B \\-\\-find\n"
                  "or\n"
                  ".BR \\-\\-runs :\n"
                  "stop after\n"
                  ".I N\n"
                  "lines, reading no further.\n",
    },
    {
        .name = "--count",
        .form = command_form::count,
        .takes_value = false,
        .usage = "--count",
        .description = "print how often each digit of the base occurs:\n"
                       "rovurer --count filename base [pos [nb_digits]]\n"
                       "(for both, pos defaults to 1 and nb_digits to the rest of the data)",
        .operands = "filename base [pos [nb_digits]]",
        .manual = "Print how often each digit of the base occurs in the same run, as\n"
                  ".I \"DIGIT COUNT\"\n"
                  "lines, 0\\(en9 then A\\(enF, zeros included; the same defaults as\n"
                  ".BR \\-\\-find .\n",
    },
    {
        .name = "--compare",
        .form = command_form::compare,
        .takes_value = false,
        .usage = "--compare",
        .description = "compare two files' runs of digits, as cmp does:\n"
                       "rovurer --compare FILE1 FILE2 base [pos [nb_digits]]",
        .trouble_status = 2,
        .operands = "FILE1 FILE2 base [pos [nb_digits]]",
        .manual = ".I FILE1 FILE2 base\n"
                  ".RI [ pos \" [\" nb_digits ]]:\n"
                  "compare the runs that the plain form would show of\n"
                  ".I FILE1\n"
                  "and\n"
                  ".IR FILE2 ,\n"
                  "as\n"
                  ".BR cmp (1)\n"
                  "compares files. The same digits: no output, status 0. They differ: one line,\n"
                  ".IB \"FILE1 FILE2 \" \"differ: position \" P,\n"
                  "the first position that differs, status 1. One run ends before the other:\n"
                  ".BI \"rovurer: EOF on \" FILE \" after position \" P\n"
                  "on standard error, with\n"
                  ".I P\n"
                  "the last position both hold, status 1. Any trouble: status 2.\n"
                  "When both files map positions to words alike, whole words are compared.\n"
                  "The same defaults as\n"
                  ".BR \\-\\-find .\n",
    },
    {
        .name = "--info",
        .form = command_form::info,
        .takes_value = false,
        .usage = "--info",
        .description = "print what the header of a file says, and what is wrong\n"
                       "with it: rovurer --info filename",
        .operands = "filename",
        .manual = "Print what the header of\n"
                  ".I filename\n"
                  "says and what the file holds, as\n"
                  ".I \"key value\"\n"
                  "lines:\n"
                  ".BR word_count ,\n"
                  ".BR lead_words ,\n"
                  ".B data_words\n"
                  "(the whole words the data region holds), and\n"
                  ".BR digits_base10 ,\n"
                  ".BR digits_base16 ,\n"
                  ".B digits_base2\n"
                  "(the digits from position 1 by the header: (word_count \\- lead_words) times\n"
                  "19, 16 or 64, or 0).\n"
                  "Then, on standard error, one line for each problem of the file: a data region\n"
                  "shorter than\n"
                  ".I word_count\n"
                  "words, one that ends in part of a word, a negative\n"
                  ".IR word_count ,\n"
                  "or no digits from position 1; any of them makes the status 1.\n"
                  "This is how to learn why the plain form refuses a file.\n",
    },
    {
        .name = "--pack",
        .form = command_form::pack,
        .takes_value = false,
        .usage = "--pack",
        .description = "pack the digits of a text into a new digit file:\n"
                       "rovurer --pack TEXT DIGITFILE base (TEXT - is standard input)",
        .operands = "TEXT DIGITFILE base",
        .manual = "Pack the digits of\n"
                  ".I TEXT\n"
                  "(standard input when it is\n"
                  ".BR \\- )\n"
                  "into a new digit file\n"
                  ".IR DIGITFILE :\n"
                  "19 decimal, 16 hexadecimal or 64 binary digits a word, the first digits in\n"
                  "the most significant word, at the end of the file.\n"
                  "The text may start with an integer part and a point\n"
                  ".RB ( 3. ),\n"
                  "which becomes the lead words; blanks and line ends are ignored, so what the\n"
                  "dump writes with\n"
                  ".B \\-\\-no\\-labels\n"
                  "packs back; a UTF-8 byte order mark at the start is skipped. Any other\n"
                  "character is refused with its line and column (a byte that is not printable\n"
                  "ASCII written as\n"
                  ".BR \\(aq\\exNN\\(aq ),\n"
                  "and nothing is written; so is a text with no digit after its point. A last\n"
                  "word that is not full is filled with zeros, and a line on standard error says\n"
                  "how many.\n"
                  "The file is written beside\n"
                  ".IR DIGITFILE ,\n"
                  "flushed to the device and then renamed: a failure, a full disk or a signal\n"
                  "leaves nothing under that name. An existing\n"
                  ".I DIGITFILE\n"
                  "is refused unless\n"
                  ".B \\-\\-force\n"
                  "is given.\n",
    },
    {
        .name = "--force",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--force",
        .description = "with --pack: replace an existing DIGITFILE",
        .trouble_status = 1,
        .given_with = forms_of(command_form::pack),
        .conflict_order = 4,
        .needs_its_form = true,
        .flag = &command_line::force,
        .manual = "With\n"
                  ".BR \\-\\-pack :\n"
                  "replace a file already at\n"
                  ".IR DIGITFILE ,\n"
                  "once the new one is whole.\n",
    },
    {
        .name = "--serve",
        .form = command_form::serve,
        .takes_value = false,
        .usage = "--serve",
        .description = "serve the digits of each FILE over HTTP, as JSON,\n"
                       "until SIGINT or SIGTERM: rovurer --serve FILE...",
        .operands = "FILE...",
        .manual = "Serve the digits of each\n"
                  ".I FILE\n"
                  "over HTTP until SIGINT or SIGTERM, under its name without folders (two\n"
                  "files of the same name are refused): a JSON API under\n"
                  ".BR /v1/ ,\n"
                  ".B /healthz\n"
                  "and\n"
                  ".BR /metrics .\n"
                  "Each request is written to standard error as it is answered (time, client,\n"
                  "request, status, bytes, duration). At the end the server stops taking\n"
                  "connections, finishes the requests in flight and exits with status 0.\n",
    },
    {
        .name = "--listen",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--listen HOST:PORT",
        .description = "with --serve: where to listen (default 127.0.0.1:8080)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 8,
        .needs_its_form = true,
        .text = &command_line::listen,
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "listen at\n"
                  ".I HOST:PORT\n"
                  "rather than on the loopback address only, 127.0.0.1:8080; port 0 takes any\n"
                  "free port, which the first line on standard error names.\n",
    },
    {
        .name = "--max-digits",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-digits N",
        .description = "with --serve: most digits an answer holds (default 10^6)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 9,
        .needs_its_form = true,
        .number = &command_line::max_digits,
        .lowest = 0,
        .highest = INT64_MAX,
        .wanted = "a number of digits, 0 or more",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "the most digits a request of\n"
                  ".B /v1/digits\n"
                  "gets (1000000 when not given).\n",
    },
    {
        .name = "--max-scan",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-scan N",
        .description = "with --serve: most digits a find or count reads (default 10^9)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 10,
        .needs_its_form = true,
        .number = &command_line::max_scan,
        .lowest = 1,
        .highest = INT64_MAX,
        .wanted = "a number of digits, 1 or more",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "the most digits a request of\n"
                  ".B /v1/find\n"
                  "or\n"
                  ".B /v1/count\n"
                  "reads (1000000000 when not given): a find that reaches it says where to\n"
                  "go on, a count over a longer range is refused.\n",
    },
    {
        .name = "--max-matches",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-matches N",
        .description = "with --serve: most positions a find answers (default 10^4)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 10,
        .needs_its_form = true,
        .number = &command_line::max_matches,
        .lowest = 1,
        .highest = INT64_MAX,
        .wanted = "a number of positions, 1 or more",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "the most positions an answer of\n"
                  ".B /v1/find\n"
                  "holds (10000 when not given): a larger\n"
                  ".B max\n"
                  "gets that many and where the next page starts.\n",
    },
    {
        .name = "--max-connections",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-connections N",
        .description = "with --serve: most connections at once (default 10^4)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 11,
        .needs_its_form = true,
        .number = &command_line::max_connections,
        .lowest = 1,
        .highest = 1000000,
        .wanted = "a number of connections, from 1 to 1000000",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "the most connections open at once (10000 when not given, and no more than\n"
                  "the limit of open files allows, which is raised to its hard limit). A new\n"
                  "connection over it closes the one that has waited longest for a request,\n"
                  "one that never sent a whole request first; when every connection is in a\n"
                  "request, the new one is answered 503 and closed.\n",
    },
    {
        .name = "--max-scans",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-scans N",
        .description = "with --serve: most finds and counts at once (default 2)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 12,
        .needs_its_form = true,
        .number = &command_line::max_scans,
        .lowest = 1,
        .highest = 1024,
        .wanted = "a number of scans, from 1 to 1024",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "the most finds and counts that run at once, each on a thread of its own\n"
                  "(2 when not given); one more is answered 503. Lookups never wait for them.\n",
    },
    {
        .name = "--max-header",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--max-header N",
        .description = "with --serve: most bytes of request line and headers (8192)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 14,
        .needs_its_form = true,
        .number = &command_line::max_header,
        .lowest = 256,
        .highest = 1048576,
        .wanted = "a number of bytes, from 256 to 1048576",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "the most bytes of a request's line and headers (8192 when not given); more\n"
                  "are answered 431, a target of more than half of them 414.\n",
    },
    {
        .name = "--idle-timeout",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--idle-timeout S",
        .description = "with --serve: seconds to wait for a next request (30)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 15,
        .needs_its_form = true,
        .number = &command_line::idle_timeout,
        .lowest = 1,
        .highest = 86400,
        .wanted = "a number of seconds, from 1 to 86400",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "close a connection that sends no request for\n"
                  ".I S\n"
                  "seconds (30 when not given).\n",
    },
    {
        .name = "--read-timeout",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--read-timeout S",
        .description = "with --serve: seconds for a request's headers, each write (10)",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 16,
        .needs_its_form = true,
        .number = &command_line::read_timeout,
        .lowest = 1,
        .highest = 86400,
        .wanted = "a number of seconds, from 1 to 86400",
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "close a connection whose request's line and headers take more than\n"
                  ".I S\n"
                  "seconds to arrive once they start, or that takes longer to accept a piece\n"
                  "of an answer (10 when not given): a slow client cannot hold a connection.\n",
    },
    {
        .name = "--quiet",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--quiet",
        .description = "with --serve: no line for each request",
        .given_with = forms_of(command_form::serve),
        .conflict_order = 13,
        .needs_its_form = true,
        .flag = &command_line::quiet,
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "write no line for each request on standard error.\n",
    },
}};

}  // namespace

std::span<const known_option> options_of_forms() {
    return rows;
}

}  // namespace rovurer
