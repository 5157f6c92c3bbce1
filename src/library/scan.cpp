// The calls of scan.h: each opens the range on the file opened, splits it
// into parts for its threads (engine/split.h) and runs them (run_parts).
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <optional>

#include "kernels/registry.h"
#include "library/access.h"
#include "library/messages.h"
#include "parallel/parts.h"
#include "parallel/split.h"
#include "rovurer/scan.h"
#include "scan/compare.h"
#include "scan/search.h"

namespace rovurer {

namespace {

// A call's watch over its runs: its stop token, and its progress callback,
// called by one thread at a time with what all threads have done.
class call_watch final : public run_watch {
public:
    call_watch(const scan_options& options, std::int64_t total) : options_(options), total_(total) {}

    bool stop_requested() override { return options_.stop.stop_requested(); }

    // The watch of a second run read alongside a watched one: it stops with
    // it, and its digits are not counted again.
    run_watch& alongside() { return alongside_; }

    void advanced(std::int64_t digits) override {
        const std::int64_t done = done_.fetch_add(digits, std::memory_order_relaxed) + digits;
        if (options_.progress && report_.try_lock()) {
            // Parts of a find read a few digits past their end: done can pass
            // the total by those.
            const std::int64_t shown = std::min(done, total_);
            if (shown > reported_) {
                reported_ = shown;
                options_.progress(shown, total_);
            }
            report_.unlock();
        }
    }

private:
    class stop_only final : public run_watch {
    public:
        explicit stop_only(const std::stop_token& stop) : stop_(stop) {}
        bool stop_requested() override { return stop_.stop_requested(); }
        void advanced(std::int64_t /*digits*/) override {}

    private:
        const std::stop_token& stop_;
    };

    const scan_options& options_;
    stop_only alongside_{options_.stop};
    std::int64_t total_;
    std::atomic<std::int64_t> done_{0};
    std::mutex report_;
    std::int64_t reported_ = 0;  // under report_
};

// What a call's options come to: the kernel set and the threads.
struct call_plan {
    const kernels::digit_kernels* set = nullptr;
    int threads = 1;
};

std::optional<error> plan_call(const scan_options& options, const range& where, call_plan& plan) {
    if (!options.kernels.empty()) {
        plan.set = kernels::find_supported(options.kernels);
        if (plan.set == nullptr) {
            return error{errc::bad_option, kernel_set_refusal(options.kernels)};
        }
    } else {
        plan.set = &kernels::active();
    }
    if (options.threads < 0) {
        return error{errc::bad_option, "threads below 0 (" + std::to_string(options.threads) + ")"};
    }
    if (where.count < 0) {
        return error{errc::bad_option, "a count of digits below 0 (" + std::to_string(where.count) + ")"};
    }
    const int usable = platform::usable_processors();
    plan.threads = options.threads == 0 || options.threads > usable ? usable : options.threads;
    return std::nullopt;
}

// Checks a call's options and its whole run, opened on the file, and gives
// the run the call's kernel set; the refusal, in that order, when there is one.
std::optional<error> prepare_whole(const scan_options& options, const range& where, digit_run& whole, call_plan& plan) {
    if (std::optional<error> refused = plan_call(options, where, plan)) {
        return refused;
    }
    if (!whole.opened()) {
        return run_error(whole.refusal(), where.base, where.pos);
    }
    whole.use_kernels(*plan.set);
    return std::nullopt;
}

// The error of a job that did not end shown: a stop asked for, or what the
// job says.
error ended(command_result result, const scan_options& options) {
    if (options.stop.stop_requested()) {
        return {errc::stopped, "stopped"};
    }
    return job_error(result);
}

// A part of `whole` from its digit `begin` for `count` digits, watched; a
// part on the same file as the whole, so only memory can lack. Its long
// spans are read in place, mapped: a page lost under them fails the run
// (digit_run::failed), which each call checks before it answers.
struct part_run {
    digit_run run;
    part_run(const digit_run& whole, std::int64_t first_position, std::int64_t begin, std::int64_t count,
             call_watch& watch)
        : run(whole, first_position + begin, count) {
        if (run.opened()) {
            run.read_in_place();
            run.watch_with(&watch);
        }
    }
};

// Runs `work` on the parts of [0, length) of a range, each of at most
// `largest` digits.
command_result run_split_parts(std::int64_t length, const call_plan& plan, std::int64_t largest, int readers,
                               const std::function<command_result(const run_split&, std::int64_t)>& work) {
    run_split split = split_range(0, length, plan.threads);
    split.cut(1, largest);
    return run_parts(
        split.threads, split.parts(), [&](std::int64_t part) { return work(split, part); }, readers);
}

// Runs `call`, turning a lack of memory into its error: nothing throws out.
template <typename T, typename Call>
result<T> guarded(const Call& call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace

std::vector<std::string_view> kernel_sets() {
    std::vector<std::string_view> names;
    for (const kernels::digit_kernels* set : kernels::supported_sets()) {
        names.emplace_back(set->name);
    }
    return names;
}

result<std::int64_t> read(const file& source, const range& where, std::span<char> digits, const scan_options& options) {
    return guarded<std::int64_t>([&]() -> result<std::int64_t> {
        call_plan plan;
        const opened_file& opened = file_access::of(source);
        digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
        if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
            return *refused;
        }
        const std::int64_t length = std::min(whole.length(), static_cast<std::int64_t>(digits.size()));
        call_watch watch(options, length);
        const command_result result = run_split_parts(
            length, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                const std::int64_t end = split.part_end(part);
                part_run piece(whole, where.pos, begin, end - begin, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                for (std::int64_t at = begin; at < end;) {
                    const std::int64_t got =
                        piece.run.read(digits.data() + at, std::min(end - at, digit_run::chunk_digits));
                    if (got <= 0) {
                        return command_result::read_failed;  // the data the header declares came short
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
        if (max_count == 0) {
            answer.next = whole.length() > 0 ? where.pos : 0;
            return answer;
        }
        const std::int64_t length = whole.length();
        const auto tail = static_cast<std::int64_t>(digits.size()) - 1;
        const auto most = static_cast<std::size_t>(std::min<std::int64_t>(max_count, PTRDIFF_MAX / 8));
        call_watch watch(options, length);
        std::mutex lock;
        std::map<std::int64_t, std::vector<std::uint64_t>> matches;  // of the parts that found any
        const command_result result = run_split_parts(
            length, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
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
                    return searched;
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
            const std::uint64_t end = whole.position_of(length);
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
        const std::int64_t length = whole.length();
        call_watch watch(options, length);
        std::mutex lock;
        digit_counts counts{};
        const command_result result = run_split_parts(
            length, plan, block_words * digits_per_word(where.base), 1, [&](const run_split& split, std::int64_t part) {
                const std::int64_t begin = split.part_begin(part);
                part_run piece(whole, where.pos, begin, split.part_end(part) - begin, watch);
                if (!piece.run.opened()) {
                    return command_result::out_of_memory;
                }
                digit_counts part_counts{};
                const command_result tallied = tally_digits(piece.run, where.base, part_counts);
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
        call_watch watch(options, common);
        compare_plan compared;
        compared.end = common;
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
        answer.compared = common;
        if (first_run.length() != second_run.length()) {
            answer.ends_first = first_run.length() < second_run.length() ? 1 : 2;
        }
        return answer;
    });
}

}  // namespace rovurer
