// Portable kernels: plain C++ with word-at-a-time (SWAR) arithmetic; the
// reference for every other kernel set.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/decimal_split.h"
#include "kernels/digit_format.h"
#include "kernels/kernel_set.h"

namespace rovurer::kernels {

namespace {

#define ROVURER_GENERIC_TARGET
#include "kernels/generic/loops.h"

// Stores the eight bytes of `value` lowest byte first, whatever the host's
// byte order: the patterns below put the first character in the lowest byte.
void store64(char* out, std::uint64_t value) {
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    std::memcpy(out, &value, sizeof value);
}

// "0000" to "9999" as four ASCII bytes, the first in the low byte.
constexpr std::array<std::uint32_t, 10000> four_digit_table = [] {
    std::array<std::uint32_t, 10000> table{};
    for (unsigned i = 0; i < 10000; ++i) {
        table[i] = ('0' + i / 1000) | ('0' + i / 100 % 10) << 8 | ('0' + i / 10 % 10) << 16 | ('0' + i % 10) << 24;
    }
    return table;
}();

// The 8 decimal digits of x < 10^8 as ASCII, first digit in the lowest byte:
// x / 10^4 as x * 109951163 >> 40 (exact for every x < 10^8: 109951163 is
// ceil(2^40 / 10^4), whose excess times x stays below 2^40 / 10^4), then
// each half from the table. Two multiplications; the table, 40 KB, stays in
// the first-level cache with the chunk being converted, and measured over
// twice as fast as converting in registers (six multiplications) or two
// digits at a time (four).
std::uint64_t eight_digits(std::uint64_t x) {
    const std::uint64_t high = (x * 109951163) >> 40;
    return four_digit_table[static_cast<std::size_t>(high)] |
           std::uint64_t{four_digit_table[static_cast<std::size_t>(x - high * 10000)]} << 32;
}

// Eight ASCII bits of a byte, most significant first, in memory order.
constexpr std::array<std::uint64_t, 256> byte_bits_table = [] {
    std::array<std::uint64_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint64_t chars = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            chars |= static_cast<std::uint64_t>('0' + ((byte >> (7 - bit)) & 1)) << (8 * bit);
        }
        table[byte] = chars;
    }
    return table;
}();

void portable_decimal(const std::uint64_t* words, std::size_t count, char* out) {
    for (std::size_t i = count; i-- > 0; out += 19) {
        if (i % 8 == 0) {
            prefetch_below(words, i);
        }
        ROVURER_MCA_BEGIN("portable decimal, 1 word");
        const decimal_parts parts = split_decimal(words[i]);
        std::memcpy(out, three_digit_table[static_cast<std::size_t>(parts.top)].data(),
                    4);  // its fourth byte is overwritten next
        store64(out + 3, eight_digits(parts.middle));
        store64(out + 11, eight_digits(parts.bottom));
        ROVURER_MCA_END("portable decimal, 1 word");
    }
}

// The three hex digits of each 12-bit value as ASCII, in memory order, and
// a fourth byte that the next store overwrites. A word's 16 digits are five
// lookups and one digit: 16 KB that stays in the first-level cache, and
// measured 50% faster than two digits a byte from a table of 256.
constexpr std::array<std::array<char, 4>, 4096> three_hex_table = [] {
    std::array<std::array<char, 4>, 4096> table{};
    for (unsigned value = 0; value < 4096; ++value) {
        table[value] = {digit_characters[value >> 8], digit_characters[(value >> 4) & 15], digit_characters[value & 15],
                        0};
    }
    return table;
}();

void portable_hex(const std::uint64_t* words, std::size_t count, char* out) {
    for (std::size_t i = count; i-- > 0; out += 16) {
        if (i % 8 == 0) {
            prefetch_below(words, i);
        }
        const std::uint64_t word = words[i];
        // Each store's fourth byte is overwritten by the next.
        for (std::size_t triple = 0; triple < 5; ++triple) {
            std::memcpy(out + 3 * triple, three_hex_table[(word >> (52 - 12 * triple)) & 0xFFF].data(), 4);
        }
        out[15] = digit_characters[word & 15];
    }
}

void portable_binary(const std::uint64_t* words, std::size_t count, char* out) {
    for (std::size_t i = count; i-- > 0;) {
        if (i % 8 == 0) {
            prefetch_below(words, i);
        }
        for (int shift = 56; shift >= 0; shift -= 8, out += 8) {
            store64(out, byte_bits_table[(words[i] >> shift) & 0xFF]);
        }
    }
}

