// The sample digit files of pi against published digits, and against the
// generator that made them.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "test_paths.h"
#include "test_support.h"

using namespace rovurer;

namespace {

std::string digits(const std::string& name, int base, std::int64_t offset, int count) {
    return digits_of(std::string(examples_dir) + "/" + name, base, offset, count);
}

TEST(Examples, PublishedDigitsOfPi) {
    EXPECT_EQ(digits("pi_base10", 10, 0, 50), "14159265358979323846264338327950288419716939937510");
    EXPECT_EQ(digits("pi_base10", 10, 760, 8), "49999998");  // six 9s at 762 to 767
    EXPECT_EQ(digits("pi_base16", 16, 0, 16), "243F6A8885A308D3");
    EXPECT_EQ(digits("pi_base10", 10, 0, 5000).size(), 3800U);
    EXPECT_EQ(digits("pi_base16", 16, 0, 5000).size(), 3200U);
}

TEST(Examples, GeneratorReproducesTheSamples) {
    if (std::string(make_pi_binary).empty()) {
        GTEST_SKIP() << "the generator is built with GMP";
    }
    for (const auto& [name, base, digits] :
         {std::tuple{"pi_base10", "10", "3800"}, std::tuple{"pi_base16", "16", "3190"}}) {
        const std::string fresh = temp_folder() + "/fresh_" + name;
        const run_result run = run_program(make_pi_binary, {"make_pi_digit_file", base, digits, fresh});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(file_contents(fresh), file_contents(std::string(examples_dir) + "/" + name)) << name;
        // It says what it wrote: the digits rounded up to whole words.
        const std::string said = "make_pi_digit_file: " + fresh + ": " + (base == std::string("10") ? "3800" : "3200") +
                                 " base-" + base + " digits of pi after the point, 201 words, in ";
        EXPECT_EQ(run.err.rfind(said, 0), 0U) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// Published facts of the first 10^6 decimals of pi, in a file the
// generator makes.
TEST(Examples, GeneratedDigitsHoldPublishedFacts) {
    if (std::string(make_pi_binary).empty()) {
        GTEST_SKIP() << "the generator is built with GMP";
    }
    const std::string path = temp_folder() + "/pi_1e6";
    const run_result made = run_program(make_pi_binary, {"make_pi_digit_file", "10", "1000000", path});
    ASSERT_EQ(made.status, 0) << made.err;
    const run_result counted = run_tool({"rovurer", "--count", path, "10", "1", "1000000"});
    EXPECT_EQ(counted.out,
              "0 99959\n1 99758\n2 100026\n3 100229\n4 100230\n5 100359\n6 99548\n7 99800\n8 99985\n9 100106\n");
    const run_result found = run_tool({"rovurer", "--find", "999999", "--max-count", "1", path, "10"});
    EXPECT_EQ(found.out, "762\n");
    EXPECT_EQ(digits_of(path, 10, 999990, 10), "5779458151");  // the millionth decimal is 1
}

// The fraction 0.h1h2... (hexadecimal digits) in decimal, to `count`
// digits, the slow way: multiplied by ten again and again.
std::string hexadecimal_to_decimal(const std::string& hex, std::size_t count) {
    std::vector<int> fraction;
    for (const char c : hex) {
        fraction.push_back(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    std::string decimal;
    for (std::size_t k = 0; k < count; ++k) {
        int carry = 0;
        for (std::size_t at = fraction.size(); at-- > 0;) {
            const int value = fraction[at] * 10 + carry;
            fraction[at] = value % 16;
            carry = value / 16;
        }
        decimal += static_cast<char>('0' + carry);
    }
    return decimal;
}

// Each constant: its first 50 decimals as published, and its base-16 file
// against its base-10 file, 10^6 digits each, on the first 2,000
// hexadecimal digits converted.
TEST(Examples, TheGeneratorMakesEachConstantInBothBases) {
    if (std::string(make_digit_binary).empty()) {
        GTEST_SKIP() << "the generator is built with GMP";
    }
    struct constant_case {
        std::string name;
        std::string first_50;
    };
    const constant_case constants[] = {
        {"pi", "14159265358979323846264338327950288419716939937510"},
        {"e", "71828182845904523536028747135266249775724709369995"},
        {"sqrt2", "41421356237309504880168872420969807856967187537694"},
        {"phi", "61803398874989484820458683436563811772030917980576"},
    };
    for (const constant_case& constant : constants) {
        std::string files[2];
        for (const int base : {10, 16}) {
            const std::string path = temp_folder() + "/" + constant.name + "_" + std::to_string(base);
            const run_result made = run_program(
                make_digit_binary, {"make_digit_file", constant.name, std::to_string(base), "1000000", path});
            ASSERT_EQ(made.status, 0) << made.err;
            EXPECT_EQ(made.err.rfind("make_digit_file: " + path + ": ", 0), 0U) << made.err;
            files[base == 10 ? 0 : 1] = path;
        }
        EXPECT_EQ(digits_of(files[0], 10, 0, 50), constant.first_50) << constant.name;
        const std::string decimal = digits_of(files[0], 10, 0, 2400);
        EXPECT_EQ(hexadecimal_to_decimal(digits_of(files[1], 16, 0, 2000), 2400), decimal) << constant.name;
        EXPECT_EQ(digits_of(files[0], 10, 999990, 100).size(), 10U + 8U);  // rounded up to whole words
    }
    // pi's files are make_pi_digit_file's.
    const std::string path = temp_folder() + "/pi_3800";
    ASSERT_EQ(run_program(make_digit_binary, {"make_digit_file", "pi", "10", "3800", path}).status, 0);
    EXPECT_EQ(file_contents(path), file_contents(std::string(examples_dir) + "/pi_base10"));
    const run_result refused = run_program(make_digit_binary, {"make_digit_file", "tau", "10", "10", path});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("CONSTANT must be pi, e, sqrt2 or phi"), std::string::npos);
}

}  // namespace
