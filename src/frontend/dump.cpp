#include "frontend/dump.h"

#include <array>

#include "frontend/digit_run.h"
#include "kernels/digit_format.h"

namespace {

// Appends `count` digits to `out` with a space after every digit that
// completes a group of ten, where the group already holds `phase` digits.
// `digits` must be readable for group_slack bytes past the count.
void append_grouped(output_buffer& out, const char* digits, std::size_t count, std::size_t phase) {
    char* const start = out.reserve(count + count / 10 + 1 + group_slack);
    out.commit(best_kernels().group(digits, count, phase % 10, start));
}

// Ends a line of `length` digits: the space after a last full group goes,
// and the label of its last digit follows.
void end_line(output_buffer& out, std::int64_t length, std::uint64_t last_position) {
    if (length % 10 == 0) {
        out.uncommit(1);
    }
    out.append("  : ");
    append_number_line(out, last_position);
}

}  // namespace

dump_result dump_digits(output_buffer& out, const char* filename, std::int32_t base, std::int64_t pos,
                        std::int64_t nb_digits, std::int64_t per_line) {
    digit_run run(filename, base, pos, nb_digits);
    if (!run.opened()) {
        return dump_result::refused;
    }
    // A grouped chunk, with its slack, must fit the output buffer.
    const auto fitting = static_cast<std::int64_t>((out.capacity() - group_slack - 1) / 11 * 10);
    const std::int64_t chunk = fitting < digit_run::chunk_digits ? fitting : digit_run::chunk_digits;
    std::array<char, digit_run::chunk_digits + group_slack> digits{};
    std::int64_t in_line = 0;  // digits on the current line, with per_line
    for (;;) {
        const std::int64_t got = run.read(digits.data(), chunk);
        if (got == digit_run::read_failed) {
            return dump_result::read_failed;
        }
        if (got == 0) {
            break;
        }
        if (per_line == 0) {
            append_grouped(out, digits.data(), static_cast<std::size_t>(got),
                           static_cast<std::size_t>((run.taken() - got) % 10));
            if (run.taken() == nb_digits && nb_digits % 10 == 0) {
                out.uncommit(1);  // no space after the last digit asked for
            }
        } else {
            for (std::int64_t done = 0; done < got;) {
                const std::int64_t piece = got - done < per_line - in_line ? got - done : per_line - in_line;
                append_grouped(out, digits.data() + done, static_cast<std::size_t>(piece),
                               static_cast<std::size_t>(in_line % 10));
                in_line += piece;
                done += piece;
                if (in_line == per_line) {
                    end_line(out, in_line, run.position_of(run.taken() - got + done - 1));
                    in_line = 0;
                }
            }
        }
        if (out.failed()) {
            return dump_result::write_failed;
        }
    }
    if (in_line > 0) {
        end_line(out, in_line, run.position_of(run.taken() - 1));
    }
    return out.failed() ? dump_result::write_failed : dump_result::shown;
}
