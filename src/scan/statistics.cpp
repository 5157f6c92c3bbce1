#include "scan/statistics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace rovurer {

namespace {

// Digit characters to their values; 255 for anything else.
constexpr std::array<std::uint8_t, 256> digit_values = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(255);
    for (int d = 0; d < 10; ++d) {
        values[static_cast<std::size_t>('0' + d)] = static_cast<std::uint8_t>(d);
    }
    for (int d = 0; d < 6; ++d) {
        values[static_cast<std::size_t>('A' + d)] = static_cast<std::uint8_t>(10 + d);
    }
    return values;
}();

constexpr std::string_view digit_characters = "0123456789ABCDEF";

// Reads the run a chunk at a time, handing each chunk's digits to `take`;
// read_failed when a read fails, shown at the end.
template <typename Take>
command_result each_chunk(digit_run& run, Take take) {
    std::vector<char> text(static_cast<std::size_t>(digit_run::chunk_digits));
    for (;;) {
        const std::int64_t got = run.read(text.data(), digit_run::chunk_digits);
        if (got == digit_run::read_failed) {
            return command_result::read_failed;
        }
        if (got == 0) {
            return run.failed() ? command_result::read_failed : command_result::shown;
        }
        if (!take(text.data(), static_cast<std::size_t>(got))) {
            return command_result::shown;  // the taker has what it needs
        }
    }
}

// The poker hand of five digit values.
int hand_of(const std::uint8_t* hand) {
    std::array<int, 5> seen{};
    std::array<std::uint8_t, 5> values{};
    int kinds = 0;
    for (int k = 0; k < 5; ++k) {
        int at = 0;
        while (at < kinds && values[static_cast<std::size_t>(at)] != hand[k]) {
            ++at;
        }
        if (at == kinds) {
            values[static_cast<std::size_t>(kinds++)] = hand[k];
        }
        ++seen[static_cast<std::size_t>(at)];
    }
    int most = 0;
    for (int k = 0; k < kinds; ++k) {
        most = std::max(most, seen[static_cast<std::size_t>(k)]);
    }
    switch (kinds) {
        case 5:
            return static_cast<int>(poker_hand::all_different);
        case 4:
            return static_cast<int>(poker_hand::one_pair);
        case 3:
            return static_cast<int>(most == 3 ? poker_hand::three_of_a_kind : poker_hand::two_pairs);
        case 2:
            return static_cast<int>(most == 4 ? poker_hand::four_of_a_kind : poker_hand::full_house);
        default:
            return static_cast<int>(poker_hand::five_of_a_kind);
    }
}

constexpr std::array<int, 4> step_x = {1, 0, -1, 0};
constexpr std::array<int, 4> step_y = {0, 1, 0, -1};

void step(walk_extent& walk, int direction) {
    walk.x += step_x[static_cast<std::size_t>(direction)];
    walk.y += step_y[static_cast<std::size_t>(direction)];
    ++walk.steps;
    walk.min_x = std::min(walk.min_x, walk.x);
    walk.max_x = std::max(walk.max_x, walk.x);
    walk.min_y = std::min(walk.min_y, walk.y);
    walk.max_y = std::max(walk.max_y, walk.y);
}

// The steps of one digit value: base 10 steps d mod 4 for 0 to 7, none for
// 8 and 9; base 16 steps its high pair of bits, then its low pair; base 2
// pairs two digits into a step (pending holds the first).
void walk_digit(walk_extent& walk, int& pending, int base, int value) {
    if (base == 10) {
        if (value < 8) {
            step(walk, value & 3);
        }
    } else if (base == 16) {
        step(walk, value >> 2);
        step(walk, value & 3);
    } else if (pending < 0) {
        pending = value;
    } else {
        step(walk, (pending << 1) | value);
        pending = -1;
    }
}

// A run of `length` digits `digit` from `pos` is over: keeps it if it is
// the digit's longest (the first of equal ones).
void close_run(statistics_state& state, int digit, std::int64_t pos, std::int64_t length) {
    longest_run& best = state.longest[static_cast<std::size_t>(digit)];
    if (length > best.length) {
        best = {length, pos};
    }
}

}  // namespace

