// The statistics calls (stats.h) against slow references written here over
// the digits themselves: in every base, at odd ranges, on any number of
// threads with parts of a few dozen digits (so that pairs, triples, gaps,
// runs and strings cross part edges), and in shards merged in order, also
// through their JSON. The p-values against table values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "library/json_value.h"
#include "rovurer/rovurer.h"
#include "test_support.h"

namespace {

const int thread_counts[] = {1, 2, 3, 7};

int value_of(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

std::string digits_of_range(const rovurer::file& source, const rovurer::range& where) {
    std::string digits(200000, '\0');
    const rovurer::result<std::int64_t> got = rovurer::read(source, where, digits);
    EXPECT_TRUE(got.ok());
    digits.resize(got.ok() ? static_cast<std::size_t>(*got) : 0);
    return digits;
}

rovurer::text_output into(std::string& text) {
    return rovurer::text_output::to([&text](std::string_view piece) {
        text.append(piece);
        return 0;
    });
}

rovurer::scan_options with(int threads, rovurer::range_part part = {}) {
    rovurer::scan_options options;
    options.threads = threads;
    options.part = part;
    return options;
}

// The state of a run of digits, field by field, the plain way.
rovurer::statistics_state reference_state(const std::string& digits, int base, std::int64_t pos) {
    const auto b = static_cast<std::size_t>(base);
    rovurer::statistics_state state;
    state.base = base;
    state.pos = pos;
    state.digits = static_cast<std::int64_t>(digits.size());
    state.pairs.assign(b * b, 0);
    state.triples.assign(b * b * b, 0);
    const auto classes = static_cast<std::size_t>(rovurer::gap_classes(base)) + 1;
    state.gaps.assign(b, std::vector<std::uint64_t>(classes, 0));
    std::vector<int> v;
    for (const char c : digits) {
        v.push_back(value_of(c));
    }
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i) {
        ++state.counts[static_cast<std::size_t>(v[i])];
        if (i + 1 < n) {
            ++state.pairs[static_cast<std::size_t>(v[i]) * static_cast<std::size_t>(base) +
                          static_cast<std::size_t>(v[i + 1])];
        }
        if (i + 2 < n) {
            ++state.triples[(static_cast<std::size_t>(v[i]) * static_cast<std::size_t>(base) +
                             static_cast<std::size_t>(v[i + 1])) *
                                static_cast<std::size_t>(base) +
                            static_cast<std::size_t>(v[i + 2])];
        }
    }
    for (std::size_t h = 0; h + 5 <= n; h += 5) {
        std::map<int, int> kinds;
        for (std::size_t k = h; k < h + 5; ++k) {
            ++kinds[v[k]];
        }
        int most = 0;
        for (const auto& [digit, times] : kinds) {
            most = std::max(most, times);
        }
        const std::map<std::pair<std::size_t, int>, rovurer::poker_hand> hands = {
            {{5, 1}, rovurer::poker_hand::all_different},  {{4, 2}, rovurer::poker_hand::one_pair},
            {{3, 2}, rovurer::poker_hand::two_pairs},      {{3, 3}, rovurer::poker_hand::three_of_a_kind},
            {{2, 3}, rovurer::poker_hand::full_house},     {{2, 4}, rovurer::poker_hand::four_of_a_kind},
            {{1, 5}, rovurer::poker_hand::five_of_a_kind},
        };
        ++state.poker[static_cast<std::size_t>(hands.at({kinds.size(), most}))];
    }
    for (std::size_t d = 0; d < b; ++d) {
        std::int64_t last = -1;
        state.gap_lead[d] = -1;
        for (std::size_t i = 0; i < n; ++i) {
            if (v[i] != static_cast<int>(d)) {
                continue;
            }
            if (last < 0) {
                state.gap_lead[d] = static_cast<std::int64_t>(i);
            } else {
                const auto gap = static_cast<std::size_t>(static_cast<std::int64_t>(i) - last - 1);
                ++state.gaps[d][std::min(gap, classes - 1)];
            }
            last = static_cast<std::int64_t>(i);
        }
        state.gap_trail[d] = last < 0 ? 0 : static_cast<std::int64_t>(n) - 1 - last;
    }
    for (std::size_t i = 0; i < n;) {
        std::size_t j = i;
        while (j < n && v[j] == v[i]) {
            ++j;
        }
        rovurer::longest_run& best = state.longest[static_cast<std::size_t>(v[i])];
        if (static_cast<std::int64_t>(j - i) > best.length) {
            best = {static_cast<std::int64_t>(j - i), pos + static_cast<std::int64_t>(i)};
        }
        if (i == 0) {
            state.lead_digit = v[i];
            state.lead_length = static_cast<std::int64_t>(j);
        }
        if (j == n) {
            state.trail_digit = v[i];
            state.trail_length = static_cast<std::int64_t>(j - i);
        }
        i = j;
    }
    // The walk: each step as stats.h says.
    rovurer::walk_extent& walk = state.walk;
    const auto step = [&walk](int direction) {
        walk.x += direction == 0 ? 1 : direction == 2 ? -1 : 0;
        walk.y += direction == 1 ? 1 : direction == 3 ? -1 : 0;
        ++walk.steps;
        walk.min_x = std::min(walk.min_x, walk.x);
        walk.max_x = std::max(walk.max_x, walk.x);
        walk.min_y = std::min(walk.min_y, walk.y);
        walk.max_y = std::max(walk.max_y, walk.y);
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (base == 10 && v[i] < 8) {
            step(v[i] % 4);
        } else if (base == 16) {
            step(v[i] / 4);
            step(v[i] % 4);
        } else if (base == 2 && i % 2 == 1) {
            step(v[i - 1] * 2 + v[i]);
        }
    }
    state.walk_pending = base == 2 && n % 2 == 1 ? v[n - 1] : -1;
    for (std::size_t k = 0; k < 2 && k < n; ++k) {
        state.head[k] = v[k];
        state.tail[1 - k] = v[n - 1 - k];
    }
    if (n == 1) {
        state.tail[0] = -1;
    }
    return state;
}

// Fields the reference and the call must share (the edges of an empty or
// one-digit stretch are not compared: they mean nothing there).
void expect_same_state(const rovurer::statistics_state& got, const rovurer::statistics_state& wanted,
                       const std::string& where) {
    EXPECT_EQ(got.digits, wanted.digits) << where;
    EXPECT_EQ(got.pos, wanted.pos) << where;
    EXPECT_EQ(got.counts, wanted.counts) << where;
    EXPECT_EQ(got.pairs, wanted.pairs) << where;
    EXPECT_EQ(got.triples, wanted.triples) << where;
    EXPECT_EQ(got.poker, wanted.poker) << where;
    EXPECT_EQ(got.gaps, wanted.gaps) << where;
    for (std::size_t d = 0; d < static_cast<std::size_t>(wanted.base); ++d) {
        EXPECT_EQ(got.longest[d].length, wanted.longest[d].length) << where << " digit " << d;
        EXPECT_EQ(got.longest[d].pos, wanted.longest[d].pos) << where << " digit " << d;
        EXPECT_EQ(got.gap_lead[d], wanted.gap_lead[d]) << where << " digit " << d;
        EXPECT_EQ(got.gap_trail[d], wanted.gap_trail[d]) << where << " digit " << d;
    }
    EXPECT_EQ(got.walk.steps, wanted.walk.steps) << where;
    EXPECT_EQ(std::vector<std::int64_t>(
                  {got.walk.x, got.walk.y, got.walk.min_x, got.walk.max_x, got.walk.min_y, got.walk.max_y}),
              std::vector<std::int64_t>({wanted.walk.x, wanted.walk.y, wanted.walk.min_x, wanted.walk.max_x,
                                         wanted.walk.min_y, wanted.walk.max_y}))
        << where;
    if (wanted.digits >= 2) {
        EXPECT_EQ(got.head, wanted.head) << where;
        EXPECT_EQ(got.tail, wanted.tail) << where;
        EXPECT_EQ(got.lead_digit, wanted.lead_digit) << where;
        EXPECT_EQ(got.lead_length, wanted.lead_length) << where;
        EXPECT_EQ(got.trail_digit, wanted.trail_digit) << where;
        EXPECT_EQ(got.trail_length, wanted.trail_length) << where;
        EXPECT_EQ(got.walk_pending, wanted.walk_pending) << where;
    }
}

// Words whose decimal digits hold long runs across many small parts: a
// digit repeated over several words, then mixed words.
std::vector<std::uint64_t> runs_and_mixed() {
    std::vector<std::uint64_t> words = mixed_words(60, 21);
    for (std::size_t k = 10; k < 16; ++k) {
        words[k] = 7777777777777777777ULL;  // 19 sevens, six words on end
    }
    words[30] = 0;  // 19 zeros
    words[31] = 0xFFFFFFFFFFFFFFFFULL;
    return words;
}

struct range_case {
    int base;
    std::int64_t pos;
    std::int64_t count;
};

const range_case ranges[] = {
    {10, 1, rovurer::to_end},
    {10, 7, 777},
    {10, 180, 400},
    {16, 3, 901},
    {16, 1, rovurer::to_end},
    {2, 5, 3001},
    {2, 64, 64},
    {10, 1, 1},
    {10, 2, 2},
    {2, 9, 3},
};

TEST(StatsApi, ChiSquarePValuesMatchTables) {
    struct table_row {
        double statistic;
        double df;
        double p;
    };
    const table_row rows[] = {
        {16.919, 9, 0.0500},      {21.666, 9, 0.0100}, {3.325, 9, 0.9500},
        {3.841, 1, 0.0500},       {6.635, 1, 0.0100},  {0, 5, 1.0},
        {124.342, 100, 0.05},     {9.488, 4, 0.0500},  {1.0, 2, std::exp(-0.5)},
        {1074.679, 1000, 0.0500},
    };
    for (const table_row& row : rows) {
        EXPECT_NEAR(rovurer::chi_square_p_value(row.statistic, row.df), row.p, 6e-5)
            << row.statistic << " at " << row.df;
    }
}

TEST(StatsApi, StatesMatchTheReferenceOnAnyThreadsAndInShards) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-runs", runs_and_mixed(), 1)).value();
    for (const range_case& at : ranges) {
        const rovurer::range where{at.base, at.pos, at.count};
        const std::string digits = digits_of_range(source, where);
        const rovurer::statistics_state wanted = reference_state(digits, at.base, at.pos);
        const std::string name = "base " + std::to_string(at.base) + " at " + std::to_string(at.pos);
        for (const int threads : thread_counts) {
            const rovurer::result<rovurer::statistics_state> got =
                rovurer::gather_statistics(source, where, with(threads));
            ASSERT_TRUE(got.ok()) << name;
            expect_same_state(*got, wanted, name + " threads " + std::to_string(threads));
        }
        // Shards, gathered apart and merged in order, also through their JSON.
        for (const std::int64_t shards : {2, 3, 7}) {
            rovurer::statistics_state all;
            for (std::int64_t k = 1; k <= shards; ++k) {
                const rovurer::result<rovurer::statistics_state> part =
                    rovurer::gather_statistics(source, where, with(2, {k, shards}));
                ASSERT_TRUE(part.ok());
                const rovurer::result<rovurer::statistics_state> read =
                    rovurer::read_statistics_state(rovurer::to_json(*part));
                ASSERT_TRUE(read.ok()) << read.error().message;
                EXPECT_EQ(rovurer::to_json(*read), rovurer::to_json(*part));
                if (k == 1) {
                    all = *read;
                } else {
                    ASSERT_TRUE(rovurer::merge(all, *read)) << name << " shard " << k;
                }
            }
            expect_same_state(all, wanted, name + " in " + std::to_string(shards) + " shards");
        }
    }
}

