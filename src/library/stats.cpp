// The calls of stats.h: states gathered in parts on the call's threads and
// merged in order, the tests computed from them, and the jobs that write
// lines (library/lines.h).
#include "rovurer/stats.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "library/calls.h"
#include "library/lines.h"
#include "scan/statistics.h"

namespace rovurer {

namespace {

// ln Gamma, and the regularized incomplete gamma functions P(a, x) and
// Q(a, x) = 1 - P(a, x): by their series for x < a + 1, by Lentz's
// continued fraction otherwise (Numerical Recipes' gser and gcf).
double lower_series(double a, double x) {
    double term = 1.0 / a;
    double sum = term;
    for (int n = 1; n < 100000; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * 1e-16) {
            break;
        }
    }
    return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

double upper_fraction(double a, double x) {
    constexpr double tiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / tiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        d = std::fabs(d) < tiny ? tiny : d;
        c = b + an / c;
        c = std::fabs(c) < tiny ? tiny : c;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < 1e-16) {
            break;
        }
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

double upper_gamma(double a, double x) {
    if (x <= 0) {
        return 1.0;
    }
    return x < a + 1.0 ? 1.0 - lower_series(a, x) : upper_fraction(a, x);
}

// A chi-square test of `observed` against `expected` counts; too short when
// any expected count is below 5.
chi_square_test test_of(const std::vector<double>& observed, const std::vector<double>& expected, std::int64_t df) {
    chi_square_test test;
    test.df = df;
    for (const double e : expected) {
        if (e < 5.0) {
            return test;
        }
    }
    double statistic = 0;
    for (std::size_t k = 0; k < observed.size(); ++k) {
        const double off = observed[k] - expected[k];
        statistic += off * off / expected[k];
    }
    test.statistic = statistic;
    test.p_value = chi_square_p_value(statistic, static_cast<double>(df));
    test.too_short = false;
    return test;
}

// Good's psi-square of the overlapping m-tuples: counts of the base^m
// tuples against equal frequencies; NaN when an expected count is below 5.
double psi_square(const std::uint64_t* counts, std::size_t tuples, std::int64_t total) {
    const double expected = static_cast<double>(total) / static_cast<double>(tuples);
    if (expected < 5.0) {
        return std::nan("");
    }
    double sum = 0;
    for (std::size_t k = 0; k < tuples; ++k) {
        const double off = static_cast<double>(counts[k]) - expected;
        sum += off * off;
    }
    return sum / expected;
}

chi_square_test serial_test(double statistic, std::int64_t df) {
    chi_square_test test;
    test.df = df;
    if (std::isnan(statistic)) {
        return test;
    }
    test.statistic = statistic;
    test.p_value = chi_square_p_value(std::max(statistic, 0.0), static_cast<double>(df));
    test.too_short = false;
    return test;
}

// The probability of each poker hand in `base`: the 5-sequences whose
// values fall into groups of the hand's sizes, over base^5.
std::array<double, poker_hands> hand_probabilities(int base) {
    // Each hand: its group sizes, and how many groups of each size repeat.
    struct shape {
        int groups;
        double arrangements;  // 5! / (product of group sizes!) / (product of repeated sizes' counts!)
    };
    constexpr std::array<shape, poker_hands> shapes = {{
        {5, 120.0 / 120.0},  // 1,1,1,1,1: 5!/1 / 5!
        {4, 60.0 / 6.0},     // 2,1,1,1: 5!/2! / 3!
        {3, 30.0 / 2.0},     // 2,2,1: 5!/(2!2!) / 2!
        {3, 20.0 / 2.0},     // 3,1,1: 5!/3! / 2!
        {2, 10.0},           // 3,2
        {2, 5.0},            // 4,1
        {1, 1.0},            // 5
    }};
    std::array<double, poker_hands> probabilities{};
    const double all = std::pow(static_cast<double>(base), 5);
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        double values = 1;  // base (base - 1) ... for the groups
        for (int g = 0; g < shapes[k].groups; ++g) {
            values *= static_cast<double>(base - g);
        }
        probabilities[k] = values > 0 ? values * shapes[k].arrangements / all : 0.0;
    }
    return probabilities;
}

std::uint64_t power(int base, int exponent) {
    std::uint64_t value = 1;
    for (int k = 0; k < exponent; ++k) {
        value *= static_cast<std::uint64_t>(base);
    }
    return value;
}

// The digits from index `first` of `whole`'s range, `count` of them, as values.
std::vector<int> digits_at(const digit_run& whole, std::int64_t pos, std::int64_t first, std::int64_t count) {
    std::vector<int> values;
    if (count <= 0) {
        return values;
    }
    digit_run part(whole, pos + first, count);
    std::string text(static_cast<std::size_t>(count), '\0');
    if (!part.opened() || part.read(text.data(), count) != count) {
        throw std::bad_alloc();  // the caller's guard says out of memory; a read that fails is checked by the parts
    }
    for (const char c : text) {
        values.push_back(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return values;
}

// Checks a line call's options and range, then runs the job.
result<text_written> lines_of(const file& source, const range& where, const text_output& to,
                              const scan_options& options, line_job& job, const std::atomic<std::uint64_t>* written) {
    return guarded<text_written>([&]() -> result<text_written> {
        const result<lines_run> ran = run_lines(source, where, to, options, job);
        if (!ran) {
            return ran.error();
        }
        text_written answer;
        answer.positions = written != nullptr ? static_cast<std::int64_t>(written->load()) : 0;
        answer.digits = ran->part_digits;
        answer.range_digits = ran->range_digits;
        return answer;
    });
}

// The digits the file holds from the range's position to its end.
std::int64_t available_from(const file& source, const range& where) {
    const std::int64_t total = source.facts().digits(where.base);
    return where.pos >= 1 && where.pos <= total ? total - (where.pos - 1) : 0;
}

class blocks_job final : public line_job {
public:
    blocks_job(std::int64_t block, bool json) : block_(block), json_(json) {}
    std::optional<error> refusal(int /*base*/) const override {
        if (block_ < 1) {
            return error{errc::bad_option, "blocks of fewer than 1 digit (" + std::to_string(block_) + ")"};
        }
        return std::nullopt;
    }
    std::int64_t unit() const override { return block_; }
    command_result work(output_buffer& out, digit_run& run, std::int64_t /*first*/, std::int64_t /*last*/) override {
        return write_blocks(out, run, block_, json_);
    }

private:
    std::int64_t block_;
    bool json_;
};

class runs_job final : public line_job {
public:
    runs_job(std::int64_t least, std::int64_t max_count, bool json, std::int64_t available)
        : least_(least), max_count_(max_count), json_(json), available_(available) {}
    std::optional<error> refusal(int /*base*/) const override {
        if (least_ < 1) {
            return error{errc::bad_option, "runs of fewer than 1 digit (" + std::to_string(least_) + ")"};
        }
        return std::nullopt;
    }
    std::int64_t max_lines() const override { return max_count_; }
    std::int64_t before(std::int64_t first) const override { return first > 0 ? 1 : 0; }
    // A run is read to its end, past the range's if need be.
    std::int64_t reach(std::int64_t first, std::int64_t /*last*/, std::int64_t /*length*/) const override {
        return available_ - first;
    }
    command_result work(output_buffer& out, digit_run& run, std::int64_t first, std::int64_t last) override {
        std::uint64_t written = 0;
        const command_result result = write_runs(out, run, last - first, first > 0, least_, json_, &written);
        written_ += written;
        return result;
    }
    std::atomic<std::uint64_t> written_{0};

private:
    std::int64_t least_;
    std::int64_t max_count_;
    bool json_;
    std::int64_t available_;
};

class self_locating_job final : public line_job {
public:
    explicit self_locating_job(bool json) : json_(json) {}
    // A position's spelling is at most 63 digits (base 2): a part reads on
    // for them, within the range.
    std::int64_t reach(std::int64_t first, std::int64_t last, std::int64_t length) const override {
        return std::min(last - first + 63, length - first);
    }
    command_result work(output_buffer& out, digit_run& run, std::int64_t first, std::int64_t last) override {
        std::uint64_t written = 0;
        const command_result result = write_self_locating(out, run, last - first, json_, &written);
        static_cast<void>(first);
        written_ += written;
        return result;
    }
    std::atomic<std::uint64_t> written_{0};

private:
    bool json_;
};

// The strings that a call counts: base^length bits, at most most_string_bits.
std::optional<error> strings_refusal(int base, int length, std::uint64_t most) {
    if (length < 1) {
        return error{errc::bad_option, "strings of fewer than 1 digit (" + std::to_string(length) + ")"};
    }
    std::uint64_t strings = 1;
    for (int k = 0; k < length; ++k) {
        strings *= static_cast<std::uint64_t>(base);
        if (strings > most) {
            return error{errc::bad_option, "strings of " + std::to_string(length) + " base-" + std::to_string(base) +
                                               " digits are too many to hold (" + std::to_string(most) + " at most)"};
        }
    }
    return std::nullopt;
}

void append(output_buffer& out, std::string_view text) {
    out.append(text.data(), text.size());
}

}  // namespace

double chi_square_p_value(double statistic, double df) {
    return upper_gamma(df / 2.0, statistic / 2.0);
}

digit_statistics summarize(const statistics_state& state) {
    digit_statistics summary;
    const int base = state.base;
    const auto b = static_cast<std::size_t>(base);
    summary.base = base;
    summary.pos = state.pos;
    summary.digits = state.digits;
    summary.counts = state.counts;
    const std::int64_t n = state.digits;
    {
        std::vector<double> observed(b);
        for (std::size_t d = 0; d < b; ++d) {
            observed[d] = static_cast<double>(state.counts[d]);
        }
        summary.frequency = test_of(observed, std::vector<double>(b, static_cast<double>(n) / base), base - 1);
    }
    const double psi1 = psi_square(state.counts.data(), b, n);
    const double psi2 = n >= 2 ? psi_square(state.pairs.data(), b * b, n - 1) : std::nan("");
    const double psi3 = n >= 3 ? psi_square(state.triples.data(), b * b * b, n - 2) : std::nan("");
    const auto b64 = static_cast<std::int64_t>(base);
    summary.serial2 = serial_test(psi2 - psi1, b64 * b64 - b64);
    summary.serial3 = serial_test(psi3 - 2 * psi2 + psi1, b64 * b64 * b64 - 2 * b64 * b64 + b64);
    // Poker: the hands whose pattern the base allows.
    summary.poker_counts = state.poker;
    {
        const std::array<double, poker_hands> chances = hand_probabilities(base);
        double hands = 0;
        for (const std::uint64_t count : state.poker) {
            hands += static_cast<double>(count);
        }
        std::vector<double> observed;
        std::vector<double> expected;
        for (std::size_t k = 0; k < chances.size(); ++k) {
            if (chances[k] > 0) {
                observed.push_back(static_cast<double>(state.poker[k]));
                expected.push_back(hands * chances[k]);
            }
        }
        summary.poker = test_of(observed, expected, static_cast<std::int64_t>(observed.size()) - 1);
    }
    // Gaps: a geometric law of the gap's length.
    const double p = 1.0 / base;
    for (std::size_t d = 0; d < b; ++d) {
        const std::vector<std::uint64_t>& classes = state.gaps[d];
        double gaps = 0;
        for (const std::uint64_t count : classes) {
            gaps += static_cast<double>(count);
        }
        std::vector<double> observed;
        std::vector<double> expected;
        for (std::size_t k = 0; k < classes.size(); ++k) {
            observed.push_back(static_cast<double>(classes[k]));
            const double last = std::pow(1.0 - p, static_cast<double>(k));
            expected.push_back(gaps * (k + 1 == classes.size() ? last : p * last));
        }
        summary.gaps.push_back(test_of(observed, expected, static_cast<std::int64_t>(classes.size()) - 1));
    }
    summary.longest_runs = state.longest;
    summary.walk = state.walk;
    return summary;
}

result<statistics_state> gather_statistics(const file& source, const range& where, const scan_options& options) {
    return guarded<statistics_state>([&]() -> result<statistics_state> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        const part_bounds bounds = bounds_of(options.part, whole.length(), 10);
        call_watch watch(options, bounds.end - bounds.begin);
        std::mutex lock;
        std::map<std::int64_t, statistics_state> states;
        const command_result result = run_split_parts(
            bounds, plan, block_words * digits_per_word(where.base), 1,
            [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                part_run piece(whole, where.pos, begin, split.part_end(part) - begin, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                statistics_state state = empty_statistics(where.base, where.pos + begin);
                const command_result gathered = lacking(gather_statistics(piece.run, state), piece.run);
                const std::lock_guard<std::mutex> held(lock);
                states.emplace(part, std::move(state));
                return gathered;
            },
            10);
        if (result != command_result::shown) {
            return ended(result, options);
        }
        statistics_state all = empty_statistics(where.base, where.pos + bounds.begin);
        for (const auto& [part, state] : states) {
            static_cast<void>(merge(all, state));  // the parts follow one another
        }
        return all;
    });
}

result<digit_statistics> statistics(const file& source, const range& where, const scan_options& options) {
    const result<statistics_state> gathered = gather_statistics(source, where, options);
    if (!gathered) {
        return gathered.error();
    }
    return summarize(*gathered);
}

result<text_written> write_blocks(const file& source, const range& where, std::int64_t block, bool json,
                                  const text_output& to, const scan_options& options) {
    blocks_job job(block, json);
    return lines_of(source, where, to, options, job, nullptr);
}

result<text_written> write_runs(const file& source, const range& where, std::int64_t least, std::int64_t max_count,
                                bool json, const text_output& to, const scan_options& options) {
    if (max_count < 0) {
        return error{errc::bad_option, "a maximum count below 0 (" + std::to_string(max_count) + ")"};
    }
    runs_job job(least, max_count == to_end ? -1 : max_count, json, available_from(source, where));
    return lines_of(source, where, to, options, job, &job.written_);
}

result<text_written> write_self_locating(const file& source, const range& where, bool json, const text_output& to,
                                         const scan_options& options) {
    self_locating_job job(json);
    return lines_of(source, where, to, options, job, &job.written_);
}

namespace {

// The bitsets of the threads of a call that gathers strings, each worked by
// one part at a time and ORed at the end: at most one a thread, and no
// more than fit in most_bitset_bytes (then parts wait for one).
class bitset_pool {
public:
    bitset_pool(std::size_t words, int threads)
        : words_(words),
          most_(std::max<std::size_t>(
              1, std::min<std::size_t>(static_cast<std::size_t>(threads), most_bitset_bytes / (words * 8 + 1)))) {}

    std::vector<std::uint64_t> take() {
        std::unique_lock<std::mutex> held(lock_);
        freed_.wait(held, [this] { return !idle_.empty() || made_ < most_; });
        if (!idle_.empty()) {
            std::vector<std::uint64_t> bits = std::move(idle_.back());
            idle_.pop_back();
            return bits;
        }
        ++made_;
        held.unlock();
        return std::vector<std::uint64_t>(words_, 0);
    }

    void give_back(std::vector<std::uint64_t> bits) {
        {
            const std::lock_guard<std::mutex> held(lock_);
            idle_.push_back(std::move(bits));
        }
        freed_.notify_one();
    }

    // Every bitset ORed into one, once every part is done: the first, the
    // others freed as they are taken in.
    std::vector<std::uint64_t> merged() {
        if (idle_.empty()) {
            return std::vector<std::uint64_t>(words_, 0);
        }
        std::vector<std::uint64_t> all = std::move(idle_.front());
        for (std::size_t k = 1; k < idle_.size(); ++k) {
            for (std::size_t word = 0; word < all.size(); ++word) {
                all[word] |= idle_[k][word];
            }
            std::vector<std::uint64_t>().swap(idle_[k]);
        }
        idle_.clear();
        return all;
    }

    static constexpr std::size_t most_bitset_bytes = std::size_t{1} << 30;

private:
    std::size_t words_;
    std::size_t most_;
    std::size_t made_ = 0;  // under lock_
    std::mutex lock_;
    std::condition_variable freed_;
    std::vector<std::vector<std::uint64_t>> idle_;  // under lock_
};

}  // namespace

result<strings_state> gather_strings(const file& source, const range& where, int length, const scan_options& options) {
    return guarded<strings_state>([&]() -> result<strings_state> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        if (std::optional<error> refused = strings_refusal(where.base, length, most_string_bits)) {
            return *refused;
        }
        const std::int64_t total = whole.length();
        const part_bounds bounds = bounds_of(options.part, total, 1);
        strings_state state;  // its bits are the threads' bitsets, merged
        state.base = where.base;
        state.length = length;
        bitset_pool bitsets(static_cast<std::size_t>((power(where.base, length) + 63) / 64), plan.threads);
        call_watch watch(options, bounds.end - bounds.begin);
        const std::int64_t tail = length - 1;
        // Each part reads on for a string's length, less one: the strings
        // that start in it, within the part's stretch (the state's).
        const command_result result = run_split_parts(
            bounds, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                const std::int64_t reach = std::min(split.part_end(part) - begin + tail, bounds.end - begin);
                part_run piece(whole, where.pos, begin, reach, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                strings_state edges = empty_strings(where.base, 1);
                edges.length = length;
                std::vector<std::uint64_t> bits = bitsets.take();
                const command_result gathered = lacking(gather_strings(piece.run, bits.data(), edges), piece.run);
                bitsets.give_back(std::move(bits));
                return gathered;
            });
        if (result != command_result::shown) {
            return ended(result, options);
        }
        state.seen = bitsets.merged();
        state.pos = where.pos + bounds.begin;
        state.digits = bounds.end - bounds.begin;
        const std::int64_t edge = std::min(tail, state.digits);
        state.head = digits_at(whole, where.pos, bounds.begin, edge);
        state.tail = digits_at(whole, where.pos, bounds.end - edge, edge);
        return state;
    });
}

namespace {

bool bit_of(const std::vector<std::uint64_t>& bits, std::uint64_t at) {
    return ((bits[static_cast<std::size_t>(at >> 6)] >> (at & 63)) & 1) != 0;
}

void set_bit_of(std::vector<std::uint64_t>& bits, std::uint64_t at) {
    bits[static_cast<std::size_t>(at >> 6)] |= std::uint64_t{1} << (at & 63);
}

// `count` bits (at most 16) from bit `from`, as the low bits of a word.
std::uint64_t bits_at(const std::vector<std::uint64_t>& bits, std::uint64_t from, unsigned count) {
    const auto word = static_cast<std::size_t>(from >> 6);
    const unsigned shift = static_cast<unsigned>(from & 63);
    std::uint64_t value = bits[word] >> shift;
    if (shift + count > 64) {
        value |= bits[word + 1] << (64 - shift);
    }
    return value & ((std::uint64_t{1} << count) - 1);
}

}  // namespace

missing_strings summarize(const strings_state& state) {
    missing_strings answer;
    const int base = state.base;
    const auto b = static_cast<std::uint64_t>(base);
    const auto levels = static_cast<std::size_t>(state.length);
    // Level by level down from the full length, a bit a string: a string
    // occurs with an extension when one of its one-digit-longer extensions
    // does (base bits side by side, the string's value times base on).
    // The full length is the state's own bits, which the tail below never
    // reaches: its strings are shorter.
    std::vector<std::vector<std::uint64_t>> shorter(levels);
    const auto present = [&](std::size_t m) -> const std::vector<std::uint64_t>& {
        return m == levels ? state.seen : shorter[m];
    };
    for (std::size_t m = levels - 1; m >= 1; --m) {
        const std::uint64_t strings = power(base, static_cast<int>(m));
        std::vector<std::uint64_t>& level = shorter[m];
        level.assign(static_cast<std::size_t>((strings + 63) / 64), 0);
        const std::vector<std::uint64_t>& above = present(m + 1);
        for (std::uint64_t v = 0; v < strings; ++v) {
            if (bits_at(above, v * b, static_cast<unsigned>(base)) != 0) {
                set_bit_of(level, v);
            }
        }
    }
    // The strings that start in the last length - 1 digits, which no
    // full-length string extends.
    for (std::size_t start = 0; start < state.tail.size(); ++start) {
        std::uint64_t value = 0;
        for (std::size_t end = start; end < state.tail.size(); ++end) {
            value = value * b + static_cast<std::uint64_t>(state.tail[end]);
            set_bit_of(shorter[end - start + 1], value);
        }
    }
    for (std::size_t m = 1; m <= levels; ++m) {
        std::uint64_t count = 0;
        for (const std::uint64_t word : present(m)) {
            count += static_cast<std::uint64_t>(std::popcount(word));
        }
        answer.distinct.push_back(count);
    }
    // The smallest number that does not occur: numbers of m digits are the
    // strings of m digits from base^(m-1) (0 for one digit).
    constexpr std::string_view characters = "0123456789ABCDEF";
    for (std::size_t m = 1; m <= levels && answer.smallest_missing.empty(); ++m) {
        const std::uint64_t strings = power(base, static_cast<int>(m));
        for (std::uint64_t v = m == 1 ? 0 : power(base, static_cast<int>(m) - 1); v < strings; ++v) {
            if ((v & 63) == 0 && v + 64 <= strings &&
                present(m)[static_cast<std::size_t>(v >> 6)] == ~std::uint64_t{0}) {
                v += 63;  // a word of strings that all occur
                continue;
            }
            if (!bit_of(present(m), v)) {
                std::string spelled;
                for (std::uint64_t rest = v; rest != 0 || spelled.empty(); rest /= b) {
                    spelled.insert(spelled.begin(), characters[static_cast<std::size_t>(rest % b)]);
                }
                answer.smallest_missing = spelled;
                break;
            }
        }
    }
    return answer;
}

result<missing_strings> missing(const file& source, const range& where, int length, const scan_options& options) {
    const result<strings_state> gathered = gather_strings(source, where, length, options);
    if (!gathered) {
        return gathered.error();
    }
    return summarize(*gathered);
}

result<text_written> write_first_positions(const file& source, const range& where, int length, bool json,
                                           const text_output& to, const scan_options& options) {
    return guarded<text_written>([&]() -> result<text_written> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        if (std::optional<error> refused = strings_refusal(where.base, length, std::uint64_t{1} << 27)) {
            return *refused;
        }
        const std::int64_t total = whole.length();
        const part_bounds bounds = bounds_of(options.part, total, 1);
        const std::uint64_t strings = power(where.base, length);
        auto first = std::make_unique<std::atomic<std::uint64_t>[]>(static_cast<std::size_t>(strings));
        for (std::uint64_t v = 0; v < strings; ++v) {
            first[static_cast<std::size_t>(v)].store(UINT64_MAX, std::memory_order_relaxed);
        }
        call_watch watch(options, bounds.end - bounds.begin);
        const std::int64_t tail = length - 1;
        const command_result ran = run_split_parts(
            bounds, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                const std::int64_t starts = split.part_end(part) - begin;
                const std::int64_t reach = std::min(starts + tail, total - begin);
                part_run piece(whole, where.pos, begin, reach, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                return lacking(first_positions(piece.run, length, starts, first.get()), piece.run);
            });
        if (ran != command_result::shown) {
            return ended(ran, options);
        }
        constexpr std::string_view characters = "0123456789ABCDEF";
        const auto b = static_cast<std::uint64_t>(where.base);
        const result<std::int64_t> written = write_to_output(to, [&](output_buffer& out) {
            std::string spelled(static_cast<std::size_t>(length), '0');
            for (std::uint64_t v = 0; v < strings && !out.failed(); ++v) {
                std::uint64_t rest = v;
                for (std::size_t k = spelled.size(); k-- > 0;) {
                    spelled[k] = characters[static_cast<std::size_t>(rest % b)];
                    rest /= b;
                }
                const std::uint64_t at = first[static_cast<std::size_t>(v)].load(std::memory_order_relaxed);
                const std::string pos = std::to_string(at == UINT64_MAX ? 0 : at);
                if (json) {
                    append(
                        out,
                        std::string("{\"string\":\"").append(spelled).append("\",\"pos\":").append(pos).append("}\n"));
                } else {
                    append(out, std::string(spelled).append(" ").append(pos).append("\n"));
                }
            }
        });
        if (!written) {
            return written.error();
        }
        text_written answer;
        answer.positions = static_cast<std::int64_t>(strings);
        answer.range_digits = total;
        return answer;
    });
}

