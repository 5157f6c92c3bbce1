// AVX2 kernels, chosen at run time on CPUs with AVX2 but not the AVX-512 set.
//
// Only these functions carry the target attribute, and they call nothing but
// intrinsics, the portable kernels and the shared loops compiled for AVX2,
// so no AVX2 code can be reached on a CPU without it.
#include "kernels/kernel_set.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/decimal_split.h"
#include "kernels/x86_features.h"

#define ROVURER_AVX2 __attribute__((target("avx2,popcnt")))

namespace rovurer::kernels {

namespace {

#define ROVURER_GENERIC_TARGET ROVURER_AVX2
#include "kernels/generic/loops.h"

// A constant the compiler must keep as it is: multiplications by it stay
// one instruction each, not a chain of shifts and adds.
ROVURER_AVX2 __m256i opaque(__m256i value) {
    __asm__("" : "+x"(value));
    return value;
}

// Each 64-bit lane's value x < 10^8 as its 4-digit halves, x / 10^4 (as
// x * 109951163 >> 40) in the lane's low 32 bits and x % 10^4 in its high 32.
ROVURER_AVX2 __m256i four_digit_halves(__m256i x) {
    const __m256i high = _mm256_srli_epi64(_mm256_mul_epu32(x, opaque(_mm256_set1_epi64x(109951163))), 40);
    const __m256i low = _mm256_sub_epi64(x, _mm256_mul_epu32(high, opaque(_mm256_set1_epi64x(10000))));
    return _mm256_or_si256(high, _mm256_slli_epi64(low, 32));
}

// Each 32-bit lane's value t < 10^4 as its four digits, values 0-9, first
// digit in the lane's lowest byte: t splits into 2-digit quarters (16-bit
// lanes, t / 100 as the high half of t * 5243, >> 3), each into digits
// (bytes): u / 10 is the high half of u * 6554 for u < 100, and (u << 8) +
// (u / 10) * (1 - 10 * 2^8) puts u / 10 in the low byte and u % 10 in the
// high one.
ROVURER_AVX2 __m256i four_digit_values(__m256i t) {
    const __m256i hundreds = _mm256_srli_epi16(_mm256_mulhi_epu16(t, opaque(_mm256_set1_epi32(5243))), 3);
    const __m256i quarters = _mm256_or_si256(
        hundreds,
        _mm256_slli_epi32(_mm256_sub_epi16(t, _mm256_mullo_epi16(hundreds, opaque(_mm256_set1_epi32(100)))), 16));
    const __m256i tens = _mm256_mulhi_epu16(quarters, opaque(_mm256_set1_epi16(6554)));
    return _mm256_add_epi16(_mm256_slli_epi16(quarters, 8),
                            _mm256_mullo_epi16(tens, opaque(_mm256_set1_epi16(static_cast<short>(1 - 10 * 256)))));
}

// The 8 decimal digits of each 64-bit lane's value x < 10^8 as values 0-9,
// first digit in the lowest byte.
ROVURER_AVX2 __m256i eight_digit_values(__m256i x) {
    return four_digit_values(four_digit_halves(x));
}

// The same as ASCII.
ROVURER_AVX2 __m256i eight_digits(__m256i x) {
    return _mm256_add_epi8(eight_digit_values(x), _mm256_set1_epi8('0'));
}

// The 3 + 8 + 8 split of sixteen words, the highest first: word
// from[15 - k] gives tops[k] and its middle and bottom parts in parts[2k]
// and parts[2k + 1]. As split_decimal, but without taking the word modulo
// 10^19 first, which saves a comparison and two constants a word: 10^19 is
// 1000 * 10^16, so a word of 10^19 or more gets the middle and bottom parts
// of the word less 10^19 and a top 1000 more, at most 1844 (the top's
// multiply-shift stays exact for quotients up to 2^64 / 10^8: its excess
// 94313 times (quotient >> 8) < 2^30 stays below 2^49). Unrolled:
// straight-line code, as llvm-mca reads it (bench/mca).
ROVURER_AVX2 inline void split_sixteen(const std::uint64_t* from, std::uint32_t* tops, std::uint64_t* parts) {
#pragma GCC unroll 16
    for (std::size_t k = 0; k < 16; ++k) {
        const std::uint64_t word = from[15 - k];
        const std::uint64_t high = word / ten_to_8;
        const std::uint64_t top = ((high >> 8) * 1441151881) >> 49;
        tops[k] = static_cast<std::uint32_t>(top);
        parts[2 * k] = high - top * ten_to_8;
        parts[2 * k + 1] = word - high * ten_to_8;
    }
}

// three_digit_table for the tops that split_sixteen gives: entry t shows
// t % 1000.
constexpr std::size_t largest_top = 1844;  // (2^64 - 1) / 10^16
constexpr std::array<std::array<char, 4>, largest_top + 1> top_digit_table = [] {
    std::array<std::array<char, 4>, largest_top + 1> table{};
    for (std::size_t top = 0; top <= largest_top; ++top) {
        table[top] = three_digit_table[top % 1000];
    }
    return table;
}();

// Sixteen words a step. The split stays scalar: on the CPU measured, the
// scalar multiplies run beside the vector conversion, which bounds the
// step. Splits in vectors measured 15 to 20% slower here: the quotient by
// 10^8 in scalar and the rest in double precision, which llvm-mca estimated
// 28% faster on Zen 3, whose one scalar multiplier this step keeps busy
// (bench/mca), so measure there before switching; or all of it in double
// precision, which it estimated slower there too. The
// parts of the whole step are stored first and then loaded four at a time,
// which costs less than inserting them into vectors one by one. Each word's
// two 8-digit parts fill one 16-byte lane, exactly the 16 characters after
// its top three digits.
struct avx2_decimal_step {
    static constexpr std::size_t words = 16;

