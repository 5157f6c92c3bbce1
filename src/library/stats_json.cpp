// The statistics' answers and states as JSON, and the states read back.
#include <charconv>
#include <cmath>
#include <numeric>
#include <string>

#include "library/json_value.h"
#include "rovurer/stats.h"

namespace rovurer {

namespace {

constexpr std::string_view digit_characters = "0123456789ABCDEF";

// Appends JSON text: numbers exact (integers) or shortest (doubles).
class json_text {
public:
    json_text& raw(std::string_view text) {
        text_ += text;
        return *this;
    }
    json_text& key(std::string_view name) {
        if (!text_.empty() && text_.back() != '{' && text_.back() != '[') {
            text_ += ',';
        }
        text_ += '"';
        text_ += name;
        text_ += "\":";
        return *this;
    }
    json_text& integer(std::int64_t value) {
        text_ += std::to_string(value);
        return *this;
    }
    json_text& count(std::uint64_t value) {
        text_ += std::to_string(value);
        return *this;
    }
    json_text& real(double value) {
        if (!std::isfinite(value)) {
            text_ += "null";
            return *this;
        }
        char spelled[32];
        const auto [end, error] = std::to_chars(spelled, spelled + sizeof spelled, value);
        text_.append(spelled, error == std::errc{} ? end : spelled);
        return *this;
    }
    json_text& digit(int value) {
        text_ += '"';
        text_ += digit_characters[static_cast<std::size_t>(value)];
        text_ += '"';
        return *this;
    }
    template <typename List, typename Each>
    json_text& list(const List& items, Each each) {
        text_ += '[';
        bool first = true;
        for (const auto& item : items) {
            if (!first) {
                text_ += ',';
            }
            first = false;
            each(item);
        }
        text_ += ']';
        return *this;
    }
    template <typename List>
    json_text& numbers(const List& items) {
        return list(items, [this](const auto value) { text_ += std::to_string(value); });
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

void test_members(json_text& out, const chi_square_test& test, std::string_view statistic_name, bool with_df = true) {
    out.key(statistic_name);
    if (test.too_short) {
        out.raw("null");
    } else {
        out.real(test.statistic);
    }
    if (with_df) {
        out.key("df").integer(test.df);
    }
    out.key("p_value");
    if (test.too_short) {
        out.raw("null");
    } else {
        out.real(test.p_value);
    }
}

// The first `base` values of an array of sixteen, one a digit.
template <typename Array>
std::vector<typename Array::value_type> first_of(const Array& values, int base) {
    return {values.begin(), values.begin() + base};
}

}  // namespace

std::string to_json(const digit_statistics& answer) {
    json_text out;
    out.raw("{");
    out.key("base").integer(answer.base);
    out.key("pos").integer(answer.pos);
    out.key("digits").integer(answer.digits);
    out.key("counts").numbers(first_of(answer.counts, answer.base));
    test_members(out, answer.frequency, "chi_square", false);
    out.key("df").integer(answer.frequency.df);
    for (const auto& [name, test] : {std::pair{"serial2", &answer.serial2}, std::pair{"serial3", &answer.serial3}}) {
        out.key(name).raw("{");
        test_members(out, *test, "statistic");
        out.raw("}");
    }
    out.key("poker").raw("{");
    out.key("counts").numbers(answer.poker_counts);
    test_members(out, answer.poker, "statistic");
    out.raw("}");
    int digit = 0;
    out.key("gaps").list(answer.gaps, [&](const chi_square_test& test) {
        out.raw("{");
        out.key("digit").digit(digit++);
        test_members(out, test, "statistic");
        out.raw("}");
    });
    digit = 0;
    out.key("longest_runs")
        .list(std::vector<longest_run>(answer.longest_runs.begin(), answer.longest_runs.begin() + answer.base),
              [&](const longest_run& run) {
                  out.raw("{");
                  out.key("digit").digit(digit++);
                  out.key("length").integer(run.length);
                  out.key("pos").integer(run.pos);
                  out.raw("}");
              });
    const walk_extent& walk = answer.walk;
    out.key("walk").raw("{");
    out.key("steps").integer(walk.steps);
    out.key("x").integer(walk.x);
    out.key("y").integer(walk.y);
    out.key("min_x").integer(walk.min_x);
    out.key("max_x").integer(walk.max_x);
    out.key("min_y").integer(walk.min_y);
    out.key("max_y").integer(walk.max_y);
    out.raw("}}");
    return out.take();
}

std::string to_json(const missing_strings& answer) {
    json_text out;
    out.raw("{");
    out.key("distinct").numbers(answer.distinct);
    out.key("smallest_missing");
    if (answer.smallest_missing.empty()) {
        out.raw("null}");  // every number of up to `length` digits occurs
    } else {
        out.raw("\"").raw(answer.smallest_missing).raw("\"}");
    }
    return out.take();
}

std::string to_json(const statistics_state& state) {
    json_text out;
    out.raw("{");
    out.key("base").integer(state.base);
    out.key("pos").integer(state.pos);
    out.key("digits").integer(state.digits);
    out.key("counts").numbers(first_of(state.counts, state.base));
    out.key("pairs").numbers(state.pairs);
    out.key("triples").numbers(state.triples);
    out.key("head").numbers(state.head);
    out.key("tail").numbers(state.tail);
    out.key("poker").numbers(state.poker);
    out.key("gaps").list(state.gaps, [&](const std::vector<std::uint64_t>& classes) { out.numbers(classes); });
    out.key("gap_lead").numbers(first_of(state.gap_lead, state.base));
    out.key("gap_trail").numbers(first_of(state.gap_trail, state.base));
    out.key("longest").list(std::vector<longest_run>(state.longest.begin(), state.longest.begin() + state.base),
                            [&](const longest_run& run) {
                                out.numbers(std::array<std::int64_t, 2>{run.length, run.pos});
                            });
    out.key("lead").numbers(std::array<std::int64_t, 2>{state.lead_digit, state.lead_length});
    out.key("trail").numbers(std::array<std::int64_t, 2>{state.trail_digit, state.trail_length});
    const walk_extent& walk = state.walk;
    out.key("walk").numbers(
        std::array<std::int64_t, 7>{walk.steps, walk.x, walk.y, walk.min_x, walk.max_x, walk.min_y, walk.max_y});
    out.key("walk_pending").integer(state.walk_pending);
    out.raw("}");
    return out.take();
}

std::string to_json(const strings_state& state) {
    json_text out;
    out.raw("{");
    out.key("base").integer(state.base);
    out.key("length").integer(state.length);
    out.key("pos").integer(state.pos);
    out.key("digits").integer(state.digits);
    // The bits, sixteen hexadecimal digits a word, the word's highest first.
    std::string seen(state.seen.size() * 16, '0');
    for (std::size_t k = 0; k < state.seen.size(); ++k) {
        std::uint64_t word = state.seen[k];
        for (std::size_t at = 16; at-- > 0; word >>= 4) {
            seen[k * 16 + at] = "0123456789abcdef"[word & 15];
        }
    }
    out.key("seen").raw("\"").raw(seen).raw("\"");
    out.key("head").numbers(state.head);
    out.key("tail").numbers(state.tail);
    out.raw("}");
    return out.take();
}

namespace {

// Reads the members of a state, the first fault in `why`.
class state_reader {
public:
    explicit state_reader(const json_value& root) : root_(root) {}

