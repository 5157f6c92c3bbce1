// The progress meter against a clock the test moves: when lines are drawn,
// what they say, and how they are erased.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/progress.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include <atomic>

using namespace rovurer;

namespace {

constexpr progress_time start = 5 * progress_second;  // any clock origin
constexpr progress_time ms = progress_second / 1000;

TEST(Progress, LinesAreDueAsTheModeSays) {
    struct step {
        progress_time at;  // after the start
        std::int64_t done;
        bool drawn;
    };
    struct schedule {
        progress_mode mode;
        std::vector<step> steps;
    };
    const std::vector<schedule> schedules = {
        // Automatic: nothing before the first second, then at most every
        // quarter of a second.
        {progress_mode::automatic,
         {{0, 0, false},
          {999 * ms, 10, false},
          {1000 * ms, 10, true},
          {1001 * ms, 10, false},
          {1249 * ms, 10, false},
          {1250 * ms, 20, true},
          {1400 * ms, 20, false},
          {3000 * ms, 30, true}}},
        // Forced: from the start.
        {progress_mode::forced, {{0, 0, true}, {100 * ms, 1, false}, {250 * ms, 2, true}, {499 * ms, 2, false}}},
    };
    for (const schedule& plan : schedules) {
        progress_meter meter(plan.mode, 100, start);
        for (const step& at : plan.steps) {
            const std::string text = meter.update(start + at.at, at.done);
            EXPECT_EQ(!text.empty(), at.drawn) << static_cast<int>(plan.mode) << " at " << at.at / ms << " ms";
        }
    }
}

TEST(Progress, LinesSayWhatIsDoneTheTrueRateAndTheTimeLeftRoundedUp) {
    struct case_row {
        std::int64_t done;
        std::int64_t total;
        double seconds;
        std::string line;
    };
    const std::vector<case_row> rows = {
        {0, 1000, 0.0, "rovurer:   0.0%  0 of 1000 digits  0 digits/s  ? left"},
        {250, 1000, 1.0, "rovurer:  25.0%  250 of 1000 digits  250 digits/s  0:00:03 left"},
        // 1 digit left at 1000 a second: a part of a second is a whole one.
        {999, 1000, 0.999, "rovurer:  99.9%  999 of 1000 digits  1e+03 digits/s  0:00:01 left"},
        {1000, 1000, 2.0, "rovurer: 100.0%  1000 of 1000 digits  500 digits/s  0:00:00 left"},
        // Overlapping parts count a few digits twice: never past the total.
        {1010, 1000, 1.0, "rovurer: 100.0%  1000 of 1000 digits  1e+03 digits/s  0:00:00 left"},
        {3600000000, 7200000001, 3600.0,
         "rovurer:  50.0%  3600000000 of 7200000001 digits  1e+06 digits/s  1:00:01 left"},
    };
    for (const case_row& row : rows) {
        EXPECT_EQ(progress_meter::line(row.done, row.total, row.seconds), row.line);
    }
    // The first line of a meter shows the rate since the job started.
    progress_meter meter(progress_mode::automatic, 4000000000, start);
    EXPECT_EQ(meter.update(start + 2 * progress_second, 2000000000),
              "\rrovurer:  50.0%  2000000000 of 4000000000 digits  1e+09 digits/s  0:00:02 left");
}

TEST(Progress, ShorterLinesBlankTheRestAndEraseLeavesNothing) {
    progress_meter shrinking(progress_mode::forced, 1000000000000, start);
    const std::string wide = shrinking.update(start + progress_second, 123456789012);
    const std::string narrow = shrinking.update(start + 1000 * progress_second, 1000000000000);
    const std::string narrow_text = progress_meter::line(1000000000000, 1000000000000, 1000.0);
    ASSERT_LT(narrow_text.size(), wide.size() - 1);
    EXPECT_EQ(wide.front(), '\r');
    std::string redrawn(1, '\r');
    redrawn += narrow_text;
    redrawn.append(wide.size() - 1 - narrow_text.size(), ' ');
    EXPECT_EQ(narrow, redrawn);
    // Erased: carriage return, blanks over the line, carriage return;
    // then nothing more.
    std::string blanked(narrow_text.size() + 2, ' ');
    blanked.front() = '\r';
    blanked.back() = '\r';
    EXPECT_EQ(shrinking.erase(), blanked);
    EXPECT_EQ(shrinking.update(start + 10 * progress_second, 5), "");
    EXPECT_EQ(shrinking.erase(), "");
    // A meter that drew nothing erases nothing.
    progress_meter quiet(progress_mode::automatic, 1000, start);
    EXPECT_EQ(quiet.update(start + 999 * ms, 1000), "");
    EXPECT_EQ(quiet.erase(), "");
}

}  // namespace

#ifndef _WIN32
namespace {

// A clock that starts the job at 5 s and reads 7 s from then on: a job
// past its first second, with no time passing.
std::atomic<int> clock_reads{0};
progress_time two_seconds_in() {
    return clock_reads.fetch_add(1) == 0 ? start : start + 2 * progress_second;
}

// Runs the tool in this process with standard error on a terminal (a
// pseudo-terminal that the test reads), and returns what reached it.
std::string terminal_output_of(const std::vector<std::string>& args) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(::grantpt(master), 0);
    EXPECT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_GE(terminal, 0);
    const int saved_error = ::dup(2);
    EXPECT_EQ(::dup2(terminal, 2), 2);
    std::vector<const char*> argv;
    argv.reserve(args.size());
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::string out;
    std::string err;
    {
        console_stream out_buffer(append_to_string, &out);
        console_stream err_buffer(append_to_string, &err);
        clock_reads = 0;
        detail::set_progress_clock(two_seconds_in);
        const int status = run_rovurer(static_cast<int>(argv.size()), argv.data(), out_buffer, err_buffer);
        detail::set_progress_clock(nullptr);
        EXPECT_EQ(status, 0) << err;
    }
    ::dup2(saved_error, 2);
    ::close(saved_error);
    ::close(terminal);
    std::string shown;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t got = 0; (got = ::read(master, buffer, sizeof buffer)) > 0;) {
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(master);
    return shown;
}

TEST(Progress, OnATerminalTheLineIsDrawnAsTheOptionsSay) {
#ifdef ROVURER_NO_THREADS
    GTEST_SKIP() << "a build without helper threads shows no progress";
#endif
    const std::string file = write_digit_file("progress-words", std::vector<std::uint64_t>(1000, 12345), 1);
    struct terminal_case {
        std::vector<std::string> args;
        bool drawn;
    };
    const terminal_case cases[] = {
        {{"rovurer", "--count", file, "10"}, true},  // past a second, on a terminal
        {{"rovurer", "--progress", "--count", file, "10"}, true},
        {{"rovurer", "--no-progress", "--count", file, "10"}, false},
        {{"rovurer", "--no-progress", "--find", "12345", file, "10"}, false},
        {{"rovurer", "--no-progress", "--group", "0", file, "10", "1", "5000"}, false},
        {{"rovurer", "--no-progress", "--compare", file, file, "10"}, false},
        {{"rovurer", "--group", "0", file, "10", "1", "5000"}, true},
        {{"rovurer", file, "10", "1", "5000"}, false},  // never for the plain form
    };
    for (const terminal_case& wanted : cases) {
        const std::string shown = terminal_output_of(wanted.args);
        std::string named;
        for (const std::string& arg : wanted.args) {
            named += arg + " ";
        }
        EXPECT_EQ(shown.find("rovurer: ") != std::string::npos, wanted.drawn) << named << "\n" << shown;
    }
}

}  // namespace
#endif
