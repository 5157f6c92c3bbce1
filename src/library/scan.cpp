// The calls of scan.h: each opens the range on the file opened, splits its
// part into parts for its threads (parallel/split.h) and runs them
// (run_parts).
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <optional>

#include "kernels/registry.h"
#include "library/access.h"
#include "library/calls.h"
#include "library/messages.h"
#include "parallel/parts.h"
#include "parallel/split.h"
#include "rovurer/scan.h"
#include "scan/compare.h"
#include "scan/search.h"

namespace rovurer {

struct kept_buffers::reuse {
    block_reuse kept;
};

kept_buffers::kept_buffers() : reuse_(new (std::nothrow) reuse) {}  // none kept without the memory

kept_buffers::~kept_buffers() {
    delete reuse_;
}

std::string_view active_kernel_set() {
    return kernels::active().name;
}

result<std::string_view> use_kernel_set(std::string_view name) {
    const kernels::digit_kernels* const set = kernels::find_supported(name);
    if (set == nullptr) {
        return error{errc::bad_option, kernel_set_refusal(name)};
    }
    kernels::use(*set);
    return std::string_view(set->name);
}

std::vector<std::string_view> kernel_sets() {
    std::vector<std::string_view> names;
    for (const kernels::digit_kernels* set : kernels::supported_sets()) {
        names.emplace_back(set->name);
    }
    return names;
}

namespace {

// Digit characters to their values (0-15), in place.
void to_values(char* digits, std::int64_t count) {
    auto* const bytes = reinterpret_cast<unsigned char*>(digits);
    for (std::int64_t k = 0; k < count; ++k) {
        const unsigned char c = bytes[k];
        bytes[k] = static_cast<unsigned char>(c <= '9' ? c - '0' : c - ('A' - 10));
    }
}

// read and read_values: the digits of each chunk written, and, for values,
// turned into values while the chunk is in the cache, on its part's thread.
result<std::int64_t> read_into(const file& source, const range& where, std::span<char> digits,
                               const scan_options& options, bool values) {
    return guarded<std::int64_t>([&]() -> result<std::int64_t> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        const part_bounds bounds = bounds_of(options.part, whole.length(), 1);
        const std::int64_t length = std::min(bounds.end - bounds.begin, static_cast<std::int64_t>(digits.size()));
        call_watch watch(options, length);
        const command_result result = run_split_parts(
            {bounds.begin, bounds.begin + length}, plan, block_words * digits_per_word(where.base), 1,
            [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                const std::int64_t end = split.part_end(part);
                part_run piece(whole, where.pos, begin, end - begin, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                char* const into = digits.data() - bounds.begin;
                for (std::int64_t at = begin; at < end;) {
                    const std::int64_t got = piece.run.read(into + at, std::min(end - at, digit_run::chunk_digits));
                    if (got <= 0) {
                        // The data the header declares came short, or the
                        // block buffer could not be had.
                        return lacking(command_result::read_failed, piece.run);
                    }
                    if (values) {
                        to_values(into + at, got);
                    }
                    at += got;
                }
                return piece.run.failed() ? command_result::read_failed : command_result::shown;
            });
        if (result != command_result::shown) {
            return ended(result, options);
        }
        return length;
    });
}

}  // namespace

result<std::int64_t> read(const file& source, const range& where, std::span<char> digits, const scan_options& options) {
    return read_into(source, where, digits, options, false);
}

result<std::int64_t> read_values(const file& source, const range& where, std::span<std::uint8_t> values,
                                 const scan_options& options) {
    return read_into(source, where, std::span<char>(reinterpret_cast<char*>(values.data()), values.size()), options,
                     true);
}

result<found> find(const file& source, std::string_view digits, const range& where, std::int64_t max_count,
                   const scan_options& options) {
    return guarded<found>([&]() -> result<found> {
        call_plan plan;
        if (std::optional<error> refused = plan_call(options, where, plan)) {
            return *refused;
        }
        if (max_count < 0) {
            return error{errc::bad_option, "a maximum count below 0 (" + std::to_string(max_count) + ")"};
        }
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (!whole.opened()) {
            return run_error(whole.refusal(), where.base, where.pos);
        }
        if (!is_digit_string(digits, where.base)) {
            return error{errc::bad_digits, digits_refusal(digits, where.base)};
        }
        whole.use_kernels(*plan.set);
        found answer;
        const std::int64_t length = whole.length();
        const part_bounds bounds = bounds_of(options.part, length, 1);
        if (max_count == 0) {
            answer.next = bounds.end > bounds.begin ? static_cast<std::int64_t>(whole.position_of(bounds.begin)) : 0;
            return answer;
        }
        const auto tail = static_cast<std::int64_t>(digits.size()) - 1;
        const auto most = static_cast<std::size_t>(std::min<std::int64_t>(max_count, PTRDIFF_MAX / 8));
        call_watch watch(options, bounds.end - bounds.begin);
        std::mutex lock;
        std::map<std::int64_t, std::vector<std::uint64_t>> matches;  // of the parts that found any
        const command_result result = run_split_parts(
            bounds, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                // Its matches are those that start in it: it reads on for the
                // length of the digits, less one.
                const std::int64_t reach = std::min(split.part_end(part) - begin + tail, length - begin);
                part_run piece(whole, where.pos, begin, reach, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                std::vector<std::uint64_t> positions;
                const command_result searched = find_positions(positions, piece.run, digits, most);
                if (searched != command_result::shown) {
                    return lacking(searched, piece.run);
                }
                if (piece.run.failed()) {
                    return command_result::read_failed;  // matched in a page that was lost
                }
                const bool enough = positions.size() == most;
                if (!positions.empty()) {
                    const std::lock_guard<std::mutex> held(lock);
                    matches.emplace(part, std::move(positions));
                }
                // Enough here: no part after this one matters.
                return enough ? command_result::differ : command_result::shown;
            });
        if (result != command_result::shown && result != command_result::differ) {
            return ended(result, options);
        }
        for (auto& [part, positions] : matches) {
            const std::size_t room = most - answer.positions.size();
            const std::size_t taking = std::min(room, positions.size());
            answer.positions.insert(answer.positions.end(), positions.begin(),
                                    positions.begin() + static_cast<std::ptrdiff_t>(taking));
            if (answer.positions.size() == most) {
                break;
            }
        }
        if (answer.positions.size() == most) {
            const std::uint64_t next = answer.positions.back() + 1;
            const std::uint64_t end = whole.position_of(bounds.end);
            answer.next = next < end ? static_cast<std::int64_t>(next) : 0;
        }
        return answer;
    });
}

result<digit_counts> count(const file& source, const range& where, const scan_options& options) {
    return guarded<digit_counts>([&]() -> result<digit_counts> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        const part_bounds bounds = bounds_of(options.part, whole.length(), 1);
        call_watch watch(options, bounds.end - bounds.begin);
        std::mutex lock;
        digit_counts counts{};
        const command_result result = run_split_parts(
            bounds, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                part_run piece(whole, where.pos, begin, split.part_end(part) - begin, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                digit_counts part_counts{};
                const command_result tallied = lacking(tally_digits(piece.run, where.base, part_counts), piece.run);
                const std::lock_guard<std::mutex> held(lock);
                for (std::size_t j = 0; j < counts.size(); ++j) {
                    counts[j] += part_counts[j];
                }
                return tallied;
            });
        if (result != command_result::shown) {
            return ended(result, options);
        }
        return counts;
    });
}

