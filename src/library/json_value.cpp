#include "library/json_value.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>
#include <tuple>

namespace rovurer {

const json_value* json_value::find(std::string_view name) const {
    const auto found = members.find(name);
    return found == members.end() ? nullptr : &found->second;
}

namespace {

class json_reader {
public:
    explicit json_reader(std::string_view text) : text_(text) {}

    bool value(json_value& out, int depth) {
        blanks();
        if (at_ == text_.size()) {
            return fail("the text ends where a value should be");
        }
        const char c = text_[at_];
        if (c == '{' || c == '[') {
            if (depth >= most_json_depth) {
                return fail("values nested deeper than " + std::to_string(most_json_depth));
            }
            return c == '{' ? object(out, depth + 1) : array(out, depth + 1);
        }
        if (c == '"') {
            out.type = json_value::kind::string;
            return string(out.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            return number(out);
        }
        for (const auto& [word, type, truth] : {std::tuple{"true", json_value::kind::boolean, true},
                                                std::tuple{"false", json_value::kind::boolean, false},
                                                std::tuple{"null", json_value::kind::null, false}}) {
            if (text_.substr(at_).starts_with(word)) {
                at_ += std::string_view(word).size();
                out.type = type;
                out.boolean = truth;
                return true;
            }
        }
        return fail("an unexpected character");
    }

    bool end() {
        blanks();
        return at_ == text_.size() || fail("text after the value");
    }

    std::string why;

private:
    bool fail(const std::string& reason) {
        why = reason + " at byte " + std::to_string(at_ + 1);
        return false;
    }

    void blanks() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool take(char c) {
        blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool object(json_value& out, int depth) {
        out.type = json_value::kind::object;
        ++at_;
        if (take('}')) {
            return true;
        }
        do {
            blanks();
            std::string name;
            if (at_ == text_.size() || text_[at_] != '"') {
                return fail("a member without a name");
            }
            if (!string(name)) {
                return false;
            }
            if (!take(':')) {
                return fail("a member without ':'");
            }
            json_value member;
            if (!value(member, depth)) {
                return false;
            }
            if (!out.members.emplace(std::move(name), std::move(member)).second) {
                return fail("a member named twice");
            }
        } while (take(','));
        return take('}') || fail("an object without its '}'");
    }

    bool array(json_value& out, int depth) {
        out.type = json_value::kind::array;
        ++at_;
        if (take(']')) {
            return true;
        }
        do {
            json_value item;
            if (!value(item, depth)) {
                return false;
            }
            out.items.push_back(std::move(item));
        } while (take(','));
        return take(']') || fail("an array without its ']'");
    }

    bool string(std::string& out) {
        ++at_;  // the quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail("a control character in a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ == text_.size()) {
                break;
            }
            const char escaped = text_[at_++];
            if (escaped == '"' || escaped == '\\' || escaped == '/') {
                out += escaped;
            } else if (escaped == 'n') {
                out += '\n';
            } else if (escaped == 't') {
                out += '\t';
            } else if (escaped == 'u' && at_ + 4 <= text_.size()) {
                unsigned code = 0;
                const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
                if (error != std::errc{} || end != text_.data() + at_ + 4 || code >= 0x80) {
                    return fail("an escape this reader does not take");
                }
                out += static_cast<char>(code);
                at_ += 4;
            } else {
                return fail("an escape this reader does not take");
            }
        }
        return fail("a string without its closing quote");
    }

    bool number(json_value& out) {
        const std::size_t start = at_;
        if (text_[at_] == '-') {
            ++at_;
        }
        const std::size_t digits = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            ++at_;
        }
        if (at_ == digits || (text_[digits] == '0' && at_ - digits > 1)) {
            return fail("a number that JSON does not write");
        }
        bool whole = true;
        if (at_ < text_.size() && text_[at_] == '.') {
            whole = false;
            const std::size_t fraction = ++at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            if (at_ == fraction) {
                return fail("a number that JSON does not write");
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            whole = false;
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            const std::size_t exponent = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            if (at_ == exponent) {
                return fail("a number that JSON does not write");
            }
        }
        const std::string spelled(text_.substr(start, at_ - start));
        out.number = std::strtod(spelled.c_str(), nullptr);
        out.type = json_value::kind::number;
        if (whole) {
            const auto [end, error] = std::from_chars(spelled.data(), spelled.data() + spelled.size(), out.integer);
            if (error == std::errc{} && end == spelled.data() + spelled.size()) {
                out.type = json_value::kind::integer;
            }
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<json_value> parse_json(std::string_view text, std::string& why) {
    json_reader reader(text);
    json_value value;
    if (!reader.value(value, 0) || !reader.end()) {
        why = reader.why;
        return std::nullopt;
    }
    return value;
}

}  // namespace rovurer
