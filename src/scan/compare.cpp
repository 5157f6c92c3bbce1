#include "scan/compare.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "kernels/registry.h"
#include "parallel/parts.h"
#include "parallel/split.h"
#include "reader/word_source.h"

namespace rovurer {

namespace {

// Compares the next `count` digits of both runs, digit by digit, in chunks.
// `index` is the run index of the first of them, and moves past them.
runs_comparison compare_digits(digit_run& first, digit_run& second, std::int64_t& index, std::int64_t count) {
    static constexpr std::int64_t chunk = digit_run::chunk_digits;
    std::vector<char> text_first(static_cast<std::size_t>(chunk));
    std::vector<char> text_second(static_cast<std::size_t>(chunk));
    runs_comparison found;
    while (count > 0) {
        const std::int64_t wanted = count < chunk ? count : chunk;
        const std::int64_t got_first = first.read(text_first.data(), wanted);
        const std::int64_t got_second = second.read(text_second.data(), wanted);
        if (got_first != wanted || got_second != wanted) {
            found.result = command_result::read_failed;
            found.failed_run = got_first != wanted ? 1 : 2;
            return found;
        }
        if (std::memcmp(text_first.data(), text_second.data(), static_cast<std::size_t>(wanted)) != 0) {
            const auto at =
                std::mismatch(text_first.begin(), text_first.end(), text_second.begin()).first - text_first.begin();
            found.result = command_result::differ;
            found.position = first.position_of(index + at);
            return found;
        }
        index += wanted;
        count -= wanted;
    }
    return found;
}

// Where two different words' digits first differ, as a digit index in the
// word, or -1 when they show the same digits (a decimal word shows only its
// 19 low-order digits). Words are shown as the stream shows them.
std::int64_t first_different_digit(std::uint64_t a, std::uint64_t b, std::int32_t base) {
    const kernels::digit_kernels& shown = kernels::portable_kernels;
    const kernels::format_words_function format = base == 10 ? shown.decimal : base == 16 ? shown.hex : shown.binary;
    std::array<char, 64> digits_a{};
    std::array<char, 64> digits_b{};
    format(&a, 1, digits_a.data());
    format(&b, 1, digits_b.data());
    const auto end = digits_a.begin() + digits_per_word(base);
    const auto at = std::mismatch(digits_a.begin(), end, digits_b.begin()).first;
    return at == end ? -1 : at - digits_a.begin();
}

runs_comparison compare_in_order(digit_run& first, digit_run& second, std::int64_t count, bool same_words) {
    std::int64_t index = 0;
    if (!same_words) {
        return compare_digits(first, second, index, count);
    }
    // The digits up to the first word boundary, whole words, then the rest.
    const std::int64_t per_word = digits_per_word(first.base());
    const std::int64_t head = first.digits_before_word() < count ? first.digits_before_word() : count;
    runs_comparison found = compare_digits(first, second, index, head);
    std::int64_t words_left = (count - head) / per_word;
    while (found.result == command_result::shown && words_left > 0) {
        const std::int64_t ready_first = first.words_ready();
        const std::int64_t ready_second = second.words_ready();
        if (ready_first <= 0 || ready_second <= 0) {
            found.result = command_result::read_failed;
            found.failed_run = ready_first <= 0 ? 1 : 2;
            return found;
        }
        std::int64_t words = ready_first < ready_second ? ready_first : ready_second;
        words = std::min({words, words_left, digit_run::chunk_words});
        const std::uint64_t* const from_first = first.take_words(words);
        const std::uint64_t* const from_second = second.take_words(words);
        if (from_first == nullptr || from_second == nullptr) {
            found.result = command_result::read_failed;
            found.failed_run = from_first == nullptr ? 1 : 2;
            return found;
        }
        // Equal words show equal digits; where they differ, the first word
        // taken (the highest) that shows other digits decides.
        if (std::memcmp(from_first, from_second, static_cast<std::size_t>(words) * sizeof(std::uint64_t)) != 0) {
            for (std::int64_t k = words; k-- > 0;) {
                const std::int64_t digit = first_different_digit(from_first[k], from_second[k], first.base());
                if (digit >= 0) {
                    found.result = command_result::differ;
                    found.position = first.position_of(index + (words - 1 - k) * per_word + digit);
                    return found;
                }
            }
        }
        index += words * per_word;
        words_left -= words;
    }
    if (found.result != command_result::shown) {
        return found;
    }
    return compare_digits(first, second, index, count - index);
}

}  // namespace

runs_comparison compare_runs(digit_run& first, digit_run& second, std::int64_t count, bool same_words) {
    runs_comparison found = compare_in_order(first, second, count, same_words);
    if (found.result != command_result::read_failed && (first.failed() || second.failed())) {
        // Digits were compared from a mapped page that was lost: no answer.
        found.result = command_result::read_failed;
        found.failed_run = first.failed() ? 1 : 2;
    }
    return found;
}

runs_comparison compare_in_parts(const digit_run& first, const digit_run& second, const compare_plan& plan) {
    const bool same_words = first.available() == second.available();
    run_split split = split_range(plan.begin, plan.end, plan.threads);
    split.cut(1, block_words / 2 * digits_per_word(first.base()));
    const std::int64_t pos = static_cast<std::int64_t>(first.position_of(0));
    std::mutex lock;
    std::map<std::int64_t, runs_comparison> ends;  // of the parts that did not end equal
    const command_result result = run_parts(
        split.threads, split.parts(),
        [&](std::int64_t part) {
            const std::int64_t begin = split.part_begin(part);
            const std::int64_t count = split.part_end(part) - begin;
            digit_run one(first, pos + begin, count);
            digit_run other(second, pos + begin, count);
            if (!one.opened() || !other.opened()) {
                return command_result::out_of_memory;
            }
            if (plan.in_place) {
                one.read_in_place();
                other.read_in_place();
            }
            one.count_into(plan.done);
            one.watch_with(plan.watch);
            other.watch_with(plan.alongside);
            runs_comparison found = compare_runs(one, other, count, same_words);
            if (found.result == command_result::read_failed && (one.lacks_memory() || other.lacks_memory())) {
                found.result = command_result::out_of_memory;  // a block buffer that could not be had
            }
            if (found.result != command_result::shown) {
                const std::lock_guard<std::mutex> held(lock);
                ends.emplace(part, found);
            }
            return found.result;
        },
        2);
    runs_comparison answer;
    answer.result = result;
    const auto first_end = ends.begin();
    if (result != command_result::shown && first_end != ends.end() && first_end->second.result == result) {
        answer = first_end->second;
    }
    return answer;
}

}  // namespace rovurer
