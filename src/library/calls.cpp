#include "library/calls.h"

#include <algorithm>

#include "kernels/registry.h"
#include "parallel/parts.h"
#include "platform/platform.h"

namespace rovurer {

call_watch::call_watch(const scan_options& options, std::int64_t total) : options_(options), total_(total) {
    if (options_.progress) {
        options_.progress(0, total_);
    }
}

void call_watch::advanced(std::int64_t digits) {
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

int threads_for(int asked) {
    const int usable = platform::usable_processors();
    return asked == 0 || asked > usable ? usable : asked;
}

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
    if (options.part.count < 1 || options.part.index < 0 || options.part.index > options.part.count ||
        (options.part.index == 0 && options.part.count != 1)) {
        return error{errc::bad_option, "part " + std::to_string(options.part.index) + " of " +
                                           std::to_string(options.part.count) + " is not a part from 1 to its count"};
    }
    plan.threads = threads_for(options.threads);
    return std::nullopt;
}

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

part_bounds bounds_of(const range_part& part, std::int64_t length, std::int64_t unit) {
    if (part.index == 0) {
        return {0, length};
    }
    return {piece_start(length, unit, part.count, part.index - 1), piece_start(length, unit, part.count, part.index)};
}

run_split split_part(const part_bounds& bounds, const call_plan& plan) {
    return split_range(bounds.begin, bounds.end, plan.threads);
}

error ended(command_result result, const scan_options& options) {
    if (options.stop.stop_requested() || platform::stop_signal() != 0) {
        return {errc::stopped, "stopped"};
    }
    return job_error(result);
}

command_result run_split_parts(const part_bounds& bounds, const call_plan& plan, std::int64_t largest, int readers,
                               const std::function<command_result(const run_split&, std::int64_t)>& work,
                               std::int64_t unit) {
    run_split split = split_part(bounds, plan);
    split.cut(unit, largest);
    return run_parts(
        split.threads, split.parts(), [&](std::int64_t part) { return work(split, part); }, readers);
}

}  // namespace rovurer
