// rovurer::inspect: the header's facts and what is wrong with the file.
#include "rovurer/info.h"

#include <new>

#include "library/messages.h"

namespace rovurer {

result<file_report> inspect(const std::string& path) {
    try {
        result<file> opened = file::open(path);
        if (!opened) {
            return opened.error();
        }
        file_report report;
        report.facts = opened->facts();
        const header_facts& facts = report.facts;
        if (facts.data_words < 0) {
            return error{errc::size_unknown, "not a regular file, so its size is unknown"};
        }
        if (facts.data_words < facts.word_count) {
            report.problems.push_back("the data region holds " + std::to_string(facts.data_words) +
                                      " words, fewer than the " + std::to_string(facts.word_count) + " of word_count");
        }
        if (facts.data_bytes % 8 != 0) {
            report.problems.push_back("the data region ends in part of a word (" +
                                      std::to_string(facts.data_bytes % 8) + " bytes after the last whole word)");
        }
        if (facts.word_count < 0) {
            report.problems.push_back("word_count is negative (" + std::to_string(facts.word_count) + ")");
        } else if (facts.lead_words >= facts.word_count) {
            report.problems.push_back("no digits from position 1: lead_words (" + std::to_string(facts.lead_words) +
                                      ") is not below word_count (" + std::to_string(facts.word_count) + ")");
        }
        return report;
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace rovurer
