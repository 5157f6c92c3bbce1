#include "engine/pack.h"

namespace rovurer {

namespace {

// The value of `c` as a digit of `base`, or -1.
int digit_value(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    }
    return value < base ? value : -1;
}

}  // namespace

digit_text_reader::digit_text_reader(int base) : base_(base), per_word_(base == 10 ? 19 : base == 16 ? 16 : 64) {}

void digit_text_reader::add_fraction_digit(unsigned value, std::vector<std::uint64_t>& words) {
    word_ = base_ == 10 ? word_ * 10 + value : base_ == 16 ? (word_ << 4) | value : (word_ << 1) | value;
    ++fraction_digits_;
    if (++in_word_ == per_word_) {
        words.push_back(word_);
        word_ = 0;
        in_word_ = 0;
    }
}

// The digits before the point make the integer part: words aligned on its
// last digit, the most significant first.
void digit_text_reader::integer_part_ends(std::vector<std::uint64_t>& words) {
    const auto digits = static_cast<std::int64_t>(pending_.size());
    std::uint64_t word = 0;
    for (std::int64_t k = 0; k < digits; ++k) {
        const auto value = static_cast<unsigned>(digit_value(pending_[static_cast<std::size_t>(k)], base_));
        word = base_ == 10 ? word * 10 + value : base_ == 16 ? (word << 4) | value : (word << 1) | value;
        if ((digits - 1 - k) % per_word_ == 0) {
            words.push_back(word);
            word = 0;
            ++lead_words_;
        }
    }
    pending_.clear();
    point_possible_ = false;
}

// No point came where one could: the digits held are the first of the
// fraction.
void digit_text_reader::pending_are_fraction(std::vector<std::uint64_t>& words) {
    for (const char c : pending_) {
        add_fraction_digit(static_cast<unsigned>(digit_value(c, base_)), words);
    }
    pending_.clear();
    point_possible_ = false;
}

bool digit_text_reader::take(char c, std::vector<std::uint64_t>& words) {
    if (c == '\n') {
        ++line_;
        column_ = 0;
        return true;
    }
    ++column_;
    if (c == ' ' || c == '\t' || c == '\r') {
        return true;
    }
    const int value = digit_value(c, base_);
    if (value >= 0) {
        if (!point_possible_) {
            add_fraction_digit(static_cast<unsigned>(value), words);
        } else if (static_cast<std::int64_t>(pending_.size()) < integer_digits_limit) {
            pending_ += c;
        } else {
            pending_are_fraction(words);
            add_fraction_digit(static_cast<unsigned>(value), words);
        }
        return true;
    }
    if (c == '.' && point_possible_ && !pending_.empty()) {
        integer_part_ends(words);
        return true;
    }
    problem_ = "line " + std::to_string(line_) + ", column " + std::to_string(column_) + ": '";
    problem_ += c;
    problem_ += "' is not a base-" + std::to_string(base_) + " digit";
    return false;
}

bool digit_text_reader::read(std::string_view text, std::vector<std::uint64_t>& words) {
    if (!problem_.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!take(c, words)) {
            return false;
        }
    }
    return true;
}

void digit_text_reader::end(std::vector<std::uint64_t>& words) {
    if (point_possible_) {
        pending_are_fraction(words);
    }
    padding_ = 0;
    while (in_word_ != 0) {
        add_fraction_digit(0, words);
        --fraction_digits_;
        ++padding_;
    }
}

}  // namespace rovurer
