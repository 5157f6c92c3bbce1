// AVX-512 kernels (F, BW, DQ, VBMI, VBMI2, IFMA), chosen at run time.
//
// Only these functions carry the target attribute, and they call nothing but
// intrinsics, the portable kernels and the shared loops compiled for
// AVX-512, so no code built for AVX-512 can be reached on a CPU without it.
#include "kernels/kernel_set.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

// GCC 12 reports its own intrinsics' deliberately undefined start values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/decimal_split.h"
#include "kernels/x86_features.h"

#define ROVURER_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi,avx512vbmi2,avx512ifma,popcnt")))

namespace rovurer::kernels {

namespace {

#define ROVURER_GENERIC_TARGET ROVURER_AVX512
#include "kernels/generic/loops.h"

using byte_indices = std::array<std::uint8_t, 64>;

// Decimal: eight words make 152 characters, three output vectors (the last
// one 24 bytes). Output byte j is digit j % 19 of the word in lane 7 - j / 19; digits 0-2 come
// from the top-three vector T (bytes 1-3 of the word's lane), 3-10 from the
// middle-eight vector M, 11-18 from the low-eight vector L.
struct decimal_layout {
    std::array<byte_indices, 3> from_middle_low{};  // index into M (0-63) or L (64-127)
    std::array<byte_indices, 3> from_top{};         // index into T
    std::array<std::uint64_t, 3> top_mask{};        // bytes that come from T
};

constexpr decimal_layout make_decimal_layout() {
    decimal_layout layout;
    for (int j = 0; j < 152; ++j) {
        const int vector = j / 64;
        const int at = j % 64;
        const int word = 7 - j / 19;  // the lane of the word: the highest word first
        const int digit = j % 19;
        auto& middle_low = layout.from_middle_low[static_cast<std::size_t>(vector)][static_cast<std::size_t>(at)];
        if (digit < 3) {
            layout.from_top[static_cast<std::size_t>(vector)][static_cast<std::size_t>(at)] =
                static_cast<std::uint8_t>(8 * word + 1 + digit);
            layout.top_mask[static_cast<std::size_t>(vector)] |= std::uint64_t{1} << at;
        } else if (digit < 11) {
            middle_low = static_cast<std::uint8_t>(8 * word + digit - 3);
        } else {
            middle_low = static_cast<std::uint8_t>(64 + 8 * word + digit - 11);
        }
    }
    return layout;
}

constexpr decimal_layout decimal_bytes = make_decimal_layout();

// Hex: four words, 32 bytes, make 64 characters: output byte j shows a nibble
// of byte 31 - j / 2 of the loaded words (the highest word first, its most
// significant byte first); even bytes the high nibble.
constexpr byte_indices hex_sources = [] {
    byte_indices indices{};
    for (std::size_t j = 0; j < 64; ++j) {
        indices[j] = static_cast<std::uint8_t>(31 - j / 2);
    }
    return indices;
}();

// Binary: output byte j shows bit 7 - j % 8 of byte 7 - j / 8 of the word.
constexpr byte_indices binary_sources = [] {
    byte_indices indices{};
    for (std::size_t j = 0; j < 64; ++j) {
        indices[j] = static_cast<std::uint8_t>(7 - j / 8);
    }
    return indices;
}();

constexpr byte_indices binary_bits = [] {
    byte_indices bits{};
    for (std::size_t j = 0; j < 64; ++j) {
        bits[j] = static_cast<std::uint8_t>(0x80U >> (j % 8));
    }
    return bits;
}();

// Grouping: in a 64-byte output block whose first byte has phase r (output
// byte o is a space when (o + phase + 1) % 11 == 0), the bytes that hold
// digits.
constexpr std::array<std::uint64_t, 11> digit_masks = [] {
    std::array<std::uint64_t, 11> masks{};
    for (std::size_t r = 0; r < 11; ++r) {
        std::uint64_t mask = 0;
        for (std::size_t b = 0; b < 64; ++b) {
            if ((r + b) % 11 != 0) {
                mask |= std::uint64_t{1} << b;
            }
        }
        masks[r] = mask;
    }
    return masks;
}();

// Eleven consecutive blocks starting at phase r: the digit mask of each and
// where its digits start, counted from the round's first digit.
struct group_round {
    std::array<std::uint64_t, 11> masks;
    std::array<std::size_t, 11> offsets;
};
constexpr std::size_t group_round_digits = 640;

constexpr std::array<group_round, 11> group_rounds = [] {
    std::array<group_round, 11> rounds{};
    for (std::size_t r = 0; r < 11; ++r) {
        std::size_t phase = r;
        std::size_t offset = 0;
        for (std::size_t b = 0; b < 11; ++b) {
            rounds[r].masks[b] = digit_masks[phase];
            rounds[r].offsets[b] = offset;
            offset += static_cast<std::size_t>(std::popcount(digit_masks[phase]));
            phase = (phase + 64) % 11;
        }
    }
    return rounds;
}();

ROVURER_AVX512 __m512i load_indices(const byte_indices& indices) {
    return _mm512_loadu_si512(indices.data());
}

// Multipliers of the decimal conversion, kept opaque so that the compiler
// keeps each as one multiplication rather than a chain of shifts and adds.
// The 32- and 64-bit multiplications that keep the low half of the product
// take several micro-operations on the CPUs measured, so the splits use the
// 32 x 32 -> 64 and 16-bit ones.
struct decimal_constants {
    __m512i div_10000;     // x / 10^4 = (x * 0xD1B71759) >> 45 for x < 2^32
    __m512i ten_thousand;  // 10^4, per 64-bit lane
    __m512i div_100;       // t / 100 = high half of (t * 5243), >> 3, for t < 10^4
    __m512i hundred;       // 100, per 32-bit lane
    __m512i div_10;        // u / 10 = (u * 6554) >> 16 for u < 100
    __m512i join_digits;   // 1 - 10 * 2^8, per 16-bit lane
};

ROVURER_AVX512 __m512i opaque(__m512i value) {
    __asm__("" : "+v"(value));
    return value;
}

ROVURER_AVX512 decimal_constants make_decimal_constants() {
    return {opaque(_mm512_set1_epi64(0xD1B71759)), opaque(_mm512_set1_epi64(10000)),
            opaque(_mm512_set1_epi32(5243)),       opaque(_mm512_set1_epi32(100)),
            opaque(_mm512_set1_epi16(6554)),       opaque(_mm512_set1_epi16(static_cast<short>(1 - (10 << 8))))};
}

// Each 32-bit lane t < 10^4 to its four digits as values 0-9, first digit
// in the lane's lowest byte. t = 100 h + r becomes h | r << 16 (16-bit
// multiplies, t being below 2^16); then each 16-bit u < 100 into a tens
// byte and a units byte as (u << 8) + (u / 10) * (1 - 10 * 2^8).
ROVURER_AVX512 __m512i four_digit_values(__m512i t, const decimal_constants& k) {
    const __m512i hundreds = _mm512_srli_epi16(_mm512_mulhi_epu16(t, k.div_100), 3);
    const __m512i quarters =
        _mm512_or_si512(hundreds, _mm512_slli_epi32(_mm512_sub_epi16(t, _mm512_mullo_epi16(hundreds, k.hundred)), 16));
    const __m512i tens = _mm512_mulhi_epu16(quarters, k.div_10);
    return _mm512_add_epi16(_mm512_slli_epi16(quarters, 8), _mm512_mullo_epi16(tens, k.join_digits));
}

// Each 64-bit lane x < 10^8 to its eight digits as values 0-9, first digit
// in the lane's lowest byte: x = 10^4 h + r becomes h | r << 32, then
// four_digit_values.
ROVURER_AVX512 __m512i eight_digit_values(__m512i x, const decimal_constants& k) {
    const __m512i high = _mm512_srli_epi64(_mm512_mul_epu32(x, k.div_10000), 45);
    const __m512i low = _mm512_sub_epi64(x, _mm512_mul_epu32(high, k.ten_thousand));
    return four_digit_values(_mm512_or_si512(high, _mm512_slli_epi64(low, 32)), k);
}

ROVURER_AVX512 __m512i as_characters(__m512i values) {
    return _mm512_add_epi8(values, _mm512_set1_epi8('0'));
}

// Eight words a step, the lowest word in lane 0.
struct avx512_decimal_step {
    decimal_constants constants;
    __m512i ten_to_19;
    __m512i ten_to_8;
    __m512i one;
    __m512i low_32;
    __m512i div_10_to_8_of_top_52;
    __m512i div_10_to_8_scaled;
    __m512i middle_low_index[3];
    __m512i top_index[3];

