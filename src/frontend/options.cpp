#include "frontend/options.h"

#include <array>

namespace rovurer {

namespace {

constexpr std::array<known_option, 7> options = {{
    {"--find", command_form::find, true, "--find DIGITS filename base [pos [nb_digits]]",
     "print the position of every occurrence of DIGITS, one a line"},
    {"--count", command_form::count, false, "--count filename base [pos [nb_digits]]",
     "print how often each digit of the base occurs\n"
     "(for both, pos defaults to 1 and nb_digits to the rest of the data)"},
    {"--info", command_form::info, false, "--info filename", "print what the header says and what the file holds"},
    {"--per-line", command_form::plain, true, "--per-line N",
     "print N digits a line (a multiple of 10), each line\nfollowed by the position of its last digit"},
    {"--kernels", command_form::plain, true, "--kernels NAME",
     "convert with the kernel set NAME (--version lists them)\ninstead of the fastest this CPU supports"},
    {"--help", command_form::help, false, "--help", "print this help"},
    {"--version", command_form::version, false, "--version", "print the version and the kernel sets"},
}};

// Where the descriptions start in --help.
constexpr std::size_t description_column = 18;

// A positive multiple of 10 written in decimal digits only, below 2^63; 0
// for anything else.
std::int64_t parse_per_line(std::string_view text) {
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > (INT64_MAX - (c - '0')) / 10) {
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value % 10 == 0 ? value : 0;
}

std::string form_name(command_form form) {
    return form == command_form::find ? "--find" : form == command_form::count ? "--count" : "--info";
}

const known_option* find_option(std::string_view name) {
    for (const known_option& option : options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

std::span<const known_option> known_options() {
    return options;
}

std::string options_help() {
    std::string text = "Options, before the file name:\n";
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
    return text;
}

command_line parse_command_line(int argc, const char* const* argv) {
    command_line command;
    int at = 1;
    while (at < argc && std::string_view(argv[at]).substr(0, 2) == "--") {
        const std::string_view argument = argv[at++];
        if (argument == "--") {
            break;
        }
        command.any_option = true;
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const known_option* const option = find_option(name);
        if (option == nullptr) {
            command.error = "rovurer: unknown option '" + std::string(argument) + "'";
            return command;
        }
        const char* value = equals == std::string_view::npos ? nullptr : argv[at - 1] + equals + 1;
        if (!option->takes_value && value != nullptr) {
            command.error = "rovurer: option '" + std::string(name) + "' takes no value";
            return command;
        }
        if (option->takes_value && value == nullptr) {
            if (at == argc) {
                command.error = "rovurer: option '" + std::string(name) + "' needs a value";
                return command;
            }
            value = argv[at++];
        }
        if (option->form == command_form::help || option->form == command_form::version) {
            command.form = option->form;
            return command;
        }
        if (option->name == "--per-line") {
            command.per_line = parse_per_line(value);
            if (command.per_line == 0) {
                command.error = "rovurer: --per-line needs a positive multiple of 10, not '" + std::string(value) + "'";
                return command;
            }
            continue;
        }
        if (option->name == "--kernels") {
            command.kernel_set = value;
            continue;
        }
        if (command.form != command_form::plain && command.form != option->form) {
            command.error = "rovurer: " + form_name(command.form) + " and " + std::string(name) + " cannot be combined";
            return command;
        }
        command.form = option->form;
        if (option->form == command_form::find) {
            command.find_digits = value;
        }
    }
    if (command.per_line != 0 && command.form != command_form::plain) {
        command.error = "rovurer: --per-line cannot be combined with " + form_name(command.form);
    }
    command.first_operand = at;
    return command;
}

}  // namespace rovurer
