#include "scan/dump.h"

#include <array>
#include <cstring>

#include "kernels/registry.h"

namespace rovurer {

layout_writer::layout_writer(output_buffer& out, const dump_layout& shape, std::uint64_t first_position,
                             std::int64_t first_index, const kernels::digit_kernels& set)
    : out_(out),
      shape_(shape),
      grouper_(out, shape.group, set.group),
      next_position_(first_position),
      done_(first_index) {
    in_line_ = shape.per_line > 0 ? first_index % shape.per_line : 0;
    // A part that starts right after a full group of the digits before it
    // owes them the space between the two.
    const std::int64_t in_group = shape.per_line > 0 ? in_line_ : first_index;
    if (first_index > 0 && shape.group > 0 && in_group > 0 && in_group % shape.group == 0) {
        grouper_.hold_space();
    }
}

void layout_writer::end_line(std::uint64_t last_position) {
    grouper_.drop_space();
    if (shape_.labels) {
        out_.append("  : ");
        append_number_line(out_, last_position);
    } else {
        out_.put('\n');
    }
}

void layout_writer::write(const char* digits, std::int64_t count) {
    const auto group = static_cast<std::uint64_t>(shape_.group);
    const auto phase_of = [group](std::int64_t done) {
        return group == 0 ? 0 : static_cast<std::uint64_t>(done) % group;
    };
    const std::int64_t per_line = shape_.per_line;
    if (per_line == 0) {
        grouper_.append(digits, static_cast<std::size_t>(count), phase_of(done_));
    } else {
        for (std::int64_t done = 0; done < count;) {
            const std::int64_t piece = count - done < per_line - in_line_ ? count - done : per_line - in_line_;
            grouper_.append(digits + done, static_cast<std::size_t>(piece), phase_of(in_line_));
            in_line_ += piece;
            done += piece;
            if (in_line_ == per_line) {
                end_line(next_position_ + static_cast<std::uint64_t>(done) - 1);
                in_line_ = 0;
            }
        }
    }
    done_ += count;
    next_position_ += static_cast<std::uint64_t>(count);
}

void layout_writer::finish(bool complete) {
    if (in_line_ > 0) {
        end_line(next_position_ - 1);
    } else if (!complete && !shape_.given) {
        grouper_.release_space();  // the data ended right after a full group
    }
}

command_result dump_digits(output_buffer& out, digit_run& run, const dump_layout& shape, std::int64_t first_index) {
    // Chunks whose grouped text fits the output buffer, so that output
    // leaves in writes of the buffer's size.
    const auto fitting = static_cast<std::int64_t>((out.capacity() - kernels::group_slack - 1) / 11 * 10);
    const std::int64_t chunk = fitting < digit_run::chunk_digits ? fitting : digit_run::chunk_digits;
    std::array<char, digit_run::chunk_digits + kernels::group_slack> digits{};
    layout_writer writer(out, shape, run.position_of(0), first_index, kernels::active());
    for (;;) {
        const std::int64_t got = run.read(digits.data(), chunk);
        if (got == digit_run::read_failed) {
            return command_result::read_failed;
        }
        if (got == 0) {
            break;
        }
        writer.write(digits.data(), got);
        if (out.failed()) {
            return command_result::write_failed;
        }
    }
    writer.finish(run.complete());
    return out.failed() ? command_result::write_failed : command_result::shown;
}

std::int64_t text_before(const dump_layout& shape, std::int64_t first_position, std::int64_t index) {
    if (index < 0 || index > std::int64_t{1} << 58) {
        return -1;
    }
    const auto group = static_cast<std::uint64_t>(shape.group);
    const auto digits = static_cast<std::uint64_t>(index);
    if (shape.per_line == 0) {
        // The space after the last full group is the part's to write.
        return static_cast<std::int64_t>(group == 0 || digits == 0 ? digits : digits + digits / group - 1);
    }
    const auto per_line = static_cast<std::uint64_t>(shape.per_line);
    const std::uint64_t lines = digits / per_line;
    const std::uint64_t spaces = group == 0 ? 0 : per_line / group - 1;  // the last group's is dropped
    std::uint64_t bytes = lines * (per_line + spaces + 1);               // and a newline
    if (shape.labels) {
        // "  : " and the position of the line's last digit, first + (j + 1) *
        // per_line - 1 for line j: each line has a digit for each power of
        // ten up to its position.
        const std::uint64_t first_last = static_cast<std::uint64_t>(first_position) + per_line - 1;
        bytes += lines * (4 + 1);  // and the units digit
        std::uint64_t power = 1;
        for (int exponent = 0; exponent < 19; ++exponent) {  // up to 10^19: positions are below 2^63
            power *= 10;
            const std::uint64_t below = first_last >= power ? 0 : (power - first_last - 1) / per_line + 1;
            bytes += lines - (below < lines ? below : lines);
        }
    }
    return static_cast<std::int64_t>(bytes);
}

}  // namespace rovurer
