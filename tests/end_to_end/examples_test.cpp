// The sample digit files of pi against published digits, and against the
// generator that made them.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

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

}  // namespace
