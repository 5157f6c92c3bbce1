#include "scan/statistics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
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

bool merge(statistics_state& first, const statistics_state& next) {
    if (next.base != first.base || next.pos != first.pos + first.digits) {
        return false;
    }
    if (next.digits == 0) {
        return true;
    }
    if (first.digits == 0) {
        first = next;
        return true;
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
    return true;
}

namespace {

std::uint64_t power(int base, int exponent) {
    std::uint64_t value = 1;
    for (int k = 0; k < exponent; ++k) {
        value *= static_cast<std::uint64_t>(base);
    }
    return value;
}

// Sets bit `value` of an atomic bitset, reading it first: once most bits are
// set, most strings cost a read.
void set_bit(std::atomic<std::uint64_t>* bits, std::uint64_t value) {
    std::atomic<std::uint64_t>& word = bits[value >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (value & 63);
    if ((word.load(std::memory_order_relaxed) & bit) == 0) {
        word.fetch_or(bit, std::memory_order_relaxed);
    }
}

// The values of the strings of `length` digits ending at each digit, from
// the length-th on: value = value * base + digit, less the digit that falls
// out of the window.
class string_window {
public:
    string_window(int base, int length)
        : base_(static_cast<std::uint64_t>(base)),
          length_(length),
          top_(power(base, length - 1)),
          ring_(static_cast<std::size_t>(length), 0) {}

    // Takes the next digit; true once the window holds `length` digits.
    bool take(int digit) {
        const std::size_t slot = static_cast<std::size_t>(taken_ % length_);
        if (taken_ >= length_) {
            value_ -= static_cast<std::uint64_t>(ring_[slot]) * top_;
        }
        value_ = value_ * base_ + static_cast<std::uint64_t>(digit);
        ring_[slot] = digit;
        ++taken_;
        return taken_ >= length_;
    }
    std::uint64_t value() const { return value_; }
    // The last `count` digits taken (count at most length), oldest first.
    std::vector<int> last(std::int64_t count) const {
        std::vector<int> digits;
        for (std::int64_t k = taken_ - count; k < taken_; ++k) {
            digits.push_back(ring_[static_cast<std::size_t>(k % length_)]);
        }
        return digits;
    }

private:
    std::uint64_t base_;
    std::int64_t length_;
    std::uint64_t top_;
    std::vector<int> ring_;
    std::uint64_t value_ = 0;
    std::int64_t taken_ = 0;
};

void append_position(output_buffer& out, std::uint64_t value) {
    char text[24];
    int at = 24;
    do {
        text[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.append(text + at, static_cast<std::size_t>(24 - at));
}

void append_text(output_buffer& out, std::string_view text) {
    out.append(text.data(), text.size());
}

}  // namespace

strings_state empty_strings(int base, int length) {
    strings_state state;
    state.base = base;
    state.length = length;
    state.seen.assign(static_cast<std::size_t>((power(base, length) + 63) / 64), 0);
    return state;
}

command_result gather_strings(digit_run& run, std::atomic<std::uint64_t>* seen, strings_state& state) {
    string_window window(state.base, state.length);
    const std::int64_t edge = state.length - 1;
    std::int64_t taken = 0;
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            const int v = digit_values[static_cast<unsigned char>(text[k])];
            if (taken < edge) {
                state.head.push_back(v);
            }
            ++taken;
            if (window.take(v)) {
                set_bit(seen, window.value());
            }
        }
        return true;
    });
    state.digits = taken;
    state.tail = window.last(std::min(taken, edge));
    return result;
}

bool merge(strings_state& first, const strings_state& next) {
    if (next.base != first.base || next.length != first.length || next.pos != first.pos + first.digits ||
        next.seen.size() != first.seen.size()) {
        return false;
    }
    if (next.digits == 0) {
        return true;
    }
    if (first.digits == 0) {
        first = next;
        return true;
    }
    for (std::size_t k = 0; k < first.seen.size() && k < next.seen.size(); ++k) {
        first.seen[k] |= next.seen[k];
    }
    // The strings that start in the one and end in the other.
    std::vector<int> across = first.tail;
    across.insert(across.end(), next.head.begin(), next.head.end());
    string_window window(first.base, first.length);
    for (const int digit : across) {
        if (window.take(digit)) {
            first.seen[window.value() >> 6] |= std::uint64_t{1} << (window.value() & 63);
        }
    }
    const auto edge = static_cast<std::size_t>(first.length - 1);
    if (first.head.size() < edge) {
        // A stretch shorter than the window: its head goes on into the next.
        std::vector<int> head = first.tail;
        head.insert(head.end(), next.head.begin(), next.head.end());
        head.resize(std::min(edge, head.size()));
        first.head = head;
    }
    std::vector<int> tail = first.tail;
    tail.insert(tail.end(), next.tail.begin(), next.tail.end());
    if (next.digits >= static_cast<std::int64_t>(edge)) {
        tail = next.tail;
    } else if (tail.size() > edge) {
        tail.erase(tail.begin(), tail.end() - static_cast<std::ptrdiff_t>(edge));
    }
    first.tail = tail;
    first.digits += next.digits;
    return true;
}

command_result first_positions(digit_run& run, int length, std::int64_t starts, std::atomic<std::uint64_t>* first) {
    string_window window(run.base(), length);
    std::int64_t taken = 0;
    return each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            const int v = digit_values[static_cast<unsigned char>(text[k])];
            ++taken;
            if (window.take(v)) {
                const std::int64_t start = taken - length;
                if (start >= starts) {
                    return false;
                }
                const std::uint64_t pos = run.position_of(start);
                std::atomic<std::uint64_t>& slot = first[window.value()];
                std::uint64_t now = slot.load(std::memory_order_relaxed);
                while (pos < now && !slot.compare_exchange_weak(now, pos, std::memory_order_relaxed)) {
                }
            }
        }
        return true;
    });
}

