#include "cli/options.h"

#include <array>

#include "rovurer/numbers.h"

namespace rovurer {

namespace {

constexpr std::array<known_option, 28> options = {{
    {
        .name = "--find",
        .form = command_form::find,
        .takes_value = true,
        .usage = "--find DIGITS",
        .description = "print the position of every occurrence of DIGITS, one a line:\n"
                       "rovurer --find DIGITS filename base [pos [nb_digits]]",
        .trouble_status = 2,
        .operands = "filename base [pos [nb_digits]]",
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
        .description = "with --find: stop after N occurrences",
        .trouble_status = 1,
        .given_with = forms_of(command_form::find),
        .conflict_order = 4,
        .needs_its_form = true,
        .manual = "With\n"
                  ".BR \\-\\-find :\n"
                  "stop after\n"
                  ".I N\n"
                  "occurrences, reading no further.\n",
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
        .manual = "With\n"
                  ".BR \\-\\-serve :\n"
                  "write no line for each request on standard error.\n",
    },
    {
        .name = "--group",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--group N",
        .description = "N digits a group (default 10; 0: no spaces)",
        .trouble_status = 1,
        .given_with = forms_of(command_form::dump),
        .conflict_order = 3,
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
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve),
        .conflict_order = 5,
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
        .given_with =
            every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve) & ~forms_of(command_form::pack),
        .conflict_order = 7,
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
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve),
        .conflict_order = 6,
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
        .given_with = every_form & ~forms_of(command_form::info) & ~forms_of(command_form::serve),
        .conflict_order = 6,
        .manual = "Never show it.\n",
    },
    {
        .name = "--kernels",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--kernels NAME",
        .description = "convert with the kernel set NAME (--version lists them)\n"
                       "instead of the fastest this CPU supports",
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

// Where the descriptions start in --help.
constexpr std::size_t description_column = 18;

constexpr std::string_view operands_help =
    "  base            10, 2 or 16: the base the digits are shown in\n"
    "  pos             the position of the first digit, from 1 (the first digit\n"
    "                  after the lead words, such as pi's \"3.\"); 1e9 is 10^9\n"
    "  nb_digits       how many digits (default 50); with an option, end for\n"
    "                  the rest of the data, for every form\n"
    "With an option, numbers must be whole and written in full: a decimal\n"
    "integer, or an exponent form such as 1e9 for pos and nb_digits.\n";

constexpr std::string_view statuses_help =
    "Exit status: 0 when the digits were shown; 1 for a usage error or a file,\n"
    "base or position that cannot be shown; 2 when a read of the data failed.\n"
    "With --find: 0 when something was found, 1 when nothing was, 2 for any\n"
    "trouble; with --compare: 0 when the runs are the same, 1 when they differ,\n"
    "2 for any trouble. Without an option, rovurer can only say \"cannot\n"
    "display at this position\"; rovurer --info FILE tells what is wrong with a\n"
    "file.\n";

const known_option* find_option(std::string_view name) {
    for (const known_option& option : options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

// Whether `argument` is an option: "--" and a letter.
bool looks_like_option(std::string_view argument) {
    return argument.size() > 2 && argument.substr(0, 2) == "--" &&
           ((argument[2] >= 'a' && argument[2] <= 'z') || (argument[2] >= 'A' && argument[2] <= 'Z'));
}

// The option that selects a form other than the plain one.
std::string form_name(command_form form) {
    for (const known_option& option : options) {
        if (option.form == form) {
            return std::string(option.name);
        }
    }
    return {};
}

// The option that selects the first form of `forms`.
std::string first_form_name(form_set forms) {
    for (const known_option& option : options) {
        if (option.form != command_form::dump && (forms & forms_of(option.form)) != 0) {
            return std::string(option.name);
        }
    }
    return {};
}

// "K/N" with 1 <= K <= N <= 10^6, in decimal digits only.
bool parse_shard(const char* text, std::int64_t* shard, std::int64_t* shards) {
    const std::string_view value = text;
    const std::size_t slash = value.find('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    const std::string part(value.substr(0, slash));
    const std::string whole(value.substr(slash + 1));
    const strict_number k = parse_strict_integer(part.c_str(), 1, 1000000);
    const strict_number n = parse_strict_integer(whole.c_str(), 1, 1000000);
    if (k.status != strict_number::verdict::ok || n.status != strict_number::verdict::ok || k.value > n.value ||
        part.front() == '+' || whole.front() == '+') {
        return false;
    }
    *shard = k.value;
    *shards = n.value;
    return true;
}

// Takes one option and its value into `command`; false after a usage error.
bool take_option(command_line& command, const known_option& option, std::string_view name, const char* value,
                 const char** per_line_text) {
    const auto strict = [&](std::int64_t lowest, std::int64_t highest, std::int64_t* into, const std::string& wanted) {
        const strict_number number = parse_strict_integer(value, lowest, highest);
        if (number.status != strict_number::verdict::ok) {
            command.error = "rovurer: " + std::string(name) + " needs " + wanted + ", not '" + value + "'";
            return false;
        }
        *into = number.value;
        return true;
    };
    if (name == "--per-line") {
        *per_line_text = value;
        command.layout_given = true;
        return true;  // checked once the group size is known
    }
    if (name == "--group") {
        command.layout_given = true;
        return strict(0, INT64_MAX, &command.layout.group, "a number of digits, 0 or more");
    }
    if (name == "--no-labels") {
        command.layout_given = true;
        command.layout.labels = false;
        return true;
    }
    if (name == "--max-count") {
        return strict(0, INT64_MAX, &command.max_count, "a number, 0 or more");
    }
    if (name == "--kernels") {
        command.kernel_set = value;
        return true;
    }
    if (name == "--listen") {
        command.listen = value;
        return true;
    }
    if (name == "--max-digits") {
        return strict(0, INT64_MAX, &command.max_digits, "a number of digits, 0 or more");
    }
    if (name == "--max-scan") {
        return strict(1, INT64_MAX, &command.max_scan, "a number of digits, 1 or more");
    }
    if (name == "--max-matches") {
        return strict(1, INT64_MAX, &command.max_matches, "a number of positions, 1 or more");
    }
    if (name == "--max-connections") {
        return strict(1, 1000000, &command.max_connections, "a number of connections, from 1 to 1000000");
    }
    if (name == "--max-scans") {
        return strict(1, 1024, &command.max_scans, "a number of scans, from 1 to 1024");
    }
    if (name == "--max-header") {
        return strict(256, 1048576, &command.max_header, "a number of bytes, from 256 to 1048576");
    }
    if (name == "--idle-timeout" || name == "--read-timeout") {
        return strict(1, 86400, name == "--idle-timeout" ? &command.idle_timeout : &command.read_timeout,
                      "a number of seconds, from 1 to 86400");
    }
    if (name == "--force") {
        command.force = true;
        return true;
    }
    if (name == "--quiet") {
        command.quiet = true;
        return true;
    }
    if (name == "--threads") {
        std::int64_t threads = 0;
        const bool taken = strict(0, 1024, &threads, "a number of threads, from 0 to 1024");
        command.threads = static_cast<int>(threads);
        return taken;
    }
    if (name == "--progress" || name == "--no-progress") {
        command.progress = name == "--progress" ? 1 : -1;
        return true;
    }
    if (name == "--shard") {
        if (!parse_shard(value, &command.shard, &command.shards)) {
            command.error = "rovurer: --shard needs K/N, a part K from 1 to N, not '" + std::string(value) + "'";
            return false;
        }
        return true;
    }
    if (command.form != command_form::dump && command.form != option.form) {
        command.error = "rovurer: " + form_name(command.form) + " and " + std::string(name) + " cannot be combined";
        return false;
    }
    command.form = option.form;
    if (option.form == command_form::find) {
        command.find_digits = value;
    }
    return true;
}

// The checks that need every option: --per-line against the group size,
// and the options given with a form they do not take (the table says
// which), naming the one lowest in the table's conflict order, the last
// given of two alike.
void check_combination(command_line& command, const char* per_line_text,
                       const std::vector<const known_option*>& given) {
    if (per_line_text != nullptr) {
        const std::int64_t group = command.layout.group;
        const strict_number number = parse_strict_integer(per_line_text, 1, INT64_MAX);
        if (number.status != strict_number::verdict::ok || (group > 0 && number.value % group != 0)) {
            command.error = "rovurer: --per-line needs a positive " +
                            (group > 0 ? "multiple of " + std::to_string(group) : std::string("number")) + ", not '" +
                            per_line_text + "'";
            return;
        }
        command.layout.per_line = number.value;
    }
    const known_option* named = nullptr;
    for (auto at = given.rbegin(); at != given.rend(); ++at) {
        const known_option& option = **at;
        if ((option.given_with & forms_of(command.form)) == 0 &&
            (named == nullptr || option.conflict_order < named->conflict_order)) {
            named = &option;
        }
    }
    if (named != nullptr) {
        const std::string name(named->name);
        command.error = named->needs_its_form
                            ? "rovurer: " + name + " needs " + first_form_name(named->given_with)
                            : "rovurer: " + name + " cannot be combined with " + form_name(command.form);
    }
}

}  // namespace

std::span<const known_option> known_options() {
    return options;
}

std::string options_help() {
    std::string text = "Operands:\n" + std::string(operands_help) + "\nOptions, anywhere before a lone --:\n";
    const auto add_entry = [&text](std::string_view usage, std::string_view description) {
        std::string line = "  " + std::string(usage);
        line += line.size() < description_column ? std::string(description_column - line.size(), ' ')
                                                 : "\n" + std::string(description_column, ' ');
        for (const char c : description) {
            line += c;
            if (c == '\n') {
                line += std::string(description_column, ' ');
            }
        }
        text += line + "\n";
    };
    for (const known_option& option : options) {
        add_entry(option.usage, option.description);
    }
    add_entry("--", "end the options, for a file name that starts with --");
    return text + "\n" + std::string(statuses_help);
}

command_line parse_command_line(int argc, const char* const* argv) {
    command_line command;
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    // Without an option, the command line means what it always has.
    bool options_given = false;
    for (const char* argument : arguments) {
        if (std::string_view(argument) == "--") {
            break;
        }
        options_given = options_given || looks_like_option(argument);
        const std::string_view name = std::string_view(argument).substr(0, std::string_view(argument).find('='));
        const known_option* const option = find_option(name);
        if (option != nullptr && option->trouble_status > command.trouble_status) {
            command.trouble_status = option->trouble_status;
        }
    }
    if (!options_given) {
        const bool dashes_first = !arguments.empty() && std::string_view(arguments.front()) == "--";
        command.operands.assign(arguments.begin() + (dashes_first ? 1 : 0), arguments.end());
        return command;
    }
    command.any_option = true;
    const char* per_line_text = nullptr;
    std::vector<const known_option*> given;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string_view argument = arguments[at];
        if (argument == "--") {
            command.operands.insert(command.operands.end(), arguments.begin() + static_cast<long>(at) + 1,
                                    arguments.end());
            break;
        }
        if (!looks_like_option(argument)) {
            command.operands.push_back(arguments[at]);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const known_option* const option = find_option(name);
        if (option == nullptr) {
            command.error = "rovurer: unknown option '" + std::string(argument) + "'";
            return command;
        }
        const char* value = equals == std::string_view::npos ? nullptr : arguments[at] + equals + 1;
        if (!option->takes_value && value != nullptr) {
            command.error = "rovurer: option '" + std::string(name) + "' takes no value";
            return command;
        }
        if (option->takes_value && value == nullptr) {
            if (at + 1 == arguments.size()) {
                command.error = "rovurer: option '" + std::string(name) + "' needs a value";
                return command;
            }
            value = arguments[++at];
        }
        if (option->form == command_form::help || option->form == command_form::version) {
            command.form = option->form;
            return command;
        }
        if (!take_option(command, *option, name, value, &per_line_text)) {
            return command;
        }
        given.push_back(option);
    }
    check_combination(command, per_line_text, given);
    return command;
}

}  // namespace rovurer