TEST(StatsApi, MergeRefusesAPartThatDoesNotFollow) {
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-follow", mixed_words(10, 3), 0)).value();
    const auto part = [&](int base, std::int64_t index) {
        return rovurer::gather_statistics(source, {base, 1, 150}, with(1, {index, 3})).value();
    };
    rovurer::statistics_state first = part(10, 1);
    const std::string before = rovurer::to_json(first);
    EXPECT_FALSE(rovurer::merge(first, part(10, 3)));  // the second is missing
    EXPECT_FALSE(rovurer::merge(first, part(16, 2)));  // another base
    EXPECT_EQ(rovurer::to_json(first), before);
    EXPECT_TRUE(rovurer::merge(first, part(10, 2)));
    rovurer::strings_state strings = rovurer::gather_strings(source, {10, 1, 150}, 2, with(1, {1, 2})).value();
    EXPECT_FALSE(rovurer::merge(strings, rovurer::gather_strings(source, {10, 1, 150}, 3, with(1, {2, 2})).value()));
    EXPECT_TRUE(rovurer::merge(strings, rovurer::gather_strings(source, {10, 1, 150}, 2, with(1, {2, 2})).value()));
}

TEST(StatsApi, StatesReadBackRefuseWhatIsNotWhole) {
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-json", mixed_words(10, 5), 0)).value();
    const std::string good = rovurer::to_json(rovurer::gather_statistics(source, {10, 1, 100}).value());
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string faults[] = {
        "",
        "[1,2]",
        good.substr(0, good.size() - 1),
        replaced("\"digits\":100", "\"digits\":101"),  // the counts no longer add up
        replaced("\"base\":10", "\"base\":8"),
        replaced("\"pos\":1", "\"pos\":0"),
        replaced("\"walk_pending\":-1", "\"walk_pending\":1"),
        replaced("\"counts\":[", "\"counts\":[1,"),
        std::string(100, '[') + std::string(100, ']'),
        good + "x",
    };
    for (const std::string& fault : faults) {
        const rovurer::result<rovurer::statistics_state> read = rovurer::read_statistics_state(fault);
        ASSERT_FALSE(read.ok()) << fault.substr(0, 60);
        EXPECT_EQ(read.error().code, rovurer::errc::bad_part);
    }
    // A state far along: positions past 2^53 read back exactly.
    rovurer::statistics_state far = rovurer::read_statistics_state(good).value();
    far.pos = (std::int64_t{1} << 62) + 1;
    far.longest[3].pos = INT64_MAX - 5;
    const rovurer::statistics_state back = rovurer::read_statistics_state(rovurer::to_json(far)).value();
    EXPECT_EQ(back.pos, (std::int64_t{1} << 62) + 1);
    EXPECT_EQ(back.longest[3].pos, INT64_MAX - 5);
}

