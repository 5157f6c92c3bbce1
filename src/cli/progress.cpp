#include "cli/progress.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/platform.h"

namespace rovurer {

namespace {

void write_error(const std::string& text) {
    if (!text.empty()) {
        (void)platform::write(platform::stream::error, text.data(), text.size());
    }
}

// Whole seconds as H:MM:SS, a part of a second counting as a whole one.
std::string duration(double seconds) {
    const double capped = seconds < 0 ? 0 : seconds > 3.6e8 ? 3.6e8 : seconds;
    auto whole = static_cast<long long>(capped);
    whole += static_cast<double>(whole) < capped ? 1 : 0;
    char text[32];
    (void)std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

}  // namespace

progress_meter::progress_meter(progress_mode mode, std::int64_t total, progress_time start, const char* unit)
    : total_(total),
      unit_(unit),
      start_(start),
      next_due_(mode == progress_mode::forced ? start : start + progress_second) {}

std::string progress_meter::line(std::int64_t done, std::int64_t total, double seconds, const char* unit) {
    // Parts of a search read a few digits twice, where they overlap.
    done = done < total ? done : total;
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    const std::string left = rate > 0 ? duration(static_cast<double>(total - done) / rate) : "?";
    char text[160];
    (void)std::snprintf(text, sizeof text, "rovurer: %5.1f%%  %lld of %lld %s  %.3g %s/s  %s left", 100.0 * fraction,
                        static_cast<long long>(done), static_cast<long long>(total), unit, rate, unit, left.c_str());
    return text;
}

std::string progress_meter::update(progress_time now, std::int64_t done) {
    if (erased_ || now < next_due_) {
        return {};
    }
    const std::string text = line(done, total_, static_cast<double>(now - start_) / progress_second, unit_);
    // Redraw over the last line, blanking what the new one does not cover.
    std::string drawn(1, '\r');
    drawn += text;
    if (text.size() < drawn_) {
        drawn.append(drawn_ - text.size(), ' ');
    }
    drawn_ = text.size();
    next_due_ = now + progress_redraw_every;
    return drawn;
}

std::string progress_meter::erase() {
    erased_ = true;
    if (drawn_ == 0) {
        return {};
    }
    std::string blank(drawn_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    drawn_ = 0;
    return blank;
}

progress_time steady_now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {
progress_clock test_clock = nullptr;
}  // namespace

void detail::set_progress_clock(progress_clock clock) {
    test_clock = clock;
}

progress_display::progress_display(progress_mode mode, std::int64_t total, const std::atomic<std::int64_t>* done,
                                   progress_clock clock, const char* unit)
    : clock_(clock != nullptr        ? clock
             : test_clock != nullptr ? test_clock
                                     : steady_now),
      done_(done),
      meter_(mode, total, clock_(), unit) {
#ifdef ROVURER_NO_THREADS
    mode = progress_mode::off;
#endif
    if (mode == progress_mode::off ||
        (mode == progress_mode::automatic && !platform::is_terminal(platform::stream::error))) {
        return;
    }
    active_ = true;
    // The first line of a forced display is drawn now, so that even a job
    // that ends before its thread runs shows it.
    write_error(meter_.update(clock_(), done_->load(std::memory_order_relaxed)));
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No redraws.
    }
}

void progress_display::run() {
    std::unique_lock<std::mutex> held(lock_);
    while (!stopping_) {
        write_error(meter_.update(clock_(), done_->load(std::memory_order_relaxed)));
        const progress_time wait = meter_.next_due() - clock_();
        wake_.wait_for(held, std::chrono::nanoseconds(wait > 0 ? wait : 0), [this] { return stopping_; });
    }
}

void progress_display::stop() {
    if (!active_) {
        return;
    }
    active_ = false;
    if (thread_.joinable()) {
        {
            const std::lock_guard<std::mutex> held(lock_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    write_error(meter_.erase());
}

}  // namespace rovurer