std::size_t portable_group(const char* digits, std::size_t count, std::size_t phase, char* out) {
    char* to = out;
    const char* from = digits;
    const char* const end = digits + count;
    const std::size_t to_space = 10 - phase;
    if (count < to_space) {
        std::memcpy(to, from, count);
        return count;
    }
    std::memcpy(to, from, to_space);
    to += to_space;
    from += to_space;
    *to++ = ' ';
    while (end - from >= 10) {
        std::memcpy(to, from, group_slack);  // one wide copy; the bytes past the tenth are rewritten
        to[10] = ' ';
        to += 11;
        from += 10;
    }
    const auto tail = static_cast<std::size_t>(end - from);
    std::memcpy(to, from, tail);
    return static_cast<std::size_t>(to - out) + tail;
}

// Eight bytes of text, text[0] in the lowest byte, whatever the byte order.
std::uint64_t load64(const char* text) {
    std::uint64_t value = 0;
    std::memcpy(&value, text, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    return value;
}

// Bit 7 of each zero byte of t, exactly (no false hits next to a true one):
// adding 0x7F to a byte's low seven bits leaves its bit 7 clear only when
// they are all zero, and its own bit 7 must be clear too.
std::uint64_t zero_bytes(std::uint64_t t) {
    constexpr std::uint64_t low_bits = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((t & low_bits) + low_bits) | t | low_bits);
}

// Bit 7 of byte k moved to bit k: the products land on distinct bits
// 56 + k, none carrying into another.
std::uint64_t byte_flags_to_bits(std::uint64_t flags) {
    return ((flags >> 7) * 0x0102040810204080ULL) >> 56;
}

std::uint64_t scalar_match_window(const char* text, const match_probe& probe) {
    constexpr std::uint64_t every_byte = 0x0101010101010101ULL;
    const std::uint64_t firsts = every_byte * static_cast<unsigned char>(probe.first);
    const std::uint64_t middles = every_byte * static_cast<unsigned char>(probe.middle);
    const std::uint64_t lasts = every_byte * static_cast<unsigned char>(probe.last);
    std::uint64_t candidates = 0;
    for (std::size_t at = 0; at < match_window; at += 8) {
        // A byte of the union of differences is zero where all three match.
        const std::uint64_t differences = (load64(text + at) ^ firsts) |
                                          (load64(text + at + probe.middle_at) ^ middles) |
                                          (load64(text + at + probe.last_at) ^ lasts);
        candidates |= byte_flags_to_bits(zero_bytes(differences)) << at;
    }
    return candidates;
}

// A histogram of every byte value in four tables, so that runs of one value
// do not wait on a single counter; then the values asked for are read off.
void portable_tally(const char* text, std::size_t length, const char* values, std::size_t value_count,
                    std::uint64_t* counts) {
    std::array<std::array<std::uint32_t, 256>, 4> histogram{};
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const auto add_up = [&] {
        for (std::size_t j = 0; j < value_count; ++j) {
            const auto value = static_cast<unsigned char>(values[j]);
            for (auto& table : histogram) {
                counts[j] += table[value];
                table[value] = 0;
            }
        }
    };
    // A counter takes at most max_quads bytes between add-ups: no overflow.
    constexpr std::size_t max_quads = std::size_t{1} << 28;
    std::size_t done = 0;
    while (length - done >= 4) {
        const std::size_t quads = (length - done) / 4 < max_quads ? (length - done) / 4 : max_quads;
        for (const std::size_t end = done + 4 * quads; done < end; done += 4) {
            ++histogram[0][bytes[done]];
            ++histogram[1][bytes[done + 1]];
            ++histogram[2][bytes[done + 2]];
            ++histogram[3][bytes[done + 3]];
        }
        add_up();
    }
    for (; done < length; ++done) {
        ++histogram[0][bytes[done]];
    }
    add_up();
}

void portable_match_candidates(const char* text, std::size_t windows, const match_probe& probe, std::uint64_t* masks) {
    match_windows(text, windows, probe, masks, scalar_match_window);
}

}  // namespace

const digit_kernels portable_kernels = {
    .name = "portable",
    .decimal = portable_decimal,
    .hex = portable_hex,
    .binary = portable_binary,
    .group = portable_group,
    .match_candidates = portable_match_candidates,
    .tally = portable_tally,
    .count_ones = count_ones_in_words,
    .count_hex = count_hex_by_bytes,
    .count_decimal = count_decimal_by_parts,
};

extern const kernel_set portable_set = {
    .name = "portable", .supported = always_supported, .functions = &portable_kernels};

}  // namespace rovurer::kernels