TEST(StatsApi, TestsOfARangeTooShortGiveNoPValue) {
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-short", mixed_words(4, 9), 0)).value();
    const rovurer::digit_statistics few = rovurer::statistics(source, {10, 1, 40}).value();
    for (const rovurer::chi_square_test* test : {&few.frequency, &few.serial2, &few.serial3, &few.poker}) {
        EXPECT_TRUE(test->too_short);
    }
    const std::string json = rovurer::to_json(few);
    EXPECT_NE(json.find("\"chi_square\":null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"serial3\":{\"statistic\":null,\"df\":810,\"p_value\":null}"), std::string::npos) << json;
    std::string why;
    const std::optional<rovurer::json_value> parsed = rovurer::parse_json(json, why);
    ASSERT_TRUE(parsed) << why;
    EXPECT_EQ(parsed->find("counts")->items.size(), 10U);
    EXPECT_EQ(parsed->find("longest_runs")->items[3].find("digit")->text, "3");
    // Enough digits for the frequency test (an expected 5 a digit), not yet for pairs.
    const rovurer::digit_statistics fifty = rovurer::statistics(source, {10, 1, 50}).value();
    EXPECT_FALSE(fifty.frequency.too_short);
    EXPECT_TRUE(fifty.serial2.too_short);
}