    bool failed() const { return !why.empty(); }

    const json_value* member(std::string_view name, json_value::kind type) {
        const json_value* found = failed() ? nullptr : root_.find(name);
        if (failed()) {
            return nullptr;
        }
        if (found == nullptr || found->type != type) {
            why = "no " + std::string(name) + " of its kind";
            return nullptr;
        }
        return found;
    }

    std::int64_t integer(const json_value* value, std::string_view name, std::int64_t lowest, std::int64_t highest) {
        if (failed() || value == nullptr) {
            return 0;
        }
        if (value->type != json_value::kind::integer || value->integer < lowest || value->integer > highest) {
            why = std::string(name) + " out of its bounds";
            return 0;
        }
        return value->integer;
    }

    std::int64_t integer(std::string_view name, std::int64_t lowest, std::int64_t highest) {
        return integer(member(name, json_value::kind::integer), name, lowest, highest);
    }

    // An array of `size` integers from `lowest` to `highest`.
    std::vector<std::int64_t> integers(const json_value* value, std::string_view name, std::size_t size,
                                       std::int64_t lowest, std::int64_t highest) {
        std::vector<std::int64_t> values;
        if (failed() || value == nullptr) {
            return values;
        }
        if (value->type != json_value::kind::array || value->items.size() != size) {
            why = std::string(name) + " of another size";
            return values;
        }
        for (const json_value& item : value->items) {
            values.push_back(integer(&item, name, lowest, highest));
        }
        return values;
    }

