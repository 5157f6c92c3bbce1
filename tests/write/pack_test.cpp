// Text digits into words: the integer part, word edges, padding, blanks
// and line ends, and where a bad character stands; the sample files' text
// packs back into their words.
#include "write/pack.h"
#include "write/digit_file_writer.h"
#include "write/pack_file.h"
#include "write/text_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <filesystem>
#include <random>
#include <stop_token>

#include "rovurer/rovurer.h"
#include "test_paths.h"
#include "test_support.h"

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
        // A byte order mark that starts the text is no character; any other
        // byte that is not printable ASCII is shown by its value.
        {"\xEF\xBB\xBF"
         "3.14",
         10,
         {3, 1400000000000000000},
         1,
         17,
         ""},
        {"\xEF\xBB\xBF"
         "\xEF\xBB\xBF"
         "3",
         10,
         {},
         0,
         0,
         "line 1, column 1: '\\xef' is not a base-10 digit"},
        {"\xEF\xBB"
         "3",
         10,
         {},
         0,
         0,
         "line 1, column 1: '\\xef' is not a base-10 digit"},
        {"3.14\n" + std::string(1, '\0') + "5", 10, {}, 0, 0, "line 2, column 1: '\\x00' is not a base-10 digit"},
        {"3.14\xC3\xA9", 10, {}, 0, 0, "line 1, column 5: '\\xc3' is not a base-10 digit"},
        {"1\x7F", 2, {}, 0, 0, "line 1, column 2: '\\x7f' is not a base-2 digit"},
        {"31\x01", 16, {}, 0, 0, "line 1, column 3: '\\x01' is not a base-16 digit"},
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

// The words of `digits` (no blanks), a digit at a time, the last padded.
std::vector<std::uint64_t> words_of(const std::string& digits, int base) {
    const std::size_t per_word = base == 10 ? 19 : base == 16 ? 16 : 64;
    std::vector<std::uint64_t> words;
    for (std::size_t at = 0; at < digits.size(); at += per_word) {
        std::uint64_t word = 0;
        for (std::size_t k = at; k < at + per_word; ++k) {
            const char c = k < digits.size() ? digits[k] : '0';
            word =
                word * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'A' + 10);
        }
        words.push_back(word);
    }
    return words;
}

// A text long enough to be cut into slices packs on any number of threads
// into the words of its digits, whatever its blanks and line ends.
TEST(Pack, SlicesOnThreadsGiveTheWordsOfTheDigits) {
    std::mt19937_64 random(17);
    for (const int base : {10, 16, 2}) {
        std::string digits(3 * digit_text_reader::smallest_slice + 1234, '0');
        for (char& c : digits) {
            c = "0123456789ABCDEF"[random() % static_cast<unsigned>(base)];
        }
        const std::vector<std::uint64_t> wanted = words_of(digits, base);
        // Blanks: none; a space after every tenth digit; lines of 100; anywhere.
        for (const int layout : {0, 1, 2, 3}) {
            std::string text;
            for (std::size_t k = 0; k < digits.size(); ++k) {
                text += digits[k];
                const bool blank = layout == 1   ? k % 10 == 9
                                   : layout == 2 ? k % 100 == 99
                                                 : layout == 3 && random() % 7 == 0;
                if (blank) {
                    text += layout == 2 ? '\n' : random() % 2 == 0 ? ' ' : '\t';
                }
            }
            for (const int threads : {1, 2, 3, 7}) {
                for (const std::size_t piece : {text.size(), std::size_t{1500000}}) {
                    digit_text_reader reader(base);
                    std::vector<std::uint64_t> words;
                    for (std::size_t at = 0; at < text.size(); at += piece) {
                        ASSERT_TRUE(reader.read(std::string_view(text).substr(at, piece), words, threads));
                    }
                    reader.end(words);
                    EXPECT_TRUE(words == wanted) << "base " << base << ", layout " << layout << ", threads " << threads
                                                 << ", pieces of " << piece;
                    EXPECT_EQ(reader.fraction_digits(), static_cast<std::int64_t>(digits.size()));
                }
            }
        }
    }
}

