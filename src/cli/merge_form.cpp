// --merge FORM PARTS...: the answer of a whole run from the answers of its
// shards, given in order. The states of --stats and --missing merge (each
// must start where the one before ends); the first positions of --first
// take the first that any part found; the lines of the other forms follow
// one another, checked to go on in order.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/names.h"
#include "cli/statistics_forms.h"
#include "rovurer/numbers.h"

namespace rovurer {

namespace {

// A part, a line at a time; a line without its newline at the end of the
// file, or a read that fails, is a fault.
class part_lines {
public:
    explicit part_lines(const char* name) : name_(name), in_(name, std::ios::binary) {}

    bool opened() const { return in_.is_open(); }
    const char* name() const { return name_; }
    std::int64_t number() const { return number_; }

    // The next line without its newline; false at the end, or on a fault
    // (`why` set).
    bool next(std::string& line) {
        if (!std::getline(in_, line)) {
            if (!in_.eof()) {
                why = "cannot read: " + std::string(std::strerror(errno));
            }
            return false;
        }
        ++number_;
        if (in_.eof()) {
            why = "line " + std::to_string(number_) + " is cut short: it has no newline";
            return false;
        }
        return true;
    }

    std::string why;

private:
    const char* name_;
    std::ifstream in_;
    std::int64_t number_ = 0;
};

bool read_whole(const char* name, std::string& text, std::string& why) {
    std::ifstream in(name, std::ios::binary);
    if (!in.is_open()) {
        why = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        why = "cannot read: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

// The decimal number at the start of `text` (after `key`, when `text`
// starts with it), and where it ends.
std::optional<std::int64_t> leading_number(std::string_view text, std::size_t& end) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || digits > 19) {
        return std::nullopt;
    }
    const strict_number number = parse_strict_integer(std::string(text.substr(0, digits)).c_str(), 0, INT64_MAX);
    if (number.status != strict_number::verdict::ok) {
        return std::nullopt;
    }
    end = digits;
    return number.value;
}

// The number after "NAME": in a JSON line.
std::optional<std::int64_t> member_number(std::string_view line, std::string_view name) {
    std::string key(1, '"');
    key.append(name).append("\":");
    const std::size_t at = line.find(key);
    std::size_t end = 0;
    return at == std::string_view::npos ? std::nullopt : leading_number(line.substr(at + key.size()), end);
}

int part_fault(const command_line& command, console& io, const char* name, const std::string& why) {
    return report(io, "rovurer: " + shown_name(name) + ": " + why, command.trouble_status);
}

// The states of the parts, merged in order.
template <typename State>
int merge_states(const command_line& command, console& io,
                 const std::function<result<State>(std::string_view)>& read_state,
                 const std::function<std::string(const State&)>& answer_text,
                 const std::function<std::string(const State&)>& answer_json) {
    std::optional<State> all;
    for (const char* name : command.operands) {
        std::string text;
        std::string why;
        if (!read_whole(name, text, why)) {
            return part_fault(command, io, name, why);
        }
        const result<State> part = read_state(text);
        if (!part) {
            return part_fault(command, io, name, part.error().message);
        }
        if (!all) {
            all = *part;
        } else if (!merge(*all, *part)) {
            return part_fault(command, io, name,
                              "does not follow the part before it, which ends at position " +
                                  std::to_string(all->pos + all->digits - 1) + ": it starts at position " +
                                  std::to_string(part->pos) + ", in base " + std::to_string(part->base));
        }
    }
    if (command.json) {
        std::string object = answer_json(*all);
        object.pop_back();
        io.out.append(object + ",\"merge\":" + to_json(*all) + "}\n");
    } else {
        io.out.append(answer_text(*all));
    }
    return finish(io, exit_shown, command.trouble_status);
}

// The lines of blocks, runs or self-locating positions, in order: each
// part's positions increase, and blocks follow one another.
int merge_lines(const command_line& command, console& io, bool blocks) {
    std::int64_t last = 0;        // the position of the line before
    std::int64_t next_block = 0;  // blocks: where the next must start (0: anywhere)
    std::int64_t written = 0;
    for (const char* name : command.operands) {
        part_lines part(name);
        if (!part.opened()) {
            return part_fault(command, io, name, "cannot open: " + std::string(std::strerror(errno)));
        }
        std::string line;
        while (part.next(line)) {
            if (command.max_count >= 0 && written == command.max_count) {
                return finish(io, exit_shown, command.trouble_status);
            }
            const bool json = line.starts_with('{');
            std::size_t end = 0;
            const std::optional<std::int64_t> pos = json ? member_number(line, "pos") : leading_number(line, end);
            std::optional<std::int64_t> digits;
            if (blocks) {
                std::size_t after = 0;
                digits = json ? member_number(line, "digits")
                         : end < line.size() && line[end] == ','
                             ? leading_number(std::string_view(line).substr(end + 1), after)
                             : std::nullopt;
            }
            if (!pos || (blocks && !digits)) {
                return part_fault(
                    command, io, name,
                    "line " + std::to_string(part.number()) + " is not a line of --" + command.merge_form);
            }
            if (*pos <= last || (next_block != 0 && *pos != next_block)) {
                return part_fault(command, io, name,
                                  "line " + std::to_string(part.number()) + " is out of order: position " +
                                      std::to_string(*pos) + " after " + std::to_string(last));
            }
            last = *pos;
            if (blocks) {
                next_block = *pos + *digits;
            }
            io.out.append(line);
            io.out.put('\n');
            if (++written % 4096 == 0 && !io.out.flush()) {
                return finish(io, exit_shown, command.trouble_status);
            }
        }
        if (!part.why.empty()) {
            return part_fault(command, io, name, part.why);
        }
    }
    return finish(io, exit_shown, command.trouble_status);
}

// The first positions of every string: the first that any part found.
int merge_first(const command_line& command, console& io) {
    std::vector<std::unique_ptr<part_lines>> parts;
    for (const char* name : command.operands) {
        parts.push_back(std::make_unique<part_lines>(name));
        if (!parts.back()->opened()) {
            return part_fault(command, io, name, "cannot open: " + std::string(std::strerror(errno)));
        }
    }
    // A line: "STRING POS" or {"string":"STRING","pos":POS}.
    const auto split = [](std::string_view line, std::string& string, std::int64_t& pos) {
        std::size_t end = 0;
        if (line.starts_with("{\"string\":\"")) {
            const std::size_t close = line.find('"', 11);
            const std::optional<std::int64_t> number = member_number(line, "pos");
            if (close == std::string_view::npos || !number) {
                return false;
            }
            string = line.substr(11, close - 11);
            pos = *number;
            return true;
        }
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos || space == 0) {
            return false;
        }
        const std::optional<std::int64_t> number = leading_number(line.substr(space + 1), end);
        if (!number || space + 1 + end != line.size()) {
            return false;
        }
        string = line.substr(0, space);
        pos = *number;
        return true;
    };
    for (;;) {
        std::string first_line;
        std::string string;
        std::int64_t best = 0;
        bool json = false;
        for (std::size_t k = 0; k < parts.size(); ++k) {
            part_lines& part = *parts[k];
            std::string line;
            const bool got = part.next(line);
            if (!part.why.empty()) {
                return part_fault(command, io, part.name(), part.why);
            }
            if (k == 0 && !got) {
                // The first part has ended: so must every other.
                for (std::size_t other = 1; other < parts.size(); ++other) {
                    if (parts[other]->next(line) || !parts[other]->why.empty()) {
                        return part_fault(command, io, parts[other]->name(),
                                          "has more lines than " + shown_name(parts[0]->name()));
                    }
                }
                return finish(io, exit_shown, command.trouble_status);
            }
            std::string this_string;
            std::int64_t pos = 0;
            if (!got || !split(line, this_string, pos)) {
                return part_fault(command, io, part.name(),
                                  got ? "line " + std::to_string(part.number()) + " is not a line of --first"
                                      : "has fewer lines than " + shown_name(parts[0]->name()));
            }
            if (k == 0) {
                string = this_string;
                json = line.starts_with('{');
            } else if (this_string != string) {
                return part_fault(command, io, part.name(),
                                  std::string("line ")
                                      .append(std::to_string(part.number()))
                                      .append(" is of ")
                                      .append(this_string)
                                      .append(", not ")
                                      .append(string));
            }
            if (pos != 0 && (best == 0 || pos < best)) {
                best = pos;
            }
        }
        io.out.append(json ? "{\"string\":\"" + string + "\",\"pos\":" + std::to_string(best) + "}\n"
                           : string + " " + std::to_string(best) + "\n");
        if (parts[0]->number() % 4096 == 0 && !io.out.flush()) {
            return finish(io, exit_shown, command.trouble_status);
        }
    }
}

}  // namespace

