#include "write/pack.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <system_error>
#include <thread>

namespace rovurer {

namespace {

// What a byte of the text is, in a base: a digit's value (0 to 15), or one
// of these.
constexpr std::uint8_t blank = 16;
constexpr std::uint8_t line_end = 17;
constexpr std::uint8_t not_a_digit = 18;

using byte_table = std::array<std::uint8_t, 256>;

constexpr byte_table table_of(int base) {
    byte_table table{};
    for (int c = 0; c < 256; ++c) {
        int value = not_a_digit;
        if (c >= '0' && c <= '9') {
            value = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            value = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            value = c - 'a' + 10;
        }
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(value < base                         ? value
                                                                       : c == ' ' || c == '\t' || c == '\r' ? blank
                                                                       : c == '\n'                          ? line_end
                                                                                   : not_a_digit);
    }
    return table;
}

constexpr byte_table base2_table = table_of(2);
constexpr byte_table base10_table = table_of(10);
constexpr byte_table base16_table = table_of(16);

const byte_table& table_for(int base) {
    return base == 2 ? base2_table : base == 10 ? base10_table : base16_table;
}

// Eight characters as one number, the first in the low byte, on any host.
std::uint64_t load8(const char* text) {
    std::uint64_t value = 0;
    std::memcpy(&value, text, 8);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    return value;
}

// Of eight characters, the first in the low byte: the high bit of each
// byte that is not a digit of `Base`, the others clear. Bytes are compared
// with their high bit cleared, so that no sum carries into the next.
template <int Base>
std::uint64_t non_digits(std::uint64_t eight) {
    constexpr std::uint64_t high = 0x8080808080808080;
    constexpr std::uint64_t low = 0x7F7F7F7F7F7F7F7F;
    // The high bit of each byte at or above `bound` (below 0x80).
    const auto at_least = [](std::uint64_t bytes, std::uint64_t bound) {
        return (bytes + (0x80 - bound) * 0x0101010101010101) & high;
    };
    const std::uint64_t seven = eight & low;
    std::uint64_t digits = at_least(seven, '0') & ~at_least(seven, Base == 2 ? '2' : '9' + 1);
    if constexpr (Base == 16) {
        const std::uint64_t lowered = seven | 0x2020202020202020;  // 'A'-'F' as 'a'-'f'
        digits |= at_least(lowered, 'a') & ~at_least(lowered, 'f' + 1);
    }
    return ~(digits & ~eight) & high;
}

// Eight decimal digits as their value.
std::uint64_t decimal8(std::uint64_t eight) {
    eight -= 0x3030303030303030;
    eight = (eight * 10) + (eight >> 8);
    eight = (((eight & 0x000000FF000000FF) * (100 + (std::uint64_t{1000000} << 32))) +
             (((eight >> 16) & 0x000000FF000000FF) * (1 + (std::uint64_t{10000} << 32)))) >>
            32;
    return eight;
}

// Eight hexadecimal digits (either case) as their value.
std::uint64_t hex8(std::uint64_t eight) {
    // '0'-'9' have bit 6 clear, letters have it set: their value is the low
    // nibble plus 9.
    const std::uint64_t letters = (eight >> 6) & 0x0101010101010101;
    std::uint64_t values = (eight & 0x0F0F0F0F0F0F0F0F) + letters * 9;
    // The first character is the most significant nibble.
    values = __builtin_bswap64(values);
    values = (values | (values >> 4)) & 0x00FF00FF00FF00FF;
    values = (values | (values >> 8)) & 0x0000FFFF0000FFFF;
    return (values | (values >> 16)) & 0xFFFFFFFF;
}

// Eight binary digits as their value, the first the most significant.
std::uint64_t binary8(std::uint64_t eight) {
    return ((eight & 0x0101010101010101) * 0x8040201008040201) >> 56;
}

// One whole word's digits (19, 16 or 64 of them) as its value.
template <int Base>
std::uint64_t word_of(const char* digits) {
    if constexpr (Base == 10) {
        return decimal8(load8(digits)) * std::uint64_t{100000000000} + decimal8(load8(digits + 8)) * 1000 +
               static_cast<std::uint64_t>(digits[16] - '0') * 100 + static_cast<std::uint64_t>(digits[17] - '0') * 10 +
               static_cast<std::uint64_t>(digits[18] - '0');
    }
    if constexpr (Base == 16) {
        return (hex8(load8(digits)) << 32) | hex8(load8(digits + 8));
    }
    std::uint64_t word = 0;
    for (int k = 0; k < 64; k += 8) {
        word = (word << 8) | binary8(load8(digits + k));
    }
    return word;
}

// One slice of the text with its blanks and line ends taken out.
struct slice_scan {
    std::size_t digits = 0;                       // written to the dense copy
    std::size_t bad_at = std::string_view::npos;  // the first character that is not a digit
    std::int64_t line_ends = 0;                   // before bad_at
    std::size_t last_line_end = std::string_view::npos;
};

template <int Base>
slice_scan compact_in(std::string_view text, char* dense) {
    const byte_table& table = table_for(Base);
    slice_scan scan;
    std::size_t written = 0;
    std::size_t at = 0;
    const auto one = [&](std::size_t k) {
        const char c = text[k];
        const std::uint8_t kind = table[static_cast<unsigned char>(c)];
        dense[written] = c;
        written += kind < blank ? 1 : 0;
        if (kind >= line_end) {
            if (kind == not_a_digit) {
                return false;
            }
            ++scan.line_ends;
            scan.last_line_end = k;
        }
        return true;
    };
    // Eight at a time: the digits before the first other character are
    // kept, and that character is taken on its own.
    while (at + 8 <= text.size()) {
        const std::uint64_t others = non_digits<Base>(load8(text.data() + at));
        std::memcpy(dense + written, text.data() + at, 8);
        if (others == 0) {
            written += 8;
            at += 8;
            continue;
        }
        const auto kept = static_cast<std::size_t>(std::countr_zero(others) / 8);
        written += kept;
        at += kept;
        if (!one(at)) {
            scan.digits = written;
            scan.bad_at = at;
            return scan;
        }
        ++at;
    }
    for (; at < text.size(); ++at) {
        if (!one(at)) {
            scan.bad_at = at;
            break;
        }
    }
    scan.digits = written;
    return scan;
}

slice_scan compact(std::string_view text, char* dense, int base) {
    return base == 10   ? compact_in<10>(text, dense)
           : base == 16 ? compact_in<16>(text, dense)
                        : compact_in<2>(text, dense);
}

// `count` whole words of the digits at `digits` into `into`.
template <int Base>
void words_in(const char* digits, std::size_t count, std::uint64_t* into) {
    constexpr std::size_t per_word = Base == 10 ? 19 : Base == 16 ? 16 : 64;
    for (std::size_t w = 0; w < count; ++w) {
        into[w] = word_of<Base>(digits + w * per_word);
    }
}

void make_words(const char* digits, std::size_t count, std::uint64_t* into, int base) {
    if (base == 10) {
        words_in<10>(digits, count, into);
    } else if (base == 16) {
        words_in<16>(digits, count, into);
    } else {
        words_in<2>(digits, count, into);
    }
}

// The value of `c` as a digit of `base`, or -1.
int digit_value(char c, int base) {
    const std::uint8_t value = table_for(base)[static_cast<unsigned char>(c)];
    return value < blank ? value : -1;
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
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
        problem_ += c;
    } else {
        // A NUL, a control character or a byte of a multibyte character:
        // its value, so the message stays one line of printable ASCII.
        constexpr std::string_view hex = "0123456789abcdef";
        problem_ += "\\x";
        problem_ += hex[byte >> 4];
        problem_ += hex[byte & 15];
    }
    problem_ += "' is not a base-" + std::to_string(base_) + " digit";
    return false;
}

bool digit_text_reader::read(std::string_view text, std::vector<std::uint64_t>& words, int threads) {
    if (!problem_.empty()) {
        return false;
    }
    // A byte order mark at the start, in as many pieces as it comes.
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    while (mark_bytes_ >= 0 && !text.empty()) {
        if (text.front() != byte_order_mark[static_cast<std::size_t>(mark_bytes_)]) {
            const bool partial = mark_bytes_ > 0;
            mark_bytes_ = -1;
            if (partial) {
                return take(byte_order_mark[0], words);  // the mark's first byte is what is wrong
            }
            break;
        }
        text.remove_prefix(1);
        if (++mark_bytes_ == static_cast<int>(byte_order_mark.size())) {
            mark_bytes_ = -1;
        }
    }
    // The start, while it may be an integer part, a character at a time.
    std::size_t at = 0;
    for (; at < text.size() && point_possible_; ++at) {
        if (!take(text[at], words)) {
            return false;
        }
    }
    return read_fraction(text.substr(at), words, threads);
}

// The fraction, in slices: each slice's blanks taken out and its characters
// checked, then each slice's whole words made, each on its own thread; the
// words that cross from one slice to the next a digit at a time.
bool digit_text_reader::read_fraction(std::string_view text, std::vector<std::uint64_t>& words, int threads) {
    if (text.empty()) {
        return true;
    }
    const std::size_t most = text.size() / smallest_slice;
    const std::size_t slices =
        std::max<std::size_t>(1, std::min<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), most));
    const std::size_t slice_bytes = (text.size() + slices - 1) / slices;
    dense_.resize(std::max(dense_.size(), slices));
    std::vector<std::string_view> pieces(slices);
    std::vector<slice_scan> scans(slices);
    for (std::size_t k = 0; k < slices; ++k) {
        pieces[k] = text.substr(std::min(text.size(), k * slice_bytes), slice_bytes);
        if (dense_[k].size() < pieces[k].size()) {
            dense_[k].resize(pieces[k].size());
        }
    }
    const auto on_threads = [slices](const auto& work) {
        std::vector<std::thread> helpers;
        for (std::size_t k = 1; k < slices; ++k) {
#ifdef ROVURER_NO_THREADS
            work(k);  // a build without helper threads does every slice here
#else
            try {
                helpers.emplace_back(work, k);
            } catch (const std::system_error&) {
                work(k);  // no thread to spare: this one does it
            }
#endif
        }
        work(0);
        for (std::thread& helper : helpers) {
            helper.join();
        }
    };
    on_threads([&](std::size_t k) { scans[k] = compact(pieces[k], dense_[k].data(), base_); });

    // Where a bad character stands, counting the slices before it.
    for (std::size_t k = 0; k < slices; ++k) {
        const slice_scan& scan = scans[k];
        const std::size_t seen = scan.bad_at == std::string_view::npos ? pieces[k].size() : scan.bad_at;
        if (scan.line_ends > 0) {
            line_ += scan.line_ends;
            column_ = static_cast<std::int64_t>(seen - scan.last_line_end - 1);
        } else {
            column_ += static_cast<std::int64_t>(seen);
        }
        if (scan.bad_at != std::string_view::npos) {
            return take(pieces[k][scan.bad_at], words);  // says where, and why
        }
    }

    // Slice k's whole words start after the digits that end the word before.
    const auto per_word = static_cast<std::size_t>(per_word_);
    std::vector<std::size_t> heads(slices);
    std::vector<std::size_t> first_words(slices);
    std::size_t digits_before = static_cast<std::size_t>(in_word_);
    const std::size_t words_before = words.size();
    for (std::size_t k = 0; k < slices; ++k) {
        heads[k] = std::min((per_word - digits_before % per_word) % per_word, scans[k].digits);
        first_words[k] = words_before + (digits_before + heads[k]) / per_word;
        digits_before += scans[k].digits;
    }
    words.resize(words_before + digits_before / per_word);
    on_threads([&](std::size_t k) {
        make_words(dense_[k].data() + heads[k], (scans[k].digits - heads[k]) / per_word, words.data() + first_words[k],
                   base_);
    });
    // The digits around the whole words, in order.
    std::size_t filled = words_before;
    for (std::size_t k = 0; k < slices; ++k) {
        const std::size_t whole = (scans[k].digits - heads[k]) / per_word;
        const auto add = [&](std::size_t from, std::size_t to) {
            for (std::size_t d = from; d < to; ++d) {
                const char c = dense_[k][d];
                const auto value = static_cast<std::uint64_t>(table_for(base_)[static_cast<unsigned char>(c)]);
                word_ = base_ == 10 ? word_ * 10 + value : base_ == 16 ? (word_ << 4) | value : (word_ << 1) | value;
                if (++in_word_ == per_word_) {
                    words[filled++] = word_;
                    word_ = 0;
                    in_word_ = 0;
                }
            }
        };
        add(0, heads[k]);
        filled += whole;
        add(heads[k] + whole * per_word, scans[k].digits);
        fraction_digits_ += static_cast<std::int64_t>(scans[k].digits);
    }
    return true;
}