    ROVURER_AVX512 avx512_decimal_step()
        : constants(make_decimal_constants()),
          ten_to_19(_mm512_set1_epi64(static_cast<long long>(10000000000000000000ULL))),
          ten_to_8(_mm512_set1_epi64(100000000)),
          one(_mm512_set1_epi64(1)),
          low_32(_mm512_set1_epi64(0xFFFFFFFF)),
          div_10_to_8_of_top_52(_mm512_set1_epi64(184467440737)),
          div_10_to_8_scaled(_mm512_set1_epi64(3022314549036573)) {
        for (std::size_t v = 0; v < 3; ++v) {
            middle_low_index[v] = load_indices(decimal_bytes.from_middle_low[v]);
            top_index[v] = load_indices(decimal_bytes.from_top[v]);
        }
    }

    // Splits words[k] into lane k of top, middle and low.
    ROVURER_AVX512 void split(const std::uint64_t* words, __m512i& top, __m512i& middle, __m512i& low) const {
        __m512i value = _mm512_loadu_si512(words);
        value = _mm512_mask_sub_epi64(value, _mm512_cmpge_epu64_mask(value, ten_to_19), value, ten_to_19);

        // value = upper * 10^8 + low, with the 52-bit multiply-high (IFMA),
        // which measured 6% faster for the whole step than the same quotient
        // taken in double precision. With t = value >> 12 < 2^52 and M =
        // floor(2^64 / 10^8) = 184467440737 = 2^64 / 10^8 - 0.0955...,
        // (t * M) >> 52 is at most t * 2^12 / 10^8 <= value / 10^8 and above
        // (value - 4095) / 10^8 - 0.0956 (t < 2^52): the true quotient or one
        // less. One correction upwards makes it exact.
        __m512i upper =
            _mm512_madd52hi_epu64(_mm512_setzero_si512(), _mm512_srli_epi64(value, 12), div_10_to_8_of_top_52);
        // value - upper * 10^8 is below 2 * 10^8 < 2^32, so it can be taken
        // modulo 2^32, from the low half of upper.
        low = _mm512_and_si512(_mm512_sub_epi64(value, _mm512_mul_epu32(upper, ten_to_8)), low_32);
        const __mmask8 over = _mm512_cmpge_epu64_mask(low, ten_to_8);
        upper = _mm512_mask_add_epi64(upper, over, upper, one);
        low = _mm512_mask_sub_epi64(low, over, low, ten_to_8);

        // upper = top * 10^8 + middle. With C = ceil(2^78 / 10^8) =
        // 3022314549036573 < 2^52, ((upper * C) >> 52) >> 26 is the floor of
        // upper / 10^8 + upper * 0.07 / 2^78; for upper < 10^11 the excess is
        // below 10^-13, and upper / 10^8 lies at least 10^-8 below the next
        // integer: exact.
        top = _mm512_srli_epi64(_mm512_madd52hi_epu64(_mm512_setzero_si512(), upper, div_10_to_8_scaled), 26);
        middle = _mm512_sub_epi64(upper, _mm512_mul_epu32(top, ten_to_8));
    }

