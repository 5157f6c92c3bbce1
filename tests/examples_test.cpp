// The sample digit files of pi against published digits, and against the
// generator that made them.
#include <gtest/gtest.h>

#include <string>

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
    for (const auto& [name, base] : {std::pair{"pi_base10", "10"}, std::pair{"pi_base16", "16"}}) {
        const std::string fresh = temp_folder() + "/fresh_" + name;
        const run_result run = run_program(make_pi_binary, {"make_pi_digit_file", base, "200", fresh});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(file_contents(fresh), file_contents(std::string(examples_dir) + "/" + name)) << name;
    }
}

}  // namespace
