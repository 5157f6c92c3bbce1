// digit_stream: reads one digit file and hands out its digits in base 10, 2
// or 16, from a chosen position towards the least significant end.
//
// Digit file layout (all fields little-endian):
//   bytes 0..4095   header area; only the first 56 bytes are examined:
//                   0  magic "MPT\x01FILE"
//                   8  word_count  (signed 64-bit)  number of data words
//                   24 kind        (unsigned 64-bit) must be 2
//                   48 lead_words  (signed 64-bit)  top words hidden before
//                                                   position 1, must be >= 0
//   bytes 4096..    data region: unsigned 64-bit words, word i at byte
//                   4096 + 8*i; word 0 is the least significant.
//
// In base 10 a word stands for 19 decimal digits (its value modulo 10^19,
// with leading zeros); in bases 2 and 16 for its 64 bits, most significant
// first. Position 1 is the first digit of word word_count - lead_words - 1.
//
// The data region is read backwards in blocks of at most block_words words,
// from the top of the unread data down, so a request reads only the blocks
// its digits lie in. Each block is read lazily from its top: the first read
// of a stream covers only the pages that hold the first words needed, and
// later reads double in size up to whole blocks, so a short request touches
// a page or two while a long dump moves in large reads. Once reads grow, the
// system is asked to start reading the span below, so that the disk works
// while digits are converted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "reader/digit_file.h"

struct prefetcher;

inline constexpr std::int64_t block_words = 1048576;  // 8 MiB of words
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
inline constexpr int digit_stream_end = -1;          // the data is exhausted
inline constexpr int digit_stream_read_failed = -2;  // a read of the data came short

struct digit_stream {
    platform_file file;                                // platform_no_file when not open
    std::int32_t base;                                 // 2, 10 or 16
    std::uint64_t* words;                              // block buffer, block_words words
    std::uint64_t buf_words;                           // words[0..buf_words-1] not yet taken
    std::int64_t words_left;                           // unread data words below the block
    std::int32_t skip;                                 // digits (base 10) or bits to drop
                                                       // from the first word taken
    std::int32_t bits_per_digit;                       // 1 or 4; unused in base 10
    std::int32_t digit_mask;                           // base - 1; unused in base 10
    std::int32_t digits_left;                          // digits (base 10) or bits of the
                                                       // current word not yet handed out
    std::uint64_t cur_word;                            // bases 2 and 16: current word
    unsigned char digit_buf[decimal_digits_per_word];  // base 10: digits of the current
                                                       // word, least significant first
    bool read_failed;                                  // a block read has failed
    std::int64_t block_start;                          // data word index of words[0]
    std::uint64_t filled_from;                         // words[filled_from..] of the block
                                                       // are read; the rest not yet
    std::int64_t next_read_words;                      // words the next read asks for
    std::int64_t bytes_read;                           // bytes read from the data region
    std::int64_t advised_from;                         // data words from here up are read
                                                       // or advised to be read
    prefetcher* prefetch;                              // read-ahead advice, once started
};

// Opens a stream on the digit file at `path` whose first digit is the one at
// 0-based `offset` (a user's position minus 1) shown in `base`.
// Returns nullptr, with everything it acquired released, when the base is not
// 2, 10 or 16, the offset is negative, the file cannot be opened or its first
// 56 bytes read, the header is not a digit file header, no data word lies at
// or below the offset, or the block buffer cannot be allocated. Reads no data
// word. The caller owns the result until digit_stream_close.
digit_stream* digit_stream_open(const char* path, std::int32_t base, std::int64_t offset);

// Returns the character code of the next digit ('0'..'9', 'A'..'F'),
// digit_stream_end when the data is exhausted, or digit_stream_read_failed
// when a read of the data came short. Either end repeats on every later call.
int digit_stream_next(digit_stream* stream);

// Writes the next digits, up to `capacity` of them, to `digits` and returns
// how many: `capacity` unless the data ends first, so 0 (for a capacity
// above 0) only at the end of the data. When a read fails it returns the
// digits before the failure, and
// digit_stream_read_failed on the call after (or at once if there were none).
// The same digits as digit_stream_next gives; the two can be mixed. Whole
// words are converted in bulk, with the fastest kernels this CPU supports.
std::int64_t digit_stream_read(digit_stream* stream, char* digits, std::int64_t capacity);

// Moves to the next block below the current one and reads its top words
// (the rest are read as they are taken). Returns 0 when a block was started,
// digit_stream_end when no data words are left, and digit_stream_read_failed
// when the read delivered fewer bytes than asked or the block's byte offset
// cannot be represented, then on every later call. Used by the stream itself.
int digit_stream_refill(digit_stream* stream);

// Closes the file, frees the buffer and the record. Accepts nullptr.
void digit_stream_close(digit_stream* stream);
