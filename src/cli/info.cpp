#include "cli/info.h"

#include "cli/refusal.h"
#include "rovurer/file.h"

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
    const result<file> opened = file::open(filename);
    if (!opened) {
        problems->push_back(name + opened.error().message);
        return false;
    }
    const header_facts& facts = opened->facts();
    if (facts.data_words < 0) {
        problems->push_back(name + "not a regular file, so its size is unknown");
        return false;
    }
    append_line(out, "word_count", std::to_string(facts.word_count));
    append_line(out, "lead_words", std::to_string(facts.lead_words));
    append_line(out, "data_words", std::to_string(facts.data_words));
    for (const int base : {10, 16, 2}) {
        append_line(out, ("digits_base" + std::to_string(base)).c_str(), facts.digits_text(base));
    }
    if (facts.data_words < facts.word_count) {
        problems->push_back(name + "the data region holds " + std::to_string(facts.data_words) +
                            " words, fewer than the " + std::to_string(facts.word_count) + " of word_count");
    }
    if (facts.data_bytes % 8 != 0) {
        problems->push_back(name + "the data region ends in part of a word (" + std::to_string(facts.data_bytes % 8) +
                            " bytes after the last whole word)");
    }
    if (facts.word_count < 0) {
        problems->push_back(name + "word_count is negative (" + std::to_string(facts.word_count) + ")");
    } else if (facts.lead_words >= facts.word_count) {
        problems->push_back(name + "no digits from position 1: lead_words (" + std::to_string(facts.lead_words) +
                            ") is not below word_count (" + std::to_string(facts.word_count) + ")");
    }
    return true;
}

}  // namespace rovurer
