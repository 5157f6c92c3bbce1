#include "frontend/progress.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/platform.h"

namespace rovurer {

namespace {

using clock_type = std::chrono::steady_clock;

constexpr auto redraw_every = std::chrono::milliseconds(250);
constexpr auto automatic_after = std::chrono::seconds(1);

void write_error(const std::string& text) {
    (void)platform::write(platform::stream::error, text.data(), text.size());
}

std::string duration(double seconds) {
    const auto whole = static_cast<long long>(seconds < 0 ? 0 : seconds > 3.6e8 ? 3.6e8 : seconds);
    char text[32];
    (void)std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

}  // namespace

progress_display::progress_display(progress_mode mode, std::int64_t total, const std::atomic<std::int64_t>* done)
    : total_(total), done_(done) {
#ifdef ROVURER_NO_THREADS
    mode = progress_mode::off;
#endif
    if (mode == progress_mode::off ||
        (mode == progress_mode::automatic && !platform::is_terminal(platform::stream::error))) {
        return;
    }
    try {
        thread_ = std::thread([this, mode] { run(mode == progress_mode::forced); });
    } catch (const std::system_error&) {
        // No display.
    }
}

std::string progress_display::line(std::int64_t done, std::int64_t total, double seconds) {
    // Parts of a search read a few digits twice, where they overlap.
    done = done < total ? done : total;
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    const std::string left = rate > 0 ? duration(static_cast<double>(total - done) / rate) : "?";
    char text[160];
    (void)std::snprintf(text, sizeof text, "rovurer: %5.1f%%  %lld of %lld digits  %.3g digits/s  %s left",
                        100.0 * fraction, static_cast<long long>(done), static_cast<long long>(total), rate,
                        left.c_str());
    return text;
}

void progress_display::run(bool forced) {
    const auto start = clock_type::now();
    std::unique_lock<std::mutex> held(lock_);
    if (!forced && wake_.wait_until(held, start + automatic_after, [this] { return stopping_; })) {
        return;  // a short job shows nothing
    }
    while (!stopping_) {
        const std::chrono::duration<double> elapsed = clock_type::now() - start;
        const std::string text = line(done_->load(std::memory_order_relaxed), total_, elapsed.count());
        // Redraw over the last line, blanking what the new one does not cover.
        std::string drawn(1, '\r');
        drawn += text;
        if (text.size() < drawn_) {
            drawn.append(drawn_ - text.size(), ' ');
        }
        write_error(drawn);
        drawn_ = text.size();
        wake_.wait_for(held, redraw_every, [this] { return stopping_; });
    }
}

void progress_display::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> held(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (drawn_ > 0) {
        std::string blank(drawn_ + 2, ' ');
        blank.front() = '\r';
        blank.back() = '\r';
        write_error(blank);
        drawn_ = 0;
    }
}

}  // namespace rovurer
