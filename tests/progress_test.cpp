// The progress meter against a clock the test moves: when lines are drawn,
// what they say, and how they are erased.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/progress.h"

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
