#include "scan/statistics.h"

#include "scan/search.h"

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
        values[static_cast<std::size_t>('0') + static_cast<std::size_t>(d)] = static_cast<std::uint8_t>(d);
    }
    for (int d = 0; d < 6; ++d) {
        values[static_cast<std::size_t>('A') + static_cast<std::size_t>(d)] = static_cast<std::uint8_t>(10 + d);
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

// The steps of `count` digit values, kept in registers as they go.
void walk_chunk(walk_extent& walk, int& pending, int base, const std::uint8_t* values, std::size_t count) {
    std::int64_t x = walk.x;
    std::int64_t y = walk.y;
    std::int64_t min_x = walk.min_x;
    std::int64_t max_x = walk.max_x;
    std::int64_t min_y = walk.min_y;
    std::int64_t max_y = walk.max_y;
    std::int64_t steps = 0;
    const auto go = [&](unsigned direction) {
        x += step_x[direction];
        y += step_y[direction];
        min_x = x < min_x ? x : min_x;
        max_x = x > max_x ? x : max_x;
        min_y = y < min_y ? y : min_y;
        max_y = y > max_y ? y : max_y;
        ++steps;
    };
    std::size_t k = 0;
    if (base == 2 && pending >= 0 && count > 0) {
        go(static_cast<unsigned>(pending << 1 | values[0]));
        pending = -1;
        k = 1;
    }
    if (base == 10) {
        // Without a branch on 8 and 9, which come at random: they move by 0.
        static constexpr std::array<std::int8_t, 10> dx = {1, 0, -1, 0, 1, 0, -1, 0, 0, 0};
        static constexpr std::array<std::int8_t, 10> dy = {0, 1, 0, -1, 0, 1, 0, -1, 0, 0};
        for (; k < count; ++k) {
            const std::uint8_t d = values[k];
            x += dx[d];
            y += dy[d];
            min_x = x < min_x ? x : min_x;
            max_x = x > max_x ? x : max_x;
            min_y = y < min_y ? y : min_y;
            max_y = y > max_y ? y : max_y;
            steps += d < 8 ? 1 : 0;
        }
    } else if (base == 16) {
        for (; k < count; ++k) {
            go(values[k] >> 2U);
            go(values[k] & 3U);
        }
    } else {
        for (; k + 1 < count; k += 2) {
            go(static_cast<unsigned>(values[k] << 1 | values[k + 1]));
        }
        if (k < count) {
            pending = values[k];
        }
    }
    walk = {walk.steps + steps, x, y, min_x, min_y, max_x, max_y};
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

namespace {

// The poker hand of each five-digit value in `base`, its digits the hand.
const std::vector<std::uint8_t>& hands_of(int base) {
    const auto make = [](int of) {
        std::size_t size = 1;
        for (int k = 0; k < 5; ++k) {
            size *= static_cast<std::size_t>(of);
        }
        std::vector<std::uint8_t> table(size);
        for (std::size_t value = 0; value < size; ++value) {
            std::array<std::uint8_t, 5> hand{};
            std::size_t rest = value;
            for (std::size_t k = 5; k-- > 0; rest /= static_cast<std::size_t>(of)) {
                hand[k] = static_cast<std::uint8_t>(rest % static_cast<std::size_t>(of));
            }
            table[value] = static_cast<std::uint8_t>(hand_of(hand.data()));
        }
        return table;
    };
    static const std::vector<std::uint8_t> decimal = make(10);
    static const std::vector<std::uint8_t> hexadecimal = make(16);
    static const std::vector<std::uint8_t> binary = make(2);
    return base == 10 ? decimal : base == 16 ? hexadecimal : binary;
}

}  // namespace

command_result gather_statistics(digit_run& run, statistics_state& state) {
    const int base = state.base;
    const auto b = static_cast<std::size_t>(base);
    const std::size_t classes = state.gaps[0].size();
    const auto top_gap = static_cast<std::int64_t>(classes - 1);
    const std::vector<std::uint8_t>& hands = hands_of(base);
    // Only the triples are counted a digit; the pairs and the counts are
    // what the triples leave, with the last two digits.
    std::vector<std::uint64_t> gaps(b * classes, 0);  // each digit's classes, end to end
    std::array<std::int64_t, 16> last{};              // where each digit last occurred, or -1
    last.fill(-1);
    std::vector<std::uint8_t> v(static_cast<std::size_t>(digit_run::chunk_digits));
    std::int64_t i = 0;    // digits before this chunk
    std::size_t pair = 0;  // the last two digits' pair
    std::size_t lone = 0;  // the last digit
    int previous = -1;
    int before_previous = -1;
    int run_digit = -1;
    std::int64_t run_length = 0;
    std::array<std::int64_t, 16> best_length{};
    std::array<std::int64_t, 16> best_end{};  // where each digit's longest run ends
    bool lead_open = true;
    std::size_t hand = 0;
    int in_hand = 0;
    walk_extent& walk = state.walk;
    std::uint64_t* const triples = state.triples.data();
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            v[k] = digit_values[static_cast<unsigned char>(text[k])];
        }
        if (i == 0) {
            state.lead_digit = v[0];
        }
        std::size_t k = 0;
        // The first two digits: no triple ends at them.
        for (; i + static_cast<std::int64_t>(k) < 2 && k < count; ++k) {
            state.head[static_cast<std::size_t>(i) + k] = v[k];
            pair = lone * b + v[k];
            lone = v[k];
        }
        for (; k < count; ++k) {
            ++triples[pair * b + v[k]];
            pair = lone * b + v[k];
            lone = v[k];
        }
        for (k = 0; k < count; ++k) {
            const std::size_t d = v[k];
            const std::int64_t at = i + static_cast<std::int64_t>(k);
            if (last[d] >= 0) {
                ++gaps[d * classes + static_cast<std::size_t>(std::min(at - last[d] - 1, top_gap))];
            } else {
                state.gap_lead[d] = at;
            }
            last[d] = at;
        }
        // Runs: the length of the one in progress at each digit; a digit's
        // longest is replaced only by a longer one, so the first stays.
        for (k = 0; k < count; ++k) {
            const std::uint8_t d = v[k];
            run_length = d == run_digit ? run_length + 1 : 1;
            run_digit = d;
            if (run_length > best_length[d]) {
                best_length[d] = run_length;
                best_end[d] = i + static_cast<std::int64_t>(k);
            }
        }
        if (lead_open) {
            // The first run goes on while its digit does.
            std::size_t same = 0;
            while (same < count && v[same] == state.lead_digit) {
                ++same;
            }
            state.lead_length += static_cast<std::int64_t>(same);
            lead_open = same == count;
        }
        for (k = 0; k < count; ++k) {
            hand = hand * b + v[k];
            if (++in_hand == 5) {
                ++state.poker[hands[hand]];
                hand = 0;
                in_hand = 0;
            }
        }
        walk_chunk(walk, state.walk_pending, base, v.data(), count);
        before_previous = count >= 2 ? v[count - 2] : previous;
        previous = v[count - 1];
        i += static_cast<std::int64_t>(count);
        return true;
    });
    state.digits = i;
    for (std::size_t d = 0; d < b; ++d) {
        std::copy(gaps.begin() + static_cast<std::ptrdiff_t>(d * classes),
                  gaps.begin() + static_cast<std::ptrdiff_t>((d + 1) * classes), state.gaps[d].begin());
    }
    // Pairs from the triples that start with them, and the last pair;
    // counts from the pairs, and the last digit.
    for (std::size_t t = 0; t < state.triples.size(); ++t) {
        state.pairs[t / b] += state.triples[t];
    }
    if (i >= 2) {
        ++state.pairs[static_cast<std::size_t>(before_previous) * b + static_cast<std::size_t>(previous)];
    }
    for (std::size_t p = 0; p < state.pairs.size(); ++p) {
        state.counts[p / b] += state.pairs[p];
    }
    if (i >= 1) {
        ++state.counts[static_cast<std::size_t>(previous)];
        state.tail[1] = previous;
        state.tail[0] = before_previous;
        state.trail_digit = run_digit;
        state.trail_length = run_length;
    }
    for (std::size_t d = 0; d < b; ++d) {
        if (best_length[d] > 0) {
            state.longest[d] = {best_length[d], state.pos + best_end[d] - best_length[d] + 1};
        }
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

// The values of the strings of `length` digits that end in each chunk of a
// run, the window carried from chunk to chunk: value = value * base +
// digit, less the digit that leaves it (a shift and a mask in bases 2 and
// 16).
class string_values {
public:
    string_values(int base, int length)
        : base_(static_cast<std::uint64_t>(base)),
          length_(length),
          oldest_(power(base, length - 1)),
          mask_(power(base, length) - 1),
          shift_(base == 2    ? 1
                 : base == 16 ? 4
                              : 0) {}

    // The values of the strings that end in the chunk's `count` digits, in
    // order: the first starts at index taken() - count - length + 1 + the
    // digits before it that end none (at the run's start). Returns how many.
    std::size_t take(const char* text, std::size_t count) {
        digits_.resize(carried_ + count);
        for (std::size_t k = 0; k < count; ++k) {
            digits_[carried_ + k] = digit_values[static_cast<unsigned char>(text[k])];
        }
        values_.resize(count);
        std::size_t made = 0;
        std::uint64_t value = window_;
        const auto held = static_cast<std::size_t>(length_ - 1);
        std::size_t k = 0;
        // The first length - 1 digits of the run end no string.
        for (; taken_ + static_cast<std::int64_t>(k) < length_ - 1 && k < count; ++k) {
            value = value * base_ + digits_[carried_ + k];
        }
        if (shift_ != 0) {
            for (; k < count; ++k) {
                value = ((value << shift_) | digits_[carried_ + k]) & mask_;
                values_[made++] = value;
            }
        } else {
            for (; k < count; ++k) {
                value = value * base_ + digits_[carried_ + k];
                values_[made++] = value;
                value -= oldest_ * digits_[carried_ + k - held];
            }
        }
        if (shift_ != 0) {
            value &= mask_ >> shift_;  // the last length - 1 digits
        }
        window_ = value;
        taken_ += static_cast<std::int64_t>(count);
        // Carry the last length - 1 digits, which the next strings start with.
        const std::size_t all = carried_ + count;
        carried_ = std::min(held, all);
        std::copy(digits_.end() - static_cast<std::ptrdiff_t>(carried_), digits_.end(), digits_.begin());
        digits_.resize(carried_);
        return made;
    }
    const std::uint64_t* values() const { return values_.data(); }
    std::int64_t taken() const { return taken_; }
    // The last min(taken, length - 1) digit values.
    std::vector<int> last() const { return {digits_.begin(), digits_.begin() + static_cast<std::ptrdiff_t>(carried_)}; }

private:
    std::uint64_t base_;
    std::int64_t length_;
    std::uint64_t oldest_;  // base^(length - 1)
    std::uint64_t mask_;    // base^length - 1
    unsigned shift_;        // bits a digit in bases 2 and 16; 0 in base 10
    std::vector<std::uint8_t> digits_;
    std::size_t carried_ = 0;
    std::uint64_t window_ = 0;  // the value of the last length - 1 digits
    std::int64_t taken_ = 0;
    std::vector<std::uint64_t> values_;
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

command_result gather_strings(digit_run& run, std::uint64_t* seen, strings_state& state) {
    string_values strings(state.base, state.length);
    const auto edge = static_cast<std::size_t>(state.length - 1);
    constexpr std::size_t ahead = 16;  // strings whose words are fetched before they are set
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count && state.head.size() < edge; ++k) {
            state.head.push_back(digit_values[static_cast<unsigned char>(text[k])]);
        }
        const std::size_t made = strings.take(text, count);
        const std::uint64_t* values = strings.values();
        for (std::size_t k = 0; k < made; ++k) {
            if (k + ahead < made) {
                __builtin_prefetch(seen + (values[k + ahead] >> 6), 1);
            }
            seen[values[k] >> 6] |= std::uint64_t{1} << (values[k] & 63);
        }
        return true;
    });
    state.digits = strings.taken();
    state.tail = strings.last();
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
            first.seen[static_cast<std::size_t>(window.value() >> 6)] |= std::uint64_t{1} << (window.value() & 63);
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
    string_values strings(run.base(), length);
    constexpr std::size_t ahead = 16;
    return each_chunk(run, [&](const char* text, std::size_t count) {
        const std::size_t made = strings.take(text, count);
        const std::uint64_t* values = strings.values();
        // The first string made here starts at this index of the run.
        const std::int64_t begin = strings.taken() - static_cast<std::int64_t>(made) - length + 1;
        for (std::size_t k = 0; k < made; ++k) {
            const std::int64_t start = begin + static_cast<std::int64_t>(k);
            if (start >= starts) {
                return false;
            }
            if (k + ahead < made) {
                __builtin_prefetch(first + values[k + ahead], 1);
            }
            const std::uint64_t pos = run.position_of(start);
            std::atomic<std::uint64_t>& slot = first[values[k]];
            std::uint64_t now = slot.load(std::memory_order_relaxed);
            while (pos < now && !slot.compare_exchange_weak(now, pos, std::memory_order_relaxed)) {
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
    char digit = 0;          // the run in progress at the end of a chunk
    bool open = false;       // whether there is one
    std::int64_t start = 0;  // where it started
    std::int64_t first = 0;  // the index of the chunk's first digit
    const auto close = [&](std::int64_t end) {
        const std::int64_t length = end - start;
        if (start >= offset && start - offset < starts && length >= least) {
            const std::uint64_t pos = run.position_of(start);
            if (json) {
                append_text(out, "{\"pos\":");
                append_position(out, pos);
                append_text(out, ",\"digit\":\"");
                out.put(digit);
                append_text(out, "\",\"length\":");
                append_position(out, static_cast<std::uint64_t>(length));
                append_text(out, "}\n");
            } else {
                append_position(out, pos);
                out.put(' ');
                out.put(digit);
                out.put(' ');
                append_position(out, static_cast<std::uint64_t>(length));
                out.put('\n');
            }
            ++*written;
        }
    };
    // A run of `least` or more holds `least` - 1 pairs of equal digits in a
    // row, one of which starts at every (least - 1)-th digit from a run's
    // start: only those pairs are looked at until one matches.
    const std::size_t stride = least > 1 ? static_cast<std::size_t>(std::min<std::int64_t>(least - 1, 1 << 20)) : 1;
    bool done = false;
    const command_result result = each_chunk(run, [&](const char* text, std::size_t count) {
        std::size_t j = 0;
        if (open) {
            while (j < count && text[j] == digit) {
                ++j;
            }
            if (j == count) {
                first += static_cast<std::int64_t>(count);
                return true;  // it goes on into the next chunk
            }
            close(first + static_cast<std::int64_t>(j));
            open = false;
        }
        // A run starts at j.
        while (j < count) {
            if (first + static_cast<std::int64_t>(j) - offset >= starts) {
                done = true;
                return false;  // no run that starts in this one's digits is left
            }
            std::size_t hit = j;
            if (least > 1) {
                while (hit + 1 < count && text[hit] != text[hit + 1]) {
                    hit += stride;
                }
                if (hit + 1 >= count) {
                    hit = count - 1;  // none in this chunk but the one it ends in
                }
            }
            std::size_t begin = hit;
            while (begin > j && text[begin - 1] == text[hit]) {
                --begin;
            }
            std::size_t end = hit + 1;
            while (end < count && text[end] == text[hit]) {
                ++end;
            }
            digit = text[hit];
            start = first + static_cast<std::int64_t>(begin);
            if (end == count) {
                open = true;
                break;
            }
            close(first + static_cast<std::int64_t>(end));
            j = end;
        }
        first += static_cast<std::int64_t>(count);
        return !out.failed();
    });
    if (result == command_result::shown && !done && open) {
        close(first);  // the data ends in a run
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
                spelled[k] = digit_characters[static_cast<std::size_t>(v) + 1];
                return;
            }
            spelled[k] = '0';
        }
        spelled.insert(spelled.begin(), '1');
    };
    std::string window;  // digits from `at` on, from index `from`
    std::size_t from = 0;
    std::int64_t at = 0;
    bool ended = false;
    const auto check = [&](bool all) {
        // Every start whose spelling the window holds (or, at the end, every one left).
        while (at < starts && (window.size() - from >= spelled.size() + 64 || (all && from < window.size()))) {
            if (window[from] == spelled[0] && window.compare(from, spelled.size(), spelled) == 0) {
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
            ++from;
            ++at;
            next_position();
        }
        window.erase(0, from);
        from = 0;
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
    // Each block counted as --count counts: whole words from the words.
    for (;;) {
        const std::int64_t left = run.length() - run.taken();
        if (left <= 0) {
            return run.failed() ? command_result::read_failed : command_result::shown;
        }
        in_block = std::min(block, left);
        const command_result tallied = tally_next(run, in_block, counts);
        if (tallied != command_result::shown) {
            return tallied;
        }
        emit();
        if (out.failed()) {
            return command_result::write_failed;
        }
    }
}

command_result trace_walk(digit_run& run, std::int64_t first, std::int64_t stride, walk_extent& extent,
                          std::vector<std::int64_t>& points) {
    const int base = run.base();
    int pending = -1;
    std::int64_t until_point = stride - 1 - first % stride;  // digits before the one after which a point is taken
    std::vector<std::uint8_t> v(static_cast<std::size_t>(digit_run::chunk_digits));
    return each_chunk(run, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            v[k] = digit_values[static_cast<unsigned char>(text[k])];
        }
        for (std::size_t k = 0; k < count;) {
            const std::size_t piece = std::min(count - k, static_cast<std::size_t>(until_point) + 1);
            walk_chunk(extent, pending, base, v.data() + k, piece);
            k += piece;
            until_point -= static_cast<std::int64_t>(piece);
            if (until_point < 0) {
                points.push_back(extent.x);
                points.push_back(extent.y);
                until_point = stride - 1;
            }
        }
        return true;
    });
}

}  // namespace rovurer
