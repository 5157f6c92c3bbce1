// Every conversion kernel this machine supports against plain reference
// conversions, on edge words and many random ones.
#include "kernels/digit_format.h"
#include "kernels/registry.h"

#include <gtest/gtest.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#endif

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using namespace rovurer;
using namespace rovurer::kernels;

namespace {

std::string reference_decimal(std::uint64_t word) {
    std::string digits = std::to_string(word % 10000000000000000000ULL);
    return std::string(19 - digits.size(), '0') + digits;
}

std::string reference_hex(std::uint64_t word) {
    char digits[17];
    (void)std::snprintf(digits, sizeof digits, "%016llX", static_cast<unsigned long long>(word));
    return digits;
}

std::string reference_binary(std::uint64_t word) {
    std::string digits;
    for (int bit = 63; bit >= 0; --bit) {
        digits.push_back(((word >> bit) & 1) != 0 ? '1' : '0');
    }
    return digits;
}

struct base_case {
    const char* name;
    std::size_t digits_per_word;
    format_words_function digit_kernels::*kernel;
    std::string (*reference)(std::uint64_t);
};

const base_case bases[] = {
    {"decimal", 19, &digit_kernels::decimal, reference_decimal},
    {"hex", 16, &digit_kernels::hex, reference_hex},
    {"binary", 64, &digit_kernels::binary, reference_binary},
};

// Formats `words` with the kernel and checks the result and that nothing past
// it was written.
void expect_formats(const digit_kernels& kernels, const base_case& base, const std::vector<std::uint64_t>& words) {
    const std::size_t length = words.size() * base.digits_per_word;
    std::string out(length + 64, '#');
    (kernels.*base.kernel)(words.data(), words.size(), out.data());
    std::string expected;
    for (std::size_t i = words.size(); i-- > 0;) {
        expected += base.reference(words[i]);
    }
    ASSERT_EQ(out.substr(0, length), expected) << kernels.name << ' ' << base.name << ' ' << words.size();
    ASSERT_EQ(out.substr(length), std::string(64, '#')) << kernels.name << ' ' << base.name << " wrote past the end";
    // Into a buffer of exactly the length, where a sanitizer sees any byte past it.
    const std::unique_ptr<char[]> exact(new char[length + 1]);  // +1: a count of 0 still gets a valid pointer
    (kernels.*base.kernel)(words.data(), words.size(), exact.get());
    ASSERT_EQ(std::string(exact.get(), length), expected) << kernels.name << ' ' << base.name;
}

std::vector<std::uint64_t> edge_words() {
    std::vector<std::uint64_t> words = {0,
                                        1,
                                        99999999,
                                        100000000,
                                        10000000000000000ULL,
                                        9999999999999999999ULL,
                                        10000000000000000000ULL,
                                        10000000000000000001ULL,
                                        18446744073709551615ULL,
                                        0x243F6A8885A308D3ULL,
                                        0x8000000000000000ULL};
    // Either side of multiples of 10^8 and 10^16, where a quotient taken in
    // floating point is easiest to get wrong.
    std::mt19937_64 random(19);
    for (int i = 0; i < 200; ++i) {
        const std::uint64_t multiple = (random() % 100000000000ULL) * 100000000ULL;
        for (const std::uint64_t word : {multiple - 1, multiple, multiple + 1}) {
            words.push_back(word);
            words.push_back(word + 10000000000000000000ULL);
        }
        const std::uint64_t top = (random() % 1845) * 10000000000000000ULL;
        words.push_back(top);
        words.push_back(top - 1);
    }
    return words;
}

TEST(DigitFormat, EveryKernelMatchesTheReference) {
    std::mt19937_64 random(2026);
    std::vector<std::uint64_t> random_words(5000);
    for (std::uint64_t& word : random_words) {
        word = random();
    }
    std::vector<std::uint64_t> decimal_words(5000);
    for (std::uint64_t& word : decimal_words) {
        word = random() % 10000000000000000000ULL;
    }
    for (const digit_kernels* kernels : kernels::supported_sets()) {
        for (const base_case& base : bases) {
            expect_formats(*kernels, base, edge_words());
            expect_formats(*kernels, base, random_words);
            expect_formats(*kernels, base, decimal_words);
            // Every count up to a few vector widths, for the tails.
            for (std::size_t count = 0; count <= 40; ++count) {
                expect_formats(
                    *kernels, base,
                    std::vector<std::uint64_t>(random_words.begin(), random_words.begin() + static_cast<long>(count)));
            }
        }
    }
}

TEST(DigitFormat, EveryFourDigitValueInEveryDecimalPlace) {
    std::vector<std::uint64_t> words;
    for (std::uint64_t k = 0; k < 10000; ++k) {
        words.push_back(k + k * 10000 + k * 100000000 + k * 1000000000000ULL + (k % 1000) * 10000000000000000ULL);
    }
    for (const digit_kernels* kernels : kernels::supported_sets()) {
        expect_formats(*kernels, bases[0], words);
    }
}

std::string reference_group(const std::string& digits, std::size_t phase) {
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        grouped.push_back(digits[i]);
        if ((phase + i) % 10 == 9) {
            grouped.push_back(' ');
        }
    }
    return grouped;
}

