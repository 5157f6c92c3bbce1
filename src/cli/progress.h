// A one-line progress display on standard error for long jobs: percent
// done, digits done of the total, the rate and the time left, redrawn at
// most four times a second by a thread of its own, and erased at the end.
//
// progress_meter decides what is drawn and when, from times it is given;
// progress_display runs it on a thread against a clock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace rovurer {

enum class progress_mode {
    automatic,  // when standard error is a terminal and the job runs past a second
    forced,     // from the start, wherever standard error goes
    off,
};

// Times in nanoseconds of a monotonic clock.
using progress_time = std::int64_t;
inline constexpr progress_time progress_second = 1000000000;
inline constexpr progress_time progress_redraw_every = progress_second / 4;

class progress_meter {
public:
    // A job of `total` digits (or of another `unit`: "bytes") that started
    // at `start`: automatic meters draw from a second after it, forced ones
    // from the start.
    progress_meter(progress_mode mode, std::int64_t total, progress_time start, const char* unit = "digits");

    // What to write at `now`, when `done` digits are done: the line, drawn
    // over the one before (a carriage return first, blanks where the new
    // line is shorter), or "" when no line is due: before the first second
    // of an automatic meter, within a quarter second of the last line, or
    // once erased.
    std::string update(progress_time now, std::int64_t done);

    // When the next line is due.
    progress_time next_due() const { return next_due_; }

    // What erases the line (blanks between two carriage returns), "" when
    // none is on the screen; nothing is drawn afterwards.
    std::string erase();

    // The line shown when `done` of `total` digits took `seconds`: the time
    // left rounds up, so that it reads 0:00:00 only at the end.
    static std::string line(std::int64_t done, std::int64_t total, double seconds, const char* unit = "digits");

private:
    std::int64_t total_;
    const char* unit_;
    progress_time start_;
    progress_time next_due_;
    std::size_t drawn_ = 0;  // characters of the line on the screen
    bool erased_ = false;
};

// A monotonic clock: steady_clock's time in nanoseconds, or a test's.
using progress_clock = progress_time (*)();
progress_time steady_now();

namespace detail {
// A seam for tests: the clock of displays made without one; nullptr for
// steady_now. Set it while no display is in use.
void set_progress_clock(progress_clock clock);
}  // namespace detail

class progress_display {
public:
    // Shows how many of `total` digits `*done` has counted (done must outlive
    // the display), from now by `clock`. A forced display draws its first
    // line before the constructor returns. Does nothing when off, when
    // automatic and standard error is not a terminal, or when no thread can
    // be started (a forced line then stays until stop()).
    // With no clock, steady_now (or the test's: detail::set_progress_clock).
    progress_display(progress_mode mode, std::int64_t total, const std::atomic<std::int64_t>* done,
                     progress_clock clock = nullptr, const char* unit = "digits");
    ~progress_display() { stop(); }
    progress_display(const progress_display&) = delete;
    progress_display& operator=(const progress_display&) = delete;

    // Stops the thread and erases the line, if one was drawn; before
    // anything else is written to standard error.
    void stop();

private:
    void run();

    progress_clock clock_;
    const std::atomic<std::int64_t>* done_;
    progress_meter meter_;
    bool active_ = false;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

// The progress line of a library call, drawn from the call's progress
// callbacks: made at the first, which the call makes on the calling thread
// with the total before any work, and fed by the rest.
class call_progress {
public:
    explicit call_progress(progress_mode mode, const char* unit = "digits") : mode_(mode), unit_(unit) {}
    call_progress(const call_progress&) = delete;
    call_progress& operator=(const call_progress&) = delete;

    // The callback for the call's options; valid while this lives.
    std::function<void(std::int64_t done, std::int64_t total)> callback() {
        return [this](std::int64_t done, std::int64_t total) {
            if (!display_) {
                display_.emplace(mode_, total, &done_, nullptr, unit_);
            }
            done_.store(done, std::memory_order_relaxed);
        };
    }

    // Erases the line; before anything else is written to standard error.
    void stop() {
        if (display_) {
            display_->stop();
        }
    }

private:
    progress_mode mode_;
    const char* unit_;
    std::atomic<std::int64_t> done_{0};
    std::optional<progress_display> display_;
};

}  // namespace rovurer
