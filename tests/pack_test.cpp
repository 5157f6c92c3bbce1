// Text digits into words: the integer part, word edges, padding, blanks
// and line ends, and where a bad character stands; the sample files' text
// packs back into their words.
#include "engine/pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "rovurer/rovurer.h"
#include "test_paths.h"

namespace {

using rovurer::digit_text_reader;

struct packed {
    bool ok = true;
    std::vector<std::uint64_t> words;  // in text order
    std::int64_t lead_words = 0;
    std::int64_t padding = 0;
    std::string problem;
};

// Packs `text` given `piece` bytes at a time.
packed pack(const std::string& text, int base, std::size_t piece) {
    digit_text_reader reader(base);
    packed out;
    for (std::size_t at = 0; at < text.size() && out.ok; at += piece) {
        out.ok = reader.read(std::string_view(text).substr(at, piece), out.words);
    }
    if (out.ok) {
        reader.end(out.words);
    }
    out.lead_words = reader.lead_words();
    out.padding = reader.padding();
    out.problem = reader.problem();
    return out;
}

TEST(Pack, TextBecomesWordsOrSaysWhereItIsNot) {
    struct pack_case {
        std::string text;
        int base;
        std::vector<std::uint64_t> words;
        std::int64_t lead_words;
        std::int64_t padding;
        std::string problem;
    };
    const pack_case cases[] = {
        {"3.14159265358979323846264338327950288419", 10, {3, 1415926535897932384, 6264338327950288419}, 1, 0, ""},
        {"3.1415926535 8979323846\n2643383279 50288419\n", 10, {3, 1415926535897932384, 6264338327950288419}, 1, 0, ""},
        {"12345", 10, {1234500000000000000}, 0, 14, ""},
        {"12345678901234567890.5", 10, {1, 2345678901234567890, 5000000000000000000}, 2, 18, ""},
        {"3.243f6a8885a308d3", 16, {3, 0x243F6A8885A308D3}, 1, 0, ""},
        {"243F6A88 85A308D3 1", 16, {0x243F6A8885A308D3, 0x1000000000000000}, 0, 15, ""},
        {"1." + std::string(64, '1'), 2, {1, ~std::uint64_t{0}}, 1, 0, ""},
        {"", 10, {}, 0, 0, ""},
        {"3.14x", 10, {}, 0, 0, "line 1, column 5: 'x' is not a base-10 digit"},
        {"3.14\n15 9A", 10, {}, 0, 0, "line 2, column 5: 'A' is not a base-10 digit"},
        {"101 2", 2, {}, 0, 0, "line 1, column 5: '2' is not a base-2 digit"},
        {"3.14.15", 10, {}, 0, 0, "line 1, column 5: '.' is not a base-10 digit"},
        {".5", 10, {}, 0, 0, "line 1, column 1: '.' is not a base-10 digit"},
        {"3,14", 16, {}, 0, 0, "line 1, column 2: ',' is not a base-16 digit"},
    };
    for (const pack_case& wanted : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
            const packed got = pack(wanted.text, wanted.base, piece);
            EXPECT_EQ(got.problem, wanted.problem) << wanted.text;
            if (wanted.problem.empty()) {
                EXPECT_EQ(got.words, wanted.words) << wanted.text << " in pieces of " << piece;
                EXPECT_EQ(got.lead_words, wanted.lead_words) << wanted.text;
                EXPECT_EQ(got.padding, wanted.padding) << wanted.text;
            }
        }
    }
}

// What rovurer shows of the samples, in lines without labels, packs back
// into the samples' words.
TEST(Pack, TheSamplesTextPacksBackIntoTheirWords) {
    for (const auto& [name, base] : {std::pair{"pi_base10", 10}, std::pair{"pi_base16", 16}}) {
        const std::string path = std::string(source_dir) + "/examples/" + name;
        const rovurer::result<rovurer::file> sample = rovurer::file::open(path);
        ASSERT_TRUE(sample.ok());
        const std::int64_t total = sample->facts().digits(base);
        std::string digits(static_cast<std::size_t>(total), '\0');
        ASSERT_TRUE(rovurer::read(*sample, {base, 1, total}, digits).ok());
        const rovurer::result<std::string> text = rovurer::format(digits, 1, {10, 100, false});
        ASSERT_TRUE(text.ok());
        const packed got = pack("3." + *text, base, 1000);
        ASSERT_TRUE(got.ok) << got.problem;
        // The file holds the words least significant first.
        std::vector<std::uint64_t> in_file(got.words.rbegin(), got.words.rend());
        std::string bytes(in_file.size() * 8, '\0');
        for (std::size_t k = 0; k < in_file.size(); ++k) {
            for (int b = 0; b < 8; ++b) {
                bytes[k * 8 + static_cast<std::size_t>(b)] = static_cast<char>((in_file[k] >> (8 * b)) & 0xFF);
            }
        }
        std::ifstream file(path, std::ios::binary);
        const std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(contents.substr(4096), bytes) << name;
        EXPECT_EQ(got.lead_words, 1);
        EXPECT_EQ(got.padding, 0);
    }
}

}  // namespace
