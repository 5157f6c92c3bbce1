// The sample digit files of pi against published digits, and against the
// generator that made them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "digit_stream.h"
#include "test_support.h"

namespace {

std::string digits(const std::string& name, int base, std::int64_t offset, int count) {
    digit_stream* stream = digit_stream_open((std::string(EXAMPLES_DIR) + "/" + name).c_str(), base, offset);
    if (stream == nullptr) {
        return "REFUSED";
    }
    std::string result;
    for (int i = 0; i < count; ++i) {
        const int next = digit_stream_next(stream);
        if (next < 0) {
            break;
        }
        result.push_back(static_cast<char>(next));
    }
    digit_stream_close(stream);
    return result;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
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
        const std::string command = std::string(MAKE_PI_BINARY) + " " + base + " 200 " + fresh;
        // The project's own generator, with fixed arguments.
        ASSERT_EQ(std::system(command.c_str()), 0) << command;  // NOLINT(cert-env33-c)
        EXPECT_EQ(contents(fresh), contents(std::string(EXAMPLES_DIR) + "/" + name)) << name;
    }
}

}  // namespace
