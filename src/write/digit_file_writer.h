// A digit file written whole or not at all: its words go to a temporary
// file beside the target, which takes the target's name only once it is
// complete and flushed to the device. Until then, and after any failure,
// nothing is at the target's name that was not there before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "rovurer/result.h"

namespace rovurer {

class digit_file_writer {
public:
    // Creates the temporary file beside `target`. Refuses a target that
    // exists (errc::target_exists) unless `replace`.
    digit_file_writer(std::string target, bool replace);
    // Removes the temporary file unless finish() gave it the target's name.
    ~digit_file_writer();
    digit_file_writer(const digit_file_writer&) = delete;
    digit_file_writer& operator=(const digit_file_writer&) = delete;

    // False when the writer failed: failure() says why, and every call
    // after it does nothing.
    bool ok() const { return failure_.code == errc{}; }
    const rovurer::error& failure() const { return failure_; }

    // Says how many words will be appended, before the first: then each
    // block is written reversed at its place in the file's order, with no
    // pass to reverse the file at the end; finish() fails when another
    // number of words came.
    void expect_words(std::int64_t total) { expected_ = total; }

    // Appends words in the order the digits are read: the most significant
    // first, the integer part's words first of all. A thread of the writer
    // writes each full block while the caller makes the next; a write that
    // fails is told by the next call.
    bool append(std::span<const std::uint64_t> words);

    // Puts the words in the file's order (the most significant at the end),
    // writes the header (magic, word_count, kind 2, lead_words, zeros),
    // flushes the file, and gives it the target's name.
    bool finish(std::int64_t lead_words);

    std::int64_t words_written() const { return words_; }

    // The words buffered before a write, and the block of the reversal.
    static constexpr std::size_t block_words = std::size_t{1} << 20;

private:
    bool fail(errc code, int system_error, std::string message);
    bool text_changed();
    bool write_buffered();
    bool wait_for_writes();
    void stop_writing();
    void write_loop();
    bool reverse_words();

    std::string target_;
    std::string temporary_;
    bool replace_;
    platform::file file_;
    std::vector<std::uint64_t> buffer_;
    std::int64_t words_ = 0;      // written to the file, or handed to the thread that writes
    std::int64_t expected_ = -1;  // the words that will come, when known
    bool named_ = false;
    rovurer::error failure_;

    // The block the writing thread writes, and what it says.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint64_t> in_flight_;
    std::int64_t in_flight_at_ = 0;  // its first word's index
    int write_error_ = 0;
    bool closing_ = false;
    std::thread writer_;  // not joinable: blocks are written on the caller's thread
};

}  // namespace rovurer
