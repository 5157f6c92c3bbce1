#include "frontend/dump.h"

#include <array>

#include "kernels/registry.h"

namespace rovurer {

namespace {

// Writes digits in groups of ten. The space after a digit that completes a
// group is held back until more digits follow, so that a line or a run that
// ends there gets exactly the bytes it should.
class group_writer {
public:
    explicit group_writer(output_buffer& out) : out_(out), group_(kernels::active().group) {}

    // Appends `count` digits, where the current group already holds `phase`
    // digits. `digits` must be readable for group_slack bytes past the count.
    void append(const char* digits, std::size_t count, std::size_t phase) {
        if (count == 0) {
            return;
        }
        if (space_held_) {
            out_.put(' ');
            space_held_ = false;
        }
        char* const start = out_.reserve(count + count / 10 + 1 + kernels::group_slack);
        std::size_t written = group_(digits, count, phase % 10, start);
        if ((phase + count) % 10 == 0) {
            --written;  // the space after the last digit
            space_held_ = true;
        }
        out_.commit(written);
    }

    // Whether a space is held back, and letting it go or dropping it.
    void release_space() {
        if (space_held_) {
            out_.put(' ');
            space_held_ = false;
        }
    }
    void drop_space() { space_held_ = false; }

private:
    output_buffer& out_;
    kernels::group_digits_function group_;
    bool space_held_ = false;
};

// Ends a line at the digit at `last_position`: the label follows.
void end_line(output_buffer& out, group_writer& writer, std::uint64_t last_position) {
    writer.drop_space();
    out.append("  : ");
    append_number_line(out, last_position);
}

}  // namespace

command_result dump_digits(output_buffer& out, digit_run& run, std::int64_t per_line) {
    // Chunks whose grouped text fits the output buffer, so that output
    // leaves in writes of the buffer's size.
    const auto fitting = static_cast<std::int64_t>((out.capacity() - kernels::group_slack - 1) / 11 * 10);
    const std::int64_t chunk = fitting < digit_run::chunk_digits ? fitting : digit_run::chunk_digits;
    std::array<char, digit_run::chunk_digits + kernels::group_slack> digits{};
    group_writer writer(out);
    std::int64_t in_line = 0;  // digits on the current line, with per_line
    for (;;) {
        const std::int64_t got = run.read(digits.data(), chunk);
        if (got == digit_run::read_failed) {
            return command_result::read_failed;
        }
        if (got == 0) {
            break;
        }
        if (per_line == 0) {
            writer.append(digits.data(), static_cast<std::size_t>(got),
                          static_cast<std::size_t>((run.taken() - got) % 10));
        } else {
            for (std::int64_t done = 0; done < got;) {
                const std::int64_t piece = got - done < per_line - in_line ? got - done : per_line - in_line;
                writer.append(digits.data() + done, static_cast<std::size_t>(piece),
                              static_cast<std::size_t>(in_line % 10));
                in_line += piece;
                done += piece;
                if (in_line == per_line) {
                    end_line(out, writer, run.position_of(run.taken() - got + done - 1));
                    in_line = 0;
                }
            }
        }
        if (out.failed()) {
            return command_result::write_failed;
        }
    }
    if (in_line > 0) {
        end_line(out, writer, run.position_of(run.taken() - 1));
    } else if (!run.complete()) {
        writer.release_space();  // the data ended right after a tenth digit
    }
    return out.failed() ? command_result::write_failed : command_result::shown;
}

}  // namespace rovurer