result<comparison> compare(const file& first, const file& second, const range& where, const scan_options& options) {
    return guarded<comparison>([&]() -> result<comparison> {
        call_plan plan;
        if (std::optional<error> refused = plan_call(options, where, plan)) {
            return *refused;
        }
        const opened_file& one = file_access::of(first);
        const opened_file& other = file_access::of(second);
        digit_run first_run(one.handle, one.header, where.base, where.pos, where.count);
        digit_run second_run(other.handle, other.header, where.base, where.pos, where.count);
        for (digit_run* opened : {&first_run, &second_run}) {
            if (!opened->opened()) {
                error refused = run_error(opened->refusal(), where.base, where.pos);
                refused.file = opened == &first_run ? 1 : 2;
                return refused;
            }
            opened->use_kernels(*plan.set);
        }
        const std::int64_t common = std::min(first_run.length(), second_run.length());
        const part_bounds bounds = bounds_of(options.part, common, 1);
        call_watch watch(options, bounds.end - bounds.begin);
        compare_plan compared;
        compared.begin = bounds.begin;
        compared.end = bounds.end;
        compared.threads = plan.threads;
        compared.watch = &watch;
        compared.alongside = &watch.alongside();
        compared.in_place = true;
        const runs_comparison found = compare_in_parts(first_run, second_run, compared);
        const command_result result = found.result;
        comparison answer;
        if (result == command_result::differ) {
            answer.difference = static_cast<std::int64_t>(found.position);
            answer.compared = answer.difference - where.pos;
            return answer;
        }
        if (result != command_result::shown) {
            error failure = ended(result, options);
            failure.file = found.failed_run == 2 ? 2 : 1;
            return failure;
        }
        answer.compared = bounds.end - bounds.begin;
        const bool last_part = options.part.index == options.part.count || options.part.index == 0;
        if (first_run.length() != second_run.length() && last_part) {
            answer.ends_first = first_run.length() < second_run.length() ? 1 : 2;
            answer.last_common = where.pos + common - 1;
        }
        return answer;
    });
}

}  // namespace rovurer
