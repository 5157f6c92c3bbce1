#include "engine/dump.h"

#include <array>
#include <cstring>

#include "kernels/registry.h"

namespace rovurer {

namespace {

// Writes digits in groups. The space after a digit that completes a group is
// held back until more digits follow, so that a line or a run that ends
// there gets exactly the bytes it should.
class group_writer {
public:
    group_writer(output_buffer& out, std::int64_t group)
        : out_(out), group_(static_cast<std::uint64_t>(group)), grouper_(kernels::active().group) {}

    // Appends `count` digits, where the current group already holds `phase`
    // digits (phase < the group size). `digits` must be readable for
    // group_slack bytes past the count.
    void append(const char* digits, std::size_t count, std::uint64_t phase) {
        if (count == 0) {
            return;
        }
        release_space();
        if (group_ == 0) {
            out_.append(digits, count);
            return;
        }
        std::size_t written = 0;
        char* start = nullptr;
        if (group_ == 10) {
            start = out_.reserve(count + count / 10 + 1 + kernels::group_slack);
            written = grouper_(digits, count, static_cast<std::size_t>(phase), start);
        } else {
            start = out_.reserve(count + static_cast<std::size_t>(count / group_) + 1);
            written = group_by_hand(digits, count, phase, start);
        }
        if ((phase + count) % group_ == 0) {
            --written;  // the space after the last digit
            space_held_ = true;
        }
        out_.commit(written);
    }

    // Lets a held space go, or drops it.
    void release_space() {
        if (space_held_) {
            out_.put(' ');
            space_held_ = false;
        }
    }
    void drop_space() { space_held_ = false; }
    void hold_space() { space_held_ = true; }

private:
    // Groups of any size, with a space after each digit that completes one.
    std::size_t group_by_hand(const char* digits, std::size_t count, std::uint64_t phase, char* to) const {
        char* const start = to;
        std::size_t done = 0;
        while (done < count) {
            const std::uint64_t to_space = group_ - phase;
            const std::size_t piece = count - done < to_space ? count - done : static_cast<std::size_t>(to_space);
            std::memcpy(to, digits + done, piece);
            to += piece;
            done += piece;
            phase += piece;
            if (phase == group_) {
                *to++ = ' ';
                phase = 0;
            }
        }
        return static_cast<std::size_t>(to - start);
    }

    output_buffer& out_;
    std::uint64_t group_;
    kernels::group_digits_function grouper_;
    bool space_held_ = false;
};

}  // namespace

command_result dump_digits(output_buffer& out, digit_run& run, const layout& shape, std::int64_t first_index) {
    // Chunks whose grouped text fits the output buffer, so that output
    // leaves in writes of the buffer's size.
    const auto fitting = static_cast<std::int64_t>((out.capacity() - kernels::group_slack - 1) / 11 * 10);
    const std::int64_t chunk = fitting < digit_run::chunk_digits ? fitting : digit_run::chunk_digits;
    std::array<char, digit_run::chunk_digits + kernels::group_slack> digits{};
    group_writer writer(out, shape.group);
    const auto group = static_cast<std::uint64_t>(shape.group);
    const auto phase_of = [group](std::int64_t done) {
        return group == 0 ? 0 : static_cast<std::uint64_t>(done) % group;
    };
    const auto end_line = [&](std::uint64_t last_position) {
        writer.drop_space();
        if (shape.labels) {
            out.append("  : ");
            append_number_line(out, last_position);
        } else {
            out.put('\n');
        }
    };
    const std::int64_t per_line = shape.per_line;
    std::int64_t in_line = per_line > 0 ? first_index % per_line : 0;  // digits on the current line
    // A part that starts right after a full group of the digits before it
    // owes them the space between the two.
    const std::int64_t in_group = per_line > 0 ? in_line : first_index;
    if (first_index > 0 && group > 0 && in_group > 0 && static_cast<std::uint64_t>(in_group) % group == 0) {
        writer.hold_space();
    }
    for (;;) {
        const std::int64_t got = run.read(digits.data(), chunk);
        if (got == digit_run::read_failed) {
            return command_result::read_failed;
        }
        if (got == 0) {
            break;
        }
        if (per_line == 0) {
            writer.append(digits.data(), static_cast<std::size_t>(got), phase_of(first_index + run.taken() - got));
        } else {
            for (std::int64_t done = 0; done < got;) {
                const std::int64_t piece = got - done < per_line - in_line ? got - done : per_line - in_line;
                writer.append(digits.data() + done, static_cast<std::size_t>(piece), phase_of(in_line));
                in_line += piece;
                done += piece;
                if (in_line == per_line) {
                    end_line(run.position_of(run.taken() - got + done - 1));
                    in_line = 0;
                }
            }
        }
        if (out.failed()) {
            return command_result::write_failed;
        }
    }
    if (in_line > 0) {
        end_line(run.position_of(run.taken() - 1));
    } else if (!run.complete() && !shape.given) {
        writer.release_space();  // the data ended right after a full group
    }
    return out.failed() ? command_result::write_failed : command_result::shown;
}

std::int64_t text_before(const layout& shape, std::int64_t first_position, std::int64_t index) {
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