result<walk_extent> write_walk_svg(const file& source, const range& where, const text_output& to, int points,
                                   const scan_options& options) {
    return guarded<walk_extent>([&]() -> result<walk_extent> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        if (points < 2) {
            return error{errc::bad_option, "a walk of fewer than 2 points (" + std::to_string(points) + ")"};
        }
        const std::int64_t total = whole.length();
        const part_bounds bounds = bounds_of(options.part, total, 10);
        const std::int64_t digits = bounds.end - bounds.begin;
        const std::int64_t stride = std::max<std::int64_t>(1, (digits + points - 1) / points);
        call_watch watch(options, digits);
        struct traced {
            walk_extent extent;
            std::vector<std::int64_t> points;
        };
        std::mutex lock;
        std::map<std::int64_t, traced> parts;
        const command_result ran = run_split_parts(
            bounds, plan, block_words * digits_per_word(where.base), 1,
            [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                part_run piece(whole, where.pos, begin, split.part_end(part) - begin, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                traced trace;
                const command_result walked =
                    lacking(trace_walk(piece.run, begin - bounds.begin, stride, trace.extent, trace.points), piece.run);
                const std::lock_guard<std::mutex> held(lock);
                parts.emplace(part, std::move(trace));
                return walked;
            },
            10);
        if (ran != command_result::shown) {
            return ended(ran, options);
        }
        // The parts' walks, each from where the one before ended.
        walk_extent all;
        std::vector<std::int64_t> path = {0, 0};
        for (const auto& [part, trace] : parts) {
            for (std::size_t k = 0; k + 1 < trace.points.size(); k += 2) {
                path.push_back(all.x + trace.points[k]);
                path.push_back(all.y + trace.points[k + 1]);
            }
            all.min_x = std::min(all.min_x, all.x + trace.extent.min_x);
            all.max_x = std::max(all.max_x, all.x + trace.extent.max_x);
            all.min_y = std::min(all.min_y, all.y + trace.extent.min_y);
            all.max_y = std::max(all.max_y, all.y + trace.extent.max_y);
            all.x += trace.extent.x;
            all.y += trace.extent.y;
            all.steps += trace.extent.steps;
        }
        if (path[path.size() - 2] != all.x || path.back() != all.y) {
            path.push_back(all.x);
            path.push_back(all.y);
        }
        const result<std::int64_t> written = write_to_output(to, [&](output_buffer& out) {
            constexpr double side = 1000;
            constexpr double margin = 20;
            const double width = static_cast<double>(std::max<std::int64_t>(1, all.max_x - all.min_x));
            const double height = static_cast<double>(std::max<std::int64_t>(1, all.max_y - all.min_y));
            const double scale = (side - 2 * margin) / std::max(width, height);
            // The walk in the middle of the square.
            const double left = margin + (side - 2 * margin - width * scale) / 2;
            const double bottom = margin + (side - 2 * margin - height * scale) / 2;
            char text[160];
            const auto put = [&](int length) { out.append(text, static_cast<std::size_t>(std::max(length, 0))); };
            put(std::snprintf(text, sizeof text,
                              "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %.0f %.0f\" width=\"%.0f\" "
                              "height=\"%.0f\">\n",
                              side, side, side, side));
            put(std::snprintf(text, sizeof text, "<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", side,
                              side));
            put(std::snprintf(text, sizeof text,
                              "<title>The walk of %lld base-%d digits from position %lld: %lld steps</title>\n",
                              static_cast<long long>(digits), where.base,
                              static_cast<long long>(where.pos) + static_cast<long long>(bounds.begin),
                              static_cast<long long>(all.steps)));
            // The path in 64 pieces, its colour going from blue to red.
            const std::size_t count = path.size() / 2;
            constexpr std::size_t pieces = 64;
            for (std::size_t piece = 0; piece < pieces; ++piece) {
                const std::size_t from = piece * (count - 1) / pieces;
                const std::size_t to_point = (piece + 1) * (count - 1) / pieces;
                if (to_point <= from && piece + 1 < pieces) {
                    continue;
                }
                const double hue = 240.0 - 240.0 * static_cast<double>(piece) / (pieces - 1);
                put(std::snprintf(text, sizeof text,
                                  "<polyline fill=\"none\" stroke=\"hsl(%.0f,80%%,45%%)\" stroke-width=\"1\" "
                                  "points=\"",
                                  hue));
                for (std::size_t k = from; k <= to_point && k < count; ++k) {
                    const double x = left + static_cast<double>(path[2 * k] - all.min_x) * scale;
                    const double y = side - bottom - static_cast<double>(path[2 * k + 1] - all.min_y) * scale;
                    put(std::snprintf(text, sizeof text, "%.1f,%.1f ", x, y));
                }
                append(out, "\"/>\n");
            }
            append(out, "</svg>\n");
        });
        if (!written) {
            return written.error();
        }
        return all;
    });
}

}  // namespace rovurer