namespace {

// The digits of a base in `text`: bytes tested 64 at a time into byte-wide
// counters, which the compiler turns into vector instructions, added up
// before they can overflow.
template <typename Is_digit>
std::int64_t digits_in(std::string_view text, Is_digit is_digit) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    constexpr std::size_t lanes = 64;
    std::int64_t found = 0;
    std::size_t k = 0;
    while (size - k >= lanes) {
        std::array<unsigned char, lanes> counts{};
        const std::size_t end = k + std::min<std::size_t>((size - k) / lanes, 255) * lanes;
        for (; k < end; k += lanes) {
            for (std::size_t j = 0; j < lanes; ++j) {
                counts[j] = static_cast<unsigned char>(counts[j] + (is_digit(bytes[k + j]) ? 1 : 0));
            }
        }
        for (const unsigned char count : counts) {
            found += count;
        }
    }
    for (; k < size; ++k) {
        found += is_digit(bytes[k]) ? 1 : 0;
    }
    return found;
}

std::int64_t digits_in(std::string_view text, int base) {
    if (base == 16) {
        return digits_in(text, [](unsigned char byte) {
            return static_cast<unsigned char>(byte - '0') < 10 || static_cast<unsigned char>((byte | 0x20) - 'a') < 6;
        });
    }
    if (base == 2) {
        return digits_in(text, [](unsigned char byte) { return static_cast<unsigned char>(byte - '0') < 2; });
    }
    return digits_in(text, [](unsigned char byte) { return static_cast<unsigned char>(byte - '0') < 10; });
}

}  // namespace

void digit_counter::count(std::string_view text) {
    if (!point_seen_) {
        const std::size_t point = text.find('.');
        if (point != std::string_view::npos) {
            before_point_ += digits_in(text.substr(0, point), base_);
            point_seen_ = true;
            after_point_ += digits_in(text.substr(point + 1), base_);
            return;
        }
        before_point_ += digits_in(text, base_);
        return;
    }
    after_point_ += digits_in(text, base_);
}

std::int64_t digit_counter::words() const {
    const std::int64_t per_word = base_ == 10 ? 19 : base_ == 16 ? 16 : 64;
    const std::int64_t integer = point_seen_ ? before_point_ : 0;
    const std::int64_t fraction = point_seen_ ? after_point_ : before_point_;
    return (integer + per_word - 1) / per_word + (fraction + per_word - 1) / per_word;
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
