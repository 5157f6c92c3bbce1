// Digits and positions written as text while they are read, as the command
// line writes them: to this process's standard output or a new file (in
// order, or each part at its place on threads), or to a function that takes
// the text a piece at a time, in order.
//
//   rovurer::write_text(*pi, {10, 1, 1000000000}, {0, 100, false}, rovurer::text_output::standard_output(),
//                       {.threads = 0});
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "rovurer/file.h"
#include "rovurer/format.h"
#include "rovurer/result.h"
#include "rovurer/scan.h"

namespace rovurer {

// Where text goes.
class ROVURER_API text_output {
public:
    // Takes a piece of text; returns 0, or an errno value, which ends the
    // call with errc::write_failed.
    using deliver_function = std::function<int(std::string_view piece)>;

    // This process's standard output, written with no buffer of the
    // caller's in between. A call on several threads writes each part of
    // its text at its place when standard output is a regular file not
    // opened for appending that holds nothing past its position (or the
    // null device): whatever stops the call (a failed read or write, a full
    // disk, the file-size limit, a stop), the file then ends where the text
    // of the parts before the one that stopped ends, as one thread would
    // leave it. Elsewhere (a pipe, a terminal) the text goes out in order.
    // A write that a stop signal interrupts gives up (errc::stopped). On
    // Linux, a text of 1 MiB or more to a regular file (on any threads) has
    // its disk space set aside first, where that space is free twice over
    // and the file-size limit allows it, the file's size unchanged; what the
    // text did not fill is given back when the call returns.
    static text_output standard_output();

    // A new file at `path` (one already there is emptied first), written as
    // standard output is when it is a regular file: each part at its place
    // on threads, and left as one thread would leave it when something
    // stops the call. errc::cannot_create (system_error its errno, file 2)
    // when it cannot be created.
    static text_output file(std::string path);

    // Each piece of the text, in order, to `deliver`, called from one of the
    // call's threads at a time.
    static text_output to(deliver_function deliver);

    bool is_standard_output() const { return standard_; }
    const std::string& path() const { return path_; }
    const deliver_function& deliver() const { return deliver_; }

private:
    text_output() = default;
    bool standard_ = false;
    std::string path_;  // for file(); empty otherwise
    deliver_function deliver_;
};

// What a call wrote.
struct text_written {
    std::int64_t digits = 0;        // write_text: the digits written
    std::int64_t positions = 0;     // write_found: the positions written
    std::int64_t range_digits = 0;  // the digits of the whole range, every part's
};

// Writes the digits of `where` laid out as `shape` says (format.h: groups,
// lines with or without the position of their last digit). One line
// (per_line 0) has no newline after it; lines of per_line digits each end
// with one, the last perhaps shorter. With shape.space_at_data_end, a line
// that the data ends right after a full group keeps the space after that
// group, as the plain command line writes it.
//
// With a part (scan_options), the part's text is cut on whole lines (or
// groups), so that the parts' texts concatenated are the whole text. What
// was written before a failure stays; a failure after a part in place
// leaves the output as one thread would (see standard_output). Errors: the
// range's (errc::unsupported_base, bad_position, past_end), bad_option for
// a group or per_line below 0 or a per_line that is not a multiple of a
// group, read_failed, write_failed (system_error its errno), out_of_memory,
// stopped.
ROVURER_API result<text_written> write_text(const file& source, const range& where, const layout& shape,
                                            const text_output& to, const scan_options& options = {});

// Writes the position of each occurrence of `digits` in `where` (with a
// part: of each that starts in it), one a line in increasing order, in
// decimal: at most `max_count` of them (to_end: all), reading no further
// once it has them. The errors of find (scan.h), and those of writing.
ROVURER_API result<text_written> write_found(const file& source, std::string_view digits, const range& where,
                                             std::int64_t max_count, const text_output& to,
                                             const scan_options& options = {});

}  // namespace rovurer
