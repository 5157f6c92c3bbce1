// Runs a job in parts, on several threads, with the parts' outputs in the
// order of the parts: the same bytes as one thread running the parts one
// after the other.
#pragma once

#include <cstdint>
#include <functional>

#include "parallel/command_result.h"
#include "parallel/output.h"
#include "platform/platform.h"

namespace rovurer {

// A part's work: writes its output to `out`, which delivers it in part
// order, and returns how it ended.
using part_job = std::function<command_result(std::int64_t part, output_buffer& out)>;

struct parts_outcome {
    command_result result = command_result::shown;  // or the first part's that was not, in part order
};

// Runs job(0) .. job(parts - 1) on `threads` threads (the calling thread
// among them), each part's output delivered to `out` in part order. Each
// thread holds one output buffer of part_output_bytes; a part whose output
// does not fit waits for the parts before it to be delivered. The first part,
// in part order, that does not end `shown` stops the job: its output is
// delivered and nothing after it. With `line_limit` 0 or more, the output
// stops after that many lines, and the job with it (ending `shown`). Fewer
// threads run when the system cannot start them.
parts_outcome run_in_parts(output_buffer& out, int threads, std::int64_t parts, std::int64_t line_limit,
                           const part_job& job, int readers = 1);

// What a part makes ahead of its turn, at most: a thread's output buffer.
// Once it is a part's turn, its text goes out as it is made, in writes of
// turn_output_bytes from the start of that buffer, which stays in cache.
// Short writes, as a pipe's writer and reader take turns at its lock, and
// the threads that work ahead need the processors they would spin on.
inline constexpr std::size_t part_output_bytes = std::size_t{1} << 20;
inline constexpr std::size_t turn_output_bytes = std::size_t{64} << 10;

// How a job run in place ended: as run_in_parts says, and where the output
// of the parts up to the one that ended it (or of them all) ends.
struct placed_outcome {
    command_result result = command_result::shown;
    std::int64_t end = 0;   // standard output offset
    int write_error = 0;    // errno of the failed write, when the result is write_failed
    std::int64_t part = 0;  // the part that ended the job (the last, when all were shown)
};

// Runs job(0) .. job(parts - 1) as run_in_parts does, but writes each part's
// output in place in standard output (or `target`), from `start` +
// offset_of(part) on,
// which must be where one thread running the parts in order would write it;
// for an output that takes writes at any offset (platform::output_offset).
// No part waits for another to be written, and a thread's output goes out
// in writes of placed_output_bytes. It returns once every
// part it started has ended, so that all parts before the one that ended
// the job are written whole: the output from `start` to the outcome's end
// is then what one thread would have written. Parts after that one may have
// run and written past the end: the caller moves the output there, cutting
// what they wrote. Moves nothing itself.
//
// A job that cannot get memory ends `out_of_memory`, and a thread that cannot
// get its buffers (output, and a block for each file a part reads) takes no
// part, in both ways of running parts: fewer threads do the work.
placed_outcome run_in_place(std::int64_t start, int threads, std::int64_t parts,
                            const std::function<std::int64_t(std::int64_t)>& offset_of, const part_job& job,
                            const platform::file* target = nullptr);

// Runs the parts as run_in_place does, from `start` of standard output, and
// leaves the output as one thread would: it ends where the text of the parts
// before the one that ended the job ends (cut there when that part ended it
// early). A write that fails (a full disk, the file-size limit), perhaps
// because later parts took what it needed, is done again: from that part's
// start the rest goes out in order through `out`, as one thread writes it,
// and fails where one thread fails. Returns how the job ended, with a write
// error in `out`.
command_result run_placed(output_buffer& out, std::int64_t start, int threads, std::int64_t parts,
                          const std::function<std::int64_t(std::int64_t)>& offset_of, const part_job& job,
                          const platform::file* target = nullptr);

// (run_in_parts' `readers`: the files a part reads, one or two, whose block
// buffers each thread gets before it takes a part.)

// A part's work when parts give results rather than output.
using result_job = std::function<command_result(std::int64_t part)>;

// Runs job(0) .. job(parts - 1) on `threads` threads (the calling thread
// among them). The first part, in part order, that does not end `shown`
// ends the job: no part after it starts once that is known, and its result
// is returned; every part before it ran and was shown. Memory lacks, and
// threads take no part, as for run_in_parts; `readers` as there.
command_result run_parts(int threads, std::int64_t parts, const result_job& job, int readers = 1);

// Long writes: threads writing one file take turns at its lock, each write
// a turn (two threads' 1 MiB writes of a new file take a fifth less time
// than 256 KiB ones).
inline constexpr std::size_t placed_output_bytes = std::size_t{1} << 20;

// Where piece k of `pieces` of [0, length) begins, for k from 0 to pieces:
// pieces of whole units (the last one takes what is left), as even as that
// allows. Exact for any length, unit >= 1 and pieces >= 1.
std::int64_t piece_start(std::int64_t length, std::int64_t unit, std::int64_t pieces, std::int64_t k);

}  // namespace rovurer
