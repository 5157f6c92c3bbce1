// Digits as text into the words of a digit file: what a writer of digit
// files packs. Pure: the text comes in pieces, the words go out in text
// order (most significant first, the integer part's first); nothing here
// touches a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rovurer {

class digit_text_reader {
public:
    // Digits of `base` (2, 10 or 16; A-F in either case). The text may
    // start with an integer part and a point ("3."), within the first
    // integer_digits_limit digits; blanks and line ends anywhere are ignored.
    explicit digit_text_reader(int base);

    static constexpr std::int64_t integer_digits_limit = std::int64_t{1} << 20;

    // Reads the next piece of the text, appending the words it completes to
    // `words`. A UTF-8 byte order mark that starts the text is skipped.
    // False at the first character that is neither a digit of the base, a
    // blank, a line end nor the one point after the integer part: problem()
    // then says where ("line 2, column 7: 'x' is not a base-10 digit"; a
    // byte that is not printable ASCII as '\xNN'), and nothing more is
    // read. A long piece is cut into `threads`
    // slices, checked and packed at once, with the words of one thread.
    bool read(std::string_view text, std::vector<std::uint64_t>& words, int threads = 1);

    // After the last piece: appends the last word, its missing digits zeros.
    void end(std::vector<std::uint64_t>& words);

    const std::string& problem() const { return problem_; }
    std::int64_t lead_words() const { return lead_words_; }
    // The digits after the point (all of them, without one), padding not counted.
    std::int64_t fraction_digits() const { return fraction_digits_; }
    // Zero digits that filled the last word (after end()).
    std::int64_t padding() const { return padding_; }

    // Of a piece cut into slices for threads, the shortest slice.
    static constexpr std::size_t smallest_slice = std::size_t{1} << 20;

private:
    bool take(char c, std::vector<std::uint64_t>& words);
    bool read_fraction(std::string_view text, std::vector<std::uint64_t>& words, int threads);
    void add_fraction_digit(unsigned value, std::vector<std::uint64_t>& words);
    void integer_part_ends(std::vector<std::uint64_t>& words);
    void pending_are_fraction(std::vector<std::uint64_t>& words);

    int base_;
    int per_word_;                // 19, 16 or 64 digits a word
    std::string pending_;         // digits before the first point, while one may come
    bool point_possible_ = true;  // no point yet, and the digits so far may be an integer part
    std::uint64_t word_ = 0;
    int in_word_ = 0;
    std::int64_t lead_words_ = 0;
    std::int64_t fraction_digits_ = 0;
    std::int64_t padding_ = 0;
    std::int64_t line_ = 1;
    std::int64_t column_ = 0;
    int mark_bytes_ = 0;  // of a byte order mark at the start, seen so far; -1 once past it
    std::string problem_;
    std::vector<std::vector<char>> dense_;  // each slice's digits without blanks, reused
};

// The words a valid text packs into, counted without checking it: its
// digits before its first point (the integer part) and after, each rounded
// up to whole words. What a text that is not valid counts does not matter:
// reading it fails.
class digit_counter {
public:
    explicit digit_counter(int base) : base_(base) {}
    void count(std::string_view text);
    std::int64_t words() const;

private:
    int base_;
    bool point_seen_ = false;
    std::int64_t before_point_ = 0;
    std::int64_t after_point_ = 0;
};

}  // namespace rovurer