    ROVURER_AVX512 void operator()(const std::uint64_t* words, char* out) const {
        // Lane k holds words[k]; the byte tables put lane 7 first.
        __m512i top;
        __m512i middle;
        __m512i low;
        split(words, top, middle, low);
        const __m512i top_chars = as_characters(four_digit_values(top, constants));  // "0ddd" in each lane's low bytes
        const __m512i middle_chars = as_characters(eight_digit_values(middle, constants));
        const __m512i low_chars = as_characters(eight_digit_values(low, constants));
        __m512i chars[3];
        for (std::size_t v = 0; v < 3; ++v) {
            chars[v] = _mm512_permutex2var_epi8(middle_chars, middle_low_index[v], low_chars);
            chars[v] = _mm512_mask_permutexvar_epi8(chars[v], decimal_bytes.top_mask[v], top_index[v], top_chars);
        }
        _mm512_storeu_si512(out, chars[0]);
        _mm512_storeu_si512(out + 64, chars[1]);
        _mm512_mask_storeu_epi8(out + 128, (std::uint64_t{1} << 24) - 1, chars[2]);
    }
};

ROVURER_AVX512 void avx512_decimal(const std::uint64_t* words, std::size_t count, char* out) {
    const avx512_decimal_step step;
    format_in_steps<8, 19>(words, count, out, step, portable_kernels.decimal);
}

// Four words a step.
struct avx512_hex_step {
    __m512i sources;
    __m512i low_nibble;
    __m512i characters;