// A bad character in any slice is found where it stands, on any number of
// threads: lines of 100 digits, the character replacing one of them.
TEST(Pack, ABadCharacterInAnySliceSaysWhereItStands) {
    std::string text;
    for (int line = 0; line < 40000; ++line) {
        text += std::string(100, static_cast<char>('0' + line % 10)) + "\n";
    }
    for (const std::size_t at : {std::size_t{5}, std::size_t{1048576}, std::size_t{2500000}, text.size() - 2}) {
        std::string bad = text;
        bad[at] = bad[at] == '\n' ? '\n' : '#';
        const std::string wanted = "line " + std::to_string(at / 101 + 1) + ", column " + std::to_string(at % 101 + 1) +
                                   ": '#' is not a base-10 digit";
        for (const int threads : {1, 3}) {
            digit_text_reader reader(10);
            std::vector<std::uint64_t> words;
            EXPECT_FALSE(reader.read(bad, words, threads));
            EXPECT_EQ(reader.problem(), wanted) << "at " << at << ", threads " << threads;
        }
    }
}

// The library's writer: a file the reader opens, or why not, and nothing
// left behind when it fails.
TEST(Pack, TheLibraryWritesAWholeFileOrSaysWhy) {
    namespace fs = std::filesystem;
    const std::string folder = temp_folder() + "/library-pack";
    std::stop_source stopped;
    stopped.request_stop();
    struct library_case {
        std::string text;
        int base;
        bool replace;
        int threads;
        bool stop;
        bool existing;  // a file is at the target's name first
        rovurer::errc code;
        std::string message;
    };
    const library_case cases[] = {
        {"3.1415926535897932384 62", 10, false, 2, false, false, rovurer::errc{}, ""},
        {"3.14", 7, false, 1, false, false, rovurer::errc::unsupported_base, "base 7 is not 2, 10 or 16"},
        {"3.14", 10, false, -1, false, false, rovurer::errc::bad_option, "threads below 0 (-1)"},
        {"\n", 16, false, 1, false, false, rovurer::errc::no_digits, "holds no base-16 digits"},
        {"3.1x", 10, false, 1, false, false, rovurer::errc::bad_text, "line 1, column 4: 'x' is not a base-10 digit"},
        {"3.14", 10, false, 1, false, true, rovurer::errc::target_exists, "exists (--force replaces it)"},
        {"3.1415926535897932384 62", 10, true, 0, false, true, rovurer::errc{}, ""},
        {"3.14", 10, false, 1, true, false, rovurer::errc::stopped, "stopped"},
    };
    for (const library_case& c : cases) {
        fs::remove_all(fs_path(folder));
        fs::create_directories(fs_path(folder));
        const std::string target = folder + "/pi";
        if (c.existing) {
            write_bytes("library-pack/pi", "kept");
        }
        rovurer::pack_options options;
        options.replace = c.replace;
        options.threads = c.threads;
        options.stop = c.stop ? stopped.get_token() : std::stop_token();
        const rovurer::result<rovurer::packed> made = rovurer::pack_text(c.text, target, c.base, options);
        std::size_t names = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(fs_path(folder))) {
            ++names;
        }
        EXPECT_EQ(names, c.existing || made.ok() ? 1U : 0U) << c.text << ": a file was left behind";
        if (c.code != rovurer::errc{}) {
            ASSERT_FALSE(made.ok()) << c.text;
            EXPECT_EQ(made.error().code, c.code) << c.text;
            EXPECT_EQ(made.error().message, c.message) << c.text;
            EXPECT_EQ(c.existing ? file_contents(target) : "", c.existing ? "kept" : "") << c.text;
            continue;
        }
        ASSERT_TRUE(made.ok()) << made.error().message;
        EXPECT_EQ(made->word_count, 3);
        EXPECT_EQ(made->padding, 17);
        const rovurer::result<rovurer::file> packed = rovurer::file::open(target);
        ASSERT_TRUE(packed.ok());
        std::string digits(21, '\0');
        ASSERT_TRUE(rovurer::read(*packed, {10, 1, 21}, digits).ok());
        EXPECT_EQ(digits, "141592653589793238462");
    }
}

}  // namespace