// The strings of each length that occur, the plain way.
std::vector<std::set<std::string>> reference_strings(const std::string& digits, int length) {
    std::vector<std::set<std::string>> seen(static_cast<std::size_t>(length) + 1);
    for (int m = 1; m <= length; ++m) {
        for (std::size_t i = 0; i + static_cast<std::size_t>(m) <= digits.size(); ++i) {
            seen[static_cast<std::size_t>(m)].insert(digits.substr(i, static_cast<std::size_t>(m)));
        }
    }
    return seen;
}

std::string smallest_missing(const std::vector<std::set<std::string>>& seen, int base) {
    const std::string characters = std::string("0123456789ABCDEF").substr(0, static_cast<std::size_t>(base));
    for (std::uint64_t value = 0;; ++value) {
        std::string spelled;
        for (std::uint64_t rest = value; rest != 0 || spelled.empty(); rest /= static_cast<std::uint64_t>(base)) {
            spelled.insert(spelled.begin(),
                           characters[static_cast<std::size_t>(rest % static_cast<std::uint64_t>(base))]);
        }
        if (spelled.size() >= seen.size()) {
            return "";
        }
        if (seen[spelled.size()].count(spelled) == 0) {
            return spelled;
        }
    }
}

TEST(StatsApi, MissingStringsMatchTheReferenceOnAnyThreadsAndInShards) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-strings", runs_and_mixed(), 1)).value();
    struct strings_case {
        range_case where;
        int length;
    };
    const strings_case cases[] = {
        {{10, 1, 300}, 3}, {{10, 5, 2000}, 3}, {{10, 1, 5}, 4},   {{16, 2, 700}, 2},
        {{2, 3, 900}, 9},  {{2, 1, 40}, 6},    {{10, 100, 1}, 2}, {{10, 1, rovurer::to_end}, 4},
    };
    for (const strings_case& test : cases) {
        const rovurer::range where{test.where.base, test.where.pos, test.where.count};
        const std::string digits = digits_of_range(source, where);
        const std::vector<std::set<std::string>> seen = reference_strings(digits, test.length);
        std::vector<std::uint64_t> distinct;
        for (int m = 1; m <= test.length; ++m) {
            distinct.push_back(seen[static_cast<std::size_t>(m)].size());
        }
        const std::string name = "base " + std::to_string(where.base) + " at " + std::to_string(where.pos) +
                                 " length " + std::to_string(test.length);
        for (const int threads : thread_counts) {
            const rovurer::missing_strings got = rovurer::missing(source, where, test.length, with(threads)).value();
            EXPECT_EQ(got.distinct, distinct) << name;
            EXPECT_EQ(got.smallest_missing, smallest_missing(seen, where.base)) << name;
        }
        for (const std::int64_t shards : {2, 3, 7}) {
            rovurer::strings_state all;
            for (std::int64_t k = 1; k <= shards; ++k) {
                const rovurer::strings_state part =
                    rovurer::gather_strings(source, where, test.length, with(2, {k, shards})).value();
                const rovurer::strings_state read = rovurer::read_strings_state(rovurer::to_json(part)).value();
                EXPECT_EQ(rovurer::to_json(read), rovurer::to_json(part));
                if (k == 1) {
                    all = read;
                } else {
                    ASSERT_TRUE(rovurer::merge(all, read)) << name << " shard " << k;
                }
            }
            const rovurer::missing_strings got = rovurer::summarize(all);
            EXPECT_EQ(got.distinct, distinct) << name << " in " << shards << " shards";
            EXPECT_EQ(got.smallest_missing, smallest_missing(seen, where.base)) << name << " in " << shards;
        }
    }
}