TEST(DigitFormat, EveryGroupingKernelMatchesTheReference) {
    std::mt19937 random(7);
    std::string digits(3000 + group_slack, '0');
    for (char& digit : digits) {
        digit = static_cast<char>('0' + random() % 10);
    }
    std::vector<std::size_t> counts;
    for (std::size_t count = 0; count <= 200; ++count) {
        counts.push_back(count);
    }
    for (const std::size_t count : {639U, 640U, 641U, 703U, 704U, 705U, 1343U, 1344U, 1345U, 2999U, 3000U}) {
        counts.push_back(count);
    }
    for (const digit_kernels* kernels : kernels::supported_sets()) {
        for (std::size_t phase = 0; phase < 10; ++phase) {
            for (const std::size_t count : counts) {
                const std::string expected = reference_group(digits.substr(0, count), phase);
                std::string out(expected.size() + group_slack, '#');
                const std::size_t written = kernels->group(digits.data(), count, phase, out.data());
                ASSERT_EQ(written, expected.size()) << kernels->name << ' ' << phase << ' ' << count;
                ASSERT_EQ(out.substr(0, written), expected) << kernels->name << ' ' << phase << ' ' << count;
            }
        }
    }
}

// Text over a small alphabet, so that candidates are frequent, with bytes
// that differ only in bit 7 or by one from the values searched for.
std::string scan_text(std::size_t length, unsigned seed) {
    const std::string alphabet = "0199\xB0\xB1/:AF";
    std::mt19937 random(seed);
    std::string text(length, '0');
    for (char& byte : text) {
        byte = alphabet[random() % alphabet.size()];
    }
    return text;
}

TEST(DigitFormat, EveryMatchKernelMatchesTheReference) {
    const std::string text = scan_text(1000, 3);
    for (const digit_kernels* kernels : kernels::supported_sets()) {
        for (const auto& [first, middle, last] :
             {std::tuple{'9', '9', '9'}, std::tuple{'0', '5', '1'}, std::tuple{'F', 'F', 'A'}}) {
            for (std::size_t distance = 0; distance <= 70; ++distance) {
                // The middle anywhere from the first to the last.
                const match_probe probe{first, middle, last, distance * 2 / 5, distance};
                // Three windows from each of a few starts, whole and one by one.
                for (std::size_t at = 0; at + 3 * match_window + distance <= text.size(); at += 61) {
                    std::vector<std::uint64_t> expected(3);
                    for (std::size_t i = 0; i < 3 * match_window; ++i) {
                        if (text[at + i] == first && text[at + i + probe.middle_at] == middle &&
                            text[at + i + distance] == last) {
                            expected[i / match_window] |= std::uint64_t{1} << (i % match_window);
                        }
                    }
                    std::vector<std::uint64_t> masks(4, 7);
                    kernels->match_candidates(text.data() + at, 3, probe, masks.data());
                    ASSERT_EQ(masks, (std::vector<std::uint64_t>{expected[0], expected[1], expected[2], 7}))
                        << kernels->name << ' ' << first << middle << last << ' ' << distance << ' ' << at;
                }
            }
        }
    }
}

TEST(DigitFormat, EveryTallyKernelMatchesTheReference) {
    const std::string values = "0123456789ABCDEF";
    // Random digits, and one digit repeated: a byte counter that took more
    // than 255 matches between sums would wrap.
    for (const std::string& text : {scan_text(70000, 4), std::string(70000, '7')}) {
        for (const digit_kernels* kernels : kernels::supported_sets()) {
            // Lengths around vector widths and the 255-vector counter limit.
            for (const std::size_t length :
                 {0U, 1U, 15U, 16U, 17U, 63U, 64U, 65U, 4079U, 4080U, 16320U, 16385U, 70000U}) {
                for (const std::size_t offset : {0U, 1U, 7U}) {
                    const std::size_t used = length < text.size() - offset ? length : text.size() - offset;
                    std::vector<std::uint64_t> counts(values.size(), 5);  // tallies add to what is there
                    kernels->tally(text.data() + offset, used, values.data(), values.size(), counts.data());
                    for (std::size_t j = 0; j < values.size(); ++j) {
                        const auto expected = static_cast<std::uint64_t>(
                            std::count(text.begin() + static_cast<long>(offset),
                                       text.begin() + static_cast<long>(offset + used), values[j]));
                        ASSERT_EQ(counts[j], expected + 5) << kernels->name << ' ' << values[j] << ' ' << length;
                    }
                }
            }
        }
    }
}