#ifndef _WIN32
namespace {

// A regular file's text, cut to nothing just after its `cut_on`th piece is
// handed out: the pages of that piece are lost while it is packed.
class text_cut_while_packed final : public rovurer::text_source {
public:
    text_cut_while_packed(const std::string& path, const rovurer::platform::file& opened, int cut_on)
        : path_(path), inner_(rovurer::text_of_file(opened)), cut_on_(cut_on) {}
    bool next(std::size_t most, std::string_view* piece, int* error) override {
        const bool got = inner_->next(most, piece, error);
        if (++pieces_ == cut_on_) {
            std::filesystem::resize_file(fs_path(path_), 0);
        }
        return got;
    }
    bool last_whole(int* error) const override { return inner_->last_whole(error); }

private:
    std::string path_;
    std::unique_ptr<rovurer::text_source> inner_;
    int cut_on_;
    int pieces_ = 0;
};

// Words counted first go straight to their places: the file is the one
// written in the text's order and reversed, over more than a block of
// words, in every base, with and without an integer part; a text that
// changed between the count and the packing fails, leaving nothing.
TEST(Pack, CountedWordsGoToTheirPlacesAsTheReversedFileHasThem) {
    struct counted_case {
        int base;
        std::string integer;
        std::size_t digits;
    };
    const counted_case cases[] = {
        {10, "3.", 19 * rovurer::digit_file_writer::block_words + std::size_t{19 * 5 + 7}},
        {16, "", 16 * rovurer::digit_file_writer::block_words * 2 + 3},
        {2, "101.", 64 * 3 + 1},
        {10, "12345678901234567890123.", 19},
    };
    std::mt19937_64 random(5);
    for (const counted_case& test : cases) {
        std::string text = test.integer;
        for (std::size_t k = 0; k < test.digits; ++k) {
            text += "0123456789ABCDEF"[random() % static_cast<unsigned>(test.base)];
            if (k % 1000 == 999) {
                text += '\n';
            }
        }
        rovurer::pack_request request;
        request.base = test.base;
        request.threads = 2;
        const std::string reversed = temp_folder() + "/pack-reversed";
        const std::string placed = temp_folder() + "/pack-placed";
        const auto in_order = rovurer::text_in_memory(text);
        ASSERT_TRUE(rovurer::pack_to_file(*in_order, reversed, request).ok());
        const auto counting = rovurer::text_in_memory(text);
        const auto packing = rovurer::text_in_memory(text);
        const rovurer::result<rovurer::packed> made = rovurer::pack_to_file(*packing, placed, request, counting.get());
        ASSERT_TRUE(made.ok()) << made.error().message;
        EXPECT_TRUE(file_contents(placed) == file_contents(reversed)) << "base " << test.base << " " << test.digits;
        std::filesystem::remove(fs_path(placed));
        std::filesystem::remove(fs_path(reversed));
    }
    // The text counted is not the text packed: fewer words, or more.
    for (const std::string& counted : {std::string("3.14159"), std::string("3.") + std::string(100, '1')}) {
        const std::string packed_text = "3." + std::string(57, '2');
        const auto counting = rovurer::text_in_memory(counted);
        const auto packing = rovurer::text_in_memory(packed_text);
        const std::string target = temp_folder() + "/pack-changed";
        const rovurer::result<rovurer::packed> made =
            rovurer::pack_to_file(*packing, target, rovurer::pack_request{}, counting.get());
        ASSERT_FALSE(made.ok());
        EXPECT_EQ(made.error().code, rovurer::errc::read_failed);
        EXPECT_EQ(made.error().message, "changed while it was packed");
        EXPECT_EQ(made.error().file, 1);
        EXPECT_FALSE(std::filesystem::exists(fs_path(target)));
    }
}

TEST(Pack, APageOfTheTextLostWhileItIsPackedFailsTheRead) {
    if (tool_emulator[0] != nullptr) {
        GTEST_SKIP() << "qemu-user does not give this process the bus error of a page cut under its mapping";
    }
    const std::string text = "3." + std::string(3 * rovurer::pack_piece_bytes, '5');
    for (const int cut_on : {1, 2, 3}) {
        const std::string path = write_bytes("pack-cut-text", text);
        const rovurer::platform::file opened = rovurer::platform::open_sequential(path.c_str(), nullptr);
        ASSERT_TRUE(opened.is_open());
        text_cut_while_packed source(path, opened, cut_on);
        const std::string target = temp_folder() + "/pack-cut-target";
        rovurer::pack_request request;
        const rovurer::result<rovurer::packed> made = rovurer::pack_to_file(source, target, request);
        ASSERT_FALSE(made.ok()) << "cut on piece " << cut_on;
        EXPECT_EQ(made.error().code, rovurer::errc::read_failed) << made.error().message;
        EXPECT_EQ(made.error().file, 1);
        EXPECT_FALSE(std::filesystem::exists(fs_path(target)));
    }
}

}  // namespace
#endif