int gap_classes(int base) {
    // The smallest T with (1 - 1/base)^T at most 5%.
    const double keep = 1.0 - 1.0 / base;
    return static_cast<int>(std::ceil(std::log(0.05) / std::log(keep)));
}

statistics_state empty_statistics(int base, std::int64_t pos) {
    statistics_state state;
    state.base = base;
    state.pos = pos;
    const auto b = static_cast<std::size_t>(base);
    state.pairs.assign(b * b, 0);
    state.triples.assign(b * b * b, 0);
    state.gaps.assign(b, std::vector<std::uint64_t>(static_cast<std::size_t>(gap_classes(base)) + 1, 0));
    state.gap_lead.fill(-1);
    state.gap_trail.fill(0);
    return state;
}

command_result gather_statistics(digit_run& run, statistics_state& state) {
    const int base = state.base;
    const auto b = static_cast<std::size_t>(base);
    const auto top_gap = static_cast<std::int64_t>(state.gaps[0].size() - 1);
    std::array<std::int64_t, 16> last{};  // where each digit last occurred, or -1
    last.fill(-1);
    std::int64_t i = 0;
    int previous = -1;
    int before_previous = -1;
    int run_digit = -1;
    std::int64_t run_start = 0;
    std::array<std::uint8_t, 5> hand{};
    int in_hand = 0;
    std::uint64_t* const pairs = state.pairs.data();
    std::uint64_t* const triples = state.triples.data();
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k, ++i) {
            const int v = digit_values[static_cast<unsigned char>(text[k])];
            ++state.counts[static_cast<std::size_t>(v)];
            if (previous >= 0) {
                ++pairs[static_cast<std::size_t>(previous) * b + static_cast<std::size_t>(v)];
                if (before_previous >= 0) {
                    ++triples[(static_cast<std::size_t>(before_previous) * b + static_cast<std::size_t>(previous)) * b +
                              static_cast<std::size_t>(v)];
                }
            } else {
                state.head[0] = v;
            }
            if (i == 1) {
                state.head[1] = v;
            }
            // Gaps.
            const std::int64_t seen_at = last[static_cast<std::size_t>(v)];
            if (seen_at >= 0) {
                ++state.gaps[static_cast<std::size_t>(v)][static_cast<std::size_t>(std::min(i - seen_at - 1, top_gap))];
            } else {
                state.gap_lead[static_cast<std::size_t>(v)] = i;
            }
            last[static_cast<std::size_t>(v)] = i;
            // Runs.
            if (v != run_digit) {
                if (run_digit >= 0) {
                    if (run_start == 0) {
                        state.lead_digit = run_digit;
                        state.lead_length = i;
                    }
                    close_run(state, run_digit, state.pos + run_start, i - run_start);
                }
                run_digit = v;
                run_start = i;
            }
            // Hands, from the stretch's first digit.
            hand[static_cast<std::size_t>(in_hand++)] = static_cast<std::uint8_t>(v);
            if (in_hand == 5) {
                ++state.poker[static_cast<std::size_t>(hand_of(hand.data()))];
                in_hand = 0;
            }
            walk_digit(state.walk, state.walk_pending, base, v);
            before_previous = previous;
            previous = v;
        }
        return true;
    });
    state.digits = i;
    if (i >= 1) {
        state.tail[1] = previous;
        state.tail[0] = before_previous;
        state.trail_digit = run_digit;
        state.trail_length = i - run_start;
        if (run_start == 0) {
            state.lead_digit = run_digit;
            state.lead_length = i;
        }
        close_run(state, run_digit, state.pos + run_start, i - run_start);
    }
    for (std::size_t d = 0; d < b; ++d) {
        state.gap_trail[d] = last[d] < 0 ? 0 : i - 1 - last[d];
    }
    return result;
}

