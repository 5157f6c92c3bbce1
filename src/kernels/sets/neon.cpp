// NEON kernels for AArch64, where NEON is always present: no run-time check.
#include "kernels/kernel_set.h"

#if defined(__aarch64__)

#include <arm_neon.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/decimal_split.h"

namespace rovurer::kernels {

namespace {

#define ROVURER_GENERIC_TARGET
#include "kernels/generic/loops.h"

// Four values below 10^4 (32-bit lanes) to 4 ASCII digits each, first digit
// in the lowest byte: t / 100 as t * 5243 >> 19 into 16-bit quarters, then
// u / 10 as u * 103 >> 10 into bytes.
uint8x16_t four_digits(uint32x4_t values) {
    const uint32x4_t hundreds = vshrq_n_u32(vmulq_n_u32(values, 5243), 19);
    const uint32x4_t quarters = vorrq_u32(hundreds, vshlq_n_u32(vmlsq_n_u32(values, hundreds, 100), 16));
    const uint16x8_t pairs = vreinterpretq_u16_u32(quarters);
    const uint16x8_t tens = vshrq_n_u16(vmulq_n_u16(pairs, 103), 10);
    const uint16x8_t digits = vorrq_u16(tens, vshlq_n_u16(vmlsq_n_u16(pairs, tens, 10), 8));
    return vaddq_u8(vreinterpretq_u8_u16(digits), vdupq_n_u8('0'));
}

// Four values below 10^8 to 8 ASCII digits each, in order, into out[0..31]:
// x / 10^4 as x * 109951163 >> 40 with widening multiplies.
void eight_digits_x4(uint32x4_t values, char* out) {
    const uint64x2_t low_products = vmull_n_u32(vget_low_u32(values), 109951163);
    const uint64x2_t high_products = vmull_high_n_u32(values, 109951163);
    const uint32x4_t high = vshrq_n_u32(vcombine_u32(vshrn_n_u64(low_products, 32), vshrn_n_u64(high_products, 32)), 8);
    const uint32x4_t low = vmlsq_n_u32(values, high, 10000);
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out), four_digits(vzip1q_u32(high, low)));
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out + 16), four_digits(vzip2q_u32(high, low)));
}

// Four words a step, the highest (words[3]) first.
void neon_decimal_step(const std::uint64_t* words, char* out) {
    ROVURER_MCA_BEGIN("neon decimal, 4 words");
    std::array<std::uint32_t, 4> top{};
    std::array<std::uint32_t, 4> middle{};
    std::array<std::uint32_t, 4> bottom{};
    for (std::size_t lane = 0; lane < 4; ++lane) {
        const decimal_parts parts = split_decimal(words[3 - lane]);
        top[lane] = static_cast<std::uint32_t>(parts.top);
        middle[lane] = static_cast<std::uint32_t>(parts.middle);
        bottom[lane] = static_cast<std::uint32_t>(parts.bottom);
    }
    std::array<char, 32> middle_digits{};
    std::array<char, 32> bottom_digits{};
    eight_digits_x4(vld1q_u32(middle.data()), middle_digits.data());
    eight_digits_x4(vld1q_u32(bottom.data()), bottom_digits.data());
    for (std::size_t lane = 0; lane < 4; ++lane, out += 19) {
        std::memcpy(out, three_digit_table[top[lane]].data(), 4);  // its fourth byte is overwritten next
        std::memcpy(out + 3, middle_digits.data() + 8 * lane, 8);
        std::memcpy(out + 11, bottom_digits.data() + 8 * lane, 8);
    }
    ROVURER_MCA_END("neon decimal, 4 words");
}

void neon_decimal(const std::uint64_t* words, std::size_t count, char* out) {
    format_in_steps<4, 19>(words, count, out, neon_decimal_step, portable_kernels.decimal);
}

// Hex: two words make 32 characters: bytes reversed (the higher word and its
// most significant byte first), split into nibbles, looked up.
void neon_hex_step(const std::uint64_t* words, char* out) {
    const uint8x16_t characters = vld1q_u8(reinterpret_cast<const std::uint8_t*>(digit_characters));
    const uint8x16_t loaded = vld1q_u8(reinterpret_cast<const std::uint8_t*>(words));
    const uint8x16_t reversed = vrev64q_u8(vextq_u8(loaded, loaded, 8));
    const uint8x16_t high = vshrq_n_u8(reversed, 4);
    const uint8x16_t low = vandq_u8(reversed, vdupq_n_u8(0x0F));
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out), vqtbl1q_u8(characters, vzip1q_u8(high, low)));
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out + 16), vqtbl1q_u8(characters, vzip2q_u8(high, low)));
}

void neon_hex(const std::uint64_t* words, std::size_t count, char* out) {
    format_in_steps<2, 16>(words, count, out, neon_hex_step, portable_kernels.hex);
}

