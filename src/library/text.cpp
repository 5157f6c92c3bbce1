// rovurer::write_text and write_found: a run's text made in parts on the
// call's threads (library/lines.h).
#include "rovurer/text.h"

#include <atomic>

#include "library/lines.h"
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

// A dump: its parts end on whole lines, or groups, and may go in place.
class dump_job final : public line_job {
public:
    dump_job(const dump_layout& shape, std::int64_t requested) : shape_(shape), requested_(requested) {}

    std::int64_t unit() const override {
        return shape_.per_line > 0 ? shape_.per_line : shape_.group > 0 ? shape_.group : 1;
    }
    bool places() const override { return true; }
    std::int64_t text_before(std::int64_t pos, std::int64_t index) const override {
        return rovurer::text_before(shape_, pos, index);
    }
    double text_per_digit() const override {
        return 1.0 + (shape_.group > 0 ? 1.0 / static_cast<double>(shape_.group) : 0.0) +
               (shape_.per_line > 0 ? 24.0 / static_cast<double>(shape_.per_line) : 0.0);
    }
    // The last part asks for what the range asked for, so that it sees the
    // data end early where it does (a line that stops after a full group
    // keeps its space).
    std::int64_t reach(std::int64_t first, std::int64_t last, std::int64_t length) const override {
        return last == length ? requested_ - first : last - first;
    }
    command_result work(output_buffer& out, digit_run& run, std::int64_t first, std::int64_t /*last*/) override {
        return dump_digits(out, run, shape_, first);
    }
    bool works_whole() const override { return true; }

private:
    dump_layout shape_;
    std::int64_t requested_;
};

// A find's positions: a part reads on for the length of the digits, less
// one, so that its matches are those that start in it.
class found_job final : public line_job {
public:
    found_job(std::string_view digits, std::int64_t max_count) : digits_(digits), max_count_(max_count) {}

    std::optional<error> refusal(int base) const override {
        if (!is_digit_string(digits_, base)) {
            return error{errc::bad_digits, digits_refusal(digits_, base)};
        }
        return std::nullopt;
    }
    std::int64_t max_lines() const override { return max_count_; }
    std::int64_t reach(std::int64_t first, std::int64_t last, std::int64_t length) const override {
        const auto tail = static_cast<std::int64_t>(digits_.size()) - 1;
        return last - first + tail < length - first ? last - first + tail : length - first;
    }
    command_result work(output_buffer& out, digit_run& run, std::int64_t /*first*/, std::int64_t /*last*/) override {
        std::uint64_t written = 0;
        const command_result result = find_digits(out, run, digits_, max_count_, &written);
        found_.fetch_add(written, std::memory_order_relaxed);
        return result;
    }
    bool works_whole() const override { return true; }
    std::int64_t found() const { return static_cast<std::int64_t>(found_.load(std::memory_order_relaxed)); }

private:
    std::string_view digits_;
    std::int64_t max_count_;
    std::atomic<std::uint64_t> found_{0};
};

}  // namespace

result<text_written> write_text(const file& source, const range& where, const layout& shape, const text_output& to,
                                const scan_options& options) {
    return guarded<text_written>([&]() -> result<text_written> {
        if (shape.group < 0 || shape.per_line < 0) {
            return error{errc::bad_option, "a group or line of fewer than 0 digits"};
        }
        dump_job job({shape.group, shape.per_line, shape.labels, !shape.space_at_data_end}, where.count);
        const result<lines_run> ran = run_lines(source, where, to, options, job);
        if (!ran) {
            return ran.error();
        }
        text_written written;
        written.digits = ran->part_digits;
        written.range_digits = ran->range_digits;
        return written;
    });
}

result<text_written> write_found(const file& source, std::string_view digits, const range& where,
                                 std::int64_t max_count, const text_output& to, const scan_options& options) {
    return guarded<text_written>([&]() -> result<text_written> {
        if (max_count < 0) {
            return error{errc::bad_option, "a maximum count below 0 (" + std::to_string(max_count) + ")"};
        }
        found_job job(digits, max_count == to_end ? -1 : max_count);
        const result<lines_run> ran = run_lines(source, where, to, options, job);
        if (!ran) {
            return ran.error();
        }
        text_written written;
        written.positions = job.found();
        written.range_digits = ran->range_digits;
        return written;
    });
}

}  // namespace rovurer