    ROVURER_AVX512 avx512_hex_step()
        : sources(load_indices(hex_sources)),
          low_nibble(_mm512_set1_epi8(0x0F)),
          characters(_mm512_broadcast_i32x4(
              _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'))) {}

    ROVURER_AVX512 void operator()(const std::uint64_t* words, char* out) const {
        constexpr std::uint64_t even_bytes = 0x5555555555555555ULL;
        const __m512i loaded = _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words)));
        const __m512i bytes = _mm512_permutexvar_epi8(sources, loaded);
        // In each 16-bit pair both bytes hold the same byte; shifting the pair
        // by 4 brings the high nibble into the even one.
        const __m512i nibbles =
            _mm512_and_si512(_mm512_mask_blend_epi8(even_bytes, bytes, _mm512_srli_epi16(bytes, 4)), low_nibble);
        _mm512_storeu_si512(out, _mm512_shuffle_epi8(characters, nibbles));
    }
};

ROVURER_AVX512 void avx512_hex(const std::uint64_t* words, std::size_t count, char* out) {
    const avx512_hex_step step;
    format_in_steps<4, 16>(words, count, out, step, portable_kernels.hex);
}

ROVURER_AVX512 void avx512_binary(const std::uint64_t* words, std::size_t count, char* out) {
    const __m512i sources = load_indices(binary_sources);
    const __m512i bits = load_indices(binary_bits);
    const __m512i zeros = _mm512_set1_epi8('0');
    const __m512i ones = _mm512_set1_epi8('1');
    for (std::size_t i = count; i-- > 0; out += 64) {
        const __m512i bytes = _mm512_permutexvar_epi8(sources, _mm512_set1_epi64(static_cast<long long>(words[i])));
        _mm512_storeu_si512(out, _mm512_mask_blend_epi8(_mm512_test_epi8_mask(bytes, bits), zeros, ones));
    }
}

ROVURER_AVX512 std::size_t avx512_group(const char* digits, std::size_t count, std::size_t phase, char* out) {
    const __m512i spaces = _mm512_set1_epi8(' ');
    std::size_t used = 0;
    std::size_t written = 0;
    const std::size_t start_phase = (phase + 1) % 11;
    // The block pattern repeats every 11 blocks (704 bytes, 640 digits), so
    // within a round every block's mask and source offset are known ahead and
    // the blocks do not wait on each other.
    const group_round& round = group_rounds[start_phase];
    while (count - used >= group_round_digits + 64) {
        for (std::size_t b = 0; b < 11; ++b) {
            const __m512i block =
                _mm512_mask_expand_epi8(spaces, round.masks[b], _mm512_loadu_si512(digits + used + round.offsets[b]));
            _mm512_storeu_si512(out + written + 64 * b, block);
        }
        used += group_round_digits;
        written += std::size_t{11} * 64;
    }
    std::size_t block_phase = start_phase;
    while (count - used >= 64) {
        const std::uint64_t mask = digit_masks[block_phase];
        _mm512_storeu_si512(out + written, _mm512_mask_expand_epi8(spaces, mask, _mm512_loadu_si512(digits + used)));
        used += static_cast<std::size_t>(__builtin_popcountll(mask));
        written += 64;
        block_phase = (block_phase + 64) % 11;
    }
    // A block that ended right after a tenth digit leaves its space pending.
    if (block_phase == 0) {
        out[written++] = ' ';
    }
    return written + portable_kernels.group(digits + used, count - used, (phase + used) % 10, out + written);
}

// F, DQ, BW and VL; VBMI, VBMI2 and IFMA (every CPU with VBMI2 has IFMA);
// POPCNT.
bool cpu_supports_avx512() {
    const x86_features& cpu = x86_cpu();
    using namespace cpuid_bit;
    return cpu.saves_512 &&
           x86_features::all(cpu.leaf7_ebx, leaf7_ebx_avx512f | leaf7_ebx_avx512dq | leaf7_ebx_avx512ifma |
                                                leaf7_ebx_avx512bw | leaf7_ebx_avx512vl) &&
           x86_features::all(cpu.leaf7_ecx, leaf7_ecx_avx512vbmi | leaf7_ecx_avx512vbmi2) &&
           x86_features::all(cpu.leaf1_ecx, leaf1_ecx_popcnt);
}

ROVURER_AVX512 std::uint64_t avx512_match_window(const char* text, const match_probe& probe) {
    return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(text), _mm512_set1_epi8(probe.first)) &
           _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(text + probe.middle_at), _mm512_set1_epi8(probe.middle)) &
           _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(text + probe.last_at), _mm512_set1_epi8(probe.last));
}