command_result write_runs(output_buffer& out, digit_run& run, std::int64_t starts, bool has_before, std::int64_t least,
                          bool json, std::uint64_t* written) {
    // With the digit before: the run's first digit is it, and a run that
    // goes on from it started before this one's digits.
    const std::int64_t offset = has_before ? 1 : 0;
    int digit = -1;           // the run in progress
    std::int64_t start = -1;  // where it started; -1: not in this one's digits
    std::int64_t at = 0;
    const auto close = [&] {
        const std::int64_t length = at - start;
        if (start >= offset && length >= least) {
            const std::uint64_t pos = run.position_of(start);
            if (json) {
                append_text(out, "{\"pos\":");
                append_position(out, pos);
                append_text(out, ",\"digit\":\"");
                out.put(digit_characters[static_cast<std::size_t>(digit)]);
                append_text(out, "\",\"length\":");
                append_position(out, static_cast<std::uint64_t>(length));
                append_text(out, "}\n");
            } else {
                append_position(out, pos);
                out.put(' ');
                out.put(digit_characters[static_cast<std::size_t>(digit)]);
                out.put(' ');
                append_position(out, static_cast<std::uint64_t>(length));
                out.put('\n');
            }
            ++*written;
        }
    };
    bool done = false;
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k, ++at) {
            const int v = digit_values[static_cast<unsigned char>(text[k])];
            if (v != digit) {
                close();
                if (at - offset >= starts) {
                    done = true;
                    return false;  // no run that starts in this one's digits is left
                }
                digit = v;
                start = at;
            }
        }
        return !out.failed();
    });
    if (result == command_result::shown && !done) {
        close();  // the data ends in a run
    }
    return out.failed() ? command_result::write_failed : result;
}