    ROVURER_AVX2 void operator()(const std::uint64_t* from, char* out) const {
        ROVURER_MCA_BEGIN("avx2 decimal, 16 words");
        std::uint64_t parts[2 * words];  // middle, bottom of the highest word first
        std::uint32_t tops[words];
        split_sixteen(from, tops, parts);
#pragma GCC unroll 8
        for (std::size_t k = 0; k < words; k += 2, out += 38) {
            const __m256i digits = eight_digits(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(parts + 2 * k)));
            std::memcpy(out, top_digit_table[tops[k]].data(), 4);  // its fourth byte is overwritten next
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3), _mm256_castsi256_si128(digits));
            std::memcpy(out + 19, top_digit_table[tops[k + 1]].data(), 4);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 22), _mm256_extracti128_si256(digits, 1));
        }
        ROVURER_MCA_END("avx2 decimal, 16 words");
    }
};

ROVURER_AVX2 void avx2_decimal(const std::uint64_t* words, std::size_t count, char* out) {
    const avx2_decimal_step step;
    format_in_steps<avx2_decimal_step::words, 19>(words, count, out, step, portable_kernels.decimal);
}

// Hex: four words make 64 characters. The bytes are reversed so that each
// word's most significant byte comes first and the highest word first, then
// split into nibbles, interleaved high nibble first, and looked up.
struct avx2_hex_step {
    __m256i reverse;
    __m256i characters;
    __m256i low_nibble;

    ROVURER_AVX2 avx2_hex_step()
        : reverse(_mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,
                                   7, 6, 5, 4, 3, 2, 1, 0)),
          characters(_mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F',
                                      '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F')),
          low_nibble(_mm256_set1_epi8(0x0F)) {}

    ROVURER_AVX2 void operator()(const std::uint64_t* words, char* out) const {
        const __m256i loaded = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
        // Lane 0: words 3 and 2, lane 1: words 1 and 0, big-endian.
        const __m256i bytes = _mm256_shuffle_epi8(_mm256_permute4x64_epi64(loaded, 0x4E), reverse);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), low_nibble);
        const __m256i low = _mm256_and_si256(bytes, low_nibble);
        const __m256i first = _mm256_shuffle_epi8(characters, _mm256_unpacklo_epi8(high, low));
        const __m256i second = _mm256_shuffle_epi8(characters, _mm256_unpackhi_epi8(high, low));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(first, second, 0x31));
    }
};

ROVURER_AVX2 void avx2_hex(const std::uint64_t* words, std::size_t count, char* out) {
    avx2_hex_step step;
    format_in_steps<4, 16>(words, count, out, step, portable_kernels.hex);
}