// The vector operations of the shared loops: the tally's byte counters (a
// match compares as a mask bit, which adds 1) and the pair counters.
struct avx512_vector {
    using vector = __m512i;
    static constexpr std::size_t width = 64;
    ROVURER_AVX512 static vector zero() { return _mm512_setzero_si512(); }
    ROVURER_AVX512 static vector repeat(char value) { return _mm512_set1_epi8(value); }
    ROVURER_AVX512 static vector load(const char* text) { return _mm512_loadu_si512(text); }
    ROVURER_AVX512 static vector load(const std::uint64_t* words) { return _mm512_loadu_si512(words); }
    ROVURER_AVX512 static vector add_equal(vector counters, vector bytes, vector value) {
        return _mm512_mask_add_epi8(counters, _mm512_cmpeq_epi8_mask(bytes, value), counters, _mm512_set1_epi8(1));
    }
    ROVURER_AVX512 static vector table(const unsigned char* bytes) {
        return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    ROVURER_AVX512 static vector lookup(vector table, vector values) { return _mm512_shuffle_epi8(table, values); }
    ROVURER_AVX512 static vector add_bytes(vector a, vector b) { return _mm512_add_epi8(a, b); }
    ROVURER_AVX512 static vector low_nibbles(vector v) { return _mm512_and_si512(v, _mm512_set1_epi8(0x0F)); }
    ROVURER_AVX512 static vector high_nibbles(vector v) {
        return _mm512_and_si512(_mm512_srli_epi16(v, 4), _mm512_set1_epi8(0x0F));
    }
    // Each group of 8 bytes' sum, in its 64-bit lane.
    ROVURER_AVX512 static vector byte_sums(vector bytes) { return _mm512_sad_epu8(bytes, _mm512_setzero_si512()); }
    ROVURER_AVX512 static vector add_halves(vector sums, vector low_bytes, vector high_bytes) {
        return _mm512_add_epi64(sums,
                                _mm512_add_epi64(byte_sums(low_bytes), _mm512_slli_epi64(byte_sums(high_bytes), 32)));
    }
    ROVURER_AVX512 static std::uint64_t total_low_halves(vector sums) {
        return total(_mm512_and_si512(sums, _mm512_set1_epi64(0xFFFFFFFF)));
    }
    ROVURER_AVX512 static std::uint64_t total_high_halves(vector sums) { return total(_mm512_srli_epi64(sums, 32)); }
    ROVURER_AVX512 static std::uint64_t total(vector sums) {
        return static_cast<std::uint64_t>(_mm512_reduce_add_epi64(sums));
    }
    ROVURER_AVX512 static std::uint64_t sum(vector counters) { return total(byte_sums(counters)); }
};

ROVURER_AVX512 void avx512_tally(const char* text, std::size_t length, const char* values, std::size_t value_count,
                                 std::uint64_t* counts) {
    tally_with_byte_counters<avx512_vector>(text, length, values, value_count, counts);
}

ROVURER_AVX512 void avx512_match_candidates(const char* text, std::size_t windows, const match_probe& probe,
                                            std::uint64_t* masks) {
    match_windows(text, windows, probe, masks, avx512_match_window);
}

ROVURER_AVX512 void avx512_count_hex(const std::uint64_t* words, std::size_t count, std::uint64_t* counts) {
    count_hex_with_pairs<avx512_vector>(words, count, counts);
}

// Sixteen words a step as digit values: the middle and low parts as eight
// digits a 64-bit lane, the tops as four digits a 32-bit lane, so one zero
// a word besides its digits (packing the tops of two splits into one vector
// saves a sixth of the counting). Counting them in registers beats the
// tables of the other sets here.
struct avx512_decimal_values {
    static constexpr std::size_t words = 16;
    static constexpr std::size_t vectors = 5;
    static constexpr std::uint64_t padding = words;
    avx512_decimal_step split_step;

