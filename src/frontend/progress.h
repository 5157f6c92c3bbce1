// A one-line progress display on standard error for long jobs: percent
// done, digits done of the total, the rate and the time left, redrawn at
// most four times a second by a thread of its own, and erased at the end.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace rovurer {

enum class progress_mode {
    automatic,  // when standard error is a terminal and the job runs past a second
    forced,     // from the start, wherever standard error goes
    off,
};

class progress_display {
public:
    // Shows how many of `total` digits `*done` has counted (done must outlive
    // the display). Does nothing when off, or when no thread can be started.
    progress_display(progress_mode mode, std::int64_t total, const std::atomic<std::int64_t>* done);
    ~progress_display() { stop(); }
    progress_display(const progress_display&) = delete;
    progress_display& operator=(const progress_display&) = delete;

    // Stops the thread and erases the line, if one was drawn; before
    // anything else is written to standard error.
    void stop();

    // The line drawn when `done` of `total` digits took `seconds`.
    static std::string line(std::int64_t done, std::int64_t total, double seconds);

private:
    void run(bool forced);

    std::int64_t total_;
    const std::atomic<std::int64_t>* done_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::size_t drawn_ = 0;  // characters of the line on the screen
    std::thread thread_;
};

}  // namespace rovurer