// Binary: each output byte picks its source byte (most significant first)
// and tests its bit.
void neon_binary(const std::uint64_t* words, std::size_t count, char* out) {
    static constexpr std::uint8_t sources[4][16] = {{7, 7, 7, 7, 7, 7, 7, 7, 6, 6, 6, 6, 6, 6, 6, 6},
                                                    {5, 5, 5, 5, 5, 5, 5, 5, 4, 4, 4, 4, 4, 4, 4, 4},
                                                    {3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2},
                                                    {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}};
    static constexpr std::uint8_t bit_values[16] = {128, 64, 32, 16, 8, 4, 2, 1, 128, 64, 32, 16, 8, 4, 2, 1};
    const uint8x16_t bits = vld1q_u8(bit_values);
    const uint8x16_t zeros = vdupq_n_u8('0');
    for (std::size_t i = count; i-- > 0;) {
        const uint8x16_t word = vreinterpretq_u8_u64(vdupq_n_u64(words[i]));
        for (const auto& source : sources) {
            const uint8x16_t set = vtstq_u8(vqtbl1q_u8(word, vld1q_u8(source)), bits);
            vst1q_u8(reinterpret_cast<std::uint8_t*>(out), vsubq_u8(zeros, set));
            out += 16;
        }
    }
}

// Grouping is memory-bound copying, which the portable kernel does well.
std::size_t neon_group(const char* digits, std::size_t count, std::size_t phase, char* out) {
    return portable_kernels.group(digits, count, phase, out);
}

// The 64 comparison results of four vectors as one bit each, byte i of the
// 64 in bit i: each byte keeps its own bit weight, then pairwise additions
// gather them (the published movemask substitute for NEON).
std::uint64_t to_bitmask(uint8x16_t c0, uint8x16_t c1, uint8x16_t c2, uint8x16_t c3) {
    static constexpr std::uint8_t weights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t bit = vld1q_u8(weights);
    const uint8x16_t sum01 = vpaddq_u8(vandq_u8(c0, bit), vandq_u8(c1, bit));
    const uint8x16_t sum23 = vpaddq_u8(vandq_u8(c2, bit), vandq_u8(c3, bit));
    const uint8x16_t sum = vpaddq_u8(sum01, sum23);
    return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(sum, sum)), 0);
}

// Where the 16 bytes at `text` agree with the probe at all three places.
uint8x16_t all_equal(const char* text, const match_probe& probe) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    const uint8x16_t first = vceqq_u8(vld1q_u8(bytes), vdupq_n_u8(static_cast<std::uint8_t>(probe.first)));
    const uint8x16_t middle =
        vceqq_u8(vld1q_u8(bytes + probe.middle_at), vdupq_n_u8(static_cast<std::uint8_t>(probe.middle)));
    const uint8x16_t last =
        vceqq_u8(vld1q_u8(bytes + probe.last_at), vdupq_n_u8(static_cast<std::uint8_t>(probe.last)));
    return vandq_u8(vandq_u8(first, middle), last);
}

std::uint64_t neon_match_window(const char* text, const match_probe& probe) {
    return to_bitmask(all_equal(text, probe), all_equal(text + 16, probe), all_equal(text + 32, probe),
                      all_equal(text + 48, probe));
}

void neon_match_candidates(const char* text, std::size_t windows, const match_probe& probe, std::uint64_t* masks) {
    match_windows(text, windows, probe, masks, neon_match_window);
}

// A match compares as all ones, so subtracting it adds 1 to the byte counter.
struct neon_bytes {
    static constexpr std::size_t width = 16;
    static uint8x16_t repeat(char value) { return vdupq_n_u8(static_cast<std::uint8_t>(value)); }
    static uint8x16_t zero() { return vdupq_n_u8(0); }
    static uint8x16_t load(const char* text) { return vld1q_u8(reinterpret_cast<const std::uint8_t*>(text)); }
    static uint8x16_t add_equal(uint8x16_t counters, uint8x16_t bytes, uint8x16_t value) {
        return vsubq_u8(counters, vceqq_u8(bytes, value));
    }
    static std::uint64_t sum(uint8x16_t counters) { return vaddlvq_u8(counters); }
};

void neon_tally(const char* text, std::size_t length, const char* values, std::size_t value_count,
                std::uint64_t* counts) {
    tally_with_byte_counters<neon_bytes>(text, length, values, value_count, counts);
}

const digit_kernels neon_kernels = {
    .name = "neon",
    .decimal = neon_decimal,
    .hex = neon_hex,
    .binary = neon_binary,
    .group = neon_group,
    .match_candidates = neon_match_candidates,
    .tally = neon_tally,
    .count_ones = count_ones_in_words,
    .count_hex = count_hex_by_bytes,
    .count_decimal = count_decimal_by_parts,
};

}  // namespace

extern const kernel_set neon_set = {.name = "neon", .supported = always_supported, .functions = &neon_kernels};

}  // namespace rovurer::kernels

#else

namespace rovurer::kernels {
extern const kernel_set neon_set = {.name = "neon", .supported = not_built_here, .functions = nullptr};
}

#endif
