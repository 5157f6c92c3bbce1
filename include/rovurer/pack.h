// Making digit files: text digits packed into the words of a digit file.
//
//   rovurer::result<rovurer::packed> made = rovurer::pack("pi.txt", "pi_base10", 10);
//
// The text holds digits of the base (2, 10 or 16; A-F in either case),
// blanks and line ends anywhere, and may start with an integer part and a
// point ("3."), which becomes the file's lead words. Each word takes 19
// decimal, 16 hexadecimal or 64 binary digits; the last word's missing
// digits are zeros (packed::padding). The file appears whole under the
// target's name or not at all: it is written beside it, flushed, and then
// renamed. A failure leaves nothing behind.
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

#include "rovurer/result.h"

namespace rovurer {

struct pack_options {
    // Replace a file already at the target's name; refused otherwise
    // (errc::target_exists).
    bool replace = false;
    // Threads that check and pack the text: 1 by default; 0 for every
    // processor this process may use. The file is the same for any number.
    int threads = 1;
    // Asked to stop, the call stops within a few megabytes of text and
    // returns errc::stopped, leaving nothing behind. A stop signal caught by
    // rovurer's own handler (the command line's) stops it the same way.
    std::stop_token stop;
    // Called with the bytes of the text packed and the text's size, when
    // that is known (a regular file): first with 0 on the calling thread,
    // then after each piece. Never for text of unknown size (a pipe).
    std::function<void(std::int64_t done, std::int64_t total)> progress;
};

// What was written.
struct packed {
    std::int64_t word_count = 0;
    std::int64_t lead_words = 0;  // the integer part's words
    std::int64_t digits = 0;      // after the point, padding not counted
    std::int64_t padding = 0;     // zeros that fill the last word
};

// Packs the text of the file at `text` (any file that can be read from
// start to end: a FIFO too) into a digit file at `target`. An error's
// `file` is 1 when it concerns the text, 2 when it concerns the target;
// errc::bad_text says where the character stands: "line 2, column 7: 'x'
// is not a base-10 digit", a byte that is not printable ASCII written as
// '\xNN'. A UTF-8 byte order mark at the start is skipped. A text with no
// digit after its point (or none at all) is errc::no_digits: the file
// would hold no position 1.
ROVURER_API result<packed> pack(const std::string& text, const std::string& target, int base,
                                const pack_options& options = {});

// The same, of the text on standard input.
ROVURER_API result<packed> pack_standard_input(const std::string& target, int base, const pack_options& options = {});

// The same, of text in memory.
ROVURER_API result<packed> pack_text(std::string_view text, const std::string& target, int base,
                                     const pack_options& options = {});

}  // namespace rovurer
