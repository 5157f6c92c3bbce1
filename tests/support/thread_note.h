// The note that --threads was capped, for the tests and the fuzzer: they
// ask for more threads than a small machine has.
#pragma once

#include <string>

// Messages without that note, when it is the first line.
inline std::string without_thread_note(const std::string& messages) {
    const std::string note = "rovurer: --threads ";
    if (messages.compare(0, note.size(), note) != 0 || messages.find(": this process may use ") > messages.find('\n')) {
        return messages;
    }
    const std::size_t end = messages.find('\n');
    return end == std::string::npos ? "" : messages.substr(end + 1);
}