// Binary: each output byte picks its source byte (most significant first),
// tests its bit and becomes '0' or '1'.
ROVURER_AVX2 void avx2_binary(const std::uint64_t* words, std::size_t count, char* out) {
    const __m256i upper_bytes = _mm256_setr_epi8(7, 7, 7, 7, 7, 7, 7, 7, 6, 6, 6, 6, 6, 6, 6, 6, 5, 5, 5, 5, 5, 5, 5, 5,
                                                 4, 4, 4, 4, 4, 4, 4, 4);
    const __m256i lower_bytes = _mm256_setr_epi8(3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1,
                                                 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i bits = _mm256_set1_epi64x(static_cast<long long>(0x0102040810204080ULL));
    const __m256i zeros = _mm256_set1_epi8('0');
    for (std::size_t i = count; i-- > 0; out += 64) {
        const __m256i word = _mm256_set1_epi64x(static_cast<long long>(words[i]));
        const __m256i upper = _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(word, upper_bytes), bits), bits);
        const __m256i lower = _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(word, lower_bytes), bits), bits);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_sub_epi8(zeros, upper));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_sub_epi8(zeros, lower));
    }
}

bool cpu_supports_avx2() {
    const x86_features& cpu = x86_cpu();
    return cpu.saves_256 && x86_features::all(cpu.leaf7_ebx, cpuid_bit::leaf7_ebx_avx2) &&
           x86_features::all(cpu.leaf1_ecx, cpuid_bit::leaf1_ecx_popcnt);
}

// Grouping: thirty digits a step become 33 bytes. The low 16-byte lane takes
// digits 0-14 and the high lane digits 15-29; each moves its digits after
// its space up by one byte (an index of 0x80 makes a zero byte, which the
// space fills).
ROVURER_AVX2 std::size_t avx2_group(const char* digits, std::size_t count, std::size_t phase, char* out) {
    const std::size_t to_space = 10 - phase;
    if (count < to_space + 30) {
        return portable_kernels.group(digits, count, phase, out);
    }
    std::memcpy(out, digits, to_space);
    out[to_space] = ' ';
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -128, 10, 11, 12, 13, 14,  //
                                            0, 1, 2, 3, 4, -128, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14);
    const __m256i spaces = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ' ', 0, 0, 0, 0, 0,  //
                                            0, 0, 0, 0, 0, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const char* from = digits + to_space;
    const char* const end = digits + count;
    char* to = out + to_space + 1;
    for (; end - from >= 30; from += 30, to += 33) {
        const __m256i loaded =
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(from + 15), reinterpret_cast<const __m128i*>(from));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                            _mm256_or_si256(_mm256_shuffle_epi8(loaded, spread), spaces));
        to[32] = ' ';
    }
    to += portable_kernels.group(from, static_cast<std::size_t>(end - from), 0, to);
    return static_cast<std::size_t>(to - out);
}

// The vector operations of the shared loops: the tally's byte counters (a
// match compares as -1, so subtracting it adds 1) and the pair counters.
struct avx2_vector {
    using vector = __m256i;
    static constexpr std::size_t width = 32;
    ROVURER_AVX2 static vector zero() { return _mm256_setzero_si256(); }
    ROVURER_AVX2 static vector repeat(char value) { return _mm256_set1_epi8(value); }
    ROVURER_AVX2 static vector load(const char* text) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text));
    }
    ROVURER_AVX2 static vector load(const std::uint64_t* words) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
    }
    ROVURER_AVX2 static vector add_equal(vector counters, vector bytes, vector value) {
        return _mm256_sub_epi8(counters, _mm256_cmpeq_epi8(bytes, value));
    }
    ROVURER_AVX2 static vector table(const unsigned char* bytes) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    ROVURER_AVX2 static vector lookup(vector table, vector values) { return _mm256_shuffle_epi8(table, values); }
    ROVURER_AVX2 static vector add_bytes(vector a, vector b) { return _mm256_add_epi8(a, b); }
    ROVURER_AVX2 static vector low_nibbles(vector v) { return _mm256_and_si256(v, _mm256_set1_epi8(0x0F)); }
    ROVURER_AVX2 static vector high_nibbles(vector v) {
        return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
    }
    // Each group of 8 bytes' sum, in its 64-bit lane.
    ROVURER_AVX2 static vector byte_sums(vector bytes) { return _mm256_sad_epu8(bytes, _mm256_setzero_si256()); }
    ROVURER_AVX2 static vector add_halves(vector sums, vector low_bytes, vector high_bytes) {
        return _mm256_add_epi64(sums,
                                _mm256_add_epi64(byte_sums(low_bytes), _mm256_slli_epi64(byte_sums(high_bytes), 32)));
    }
    ROVURER_AVX2 static std::uint64_t total_low_halves(vector sums) {
        return total(_mm256_and_si256(sums, _mm256_set1_epi64x(0xFFFFFFFF)));
    }
    ROVURER_AVX2 static std::uint64_t total_high_halves(vector sums) { return total(_mm256_srli_epi64(sums, 32)); }
    ROVURER_AVX2 static std::uint64_t total(vector sums) {
        const __m128i halves = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
        return static_cast<std::uint64_t>(_mm_cvtsi128_si64(halves)) +
               static_cast<std::uint64_t>(_mm_extract_epi64(halves, 1));
    }
    ROVURER_AVX2 static std::uint64_t sum(vector counters) { return total(byte_sums(counters)); }
};

