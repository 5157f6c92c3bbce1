// The questions researchers ask of digits: the statistics of a range
// (frequencies, overlapping pairs and triples, poker hands, gaps, the
// longest runs, a random walk), counts per block, runs of equal digits,
// the strings that occur and the smallest number that does not, positions
// that spell themselves, and the walk as a picture.
//
// Every call takes scan_options as the scans of scan.h do: threads (the
// answer is the same for any number), kernels, progress, stop and a part of
// the range. Parts merge exactly into the whole range's answer: a state
// (statistics_state, strings_state) merges with the state of the part that
// follows it, and the text of the calls that write lines concatenates.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rovurer/export.h"
#include "rovurer/file.h"
#include "rovurer/result.h"
#include "rovurer/scan.h"
#include "rovurer/text.h"

namespace rovurer {

// A chi-square test: the statistic, its degrees of freedom and its p-value
// (the regularized upper incomplete gamma function, in double precision).
// A range too short for the test (an expected count below 5 in a class)
// has too_short set, and no statistic or p-value.
struct chi_square_test {
    double statistic = 0;
    std::int64_t df = 0;
    double p_value = 0;
    bool too_short = true;
};

// P(chi-square with `df` degrees of freedom >= `statistic`).
ROVURER_API double chi_square_p_value(double statistic, double df);

// The poker test's hands: five digits, non-overlapping, from the range's
// first digit, by pattern.
enum class poker_hand {
    all_different,
    one_pair,
    two_pairs,
    three_of_a_kind,
    full_house,
    four_of_a_kind,
    five_of_a_kind
};
inline constexpr int poker_hands = 7;

// The gap test's classes for a base: gaps of 0 to gap_classes(base) - 1
// digits, then one class for longer ones. Chosen so that the last class
// holds about 5% of the gaps.
ROVURER_API int gap_classes(int base);

// The random walk: a step a base-4 digit (0: +x, 1: +y, 2: -x, 3: -y). In
// base 2 two binary digits make a step, in base 16 each digit makes two
// (its high pair of bits, then its low pair); in base 10 the digits 0 to 7
// step as d mod 4 and 8 and 9 make no step, so that each direction is as
// likely as the others.
struct walk_extent {
    std::int64_t steps = 0;
    std::int64_t x = 0, y = 0;  // where it ends
    std::int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};

// The longest run of a digit: its length and where it first occurs (0, 0
// for a digit that never occurs).
struct longest_run {
    std::int64_t length = 0;
    std::int64_t pos = 0;
};

// What a stretch of digits leaves for its statistics, and for the stretch
// after it to merge with. The fields are public so that a program can keep
// and merge the states of parts run anywhere (rovurer --merge does).
struct statistics_state {
    int base = 10;
    std::int64_t pos = 0;     // position of the stretch's first digit
    std::int64_t digits = 0;  // digits in the stretch
    std::array<std::uint64_t, 16> counts{};
    std::vector<std::uint64_t> pairs;                // overlapping pairs within the stretch: index a * base + b
    std::vector<std::uint64_t> triples;              // overlapping triples: (a * base + b) * base + c
    std::array<int, 2> head{};                       // its first two digits (while digits >= 2)
    std::array<int, 2> tail{};                       // its last two digits
    std::array<std::uint64_t, poker_hands> poker{};  // whole hands from its first digit
    // Gaps: for each digit, how many gaps of each class, the digits before
    // its first occurrence (-1 when it does not occur) and after its last.
    std::vector<std::vector<std::uint64_t>> gaps;
    std::array<std::int64_t, 16> gap_lead{};
    std::array<std::int64_t, 16> gap_trail{};
    // Runs: each digit's longest (position relative to pos, 1 for the first
    // digit), and the runs that the stretch starts and ends with.
    std::array<longest_run, 16> longest{};
    int lead_digit = 0;
    std::int64_t lead_length = 0;
    int trail_digit = 0;
    std::int64_t trail_length = 0;
    walk_extent walk;
    int walk_pending = -1;  // base 2: a digit that waits for the next to make a step; -1 for none
};

// Merges `next`, the stretch that follows `first`, into `first`. False,
// and `first` as it was, when `next` does not follow it: another base, or
// not from the position after first's last digit.
ROVURER_API bool merge(statistics_state& first, const statistics_state& next);

// The statistics of a stretch.
struct digit_statistics {
    int base = 10;
    std::int64_t pos = 0;
    std::int64_t digits = 0;
    std::array<std::uint64_t, 16> counts{};
    chi_square_test frequency;  // the counts against equal frequencies, base - 1 degrees of freedom
    // Good's serial test on overlapping tuples of the range (not wrapped):
    // psi2(m) = sum over m-tuples w of (N(w) - E)^2 / E, E = (n - m + 1) /
    // base^m; serial2 = psi2(2) - psi2(1), base^2 - base degrees of freedom;
    // serial3 = psi2(3) - 2 psi2(2) + psi2(1), base^3 - 2 base^2 + base.
    chi_square_test serial2;
    chi_square_test serial3;
    std::array<std::uint64_t, poker_hands> poker_counts{};
    chi_square_test poker;              // the hands' patterns against their probabilities
    std::vector<chi_square_test> gaps;  // for each digit: its gaps' lengths against a geometric law
    std::array<longest_run, 16> longest_runs{};
    walk_extent walk;
};

// The statistics of a state: the tests computed from its counts.
ROVURER_API digit_statistics summarize(const statistics_state& state);

// The state of the range (or of the options' part), and its statistics.
// Parts are cut on multiples of ten digits, so that hands and steps do
// not cross them. The errors of count (scan.h).
ROVURER_API result<statistics_state> gather_statistics(const file& source, const range& where,
                                                       const scan_options& options = {});
ROVURER_API result<digit_statistics> statistics(const file& source, const range& where,
                                                const scan_options& options = {});

// Counts per block of `block` digits (blocks from the range's first digit;
// the last may be shorter), one a line, as "POS,DIGITS,C0,...,CHI_SQUARE"
// (each count of a digit of the base, and the block's chi-square against
// equal frequencies), or, with `json`, as {"pos":…,"digits":…,"counts":[…],
// "chi_square":…} objects. Parts are cut on whole blocks.
ROVURER_API result<text_written> write_blocks(const file& source, const range& where, std::int64_t block, bool json,
                                              const text_output& to, const scan_options& options = {});

// Every run of `least` or more equal digits that starts in the range (with
// a part: in the part), as "POS DIGIT LENGTH" lines, or {"pos":…,"digit":…,
// "length":…} with `json`, in order, at most `max_count` (to_end: all). A
// run is read to its end, past the range's if need be.
ROVURER_API result<text_written> write_runs(const file& source, const range& where, std::int64_t least,
                                            std::int64_t max_count, bool json, const text_output& to,
                                            const scan_options& options = {});

// Every position p of the range (of the part) at which the digits from p
// spell p in the base (no leading zeros; A-F in base 16), one a line, or
// {"pos":…} with `json`.
ROVURER_API result<text_written> write_self_locating(const file& source, const range& where, bool json,
                                                     const text_output& to, const scan_options& options = {});

// The strings of `length` digits that lie whole in a stretch (a bit for
// each, in the order of their values), with its first and last length - 1
// digits, from which the strings that cross into the next stretch, and the
// shorter ones that its last digits start, are found when they merge or are
// summarized.
struct strings_state {
    int base = 10;
    int length = 1;
    std::int64_t pos = 0;  // position of the stretch's first digit
    std::int64_t digits = 0;
    std::vector<std::uint64_t> seen;  // bit v: the string whose value is v occurs
    std::vector<int> head;            // its first length - 1 digits (fewer in a shorter stretch)
    std::vector<int> tail;            // its last length - 1 digits
};

// The most bits a strings state may hold: base^length at most 2^30 (128
// MiB): length up to 9 in base 10, 7 in base 16, 30 in base 2.
inline constexpr std::uint64_t most_string_bits = std::uint64_t{1} << 30;

// As for statistics_state; false also for another length.
ROVURER_API bool merge(strings_state& first, const strings_state& next);

// What strings_state says: how many distinct strings of each length 1 to
// `length` occur, and the smallest number, in the base without leading
// zeros, that does not occur as a string ("" when every number of up to
// `length` digits occurs).
struct missing_strings {
    std::vector<std::uint64_t> distinct;
    std::string smallest_missing;
};
ROVURER_API missing_strings summarize(const strings_state& state);

ROVURER_API result<strings_state> gather_strings(const file& source, const range& where, int length,
                                                 const scan_options& options = {});
ROVURER_API result<missing_strings> missing(const file& source, const range& where, int length,
                                            const scan_options& options = {});

// The first position of every string of `length` digits (base 10: at most
// 8; in all, base^length at most 2^27), one a line in the strings' order,
// as "STRING POS" (0 where it does not occur), or {"string":…,"pos":…}
// with `json`. Holds eight bytes a string.
ROVURER_API result<text_written> write_first_positions(const file& source, const range& where, int length, bool json,
                                                       const text_output& to, const scan_options& options = {});

// The walk drawn as an SVG picture of a fixed size, however many steps it
// takes: at most `points` points along it, its colour running from the
// first step to the last. Written to `to`.
ROVURER_API result<walk_extent> write_walk_svg(const file& source, const range& where, const text_output& to,
                                               int points = 20000, const scan_options& options = {});

// The answers and states as JSON, one object without a newline: the
// answers with the names that --json prints (numbers of positions and
// counts exact; a test too short has null for its statistic and p-value, a
// smallest_missing beyond the lengths looked at is null),
// the states with every field, as --shard --json prints them under "merge".
ROVURER_API std::string to_json(const digit_statistics& answer);
ROVURER_API std::string to_json(const missing_strings& answer);
ROVURER_API std::string to_json(const statistics_state& state);
ROVURER_API std::string to_json(const strings_state& state);

// A state read back from its JSON, checked to be whole and consistent (its
// counts add up to its digits); errc::bad_part with the reason otherwise.
ROVURER_API result<statistics_state> read_statistics_state(std::string_view json);
ROVURER_API result<strings_state> read_strings_state(std::string_view json);

}  // namespace rovurer