int merge_action(const command_line& command, console& io) {
    if (command.operands.empty()) {
        return usage_error(command, io, "rovurer: missing arguments");
    }
    const std::string_view form = command.merge_form;
    if (command.max_count >= 0 && form != "runs") {
        return usage_error(command, io, "rovurer: --max-count needs --merge runs");
    }
    if (command.json && form != "stats" && form != "missing") {
        return usage_error(command, io, "rovurer: --json needs --merge stats or --merge missing");
    }
    if (form == "stats") {
        return merge_states<statistics_state>(
            command, io, read_statistics_state,
            [](const statistics_state& all) { return statistics_table(summarize(all)); },
            [](const statistics_state& all) { return to_json(summarize(all)); });
    }
    if (form == "missing") {
        return merge_states<strings_state>(
            command, io, read_strings_state, [](const strings_state& all) { return missing_table(summarize(all)); },
            [](const strings_state& all) { return to_json(summarize(all)); });
    }
    if (form == "first") {
        return merge_first(command, io);
    }
    if (form == "blocks" || form == "runs" || form == "self-locating") {
        return merge_lines(command, io, form == "blocks");
    }
    return usage_error(
        command, io,
        "rovurer: --merge needs stats, missing, first, blocks, runs or self-locating, not '" + std::string(form) + "'");
}

}  // namespace rovurer
