#include "frontend/options.h"

#include <array>

#include "frontend/arguments.h"

namespace rovurer {

namespace {

constexpr std::array<known_option, 15> options = {{
    {"--find", command_form::find, true, "--find DIGITS",
     "print the position of every occurrence of DIGITS, one a line:\n"
     "rovurer --find DIGITS filename base [pos [nb_digits]]",
     2},
    {"--max-count", command_form::dump, true, "--max-count N", "with --find: stop after N occurrences", 1,
     forms_of(command_form::find), 4, true},
    {"--count", command_form::count, false, "--count",
     "print how often each digit of the base occurs:\n"
     "rovurer --count filename base [pos [nb_digits]]\n"
     "(for both, pos defaults to 1 and nb_digits to the rest of the data)"},
    {"--compare", command_form::compare, false, "--compare",
     "compare two files' runs of digits, as cmp does:\n"
     "rovurer --compare FILE1 FILE2 base [pos [nb_digits]]",
     2},
    {"--info", command_form::info, false, "--info",
     "print what the header of a file says, and what is wrong\n"
     "with it: rovurer --info filename"},
    {"--group", command_form::dump, true, "--group N", "N digits a group (default 10; 0: no spaces)", 1,
     forms_of(command_form::dump), 3},
    {"--per-line", command_form::dump, true, "--per-line N",
     "N digits a line (a multiple of the group size), each\n"
     "line followed by the position of its last digit",
     1, forms_of(command_form::dump), 1},
    {"--no-labels", command_form::dump, false, "--no-labels", "no positions after the lines of --per-line", 1,
     forms_of(command_form::dump), 2},
    {"--threads", command_form::dump, true, "--threads N",
     "convert, search, count or compare on N threads (default:\n"
     "every processor this process may use)",
     1, every_form & ~forms_of(command_form::info), 5},
    {"--shard", command_form::dump, true, "--shard K/N", "do part K of N of the run, for one job over many machines", 1,
     every_form & ~forms_of(command_form::info), 7},
    {"--progress", command_form::dump, false, "--progress",
     "show how far a long job is on standard error (shown on a\n"
     "terminal after a second without it)",
     1, every_form & ~forms_of(command_form::info), 6},
    {"--no-progress", command_form::dump, false, "--no-progress", "never show it", 1,
     every_form & ~forms_of(command_form::info), 6},
    {"--kernels", command_form::dump, true, "--kernels NAME",
     "convert with the kernel set NAME (--version lists them)\n"
     "instead of the fastest this CPU supports"},
    {"--help", command_form::help, false, "--help", "print this help"},
    {"--version", command_form::version, false, "--version", "print the version and the kernel sets"},
}};

// Where the descriptions start in --help.
constexpr std::size_t description_column = 18;

constexpr std::string_view operands_help =
    "  base            10, 2 or 16: the base the digits are shown in\n"
    "  pos             the position of the first digit, from 1 (the first digit\n"
    "                  after the lead words, such as pi's \"3.\"); 1e9 is 10^9\n"
    "  nb_digits       how many digits (default 50)\n"
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
        command.layout.given = true;
        return true;  // checked once the group size is known
    }
    if (name == "--group") {
        command.layout.given = true;
        return strict(0, INT64_MAX, &command.layout.group, "a number of digits, 0 or more");
    }
    if (name == "--no-labels") {
        command.layout.given = true;
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
    if (name == "--threads") {
        std::int64_t threads = 0;
        const bool taken = strict(1, 1024, &threads, "a number of threads, from 1 to 1024");
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
