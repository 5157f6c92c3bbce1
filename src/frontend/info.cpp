#include "frontend/info.h"

#include "engine/header_digits.h"
#include "frontend/refusal.h"
#include "reader/digit_stream.h"

namespace rovurer {

namespace {

void append_line(output_buffer& out, const char* key, const std::string& value) {
    out.append(key);
    out.put(' ');
    out.append(value.c_str());
    out.put('\n');
}

}  // namespace

bool describe_file(output_buffer& out, const char* filename, std::vector<std::string>* problems) {
    problems->clear();
    const std::string name = shown_name(filename) + ": ";
    const digit_file::opening opening = digit_file::open(filename);
    if (opening.verdict.check != digit_file::check::ok) {
        problems->push_back(file_problem(filename, opening.verdict));
        return false;
    }
    const std::int64_t size = platform::file_size(opening.file);
    if (size < 0) {
        problems->push_back(name + "not a regular file, so its size is unknown");
        return false;
    }
    constexpr auto header_bytes = static_cast<std::int64_t>(digit_file::header_bytes);
    const digit_file::header& header = opening.verdict.header;
    const std::int64_t data_bytes = size > header_bytes ? size - header_bytes : 0;
    const std::int64_t data_words = data_bytes / 8;
    append_line(out, "word_count", std::to_string(header.word_count));
    append_line(out, "lead_words", std::to_string(header.lead_words));
    append_line(out, "data_words", std::to_string(data_words));
    append_line(out, "digits_base10", digits_from_position_one(header, 10));
    append_line(out, "digits_base16", digits_from_position_one(header, 16));
    append_line(out, "digits_base2", digits_from_position_one(header, 2));

    if (data_words < header.word_count) {
        problems->push_back(name + "the data region holds " + std::to_string(data_words) + " words, fewer than the " +
                            std::to_string(header.word_count) + " of word_count");
    }
    if (data_bytes % 8 != 0) {
        problems->push_back(name + "the data region ends in part of a word (" + std::to_string(data_bytes % 8) +
                            " bytes after the last whole word)");
    }
    if (header.word_count < 0) {
        problems->push_back(name + "word_count is negative (" + std::to_string(header.word_count) + ")");
    } else if (header.lead_words >= header.word_count) {
        problems->push_back(name + "no digits from position 1: lead_words (" + std::to_string(header.lead_words) +
                            ") is not below word_count (" + std::to_string(header.word_count) + ")");
    }
    return true;
}

}  // namespace rovurer
