// rovurer::write_text and write_found: a run's text made in parts on the
// call's threads and written in order, or, to a standard output that takes
// writes anywhere, each part at its place.
#include "rovurer/text.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>

#include "library/calls.h"
#include "parallel/output.h"
#include "parallel/parts.h"
#include "platform/platform.h"
#include "scan/dump.h"
#include "scan/search.h"

namespace rovurer {

text_output text_output::standard_output() {
    text_output output;
    output.standard_ = true;
    return output;
}

text_output text_output::file(std::string path) {
    text_output output;
    output.path_ = std::move(path);
    return output;
}

text_output text_output::to(deliver_function deliver) {
    text_output output;
    output.deliver_ = std::move(deliver);
    return output;
}

namespace {

// Text goes out in writes of up to this many bytes.
constexpr std::size_t output_bytes = std::size_t{256} << 10;

int deliver_to(void* context, const char* bytes, std::size_t length) {
    const auto& deliver = *static_cast<const text_output::deliver_function*>(context);
    try {
        return deliver(std::string_view(bytes, length));
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

// What a call makes of each part of its run: a dump's text, or a find's
// positions.
struct text_job {
    std::int64_t requested = 0;  // the digits the range asks for
    bool dump = false;
    dump_layout shape;            // a dump's
    std::string_view digits;      // a find's
    std::int64_t max_count = -1;  // a find's lines at most, or -1
    std::atomic<std::uint64_t> found{0};

    // Parts of a dump end on whole lines, or groups.
    std::int64_t unit() const {
        return !dump ? 1 : shape.per_line > 0 ? shape.per_line : shape.group > 0 ? shape.group : 1;
    }

    // The digits the part covering digits [first, last) of a run of
    // `length` reads. The last part of a dump asks for what the range asked
    // for, so that it sees the data end early where it does (a line that
    // stops after a full group keeps its space); a find's part reads on for
    // the length of the digits, less one, so that its matches are those that
    // start in it.
    std::int64_t reach(std::int64_t first, std::int64_t last, std::int64_t length) const {
        if (dump) {
            return last == length ? requested - first : last - first;
        }
        const auto tail = static_cast<std::int64_t>(digits.size()) - 1;
        return last - first + tail < length - first ? last - first + tail : length - first;
    }

    command_result work(output_buffer& out, digit_run& run, std::int64_t first) {
        if (dump) {
            return dump_digits(out, run, shape, first);
        }
        std::uint64_t written = 0;
        const command_result result = find_digits(out, run, digits, max_count, &written);
        found.fetch_add(written, std::memory_order_relaxed);
        return result;
    }
};

// The largest part: what one reader buffers; in place, half of it, which
// keeps a thread's mapped words at the memory of a part buffer; in order, a
// dump's part also fits, as text, the output buffer of a thread, so that
// threads convert their parts while another part is written.
std::int64_t largest_part(const text_job& job, std::int32_t base, bool in_place) {
    std::int64_t largest = block_words * digits_per_word(base);
    if (in_place) {
        return largest / 2;
    }
    if (job.dump) {
        const dump_layout& shape = job.shape;
        const double text_per_digit = 1.0 + (shape.group > 0 ? 1.0 / static_cast<double>(shape.group) : 0.0) +
                                      (shape.per_line > 0 ? 24.0 / static_cast<double>(shape.per_line) : 0.0);
        const auto fitting = static_cast<std::int64_t>(static_cast<double>(part_output_bytes) / text_per_digit);
        largest = fitting < largest ? fitting : largest;
    }
    return largest;
}

// The parts of `split`, on its threads, each from a part run of `whole`.
command_result run_text_parts(text_job& job, const digit_run& whole, const range& where, const run_split& split,
                              std::int64_t placed_at, const platform::file* target, call_watch& watch,
                              output_buffer& out) {
    const std::int64_t length = whole.length();
    const part_job part_work = [&](std::int64_t part, output_buffer& part_out) {
        const std::int64_t first = split.part_begin(part);
        digit_run digits(whole, where.pos + first, job.reach(first, split.part_end(part), length));
        if (!digits.opened()) {
            return command_result::out_of_memory;  // the same header holds the part: only memory can lack
        }
        digits.read_in_place();
        digits.watch_with(&watch);
        return lacking(job.work(part_out, digits, first), digits);
    };
    if (placed_at < 0) {
        // A find's maximum ends the output after that many lines, and the
        // job with it.
        return run_in_parts(out, split.threads, split.parts(), job.max_count, part_work).result;
    }
    // Each part's text where one thread would have written it.
    const std::int64_t start = text_before(job.shape, where.pos, split.begin);
    const std::function<std::int64_t(std::int64_t)> offset_of = [&](std::int64_t part) {
        return text_before(job.shape, where.pos, split.part_begin(part)) - start;
    };
    return run_placed(out, placed_at, split.threads, split.parts(), offset_of, part_work, target);
}

// The error of a text job that did not end shown.
error text_error(command_result result, const output_buffer& out, const scan_options& options) {
    if (options.stop.stop_requested() || platform::stop_signal() != 0) {
        return {errc::stopped, "stopped"};
    }
    if (result == command_result::write_failed) {
        return {errc::write_failed, std::string("write error: ") + std::strerror(out.error()), out.error()};
    }
    return ended(result, options);
}

result<text_written> run_text(const file& source, const range& where, const text_output& to,
                              const scan_options& options, text_job& job) {
    call_plan plan;
    const opened_file& opened = file_access::of(source);
    digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
    if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
        return *refused;
    }
    if (!job.dump && !is_digit_string(job.digits, where.base)) {
        return error{errc::bad_digits, digits_refusal(job.digits, where.base)};
    }
    // Long spans are read in place, mapped.
    whole.read_in_place();
    job.requested = where.count;
    const std::int64_t length = whole.length();
    const part_bounds bounds = bounds_of(options.part, length, job.unit());
    platform::file output_file;
    if (!to.path().empty()) {
        int create_error = 0;
        output_file = platform::create_output(to.path().c_str(), &create_error);
        if (!output_file.is_open()) {
            return error{errc::cannot_create, std::string("cannot create: ") + std::strerror(create_error),
                         create_error, 2};
        }
    }
    const platform::file* const target = output_file.is_open() ? &output_file : nullptr;
    call_watch watch(options, bounds.end - bounds.begin);
    platform::stream standard_output = platform::stream::output;
    auto* const deliver = const_cast<text_output::deliver_function*>(&to.deliver());
    output_buffer out = target != nullptr         ? output_buffer(write_to_file, &output_file, output_bytes)
                        : to.is_standard_output() ? output_buffer(write_to_stream, &standard_output, output_bytes)
                                                  : output_buffer(deliver_to, deliver, output_bytes);
    run_split split = split_part(bounds, plan);
    // A dump on several threads to an output that takes writes anywhere
    // writes its parts in place. Text offsets past 2^62 could pass the
    // largest file offset.
    std::int64_t placed_at = -1;
    if (job.dump && (target != nullptr || to.is_standard_output()) && split.threads > 1 &&
        split.end <= std::int64_t{1} << 56) {
        const std::int64_t offset = platform::output_offset(target);
        placed_at = offset >= 0 && offset < std::int64_t{1} << 62 ? offset : -1;
    }
    split.cut(job.unit(), largest_part(job, where.base, placed_at >= 0));
    command_result result = command_result::shown;
    if (split.threads == 1 && options.part.index == 0) {
        whole.watch_with(&watch);
        result = lacking(job.work(out, whole, 0), whole);
    } else {
        result = run_text_parts(job, whole, where, split, placed_at, target, watch, out);
    }
    if (!out.flush() && result == command_result::shown) {
        result = command_result::write_failed;
    }
    if (result != command_result::shown) {
        return text_error(result, out, options);
    }
    text_written written;
    written.digits = job.dump ? bounds.end - bounds.begin : 0;
    written.positions = static_cast<std::int64_t>(job.found.load(std::memory_order_relaxed));
    written.range_digits = length;
    return written;
}

}  // namespace

result<text_written> write_text(const file& source, const range& where, const layout& shape, const text_output& to,
                                const scan_options& options) {
    return guarded<text_written>([&]() -> result<text_written> {
        if (shape.group < 0 || shape.per_line < 0) {
            return error{errc::bad_option, "a group or line of fewer than 0 digits"};
        }
        text_job job;
        job.dump = true;
        job.shape = {shape.group, shape.per_line, shape.labels, !shape.space_at_data_end};
        return run_text(source, where, to, options, job);
    });
}

result<text_written> write_found(const file& source, std::string_view digits, const range& where,
                                 std::int64_t max_count, const text_output& to, const scan_options& options) {
    return guarded<text_written>([&]() -> result<text_written> {
        if (max_count < 0) {
            return error{errc::bad_option, "a maximum count below 0 (" + std::to_string(max_count) + ")"};
        }
        text_job job;
        job.digits = digits;
        job.max_count = max_count == to_end ? -1 : max_count;
        return run_text(source, where, to, options, job);
    });
}

}  // namespace rovurer