void merge(statistics_state& first, const statistics_state& next) {
    if (next.digits == 0) {
        return;
    }
    if (first.digits == 0) {
        first = next;
        return;
    }
    const auto b = static_cast<std::size_t>(first.base);
    for (std::size_t d = 0; d < 16; ++d) {
        first.counts[d] += next.counts[d];
    }
    for (std::size_t k = 0; k < first.pairs.size(); ++k) {
        first.pairs[k] += next.pairs[k];
    }
    for (std::size_t k = 0; k < first.triples.size(); ++k) {
        first.triples[k] += next.triples[k];
    }
    // The pair and the triples that cross from one into the other.
    const auto at = [](int digit) { return static_cast<std::size_t>(digit); };
    ++first.pairs[at(first.tail[1]) * b + at(next.head[0])];
    if (first.digits >= 2) {
        ++first.triples[(at(first.tail[0]) * b + at(first.tail[1])) * b + at(next.head[0])];
    }
    if (next.digits >= 2) {
        ++first.triples[(at(first.tail[1]) * b + at(next.head[0])) * b + at(next.head[1])];
    }
    for (std::size_t k = 0; k < first.poker.size(); ++k) {
        first.poker[k] += next.poker[k];
    }
    // Gaps: the one from the last occurrence here to the first there.
    for (std::size_t d = 0; d < b; ++d) {
        for (std::size_t k = 0; k < first.gaps[d].size(); ++k) {
            first.gaps[d][k] += next.gaps[d][k];
        }
        const bool here = first.gap_lead[d] >= 0;
        const bool there = next.gap_lead[d] >= 0;
        if (here && there) {
            const auto top = static_cast<std::int64_t>(first.gaps[d].size() - 1);
            ++first.gaps[d][static_cast<std::size_t>(std::min(first.gap_trail[d] + next.gap_lead[d], top))];
        }
        if (!here && there) {
            first.gap_lead[d] = first.digits + next.gap_lead[d];
        }
        first.gap_trail[d] = there ? next.gap_trail[d] : here ? first.gap_trail[d] + next.digits : 0;
    }
    // Runs: a run that goes on across the two is one.
    for (std::size_t d = 0; d < 16; ++d) {
        const longest_run& other = next.longest[d];
        if (other.length > first.longest[d].length) {
            first.longest[d] = other;
        }
    }
    const bool joined = first.trail_digit == next.lead_digit;
    if (joined) {
        const std::int64_t length = first.trail_length + next.lead_length;
        close_run(first, first.trail_digit, first.pos + first.digits - first.trail_length, length);
        // Of two runs as long, the first: the joined one starts before any of next's.
        longest_run& best = first.longest[at(first.trail_digit)];
        if (best.length == length && best.pos > first.pos + first.digits - first.trail_length) {
            best.pos = first.pos + first.digits - first.trail_length;
        }
    }
    if (joined && first.lead_length == first.digits) {
        first.lead_length += next.lead_length;
    }
    if (joined && next.trail_length == next.digits) {
        first.trail_length += next.digits;
    } else {
        first.trail_digit = next.trail_digit;
        first.trail_length = next.trail_length;
    }
    // The walk, from where this one ends.
    walk_extent& walk = first.walk;
    walk.min_x = std::min(walk.min_x, walk.x + next.walk.min_x);
    walk.max_x = std::max(walk.max_x, walk.x + next.walk.max_x);
    walk.min_y = std::min(walk.min_y, walk.y + next.walk.min_y);
    walk.max_y = std::max(walk.max_y, walk.y + next.walk.max_y);
    walk.x += next.walk.x;
    walk.y += next.walk.y;
    walk.steps += next.walk.steps;
    first.walk_pending = next.walk_pending;
    // The edges.
    if (first.digits == 1) {
        first.head[1] = next.head[0];
    }
    if (next.digits == 1) {
        first.tail[0] = first.tail[1];
        first.tail[1] = next.tail[1];
    } else {
        first.tail = next.tail;
    }
    first.digits += next.digits;
}

}  // namespace rovurer
