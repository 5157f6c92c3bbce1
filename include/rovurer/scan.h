// Reading, finding, counting and comparing the digits of a range of a
// digit file, on one thread or several.
//
// Positions are 1-based, as the command line shows them: position 1 is the
// first digit after the point. In base 10 a data word stands for 19 digits,
// in base 16 for 16 and in base 2 for 64. Every call reads only the words
// the range needs, and reads the file as it was opened (file.h).
//
// Each call returns its answer or an error (result.h); none throws. A read
// that fails gives errc::read_failed, never digits the file did not hold:
// answers are given only for digits that were read whole.
#pragma once

#include "rovurer/export.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <stop_token>
#include <string_view>
#include <vector>

#include "rovurer/file.h"
#include "rovurer/result.h"

namespace rovurer {

// `count` for a range that goes on to the end of the data.
inline constexpr std::int64_t to_end = std::numeric_limits<std::int64_t>::max();

// The digits of `base` from `pos` on, `count` of them or fewer where the
// data ends first.
struct range {
    int base = 10;
    std::int64_t pos = 1;
    std::int64_t count = to_end;

    // The rest of this range from `next` on (a position within it, or just
    // past it): where a find that stopped early goes on.
    range from(std::int64_t next) const {
        const std::int64_t end = count > to_end - pos ? to_end : pos + count;
        return {base, next, next < end ? end - next : 0};
    }
};

// Which part of a range a call does, for one job over many machines: part
// `index` (from 1) of `count`. Parts are as even as whole units allow (the
// digits; the lines or groups of text, text.h), and each part's answer
// merges into the whole range's: the texts concatenate, the counts add up,
// a find gives the matches that start in its part (reading on for the
// length of the digits, less one), and the first part with a difference
// has the comparison's. {0, 1}: the whole range.
struct range_part {
    std::int64_t index = 0;
    std::int64_t count = 1;
};

struct scan_options {
    // Threads to work on: 1 by default; 0 for every processor this process
    // may use, which is also the most a call takes. A range shorter than a
    // few million digits runs on one. The answer is the same for any number.
    int threads = 1;
    // The kernel set that converts and scans the digits, by name ("portable",
    // "avx2", ...: kernel_sets()); empty for the fastest this CPU runs.
    std::string_view kernels;
    // Called as the work goes on, with the digits done and the digits of the
    // call's range (its part's): first with 0 done, on the calling thread,
    // before any work; then from the call's threads, one call at a time, no
    // more than once a chunk (about twenty thousand digits) and not for
    // every chunk. Must not call back into the library with the same
    // options.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    // Asked to stop, the call stops within a chunk on each thread (about
    // twenty thousand digits, or 128 KiB of words where whole words are
    // counted or compared) and returns errc::stopped. A stop signal caught
    // by rovurer's own handler (the command line's: SIGINT, SIGTERM, SIGHUP)
    // stops every call the same way.
    std::stop_token stop;
    // The part of the range this call does; the whole range by default.
    range_part part;
};

// While one lives on a thread, the block buffers that the calls made on
// that thread free (two at most) are kept for its next calls rather than
// given back to the system and taken again: for a thread that makes many
// short calls, such as a server's. They are freed when it goes.
class ROVURER_API kept_buffers {
public:
    kept_buffers();
    ~kept_buffers();
    kept_buffers(const kept_buffers&) = delete;
    kept_buffers& operator=(const kept_buffers&) = delete;

private:
    struct reuse;
    reuse* reuse_;
};

// The names of the kernel sets this CPU runs, the fastest last.
ROVURER_API std::vector<std::string_view> kernel_sets();

// The kernel set a call uses when its options name none: the fastest this
// CPU runs, or the one use_kernel_set chose.
ROVURER_API std::string_view active_kernel_set();

// Makes `name` (one of kernel_sets()) the set of calls that name none, for
// the whole process; errc::bad_option (kernel_set_refusal's words) when it
// is unknown or this CPU cannot run it. Call it before other calls run.
ROVURER_API result<std::string_view> use_kernel_set(std::string_view name);

// Writes the digits of `where` as characters ('0'-'9', 'A'-'F') to
// `digits`, as many as it holds at most, and returns how many: fewer only
// where the data ends. Writes nothing past that count; on an error the
// buffer's content is unspecified.
ROVURER_API result<std::int64_t> read(const file& source, const range& where, std::span<char> digits,
                                      const scan_options& options = {});

// The same, as the digits' values (0 to 15) rather than characters: what a
// program that computes on the digits wants, made as the digits are read.
ROVURER_API result<std::int64_t> read_values(const file& source, const range& where, std::span<std::uint8_t> values,
                                             const scan_options& options = {});

// The occurrences of `digits` (digits of the range's base; A-F in either
// case) that lie whole within the range (with a part: that start in it),
// overlapping ones included, in increasing order: at most `max_count` of
// them, the search stopping once it has them. They are held in memory,
// eight bytes each: a string that occurs often is best found a page at a
// time, or written as it is found (write_found, text.h).
struct found {
    std::vector<std::uint64_t> positions;
    // 0 when the whole range was searched; otherwise `max_count` stopped the
    // search, and the next search goes on from here: where.from(next).
    std::int64_t next = 0;
};
ROVURER_API result<found> find(const file& source, std::string_view digits, const range& where,
                               std::int64_t max_count = to_end, const scan_options& options = {});

// How often each digit of the base occurs in the range: counts[d] for d
// from 0 to base - 1, the rest 0.
using digit_counts = std::array<std::uint64_t, 16>;
ROVURER_API result<digit_counts> count(const file& source, const range& where, const scan_options& options = {});

// Where two files' digits first differ in a range, or where the shorter one
// ends.
struct comparison {
    std::int64_t difference = 0;   // the first position that differs, or 0
    std::int64_t compared = 0;     // digits compared: the range (the part's), or up to where one file's data ends
    int ends_first = 0;            // with no difference: 1 or 2 when that file's data ends within
                                   // the range and the other's goes on (said by the last part); 0 otherwise
    std::int64_t last_common = 0;  // with ends_first: the last position both files hold
};
ROVURER_API result<comparison> compare(const file& first, const file& second, const range& where,
                                       const scan_options& options = {});

}  // namespace rovurer
