// digit_run: the run of digits a command names (a file, a base, a 1-based
// position and a count), read in bulk. The viewer, the search and the count
// all walk a run the same way.
#pragma once

#include <atomic>
#include <cstdint>

#include "reader/digit_stream.h"

namespace rovurer {

// What watches a run for a caller of its own: whether it is asked to stop,
// checked before each read, and the digits handed out, after each read.
// Parts of one job on several threads share one watch, so both are called
// from those threads at once.
class run_watch {
public:
    virtual bool stop_requested() = 0;
    virtual void advanced(std::int64_t digits) = 0;

protected:
    ~run_watch() = default;
};

class digit_run {
public:
    // Digits read at a time: whole words in every base (19, 16 and 64
    // digits a word), and few enough to stay in the first-level cache
    // between conversion and use.
    static constexpr std::int64_t chunk_digits = std::int64_t{19} * 16 * 64;

    // Opens the run of up to `nb_digits` digits of `filename` in `base` from
    // `pos`, opening the file once; opened() says whether it could, and
    // refusal() why not (a position below 1 is a negative offset). Reads no
    // data.
    digit_run(const char* filename, std::int32_t base, std::int64_t pos, std::int64_t nb_digits);
    // Opens a run of the file `whole` reads, as the header said when it was
    // opened, from `pos` for up to `nb_digits` digits in its base: a part of
    // it, on the same descriptor, so that every part reads the one version of
    // the file that was opened. `whole` must be opened and outlive the part.
    digit_run(const digit_run& whole, std::int64_t pos, std::int64_t nb_digits);
    // Opens a run of `file`, a digit file whose header (read when it was
    // opened) is `header`, in `base` from `pos` for up to `nb_digits`
    // digits. `file` must stay open while the run lives.
    digit_run(const platform::file& file, const digit_file::header& header, std::int32_t base, std::int64_t pos,
              std::int64_t nb_digits);
    ~digit_run();
    digit_run(const digit_run&) = delete;
    digit_run& operator=(const digit_run&) = delete;

    bool opened() const { return stream_ != nullptr; }

    // Long spans of the file are then mapped and read in place, not copied
    // (digit_stream_read_in_place). Before the first read.
    void read_in_place() { digit_stream_read_in_place(stream_); }

    // Whether a read of the data failed, even one that no call has returned
    // yet (a mapped page lost while its words were in use).
    bool failed() const { return digit_stream_failed(stream_); }
    // Whether it failed for want of memory for its block buffer.
    bool lacks_memory() const { return digit_stream_out_of_memory(stream_); }
    const digit_stream_refusal& refusal() const { return refusal_; }

    // The digits the run will give unless a read fails: nb_digits, or fewer
    // where the data ends first. The run must be opened.
    std::int64_t length() const {
        const std::int64_t available = digit_stream_length(stream_);
        return nb_digits_ < available ? (nb_digits_ > 0 ? nb_digits_ : 0) : available;
    }

    // Digits from the run's position to the first word boundary: 0 when the
    // position starts a word.
    std::int64_t digits_before_word() const {
        const std::int64_t per_word = digits_per_word(base_);
        const std::int64_t into_word = (pos_ - 1) % per_word;
        return into_word == 0 ? 0 : per_word - into_word;
    }

    // Whole words, when the run is at a word boundary: see
    // digit_stream_words_ready and digit_stream_take_words. Taken words
    // count as their digits.
    std::int64_t words_ready() { return digit_stream_words_ready(stream_); }
    // Words a caller takes at a time at most, so that a stop is seen within
    // a chunk of words: 128 KiB of the file. Fewer a take cost more than the
    // stop saves (the kernels that count and compare whole words start up
    // on each take: 1,024 words a take made counting 7 % slower).
    static constexpr std::int64_t chunk_words = 16384;
    const std::uint64_t* take_words(std::int64_t count);
    std::int32_t base() const { return base_; }

    // The digits from the run's position to the end of the data, as the
    // header declares it, whatever nb_digits is.
    std::int64_t available() const { return digit_stream_length(stream_); }

    // Adds the digits of every later read to `*done` (which must outlive
    // the reads), for a progress display; nullptr for none.
    void count_into(std::atomic<std::int64_t>* done) { done_ = done; }

    // Reads stop, as they do for platform::stop_signal, when `watch` asks;
    // it hears of every digit handed out. `watch` must outlive the reads.
    void watch_with(run_watch* watch) { watch_ = watch; }

    // The kernel set that converts and scans the run's digits
    // (digit_stream_use_kernels): a part opened on a whole run has the
    // whole's. Before the first read.
    void use_kernels(const kernels::digit_kernels& set) { digit_stream_use_kernels(stream_, set); }
    const kernels::digit_kernels& kernels() const { return digit_stream_kernels(stream_); }

    // Writes the next digits of the run, at most `capacity`, to `digits`.
    // Returns how many, 0 at the end of the run (or of the data), or
    // read_failed when a read of the data failed (after the digits before it
    // were returned; at the end, when failed()), or when a signal asked the
    // job to stop (platform::stop_signal) or the run's watch asks it to. The
    // run must be opened. take_words stops the same way.
    std::int64_t read(char* digits, std::int64_t capacity);
    static constexpr std::int64_t read_failed = digit_stream_read_failed;

    // Digits returned so far, and whether they are all that was asked for.
    std::int64_t taken() const { return taken_; }
    bool complete() const { return taken_ >= nb_digits_; }

    // What the run has read of the file so far; the run must be opened.
    word_source::reading progress() const { return digit_stream_progress(stream_); }

    // The 1-based file position of the digit at 0-based `index` of the run.
    // Exact: pos and index are below 2^63, so their sum fits.
    std::uint64_t position_of(std::int64_t index) const {
        return static_cast<std::uint64_t>(pos_) + static_cast<std::uint64_t>(index);
    }

private:
    digit_stream* stream_ = nullptr;
    digit_stream_refusal refusal_;
    std::int32_t base_;
    std::int64_t pos_;
    std::int64_t nb_digits_;
    std::int64_t taken_ = 0;
    std::atomic<std::int64_t>* done_ = nullptr;
    run_watch* watch_ = nullptr;

    bool asked_to_stop() const;
    void hand_out(std::int64_t digits);
};

}  // namespace rovurer
