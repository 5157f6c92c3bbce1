// What the library's calls share: their options checked and planned (the
// kernel set, the threads, the part of the range), a watch that carries
// their stop and progress to the runs, their runs opened, and the errors
// their jobs end with.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <optional>

#include "kernels/digit_format.h"
#include "library/access.h"
#include "library/messages.h"
#include "parallel/command_result.h"
#include "parallel/split.h"
#include "reader/digit_run.h"
#include "rovurer/scan.h"

namespace rovurer {

// A call's watch over its runs: its stop token (and a caught stop signal),
// and its progress callback, called by one thread at a time with what all
// threads have done.
class call_watch final : public run_watch {
public:
    // Calls the progress callback with 0 of `total` at once.
    call_watch(const scan_options& options, std::int64_t total);

    bool stop_requested() override { return options_.stop.stop_requested(); }

    // The watch of a second run read alongside a watched one: it stops with
    // it, and its digits are not counted again.
    run_watch& alongside() { return alongside_; }

    void advanced(std::int64_t digits) override;

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

// The threads a call takes for `asked` (0: every processor): never more
// than the processors this process may use.
int threads_for(int asked);

// What a call's options come to: the kernel set and the threads.
struct call_plan {
    const kernels::digit_kernels* set = nullptr;
    int threads = 1;
};

// Checks a call's options and plans it; the refusal when there is one.
std::optional<error> plan_call(const scan_options& options, const range& where, call_plan& plan);

// Checks a call's options and its whole run, opened on the file, and gives
// the run the call's kernel set; the refusal, in that order, when there is
// one.
std::optional<error> prepare_whole(const scan_options& options, const range& where, digit_run& whole, call_plan& plan);

// The digits [begin, end) of a run of `length` digits that the options'
// part covers, cut on whole `unit`s; the whole run without a part.
struct part_bounds {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};
part_bounds bounds_of(const range_part& part, std::int64_t length, std::int64_t unit);

// The split of a call's part on its threads, not yet cut into parts.
run_split split_part(const part_bounds& bounds, const call_plan& plan);

// The error of a job that did not end shown: a stop asked for (or a stop
// signal caught), or what the job says.
error ended(command_result result, const scan_options& options);

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

// A run's result, with a read that failed for want of memory for its block
// buffer said as that.
inline command_result lacking(command_result result, const digit_run& run) {
    return result == command_result::read_failed && run.lacks_memory() ? command_result::out_of_memory : result;
}

// Runs `work` on the parts of `bounds` of a run, each of at most `largest`
// digits and a multiple of `unit` (but the last), on the plan's threads.
command_result run_split_parts(const part_bounds& bounds, const call_plan& plan, std::int64_t largest, int readers,
                               const std::function<command_result(const run_split&, std::int64_t)>& work,
                               std::int64_t unit = 1);

// Runs `call`, turning a lack of memory into its error: nothing throws out.
template <typename T, typename Call>
result<T> guarded(const Call& call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace rovurer