// Lines of the line calls over a range, the plain way. Runs: those that
// start in the first `starts` of `digits` (which go on to the data's end).
std::string reference_runs(const std::string& digits, std::int64_t pos, std::int64_t least, std::int64_t most,
                           std::size_t starts) {
    std::string text;
    std::int64_t lines = 0;
    for (std::size_t i = 0; i < starts && i < digits.size() && lines != most;) {
        std::size_t j = i;
        while (j < digits.size() && digits[j] == digits[i]) {
            ++j;
        }
        if (static_cast<std::int64_t>(j - i) >= least) {
            text += std::to_string(pos + static_cast<std::int64_t>(i)) + " " + digits[i] + " " + std::to_string(j - i) +
                    "\n";
            ++lines;
        }
        i = j;
    }
    return text;
}

std::string reference_blocks(const std::string& digits, std::int64_t pos, int base, std::int64_t block) {
    std::string text;
    for (std::size_t i = 0; i < digits.size(); i += static_cast<std::size_t>(block)) {
        const std::string piece = digits.substr(i, static_cast<std::size_t>(block));
        text += std::to_string(pos + static_cast<std::int64_t>(i));
        text += ',';
        text += std::to_string(piece.size());
        double chi = 0;
        for (int d = 0; d < base; ++d) {
            const auto count = std::count(piece.begin(), piece.end(), "0123456789ABCDEF"[d]);
            text += ',';
            text += std::to_string(count);
            const double off = static_cast<double>(count) - static_cast<double>(piece.size()) / base;
            chi += off * off / (static_cast<double>(piece.size()) / base);
        }
        char number[32];
        (void)std::snprintf(number, sizeof number, "%.4f", chi);
        text += std::string(",") + number + "\n";
    }
    return text;
}

