#include "cli/manual.h"

#include <vector>

#include "cli/options.h"
#include "rovurer/version.h"

namespace rovurer {

namespace {

// Text as troff shows it literally: a minus sign for each '-'.
std::string escaped(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        shown += c == '-' ? "\\-" : c == '\\' ? "\\\\" : std::string(1, c);
    }
    return shown;
}

// A macro argument: quoted when it holds a space or is empty.
std::string argument(std::string_view text) {
    const std::string shown = escaped(text);
    return shown.empty() || shown.find(' ') != std::string::npos ? "\"" + shown + "\"" : shown;
}

// The option's name and value: "--find DIGITS" splits in two.
std::string_view name_of(const known_option& option) {
    return option.usage.substr(0, option.usage.find(' '));
}
std::string_view value_of(const known_option& option) {
    const std::size_t space = option.usage.find(' ');
    return space == std::string_view::npos ? std::string_view() : option.usage.substr(space + 1);
}

// Operands: the words in italics, the brackets and spaces in roman.
std::string operand_lines(std::string_view operands) {
    const std::size_t optional = operands.find('[');
    std::string lines;
    const std::string_view required = operands.substr(0, optional);
    if (!required.empty()) {
        lines += ".I " + escaped(required.substr(0, required.find_last_not_of(' ') + 1)) + "\n";
    }
    if (optional == std::string_view::npos) {
        return lines;
    }
    // .RI alternates roman and italic arguments, roman first.
    std::vector<std::string> pieces(1);
    bool italic = false;
    for (const char c : operands.substr(optional)) {
        const bool word = c != '[' && c != ']' && c != ' ';
        if (word != italic) {
            pieces.emplace_back();
            italic = word;
        }
        pieces.back() += c;
    }
    lines += ".RI";
    for (const std::string& piece : pieces) {
        lines += ' ';
        lines += argument(piece);
    }
    return lines + "\n";
}

// "[--name VALUE]" as a SYNOPSIS shows it; `alternatives` are shown with it
// as "[--a | --b]".
std::string optional_lines(const std::vector<const known_option*>& alternatives) {
    std::string lines = ".RB [";
    for (std::size_t k = 0; k < alternatives.size(); ++k) {
        const known_option& option = *alternatives[k];
        lines += (k > 0 ? " \" | \" " : " ") + escaped(name_of(option));
        if (!value_of(option).empty()) {
            lines += "\n.IR " + argument(value_of(option)) + (k + 1 == alternatives.size() ? " ]" : "");
            if (k + 1 < alternatives.size()) {
                lines += "\n.RB";
            }
        } else if (k + 1 == alternatives.size()) {
            lines += " ]";
        }
    }
    return lines + "\n";
}

// The options that go with `with` and no other form, as optional lines;
// options next to each other with the same conflict order are alternatives.
std::string options_lines(const std::vector<const known_option*>& chosen) {
    std::string lines;
    for (std::size_t k = 0; k < chosen.size();) {
        std::vector<const known_option*> alternatives = {chosen[k]};
        while (++k < chosen.size() && chosen[k]->conflict_order != 0 &&
               chosen[k]->conflict_order == alternatives.front()->conflict_order) {
            alternatives.push_back(chosen[k]);
        }
        lines += optional_lines(alternatives);
    }
    return lines;
}

std::vector<const known_option*> options_only_for(command_form form) {
    std::vector<const known_option*> chosen;
    for (const known_option& option : known_options()) {
        if (option.form == command_form::dump && option.given_with == forms_of(form)) {
            chosen.push_back(&option);
        }
    }
    return chosen;
}

}  // namespace

std::string manual_synopsis() {
    std::string text =
        ".B rovurer\n" + options_lines(options_only_for(command_form::dump)) + operand_lines(dump_operands) + ".br\n";
    std::vector<const known_option*> bare;  // forms with neither a value nor operands
    for (const known_option& option : known_options()) {
        if (option.form == command_form::dump) {
            continue;
        }
        if (option.operands.empty() && value_of(option).empty()) {
            bare.push_back(&option);
            continue;
        }
        text += ".B rovurer " + escaped(name_of(option)) + "\n";
        if (!value_of(option).empty()) {
            text += ".I " + escaped(value_of(option)) + "\n";
        }
        text += options_lines(options_only_for(option.form)) + operand_lines(option.operands) + ".br\n";
    }
    // The options of more than one form, with any form that reads digits.
    std::vector<const known_option*> shared;
    for (const known_option& option : known_options()) {
        if (option.form == command_form::dump && (option.given_with & (option.given_with - 1)) != 0) {
            shared.push_back(&option);
        }
    }
    text += ".B rovurer\n" + options_lines(shared) + ".RI { form \" that reads digits, as above}\"\n.br\n";
    text += ".B rovurer";
    for (std::size_t k = 0; k < bare.size(); ++k) {
        text += (k > 0 ? "\n|\n.B " : " ") + escaped(name_of(*bare[k]));
    }
    return text + "\n";
}

std::string manual_options() {
    std::string text;
    for (const known_option& option : known_options()) {
        text += ".TP\n";
        text += value_of(option).empty()
                    ? ".B " + escaped(option.usage) + "\n"
                    : ".BI " + escaped(name_of(option)) + " \" " + escaped(value_of(option)) + "\"\n";
        text += option.manual;
    }
    return text;
}

std::string with_made_sections(std::string_view manual) {
    std::string made(manual);
    // The title line's fourth field names the version: .TH ROVURER 1 DATE "rovurer VERSION" ...
    const std::string_view version_field = "\"rovurer ";
    const std::size_t title = made.rfind(".TH ", 0) == 0 ? 0 : made.find("\n.TH ");
    const std::size_t field = title == std::string::npos ? title : made.find(version_field, title);
    const std::size_t field_end = field == std::string::npos ? field : made.find('"', field + 1);
    if (field_end == std::string::npos || made.find('\n', title + 1) < field_end) {
        return {};
    }
    made.replace(field + version_field.size(), field_end - field - version_field.size(), ROVURER_VERSION_STRING);
    for (const auto& [marker, section] :
         {std::pair{synopsis_begin, manual_synopsis()}, std::pair{options_begin, manual_options()}}) {
        const std::size_t begin = made.find(marker);
        const std::size_t end = begin == std::string::npos ? begin : made.find(made_end, begin);
        if (end == std::string::npos) {
            return {};
        }
        made.replace(begin + marker.size(), end - begin - marker.size(), section);
    }
    return made;
}

}  // namespace rovurer
