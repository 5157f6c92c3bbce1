#include "cli/options.h"

#include <string>
#include <vector>

#include "rovurer/numbers.h"

namespace rovurer {

namespace {

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
    for (const known_option& option : known_options()) {
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
    for (const known_option& option : known_options()) {
        if (option.form == form) {
            return std::string(option.name);
        }
    }
    return {};
}

// The options that select the forms of `forms`: "--a", "--a or --b",
// "--a, --b or --c".
std::string forms_names(form_set forms) {
    std::vector<std::string_view> names;
    for (const known_option& option : known_options()) {
        if (option.form != command_form::dump && (forms & forms_of(option.form)) != 0) {
            names.push_back(option.name);
        }
    }
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) {
        text += k == 0 ? "" : k + 1 == names.size() ? " or " : ", ";
        text += names[k];
    }
    return text;
}

// Takes one option and its value into `command`, as its row says; false
// after a usage error.
bool take_option(command_line& command, const known_option& option, const char* value) {
    const std::string name(option.name);
    if (option.number != nullptr) {
        const strict_number number = parse_strict_integer(value, option.lowest, option.highest);
        if (number.status != strict_number::verdict::ok) {
            command.error = "rovurer: " + name + " needs " + std::string(option.wanted) + ", not '" + value + "'";
            return false;
        }
        command.*option.number = number.value;
    }
    if (option.flag != nullptr) {
        command.*option.flag = true;
    }
    if (option.text != nullptr) {
        command.*option.text = value;
    }
    if (option.apply != nullptr && !option.apply(command, value)) {
        return false;
    }
    if (option.form == command_form::dump) {
        return true;
    }
    if (command.form != command_form::dump && command.form != option.form) {
        command.error = "rovurer: " + form_name(command.form) + " and " + name + " cannot be combined";
        return false;
    }
    command.form = option.form;
    return true;
}

// The checks that need every option: --per-line against the group size,
// and the options given with a form they do not take (the table says
// which), naming the one lowest in the table's conflict order, the last
// given of two alike.
void check_combination(command_line& command, const std::vector<const known_option*>& given) {
    if (command.per_line_text != nullptr) {
        const std::int64_t group = command.group;
        const strict_number number = parse_strict_integer(command.per_line_text, 1, INT64_MAX);
        if (number.status != strict_number::verdict::ok || (group > 0 && number.value % group != 0)) {
            command.error = "rovurer: --per-line needs a positive " +
                            (group > 0 ? "multiple of " + std::to_string(group) : std::string("number")) + ", not '" +
                            command.per_line_text + "'";
            return;
        }
        command.per_line = number.value;
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
                            ? "rovurer: " + name + " needs " + forms_names(named->given_with)
                            : "rovurer: " + name + " cannot be combined with " + form_name(command.form);
    }
}

}  // namespace

std::span<const known_option> known_options() {
    static const std::vector<known_option> every = [] {
        std::vector<known_option> rows(options_of_forms().begin(), options_of_forms().end());
        rows.insert(rows.end(), options_of_statistics().begin(), options_of_statistics().end());
        rows.insert(rows.end(), options_of_runs().begin(), options_of_runs().end());
        return rows;
    }();
    return every;
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
    for (const known_option& option : known_options()) {
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
        if (!take_option(command, *option, value)) {
            return command;
        }
        given.push_back(option);
    }
    check_combination(command, given);
    return command;
}

}  // namespace rovurer