std::string reference_self_locating(const std::string& digits, std::int64_t pos, int base) {
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        std::string spelled;
        for (auto rest = static_cast<std::uint64_t>(pos) + i; rest != 0; rest /= static_cast<std::uint64_t>(base)) {
            spelled.insert(spelled.begin(), "0123456789ABCDEF"[rest % static_cast<std::uint64_t>(base)]);
        }
        if (digits.compare(i, spelled.size(), spelled) == 0) {
            text += std::to_string(pos + static_cast<std::int64_t>(i)) + "\n";
        }
    }
    return text;
}

TEST(StatsApi, LinesMatchTheReferenceOnAnyThreadsAndInShards) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-lines", runs_and_mixed(), 1)).value();
    using call = rovurer::result<rovurer::text_written> (*)(const rovurer::file&, const rovurer::range&,
                                                            const rovurer::text_output&, const rovurer::scan_options&);
    // The reference is given the range's digits and those to the data's end.
    using reference = std::string (*)(const std::string& range, const std::string& to_end, const range_case& where);
    struct lines_case {
        std::string name;
        range_case where;
        call write;
        reference wanted;
        bool shards = true;
    };
    const lines_case cases[] = {
        {"runs of 3",
         {10, 1, rovurer::to_end},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_runs(f, r, 3, rovurer::to_end, false, to, o); },
         [](const std::string& d, const std::string& e, const range_case& w) {
             return reference_runs(e, w.pos, 3, -1, d.size());
         }},
        // It starts inside the sevens, and ends inside the zeros: runs go on.
        {"runs of 2 from inside a run",
         {10, 200, 375},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_runs(f, r, 2, rovurer::to_end, false, to, o); },
         [](const std::string& d, const std::string& e, const range_case& w) {
             return reference_runs(e, w.pos, 2, -1, d.size());
         }},
        {"runs of 1 in base 16",
         {16, 40, 900},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_runs(f, r, 1, rovurer::to_end, false, to, o); },
         [](const std::string& d, const std::string& e, const range_case& w) {
             return reference_runs(e, w.pos, 1, -1, d.size());
         }},
        {"runs of 19 and more",
         {10, 1, rovurer::to_end},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_runs(f, r, 19, rovurer::to_end, false, to, o); },
         [](const std::string& d, const std::string& e, const range_case& w) {
             return reference_runs(e, w.pos, 19, -1, d.size());
         }},
        {"the first 5 runs of 4 in base 2",
         {2, 3, 3000},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_runs(f, r, 4, 5, false, to, o); },
         [](const std::string& d, const std::string& e, const range_case& w) {
             return reference_runs(e, w.pos, 4, 5, d.size());
         },
         false},
        {"blocks of 37",
         {10, 3, 1000},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_blocks(f, r, 37, false, to, o); },
         [](const std::string& d, const std::string&, const range_case& w) {
             return reference_blocks(d, w.pos, 10, 37);
         }},
        {"blocks of 100 in base 16",
         {16, 1, rovurer::to_end},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_blocks(f, r, 100, false, to, o); },
         [](const std::string& d, const std::string&, const range_case& w) {
             return reference_blocks(d, w.pos, 16, 100);
         }},
        {"self-locating in base 2",
         {2, 1, 3000},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_self_locating(f, r, false, to, o); },
         [](const std::string& d, const std::string&, const range_case& w) {
             return reference_self_locating(d, w.pos, 2);
         }},
        {"self-locating in base 10",
         {10, 1, rovurer::to_end},
         [](const rovurer::file& f, const rovurer::range& r, const rovurer::text_output& to,
            const rovurer::scan_options& o) { return rovurer::write_self_locating(f, r, false, to, o); },
         [](const std::string& d, const std::string&, const range_case& w) {
             return reference_self_locating(d, w.pos, 10);
         }},
    };
    for (const lines_case& test : cases) {
        const rovurer::range where{test.where.base, test.where.pos, test.where.count};
        const std::string wanted =
            test.wanted(digits_of_range(source, where),
                        digits_of_range(source, {where.base, where.pos, rovurer::to_end}), test.where);
        ASSERT_FALSE(wanted.empty()) << test.name;
        for (const int threads : thread_counts) {
            std::string text;
            ASSERT_TRUE(test.write(source, where, into(text), with(threads)).ok()) << test.name;
            EXPECT_EQ(text, wanted) << test.name << " threads " << threads;
        }
        // A count of lines is the whole range's, not a shard's.
        for (const std::int64_t shards :
             test.shards ? std::vector<std::int64_t>{2, 3, 7} : std::vector<std::int64_t>{}) {
            std::string all;
            for (std::int64_t k = 1; k <= shards; ++k) {
                ASSERT_TRUE(test.write(source, where, into(all), with(2, {k, shards})).ok());
            }
            EXPECT_EQ(all, wanted) << test.name << " in " << shards << " shards";
        }
    }
}

