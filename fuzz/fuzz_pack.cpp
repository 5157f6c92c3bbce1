// libFuzzer target: the reader of text digits that --pack uses. Input: one
// byte choosing the base and the size of the pieces, then the text. Checks:
// the text read in pieces gives what it gives read a byte at a time (the
// same words, lead words, padding, or the same problem), and the words
// number the lead words and the fraction's digits in whole words.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "write/pack.h"

namespace {

struct outcome {
    bool ok = true;
    std::vector<std::uint64_t> words;
    std::int64_t lead_words = 0;
    std::int64_t digits = 0;
    std::int64_t padding = 0;
    std::string problem;

    bool operator==(const outcome&) const = default;
};

outcome read_in_pieces(std::string_view text, int base, std::size_t piece) {
    rovurer::digit_text_reader reader(base);
    outcome out;
    for (std::size_t at = 0; at < text.size() && out.ok; at += piece) {
        out.ok = reader.read(text.substr(at, piece), out.words, 2);
    }
    if (out.ok) {
        reader.end(out.words);
        out.lead_words = reader.lead_words();
        out.digits = reader.fraction_digits();
        out.padding = reader.padding();
    } else {
        out.words.clear();
    }
    out.problem = reader.problem();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int base = data[0] % 3 == 0 ? 2 : data[0] % 3 == 1 ? 10 : 16;
    const std::size_t piece = 1 + (data[0] / 3) % 64;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const outcome by_byte = read_in_pieces(text, base, 1);
    const outcome by_piece = read_in_pieces(text, base, piece);
    const outcome whole = read_in_pieces(text, base, text.size() + 1);
    if (!(by_byte == by_piece) || !(by_byte == whole)) {
        std::abort();
    }
    const std::int64_t per_word = base == 10 ? 19 : base == 16 ? 16 : 64;
    if (whole.ok &&
        static_cast<std::int64_t>(whole.words.size()) != whole.lead_words + (whole.digits + whole.padding) / per_word) {
        std::abort();
    }
    if (whole.ok && (whole.digits + whole.padding) % per_word != 0) {
        std::abort();
    }
    return 0;
}