TEST(DigitFormat, EveryCountOfOnesMatchesPopcount) {
    std::mt19937_64 random(64);
    std::vector<std::uint64_t> words(1000);
    for (std::uint64_t& word : words) {
        word = random();
    }
    words[0] = 0;
    words[1] = ~std::uint64_t{0};
    for (const digit_kernels* kernels : supported_sets()) {
        for (const std::size_t count : {0U, 1U, 2U, 7U, 1000U}) {
            std::uint64_t expected = 0;
            for (std::size_t k = 0; k < count; ++k) {
                for (std::uint64_t word = words[k]; word != 0; word &= word - 1) {
                    ++expected;
                }
            }
            EXPECT_EQ(kernels->count_ones(words.data(), count), expected) << kernels->name << ' ' << count;
        }
    }
}

// Counts from the words against the digits of the reference text: edge
// words, words of 10^19 and above, every count up to a few steps and counts
// past the point where the portable kernels switch to tables.
TEST(DigitFormat, EveryDigitCountFromWordsMatchesTheText) {
    std::mt19937_64 random(1016);
    std::vector<std::uint64_t> words = edge_words();
    while (words.size() < 9000) {
        words.push_back(random());
    }
    struct count_case {
        count_digits_function digit_kernels::*kernel;
        std::string (*reference)(std::uint64_t);
        std::size_t values;
    };
    const count_case cases[] = {{&digit_kernels::count_decimal, reference_decimal, 10},
                                {&digit_kernels::count_hex, reference_hex, 16}};
    for (const count_case& c : cases) {
        std::vector<std::size_t> counts_to_try(41);
        for (std::size_t count = 0; count <= 40; ++count) {
            counts_to_try[count] = count;
        }
        counts_to_try.insert(counts_to_try.end(), {2047, 2048, 2049, 9000});
        for (const std::size_t count : counts_to_try) {
            for (const std::size_t from : {std::size_t{0}, words.size() - count}) {
                std::vector<std::uint64_t> expected(c.values, 3);  // counts add to what is there
                for (std::size_t k = from; k < from + count; ++k) {
                    for (const char digit : c.reference(words[k])) {
                        ++expected[static_cast<std::size_t>(digit <= '9' ? digit - '0' : digit - 'A' + 10)];
                    }
                }
                for (const digit_kernels* kernels : supported_sets()) {
                    std::vector<std::uint64_t> counts(c.values, 3);
                    (kernels->*c.kernel)(words.data() + from, count, counts.data());
                    ASSERT_EQ(counts, expected) << kernels->name << ' ' << c.values << ' ' << count << ' ' << from;
                }
            }
        }
    }
}

// Whether this CPU runs a kernel set, asked of the CPU independently of the
// sets' own checks; nullopt for a set this test does not know.
std::optional<bool> cpu_runs(std::string_view set) {
    if (set == "portable") {
        return true;
    }
#if defined(__aarch64__)
    const bool neon = true;
#else
    const bool neon = false;
#endif
    if (set == "neon") {
        return neon;
    }
    bool sse2 = false;
    bool avx2 = false;
    bool avx512 = false;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    sse2 = true;
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    // The OS saves the vector state (OSXSAVE; XCR0 holds SSE and AVX state,
    // and for AVX-512 the opmask and both halves of the 512-bit registers)
    __get_cpuid(1, &a, &b, &c, &d);
    unsigned xcr0 = 0;
    if ((c & (1U << 27)) != 0) {
        unsigned xcr0_high = 0;
        __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    }
    // ... and the CPU has AVX2 (EBX 5), or F (EBX 16), DQ (17), IFMA (21),
    // BW (30), VL (31), VBMI (ECX 1) and VBMI2 (ECX 6).
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
        const unsigned ebx_bits = (1U << 16) | (1U << 17) | (1U << 21) | (1U << 30) | (1U << 31);
        const unsigned ecx_bits = (1U << 1) | (1U << 6);
        avx2 = (xcr0 & 0x6) == 0x6 && (b & (1U << 5)) != 0;
        avx512 = (xcr0 & 0xE6) == 0xE6 && (b & ebx_bits) == ebx_bits && (c & ecx_bits) == ecx_bits;
    }
#endif
    if (set == "sse2") {
        return sse2;
    }
    if (set == "avx2") {
        return avx2;
    }
    if (set == "avx512") {
        return avx512;
    }
    return std::nullopt;
}

TEST(DigitFormat, TheFastestSupportedSetIsChosen) {
    std::vector<const digit_kernels*> supported;
    for (const kernel_set* set : all_sets()) {
        const std::optional<bool> expected = cpu_runs(set->name);
        if (expected) {
            EXPECT_EQ(set->supported(), *expected) << set->name;
        }
        if (set->supported()) {
            ASSERT_NE(set->functions, nullptr) << set->name;
            EXPECT_STREQ(set->functions->name, set->name);
            supported.push_back(set->functions);
        }
    }
    EXPECT_TRUE(std::equal(supported.begin(), supported.end(), supported_sets().begin(), supported_sets().end()));
    EXPECT_EQ(supported_sets().front(), &portable_kernels);
    EXPECT_EQ(&active(), supported_sets().back());
    EXPECT_EQ(find_supported("portable"), &portable_kernels);
    EXPECT_EQ(find_supported("no such set"), nullptr);
    std::printf("kernels on this machine: %s\n", active().name);
}

}  // namespace