TEST(StatsApi, FirstPositionsMatchTheReference) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-first", runs_and_mixed(), 1)).value();
    for (const auto& [base, length] : {std::pair{10, 2}, std::pair{10, 3}, std::pair{16, 2}, std::pair{2, 7}}) {
        const rovurer::range where{base, 11, 900};
        const std::string digits = digits_of_range(source, where);
        std::map<std::string, std::int64_t> first;
        for (std::size_t i = 0; i + static_cast<std::size_t>(length) <= digits.size(); ++i) {
            first.emplace(digits.substr(i, static_cast<std::size_t>(length)), where.pos + static_cast<std::int64_t>(i));
        }
        std::string wanted;
        std::uint64_t strings = 1;
        for (int k = 0; k < length; ++k) {
            strings *= static_cast<std::uint64_t>(base);
        }
        for (std::uint64_t v = 0; v < strings; ++v) {
            std::string spelled(static_cast<std::size_t>(length), '0');
            std::uint64_t rest = v;
            for (std::size_t k = spelled.size(); k-- > 0; rest /= static_cast<std::uint64_t>(base)) {
                spelled[k] = "0123456789ABCDEF"[rest % static_cast<std::uint64_t>(base)];
            }
            const auto found = first.find(spelled);
            wanted += spelled + " " + std::to_string(found == first.end() ? 0 : found->second) + "\n";
        }
        for (const int threads : thread_counts) {
            std::string text;
            ASSERT_TRUE(rovurer::write_first_positions(source, where, length, false, into(text), with(threads)).ok());
            EXPECT_EQ(text, wanted) << "base " << base << " length " << length << " threads " << threads;
        }
    }
}

