// digit_stream: reads one digit file and hands out its digits in base 10, 2
// or 16, from a chosen position towards the least significant end.
//
// In base 10 a data word stands for 19 decimal digits (its value modulo
// 10^19, with leading zeros); in bases 2 and 16 for its 64 bits, most
// significant first. Position 1 is the first digit of word word_count -
// lead_words - 1 (digit_file.h has the header). The words come from a
// word_source, which reads only the blocks the digits lie in.
//
// The stream is a handle: its record is the reader's own.
#pragma once

#include <cstdint>

#include "kernels/digit_format.h"
#include "reader/digit_file.h"
#include "reader/word_source.h"

namespace rovurer {

inline constexpr int decimal_digits_per_word = 19;

// Whether digits can be shown in `base`: 2, 10 or 16.
inline bool digit_base_supported(std::int32_t base) {
    return base == 2 || base == 10 || base == 16;
}

// The digits a data word stands for in a supported base: 19, 16 or 64.
inline std::int64_t digits_per_word(std::int32_t base) {
    return base == 10 ? decimal_digits_per_word : base == 16 ? 16 : 64;
}

// Results of digit_stream_next and digit_stream_refill besides a digit or 0.
inline constexpr int digit_stream_end = word_source::end;                  // the data is exhausted
inline constexpr int digit_stream_read_failed = word_source::read_failed;  // a read of the data came short

struct digit_stream;

// Why digit_stream_open refused.
struct digit_stream_refusal {
    enum class reason {
        none,
        unsupported_base,  // not 2, 10 or 16
        negative_offset,   // a position below 1
        not_a_digit_file,  // file.check says why
        past_end,          // no data word at or below the offset (file.header says how many)
        out_of_memory,     // the record
    };
    reason why = reason::none;
    digit_file::verdict file;  // the file's verdict, once it was opened or tried
};

// Opens a stream on the digit file at `path` whose first digit is the one at
// 0-based `offset` (a user's position minus 1) shown in `base`. Checks, in
// this order, the base, the offset, the file and its header, the position,
// and the memory. Returns nullptr, with everything it acquired released and
// the reason in *refusal (unless refusal is nullptr), on any refusal; the
// file is opened once at most. Reads no data word. The caller owns the
// result until digit_stream_close.
digit_stream* digit_stream_open(const char* path, std::int32_t base, std::int64_t offset,
                                digit_stream_refusal* refusal = nullptr);

// Opens another stream on the file `opened` reads, with the header read
// when it was opened: another stretch of the same version of the file,
// whatever has become of its name since. Checks the base, the offset, the
// position and the memory as digit_stream_open does. `opened` must outlive
// the new stream.
digit_stream* digit_stream_open_same(const digit_stream* opened, std::int32_t base, std::int64_t offset,
                                     digit_stream_refusal* refusal = nullptr);

// Opens a stream on `file`, a digit file whose header, read when it was
// opened, is `header`, kept open by the caller for as long as the stream
// lives. Checks as digit_stream_open_same does.
digit_stream* digit_stream_open_on(const platform::file& file, const digit_file::header& header, std::int32_t base,
                                   std::int64_t offset, digit_stream_refusal* refusal = nullptr);

// The kernel set that converts the stream's words: the one in use when it
// was opened (kernels::active()), the opened stream's for
// digit_stream_open_same, or `set` (one this CPU supports) once
// digit_stream_use_kernels is called, before the first digit.
void digit_stream_use_kernels(digit_stream* stream, const kernels::digit_kernels& set);
const kernels::digit_kernels& digit_stream_kernels(const digit_stream* stream);

// Returns the character code of the next digit ('0'..'9', 'A'..'F'),
// digit_stream_end when the data is exhausted, or digit_stream_read_failed
// when a read of the data came short. Either end repeats on every later call.
int digit_stream_next(digit_stream* stream);

// Writes the next digits, up to `capacity` of them, to `digits` and returns
// how many: `capacity` unless the data ends first, so 0 (for a capacity
// above 0) only at the end of the data. When a read fails it returns the
// digits before the failure, and digit_stream_read_failed on the call after
// (or at once if there were none). Digits are returned only once the words
// they come from are known to have been read whole, after their conversion. The same digits as digit_stream_next
// gives; the two can be mixed. Whole words are converted in bulk, with the
// kernel set in use (kernels/registry.h).
std::int64_t digit_stream_read(digit_stream* stream, char* digits, std::int64_t capacity);

// The digits from the position the stream was opened at to the end of the
// data, as the header declares it (reads may still fail before then); at
// most INT64_MAX.
std::int64_t digit_stream_length(const digit_stream* stream);

// Tells the stream that no more than `digits` digits will be asked of it,
// so that it reads and reads ahead nothing below them. Before the first
// digit is asked for.
void digit_stream_limit(digit_stream* stream, std::int64_t digits);

// Lets the stream's word source map the long spans it goes through rather
// than read them (word_source::use_views). Before the first digit.
void digit_stream_read_in_place(digit_stream* stream);

// Whether a read of the data has failed, including a mapped page lost while
// its words were in use (which fails no call until the next read).
bool digit_stream_failed(const digit_stream* stream);

// Whether it failed because the block buffer, taken at the first read that
// needs it, could not be allocated.
bool digit_stream_out_of_memory(const digit_stream* stream);

// Whole words for a caller that compares words rather than digits; the
// stream must be at a word boundary (digit_stream_at_word(), which a
// position that starts a word is from the open). digit_stream_words_ready
// returns how many words of the current block are not yet taken, reading
// the next block when none are: 0 at the end of the data,
// digit_stream_read_failed on a failed read. digit_stream_take_words takes
// `count` of them (count <= what words_ready said) and returns them, the
// first taken at p[count - 1], the last at p[0]; nullptr on a failed read.
bool digit_stream_at_word(const digit_stream* stream);
std::int64_t digit_stream_words_ready(digit_stream* stream);
const std::uint64_t* digit_stream_take_words(digit_stream* stream, std::int64_t count);

// Moves the stream's word source to its next block: 0, digit_stream_end or
// digit_stream_read_failed, as word_source::refill. Used by the stream itself.
int digit_stream_refill(digit_stream* stream);

// What the stream has read so far, for tests and measurements.
word_source::reading digit_stream_progress(const digit_stream* stream);

// Closes the file, frees the buffer and the record. Accepts nullptr.
void digit_stream_close(digit_stream* stream);

}  // namespace rovurer
