#include "library/lines.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string>

#include "parallel/parts.h"
#include "platform/platform.h"

namespace rovurer {

namespace {

// Text goes out in writes of up to this many bytes.
constexpr std::size_t output_bytes = std::size_t{256} << 10;
// Text of this many bytes or more gets its disk space set aside first.
constexpr std::int64_t reserve_bytes = std::int64_t{1} << 20;

int deliver_to(void* context, const char* bytes, std::size_t length) {
    const auto& deliver = *static_cast<const text_output::deliver_function*>(context);
    try {
        return deliver(std::string_view(bytes, length));
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

// The largest part: what one reader buffers; in place, half of it, which
// keeps a thread's mapped words at the memory of a part buffer; in order, a
// part whose text is sized also fits, as text, the output buffer of a
// thread, so that threads make their parts while another part is written.
std::int64_t largest_part(const line_job& job, std::int32_t base, bool in_place) {
    std::int64_t largest = block_words * digits_per_word(base);
    if (in_place) {
        return largest / 2;
    }
    if (job.text_per_digit() > 0) {
        const auto fitting = static_cast<std::int64_t>(static_cast<double>(part_output_bytes) / job.text_per_digit());
        largest = fitting < largest ? fitting : largest;
    }
    return largest;
}

// The parts of `split`, on its threads, each from a part run of `whole`.
command_result run_parts_of(line_job& job, const digit_run& whole, const range& where, const run_split& split,
                            std::int64_t placed_at, const platform::file* target, call_watch& watch,
                            output_buffer& out) {
    const std::int64_t length = whole.length();
    const part_job part_work = [&](std::int64_t part, output_buffer& part_out) {
        const std::int64_t first = split.part_begin(part);
        const std::int64_t last = split.part_end(part);
        const std::int64_t before = job.before(first);
        digit_run digits(whole, where.pos + first - before, before + job.reach(first, last, length));
        if (!digits.opened()) {
            return command_result::out_of_memory;  // the same header holds the part: only memory can lack
        }
        digits.read_in_place();
        digits.watch_with(&watch);
        return lacking(job.work(part_out, digits, first, last), digits);
    };
    if (placed_at < 0) {
        // A maximum of lines ends the output after that many, and the job
        // with it.
        return run_in_parts(out, split.threads, split.parts(), job.max_lines(), part_work).result;
    }
    // Each part's text where one thread would have written it.
    const std::int64_t start = job.text_before(where.pos, split.begin);
    const std::function<std::int64_t(std::int64_t)> offset_of = [&](std::int64_t part) {
        return job.text_before(where.pos, split.part_begin(part)) - start;
    };
    return run_placed(out, placed_at, split.threads, split.parts(), offset_of, part_work, target);
}

// The error of a job that did not end shown.
error lines_error(command_result result, const output_buffer& out, const scan_options& options) {
    if (options.stop.stop_requested() || platform::stop_signal() != 0) {
        return {errc::stopped, "stopped"};
    }
    if (result == command_result::write_failed) {
        return {errc::write_failed, std::string("write error: ") + std::strerror(out.error()), out.error()};
    }
    return ended(result, options);
}

}  // namespace

result<std::int64_t> write_to_output(const text_output& to, const std::function<void(output_buffer& out)>& write) {
    platform::file output_file;
    if (!to.path().empty()) {
        int create_error = 0;
        output_file = platform::create_output(to.path().c_str(), &create_error);
        if (!output_file.is_open()) {
            return error{errc::cannot_create, std::string("cannot create: ") + std::strerror(create_error),
                         create_error, 2};
        }
    }
    platform::stream standard_output = platform::stream::output;
    auto* const deliver = const_cast<text_output::deliver_function*>(&to.deliver());
    output_buffer out = output_file.is_open()     ? output_buffer(write_to_file, &output_file, output_bytes)
                        : to.is_standard_output() ? output_buffer(write_to_stream, &standard_output, output_bytes)
                                                  : output_buffer(deliver_to, deliver, output_bytes);
    write(out);
    if (!out.flush()) {
        if (platform::stop_signal() != 0) {
            return error{errc::stopped, "stopped"};
        }
        return error{errc::write_failed, std::string("write error: ") + std::strerror(out.error()), out.error()};
    }
    return 0;
}

result<lines_run> run_lines(const file& source, const range& where, const text_output& to, const scan_options& options,
                            line_job& job) {
    call_plan plan;
    const opened_file& opened = file_access::of(source);
    digit_run whole(opened.handle, opened.header, where.base, where.pos, where.count);
    if (std::optional<error> refused = prepare_whole(options, where, whole, plan)) {
        return *refused;
    }
    if (std::optional<error> refused = job.refusal(where.base)) {
        return *refused;
    }
    // Long spans are read in place, mapped.
    whole.read_in_place();
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
    // A job that knows where its text goes, to an output that takes writes
    // anywhere: on several threads its parts are written in place, and a
    // long text has its disk space set aside first. Text offsets past 2^62
    // could pass the largest file offset.
    const bool placing =
        job.places() && (target != nullptr || to.is_standard_output()) && split.end <= std::int64_t{1} << 56;
    const std::int64_t text_length =
        placing ? job.text_before(where.pos, split.end) - job.text_before(where.pos, split.begin) : 0;
    std::int64_t text_at = -1;
    if (placing && (split.threads > 1 || text_length >= reserve_bytes)) {
        const std::int64_t offset = platform::output_offset(target);
        text_at = offset >= 0 && offset < std::int64_t{1} << 62 ? offset : -1;
    }
    const std::int64_t placed_at = split.threads > 1 ? text_at : -1;
    const bool reserved =
        text_at >= 0 && text_length >= reserve_bytes && platform::reserve_output(text_at, text_length, target);
    split.cut(job.unit(), largest_part(job, where.base, placed_at >= 0));
    command_result result = command_result::shown;
    if (split.threads == 1 && options.part.index == 0 && job.works_whole()) {
        whole.watch_with(&watch);
        result = lacking(job.work(out, whole, 0, length), whole);
    } else {
        result = run_parts_of(job, whole, where, split, placed_at, target, watch, out);
    }
    if (!out.flush() && result == command_result::shown) {
        result = command_result::write_failed;
    }
    if (reserved) {
        platform::release_output_reserve(text_at + text_length, target);
    }
    if (result != command_result::shown) {
        return lines_error(result, out, options);
    }
    return lines_run{length, bounds.end - bounds.begin};
}

}  // namespace rovurer
