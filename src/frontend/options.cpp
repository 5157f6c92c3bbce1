#include "frontend/options.h"

#include <string_view>

namespace {

struct known_option {
    std::string_view name;
    command_form form;  // the form it selects; plain for --per-line
    bool takes_value;
};

constexpr known_option known_options[] = {
    {"--find", command_form::find, true},  {"--count", command_form::count, false},
    {"--info", command_form::info, false}, {"--per-line", command_form::plain, true},
    {"--help", command_form::help, false}, {"--version", command_form::version, false},
};

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

}  // namespace

command_line parse_command_line(int argc, const char* const* argv) {
    command_line command;
    int at = 1;
    while (at < argc && std::string_view(argv[at]).substr(0, 2) == "--") {
        const std::string_view argument = argv[at++];
        if (argument == "--") {
            break;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const known_option* option = nullptr;
        for (const known_option& candidate : known_options) {
            if (candidate.name == name) {
                option = &candidate;
            }
        }
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
