// The check of a file of pi: Bellard's digits at positions against the
// sample file of pi in base 16 and a published value, the modular powers
// against a plain reference, and files that are not pi (a flipped bit at
// either end, the digits of e) found at the right position.
#include <gtest/gtest.h>

#include <fstream>
#include <stop_token>
#include <string>

#include "library/pi_digits.h"
#include "rovurer/rovurer.h"
#include "test_paths.h"
#include "test_support.h"

namespace {

rovurer::scan_options on_threads(int threads) {
    rovurer::scan_options options;
    options.threads = threads;
    return options;
}

std::string sample_pi16() {
    return std::string(examples_dir) + "/pi_base16";
}

std::string file_digits(const rovurer::file& source, std::int64_t pos, std::int64_t count) {
    std::string digits(static_cast<std::size_t>(count), '\0');
    const rovurer::result<std::int64_t> got = rovurer::read(source, {16, pos, count}, digits);
    digits.resize(got.ok() ? static_cast<std::size_t>(*got) : 0);
    return digits;
}

TEST(CheckPi, ModularPowersOfTwoMatchAPlainReference) {
    const auto reference = [](std::uint64_t e, std::uint64_t m) {
        // Square and multiply with 128-bit-free steps: m below 2^31 here.
        std::uint64_t result = 1 % m;
        std::uint64_t base = 2 % m;
        for (; e != 0; e >>= 1) {
            if ((e & 1) != 0) {
                result = result * base % m;
            }
            base = base * base % m;
        }
        return result;
    };
    for (const std::uint64_t m : {3ULL, 5ULL, 7ULL, 101ULL, 65537ULL, 2147483647ULL, 1000000007ULL}) {
        for (const std::uint64_t e : {0ULL, 1ULL, 2ULL, 63ULL, 64ULL, 65ULL, 1000ULL, 123456789012ULL}) {
            EXPECT_EQ(rovurer::power_of_two_mod(e, m), reference(e, m)) << e << " mod " << m;
        }
    }
    // Moduli past 2^32, where the products need all 128 bits: 2^(m-1) = 1
    // modulo a prime m (Fermat), and 2^64 modulo m from 2^32 squared.
    for (const std::uint64_t prime : {4294967311ULL, 1000000000000000003ULL, 4611686018427387847ULL}) {
        EXPECT_EQ(rovurer::power_of_two_mod(prime - 1, prime), 1U) << prime;
    }
    EXPECT_EQ(rovurer::power_of_two_mod(1, 1), 0U);
}

TEST(CheckPi, DigitsAtPositionsAreThoseOfTheSampleAndThePublishedOnes) {
    const rovurer::file pi = rovurer::file::open(sample_pi16()).value();
    for (std::int64_t pos = 1; pos <= 3193; pos += 97) {
        for (const int threads : {1, 2}) {
            const rovurer::result<std::string> digits = rovurer::pi_hex_digits(pos, on_threads(threads));
            ASSERT_TRUE(digits.ok());
            EXPECT_GE(digits->size(), 8U) << pos;
            EXPECT_EQ(*digits, file_digits(pi, pos, static_cast<std::int64_t>(digits->size()))) << pos;
        }
    }
    // Bailey, Borwein and Plouffe's table: the digits that follow the first
    // 999,999 after the point.
    const rovurer::result<std::string> far = rovurer::pi_hex_digits(1000000, on_threads(0));
    ASSERT_TRUE(far.ok());
    EXPECT_EQ(far->substr(0, 10), "26C65E52CB");
    EXPECT_EQ(rovurer::pi_hex_digits(0).error().message, "positions start at 1, not 0");
    std::stop_source stop;
    stop.request_stop();
    rovurer::scan_options stopped;
    stopped.stop = stop.get_token();
    EXPECT_EQ(rovurer::pi_hex_digits(100000, stopped).error().code, rovurer::errc::stopped);
}

// A copy of the sample with one bit flipped at byte `at` of the file.
std::string flipped(const std::string& name, std::size_t at) {
    std::string bytes = file_contents(sample_pi16());
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return write_bytes(name, bytes);
}

TEST(CheckPi, AFileThatIsNotPiIsFoundAtItsFirstDifferingPosition) {
    struct check_case {
        std::string path;
        int samples;
        std::int64_t difference;  // 0: pi
    };
    // The data's first word holds the last 16 digits; its byte 0 the last
    // two (the low bits), and the top word (before the lead word) the first.
    const std::size_t last_word = 4096;
    const std::size_t first_word = 4096 + 8 * 199;
    const check_case cases[] = {
        {sample_pi16(), 4, 0},
        {sample_pi16(), 1, 0},
        {sample_pi16(), 40, 0},
        {flipped("check-last", last_word), 4, 3199},       // bit 4 of the lowest byte: the digit before the last
        {flipped("check-first", first_word + 7), 4, 1},    // the top byte of the first word: the first digit
        {flipped("check-first-3", first_word + 6), 4, 3},  // its next byte: the third digit
        {flipped("check-between", 4096 + 8 * 100), 4, 0},  // a word no sample reaches: a spot check misses it
        {std::string(examples_dir) + "/pi_base10", 4, 1},
    };
    for (const check_case& test : cases) {
        const rovurer::file source = rovurer::file::open(test.path).value();
        const rovurer::result<rovurer::pi_check> checked = rovurer::check_pi(source, test.samples, on_threads(2));
        ASSERT_TRUE(checked.ok()) << test.path;
        EXPECT_EQ(checked->difference, test.difference) << test.path;
        ASSERT_FALSE(checked->samples.empty());
        EXPECT_EQ(checked->samples.front().pos, test.samples == 1 ? 3193 : 1);
        EXPECT_EQ(checked->samples.back().pos, 3193) << "the last digits are always checked";
        for (const rovurer::pi_sample& sample : checked->samples) {
            EXPECT_EQ(sample.read, file_digits(source, sample.pos, static_cast<std::int64_t>(sample.read.size())));
            EXPECT_EQ(sample.read.size(), sample.computed.size());
        }
    }
    // The digits of e in base 16, packed: not pi from its first digit.
    const std::string e_text = write_bytes("check-e.txt", "2.B7E151628AED2A6ABF7158809CF4F3C762E7160F38B4DA56A784D\n");
    const std::string e_file = temp_folder() + "/check-e";
    ASSERT_TRUE(rovurer::pack(e_text, e_file, 16).ok());
    const rovurer::file e = rovurer::file::open(e_file).value();
    EXPECT_EQ(rovurer::check_pi(e).value().difference, 1);
    EXPECT_EQ(rovurer::check_pi(e, 0).error().message, "fewer than 1 sample (0)");
}

}  // namespace
