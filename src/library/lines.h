// The runner of the calls that write text while they read: a job's work on
// the parts of a run, on the call's threads, its text written in order, or,
// to an output that takes writes anywhere, each part at its place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "library/calls.h"
#include "parallel/output.h"
#include "reader/digit_run.h"
#include "rovurer/text.h"

namespace rovurer {

// What a call makes of each part of its run.
class line_job {
public:
    virtual ~line_job() = default;

    // Why the job cannot run in `base`, once the run is opened; nullopt
    // when it can.
    virtual std::optional<error> refusal(int /*base*/) const { return std::nullopt; }
    // Parts end on multiples of this many digits of the range.
    virtual std::int64_t unit() const { return 1; }
    // The lines after which the output stops, and the job with it; -1: all.
    virtual std::int64_t max_lines() const { return -1; }
    // Whether parts may be written in place, and where a part's text starts
    // in the whole text: `index` digits after position `pos`.
    virtual bool places() const { return false; }
    virtual std::int64_t text_before(std::int64_t /*pos*/, std::int64_t /*index*/) const { return 0; }
    // Text a digit, on average, when parts are sized to fit a thread's
    // output buffer; 0 when they need not be.
    virtual double text_per_digit() const { return 0; }
    // The digits before its first that a part's run starts with (a job that
    // looks at the digit before), and the digits from its first that it
    // reads, for the part of digits [first, last) of a run of `length`.
    virtual std::int64_t before(std::int64_t /*first*/) const { return 0; }
    virtual std::int64_t reach(std::int64_t first, std::int64_t last, std::int64_t /*length*/) const {
        return last - first;
    }
    // Works a part, whose run starts before(first) digits before digit
    // `first` of the range and covers the part [first, last).
    virtual command_result work(output_buffer& out, digit_run& run, std::int64_t first, std::int64_t last) = 0;
    // On one thread, with no part: whether the whole run is worked as it is
    // (work(out, whole, 0, length)), without a run of its own.
    virtual bool works_whole() const { return false; }
};

// What run_lines leaves besides the text.
struct lines_run {
    std::int64_t range_digits = 0;  // the digits of the whole range
    std::int64_t part_digits = 0;   // of the options' part
};

// Writes what `write` puts in an output buffer to `to`: the errors of
// making a file, and of writing.
result<std::int64_t> write_to_output(const text_output& to, const std::function<void(output_buffer& out)>& write);

// Runs `job` over `where` of `source`, as `options` say, writing to `to`.
// The errors of the range, the job's refusal, those of reading and writing,
// errc::cannot_create for a file that cannot be made, errc::stopped.
result<lines_run> run_lines(const file& source, const range& where, const text_output& to, const scan_options& options,
                            line_job& job);

}  // namespace rovurer