    ROVURER_AVX512 void operator()(const std::uint64_t* from, __m512i* values) const {
        __m512i tops[2];
        for (std::size_t half = 0; half < 2; ++half) {
            __m512i middle;
            __m512i low;
            split_step.split(from + 8 * half, tops[half], middle, low);
            values[1 + 2 * half] = eight_digit_values(middle, split_step.constants);
            values[2 + 2 * half] = eight_digit_values(low, split_step.constants);
        }
        // The sixteen tops, one a 32-bit lane: one zero each besides their digits.
        const __m512i packed_tops = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(tops[0])),
                                                       _mm512_cvtepi64_epi32(tops[1]), 1);
        values[0] = four_digit_values(packed_tops, split_step.constants);
    }
};

ROVURER_AVX512 void avx512_count_decimal(const std::uint64_t* words, std::size_t count, std::uint64_t* counts) {
    const avx512_decimal_values step;
    count_decimal_with_pairs<avx512_vector>(words, count, counts, step);
}

const digit_kernels avx512_kernels = {
    .name = "avx512",
    .decimal = avx512_decimal,
    .hex = avx512_hex,
    .binary = avx512_binary,
    .group = avx512_group,
    .match_candidates = avx512_match_candidates,
    .tally = avx512_tally,
    .count_ones = count_ones_in_words,
    .count_hex = avx512_count_hex,
    .count_decimal = avx512_count_decimal,
};

}  // namespace

extern const kernel_set avx512_set = {.name = "avx512", .supported = cpu_supports_avx512, .functions = &avx512_kernels};

}  // namespace rovurer::kernels

#else

namespace rovurer::kernels {
extern const kernel_set avx512_set = {.name = "avx512", .supported = not_built_here, .functions = nullptr};
}

#endif