ROVURER_AVX2 std::uint64_t avx2_match_window(const char* text, const match_probe& probe) {
    const __m256i firsts = _mm256_set1_epi8(probe.first);
    const __m256i middles = _mm256_set1_epi8(probe.middle);
    const __m256i lasts = _mm256_set1_epi8(probe.last);
    std::uint64_t candidates = 0;
    for (std::size_t at = 0; at < match_window; at += 32) {
        const __m256i all = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(avx2_vector::load(text + at), firsts),
                             _mm256_cmpeq_epi8(avx2_vector::load(text + at + probe.middle_at), middles)),
            _mm256_cmpeq_epi8(avx2_vector::load(text + at + probe.last_at), lasts));
        candidates |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(all))) << at;
    }
    return candidates;
}

ROVURER_AVX2 void avx2_tally(const char* text, std::size_t length, const char* values, std::size_t value_count,
                             std::uint64_t* counts) {
    tally_with_byte_counters<avx2_vector>(text, length, values, value_count, counts);
}

ROVURER_AVX2 void avx2_match_candidates(const char* text, std::size_t windows, const match_probe& probe,
                                        std::uint64_t* masks) {
    match_windows(text, windows, probe, masks, avx2_match_window);
}

ROVURER_AVX2 void avx2_count_hex(const std::uint64_t* words, std::size_t count, std::uint64_t* counts) {
    count_hex_with_pairs<avx2_vector, 4>(words, count, counts);
}

// Each 32-bit lane's top from split_sixteen, modulo 1000.
ROVURER_AVX2 inline __m256i top_modulo_1000(__m256i tops) {
    return _mm256_sub_epi32(
        tops, _mm256_and_si256(_mm256_cmpgt_epi32(tops, _mm256_set1_epi32(999)), _mm256_set1_epi32(1000)));
}

// Sixteen words a step as digit values, split in scalar as for the dump:
// two words' middle and low parts as eight digits a 64-bit lane, eight tops
// as four digits a 32-bit lane, so one zero a word besides its digits.
// Counting them in registers measured 20% faster here than counting tops
// and four-digit halves in tables, as the portable set does, and the
// scalar split 6 to 28% faster than the splits in vectors tried.
struct avx2_decimal_values {
    static constexpr std::size_t words = 16;
    static constexpr std::size_t vectors = 10;
    static constexpr std::uint64_t padding = words;

    ROVURER_AVX2 void operator()(const std::uint64_t* from, __m256i* values) const {
        std::uint64_t parts[2 * words];
        std::uint32_t tops[words];
        split_sixteen(from, tops, parts);  // the order of the words does not matter to a count
#pragma GCC unroll 8
        for (std::size_t k = 0; k < 8; ++k) {
            values[k] = eight_digit_values(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(parts + 4 * k)));
        }
        values[8] = four_digit_values(top_modulo_1000(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(tops))));
        values[9] = four_digit_values(top_modulo_1000(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(tops + 8))));
    }
};

ROVURER_AVX2 void avx2_count_decimal(const std::uint64_t* words, std::size_t count, std::uint64_t* counts) {
    count_decimal_with_pairs<avx2_vector>(words, count, counts, avx2_decimal_values{});
}

const digit_kernels avx2_kernels = {
    .name = "avx2",
    .decimal = avx2_decimal,
    .hex = avx2_hex,
    .binary = avx2_binary,
    .group = avx2_group,
    .match_candidates = avx2_match_candidates,
    .tally = avx2_tally,
    .count_ones = count_ones_in_words,
    .count_hex = avx2_count_hex,
    .count_decimal = avx2_count_decimal,
};

}  // namespace

extern const kernel_set avx2_set = {.name = "avx2", .supported = cpu_supports_avx2, .functions = &avx2_kernels};

}  // namespace rovurer::kernels

#else

namespace rovurer::kernels {
extern const kernel_set avx2_set = {.name = "avx2", .supported = not_built_here, .functions = nullptr};
}

#endif