command_result write_self_locating(output_buffer& out, digit_run& run, std::int64_t starts, bool json,
                                   std::uint64_t* written) {
    const int base = run.base();
    // The digits of the position at `at`, most significant first, in base.
    std::uint64_t pos = run.position_of(0);
    std::string spelled;
    for (std::uint64_t rest = pos; rest != 0; rest /= static_cast<std::uint64_t>(base)) {
        spelled.insert(spelled.begin(),
                       digit_characters[static_cast<std::size_t>(rest % static_cast<std::uint64_t>(base))]);
    }
    const auto next_position = [&] {
        ++pos;
        std::size_t k = spelled.size();
        while (k > 0) {
            --k;
            const int v = digit_values[static_cast<unsigned char>(spelled[k])];
            if (v + 1 < base) {
                spelled[k] = digit_characters[static_cast<std::size_t>(v + 1)];
                return;
            }
            spelled[k] = '0';
        }
        spelled.insert(spelled.begin(), '1');
    };
    std::string window;  // digits from `at` on
    std::int64_t at = 0;
    bool ended = false;
    const auto check = [&](bool all) {
        // Every start whose spelling the window holds (or, at the end, every one left).
        while (at < starts && (window.size() >= spelled.size() + 64 || (all && !window.empty()))) {
            if (window.compare(0, spelled.size(), spelled) == 0) {
                if (json) {
                    append_text(out, "{\"pos\":");
                    append_position(out, pos);
                    append_text(out, "}\n");
                } else {
                    append_position(out, pos);
                    out.put('\n');
                }
                ++*written;
            }
            window.erase(0, 1);
            ++at;
            next_position();
        }
    };
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        window.append(text, count);
        check(false);
        if (at >= starts) {
            ended = true;
            return false;
        }
        return !out.failed();
    });
    if (result == command_result::shown && !ended) {
        check(true);
    }
    return out.failed() ? command_result::write_failed : result;
}

command_result write_blocks(output_buffer& out, digit_run& run, std::int64_t block, bool json) {
    const int base = run.base();
    std::array<std::uint64_t, 16> counts{};
    std::int64_t in_block = 0;
    std::int64_t block_start = 0;
    const auto emit = [&] {
        const double expected = static_cast<double>(in_block) / base;
        double chi_square = 0;
        for (int d = 0; d < base; ++d) {
            const double off = static_cast<double>(counts[static_cast<std::size_t>(d)]) - expected;
            chi_square += off * off / expected;
        }
        char number[32];
        const int length = std::snprintf(number, sizeof number, "%.4f", chi_square);
        if (json) {
            append_text(out, "{\"pos\":");
            append_position(out, run.position_of(block_start));
            append_text(out, ",\"digits\":");
            append_position(out, static_cast<std::uint64_t>(in_block));
            append_text(out, ",\"counts\":[");
            for (int d = 0; d < base; ++d) {
                if (d > 0) {
                    out.put(',');
                }
                append_position(out, counts[static_cast<std::size_t>(d)]);
            }
            append_text(out, "],\"chi_square\":");
            out.append(number, static_cast<std::size_t>(length));
            append_text(out, "}\n");
        } else {
            append_position(out, run.position_of(block_start));
            out.put(',');
            append_position(out, static_cast<std::uint64_t>(in_block));
            for (int d = 0; d < base; ++d) {
                out.put(',');
                append_position(out, counts[static_cast<std::size_t>(d)]);
            }
            out.put(',');
            out.append(number, static_cast<std::size_t>(length));
            out.put('\n');
        }
        counts.fill(0);
        block_start += in_block;
        in_block = 0;
    };
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        std::size_t k = 0;
        while (k < count) {
            const std::size_t piece = std::min(count - k, static_cast<std::size_t>(block - in_block));
            for (std::size_t j = k; j < k + piece; ++j) {
                ++counts[digit_values[static_cast<unsigned char>(text[j])]];
            }
            in_block += static_cast<std::int64_t>(piece);
            k += piece;
            if (in_block == block) {
                emit();
            }
        }
        return !out.failed();
    });
    if (result == command_result::shown && in_block > 0) {
        emit();  // the short last block
    }
    return out.failed() ? command_result::write_failed : result;
}

command_result trace_walk(digit_run& run, std::int64_t first, std::int64_t stride, walk_extent& extent,
                          std::vector<std::int64_t>& points) {
    const int base = run.base();
    int pending = -1;
    std::int64_t until_point = stride - 1 - first % stride;  // digits before the next point
    return each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            walk_digit(extent, pending, base, digit_values[static_cast<unsigned char>(text[k])]);
            if (until_point-- == 0) {
                points.push_back(extent.x);
                points.push_back(extent.y);
                until_point = stride - 1;
            }
        }
        return true;
    });
}

}  // namespace rovurer