TEST(StatsApi, TheWalkIsDrawnToAFixedSize) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-walk", mixed_words(2000, 4), 0)).value();
    for (const int base : {10, 16, 2}) {
        const rovurer::range where{base, 1, rovurer::to_end};
        const rovurer::statistics_state wanted = reference_state(digits_of_range(source, where), base, 1);
        for (const int threads : thread_counts) {
            std::string svg;
            const rovurer::result<rovurer::walk_extent> walked =
                rovurer::write_walk_svg(source, where, into(svg), 500, with(threads));
            ASSERT_TRUE(walked.ok());
            EXPECT_EQ(walked->steps, wanted.walk.steps);
            EXPECT_EQ(walked->x, wanted.walk.x);
            EXPECT_EQ(walked->min_y, wanted.walk.min_y);
            EXPECT_TRUE(svg.starts_with("<svg ")) << svg.substr(0, 40);
            EXPECT_TRUE(svg.ends_with("</svg>\n"));
            // 500 points of at most 16 bytes, and the markup of 64 pieces.
            EXPECT_LT(svg.size(), 500U * 16 + 64 * 120 + 600) << "base " << base;
        }
    }
}

TEST(StatsApi, RefusalsSayWhy) {
    const rovurer::file source = rovurer::file::open(write_digit_file("stats-refusals", mixed_words(4, 1), 0)).value();
    std::string text;
    struct refusal {
        rovurer::result<rovurer::text_written> got;
        std::string message;
    };
    const refusal refusals[] = {
        {rovurer::write_blocks(source, {10, 1, 10}, 0, false, into(text)), "blocks of fewer than 1 digit (0)"},
        {rovurer::write_runs(source, {10, 1, 10}, 0, rovurer::to_end, false, into(text)),
         "runs of fewer than 1 digit (0)"},
        {rovurer::write_runs(source, {10, 1, 10}, 2, -2, false, into(text)), "a maximum count below 0 (-2)"},
        {rovurer::write_first_positions(source, {10, 1, 10}, 9, false, into(text)),
         "strings of 9 base-10 digits are too many to hold (134217728 at most)"},
        {rovurer::write_blocks(source, {10, 77, 10}, 5, false, into(text)),
         "position 77 is past the end of the data (76 base-10 digits)"},
        {rovurer::write_self_locating(source, {8, 1, 10}, false, into(text)), "base 8 is not 2, 10 or 16"},
    };
    for (const refusal& each : refusals) {
        ASSERT_FALSE(each.got.ok()) << each.message;
        EXPECT_EQ(each.got.error().message, each.message);
    }
    EXPECT_EQ(text, "");
    EXPECT_EQ(rovurer::missing(source, {10, 1, 10}, 10).error().message,
              "strings of 10 base-10 digits are too many to hold (1073741824 at most)");
    EXPECT_EQ(rovurer::missing(source, {16, 1, 10}, 0).error().message, "strings of fewer than 1 digit (0)");
    EXPECT_EQ(rovurer::write_walk_svg(source, {10, 1, 10}, into(text), 1).error().message,
              "a walk of fewer than 2 points (1)");
    EXPECT_EQ(rovurer::statistics(source, {10, 0, 10}).error().message, "positions start at 1, not 0");
}

}  // namespace
