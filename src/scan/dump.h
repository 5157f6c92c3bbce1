// dump_digits: writes a run of digits in groups, in one line or in lines.
#pragma once

#include <cstdint>
#include <cstring>

#include "kernels/digit_format.h"
#include "parallel/command_result.h"
#include "parallel/output.h"
#include "reader/digit_run.h"

namespace rovurer {

// How a dump lays its digits out.
struct dump_layout {
    std::int64_t group = 10;    // digits a group; 0: no spaces
    std::int64_t per_line = 0;  // digits a line; 0: one line
    bool labels = true;         // "  : POS" after each line of per_line digits
    bool given = false;         // a layout option was given: no trailing space
};

// Writes digits in groups, for layout_writer. The space after a digit that
// completes a group is held back until more digits follow, so that a line or a run that ends
// there gets exactly the bytes it should.
class group_writer {
public:
    group_writer(output_buffer& out, std::int64_t group, kernels::group_digits_function grouper)
        : out_(out), group_(static_cast<std::uint64_t>(group)), grouper_(grouper) {}

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

// Lays digits out as dump_digits does, from digits handed to it in pieces.
class layout_writer {
public:
    // For the digits of a run from `first_index` on, the first of them at
    // `first_position`, grouped with `set`'s grouping kernel.
    layout_writer(output_buffer& out, const dump_layout& shape, std::uint64_t first_position, std::int64_t first_index,
                  const kernels::digit_kernels& set);
    // Appends the next `count` digits; `digits` must be readable for
    // kernels::group_slack bytes past them.
    void write(const char* digits, std::int64_t count);
    // Ends the text: a short last line gets its end; `complete` says that
    // every digit asked for came (see dump_digits).
    void finish(bool complete);

private:
    void end_line(std::uint64_t last_position);

    output_buffer& out_;
    dump_layout shape_;
    group_writer grouper_;
    std::uint64_t next_position_;
    std::int64_t done_;
    std::int64_t in_line_ = 0;
};

// Writes the digits of `run` to `out` in groups of `shape.group` digits (no
// spaces for 0), with a space between groups. With shape.per_line 0 they
// make one line, without its newline; when the data ends early right after
// a full group, the space after it stays, unless a layout option was given
// (shape.given). With shape.per_line N they come in lines of N, each ending,
// unless shape.labels is false, in "  : " and the position of its last
// digit, then a newline; the last line may be shorter. The digits handed out
// before a failed read are left in `out`.
//
// `first_index` is for a run that is a part of a longer one: the digits of
// the whole run before it. Groups, lines and the space between parts then
// fall as they would in the whole run's output, so that the parts' outputs
// concatenated are the whole output.
command_result dump_digits(output_buffer& out, digit_run& run, const dump_layout& shape = {},
                           std::int64_t first_index = 0);

// Where the output of a part that starts at digit `index` of a run falls in
// the run's output: the bytes dump_digits writes for the digits before it,
// for a run whose first digit is at position `first_position`. `index` must
// be a multiple of shape.per_line when that is not 0, else of the group
// size. -1 for an index above 2^58 (no file holds that many digits), so
// that the result always fits.
std::int64_t text_before(const dump_layout& shape, std::int64_t first_position, std::int64_t index);

}  // namespace rovurer