    std::vector<std::int64_t> integers(std::string_view name, std::size_t size, std::int64_t lowest,
                                       std::int64_t highest) {
        return integers(member(name, json_value::kind::array), name, size, lowest, highest);
    }

    // Counts that add up to `total`.
    std::vector<std::uint64_t> counts(std::string_view name, std::size_t size, std::int64_t total) {
        const std::vector<std::int64_t> values = integers(name, size, 0, INT64_MAX);
        check_sum(values, name, total);
        return {values.begin(), values.end()};
    }

    void check_sum(const std::vector<std::int64_t>& values, std::string_view name, std::int64_t total) {
        std::uint64_t sum = 0;
        for (const std::int64_t value : values) {
            sum += static_cast<std::uint64_t>(value);
        }
        if (!failed() && sum != static_cast<std::uint64_t>(std::max<std::int64_t>(total, 0))) {
            why = std::string(name) + " that do not add up to the digits";
        }
    }

    std::string why;

private:
    const json_value& root_;
};

// The JSON of a state: an object, or the object's "merge" member.
std::optional<json_value> state_root(std::string_view json, std::string& why) {
    std::optional<json_value> root = parse_json(json, why);
    if (!root) {
        return std::nullopt;
    }
    if (root->type != json_value::kind::object) {
        why = "not a JSON object";
        return std::nullopt;
    }
    if (const json_value* inner = root->find("merge"); inner != nullptr && inner->type == json_value::kind::object) {
        return *inner;
    }
    return root;
}

error part_error(const std::string& why) {
    return error{errc::bad_part, "not the answer of a part: " + why};
}

bool base_of(std::int64_t base) {
    return base == 2 || base == 10 || base == 16;
}

}  // namespace

result<statistics_state> read_statistics_state(std::string_view json) {
    std::string why;
    const std::optional<json_value> root = state_root(json, why);
    if (!root) {
        return part_error(why);
    }
    state_reader in(*root);
    const std::int64_t base = in.integer("base", 2, 16);
    if (!in.failed() && !base_of(base)) {
        return part_error("base out of its bounds");
    }
    if (in.failed()) {
        return part_error(in.why);
    }
    const auto b = static_cast<std::size_t>(base);
    statistics_state state = {};
    state.base = static_cast<int>(base);
    state.pos = in.integer("pos", 1, INT64_MAX);
    state.digits = in.integer("digits", 0, INT64_MAX);
    const std::int64_t n = state.digits;
    const std::vector<std::uint64_t> counts = in.counts("counts", b, n);
    std::copy(counts.begin(), counts.end(), state.counts.begin());
    state.pairs = in.counts("pairs", b * b, n - 1);
    state.triples = in.counts("triples", b * b * b, n - 2);
    const std::int64_t top = base - 1;
    const std::vector<std::int64_t> head = in.integers("head", 2, 0, top);
    const std::vector<std::int64_t> tail = in.integers("tail", 2, -1, top);
    if (!in.failed()) {
        state.head = {static_cast<int>(head[0]), static_cast<int>(head[1])};
        state.tail = {static_cast<int>(tail[0]), static_cast<int>(tail[1])};
    }
    const std::vector<std::uint64_t> poker = in.counts("poker", poker_hands, n / 5);
    std::copy(poker.begin(), poker.end(), state.poker.begin());
    const auto classes = static_cast<std::size_t>(gap_classes(state.base)) + 1;
    if (const json_value* gaps = in.member("gaps", json_value::kind::array); gaps != nullptr) {
        if (gaps->items.size() != b) {
            return part_error("gaps of another size");
        }
        for (const json_value& digit : gaps->items) {
            const std::vector<std::int64_t> each = in.integers(&digit, "gaps", classes, 0, INT64_MAX);
            state.gaps.emplace_back(each.begin(), each.end());
        }
    }
    const std::vector<std::int64_t> lead = in.integers("gap_lead", b, -1, std::max<std::int64_t>(n - 1, 0));
    const std::vector<std::int64_t> trail = in.integers("gap_trail", b, 0, std::max<std::int64_t>(n - 1, 0));
    std::copy(lead.begin(), lead.end(), state.gap_lead.begin());
    std::copy(trail.begin(), trail.end(), state.gap_trail.begin());
    if (const json_value* longest = in.member("longest", json_value::kind::array); longest != nullptr) {
        if (longest->items.size() != b) {
            return part_error("longest of another size");
        }
        std::size_t d = 0;
        for (const json_value& run : longest->items) {
            const std::vector<std::int64_t> pair = in.integers(&run, "longest", 2, 0, INT64_MAX);
            if (!in.failed()) {
                state.longest[d++] = {pair[0], pair[1]};
            }
        }
    }
    const std::vector<std::int64_t> lead_run = in.integers("lead", 2, 0, std::max<std::int64_t>(n, top));
    const std::vector<std::int64_t> trail_run = in.integers("trail", 2, 0, std::max<std::int64_t>(n, top));
    const std::vector<std::int64_t> walk = in.integers("walk", 7, INT64_MIN, INT64_MAX);
    state.walk_pending = static_cast<int>(in.integer("walk_pending", -1, base == 2 ? 1 : -1));
    if (in.failed()) {
        return part_error(in.why);
    }
    if (lead_run[0] > top || trail_run[0] > top || lead_run[1] > n || trail_run[1] > n) {
        return part_error("lead or trail out of its bounds");
    }
    state.lead_digit = static_cast<int>(lead_run[0]);
    state.lead_length = lead_run[1];
    state.trail_digit = static_cast<int>(trail_run[0]);
    state.trail_length = trail_run[1];
    state.walk = {walk[0], walk[1], walk[2], walk[3], walk[5], walk[4], walk[6]};
    if (state.walk.steps < 0 || state.walk.steps > n * 2 || state.walk.min_x > 0 || state.walk.min_y > 0 ||
        state.walk.max_x < 0 || state.walk.max_y < 0) {
        return part_error("a walk out of its bounds");
    }
    return state;
}

result<strings_state> read_strings_state(std::string_view json) {
    std::string why;
    const std::optional<json_value> root = state_root(json, why);
    if (!root) {
        return part_error(why);
    }
    state_reader in(*root);
    const std::int64_t base = in.integer("base", 2, 16);
    const std::int64_t length = in.integer("length", 1, 63);
    if (in.failed()) {
        return part_error(in.why);
    }
    if (!base_of(base)) {
        return part_error("base out of its bounds");
    }
    std::uint64_t strings = 1;
    for (std::int64_t k = 0; k < length; ++k) {
        strings *= static_cast<std::uint64_t>(base);
        if (strings > most_string_bits) {
            return part_error("more strings than a state holds");
        }
    }
    strings_state state;
    state.base = static_cast<int>(base);
    state.length = static_cast<int>(length);
    state.pos = in.integer("pos", 1, INT64_MAX);
    state.digits = in.integer("digits", 0, INT64_MAX);
    const json_value* seen = in.member("seen", json_value::kind::string);
    const std::size_t edge = static_cast<std::size_t>(std::min<std::int64_t>(length - 1, state.digits));
    const std::vector<std::int64_t> head = in.integers("head", edge, 0, base - 1);
    const std::vector<std::int64_t> tail = in.integers("tail", edge, 0, base - 1);
    if (in.failed()) {
        return part_error(in.why);
    }
    state.head.assign(head.begin(), head.end());
    state.tail.assign(tail.begin(), tail.end());
    const std::size_t words = static_cast<std::size_t>((strings + 63) / 64);
    if (seen->text.size() != words * 16) {
        return part_error("seen of another size");
    }
    state.seen.assign(words, 0);
    for (std::size_t k = 0; k < words; ++k) {
        std::uint64_t word = 0;
        const char* begin = seen->text.data() + k * 16;
        const auto [end, error] = std::from_chars(begin, begin + 16, word, 16);
        if (error != std::errc{} || end != begin + 16) {
            return part_error("seen that is not hexadecimal");
        }
        state.seen[k] = word;
    }
    if (strings % 64 != 0 && (state.seen.back() >> (strings % 64)) != 0) {
        return part_error("seen with bits past its strings");
    }
    return state;
}

}  // namespace rovurer
