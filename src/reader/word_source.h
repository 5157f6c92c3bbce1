// word_source: the data words of one digit file, handed out from the top
// down, most significant first, out of a block buffer that the file is read
// into backwards.
//
// Each block of at most block_words words is read lazily from its top: the
// first read covers only the pages that hold the first words needed, and
// later reads double in size up to whole blocks, so a short request touches
// a page or two while a long dump moves in large reads. Once reads grow, the
// system is asked to start reading the span below, so that the disk works
// while the words are converted.
//
// A source may instead map each block it will go through at length into
// memory (use_views) and hand out the words in place, without the copy a
// read makes; short spans are still read.
//
// Independent of digits and bases: several sources may read parts of one
// open file, each with its own buffer, so that they all read the same file
// whatever happens to its name.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace rovurer {

namespace detail::prefetch {
struct prefetcher;
}

inline constexpr std::int64_t block_words = 1048576;  // 8 MiB of words

namespace detail {
// A seam for tests: when set, every take calls it with the source's file
// after the words it hands out are read (or their pages touched) and before
// they are used, so that a test can change the file at the one moment a
// reader must survive. Set it while no source is in use; nullptr in the tool.
using take_hook = void (*)(const platform::file& data_file);
void set_take_hook(take_hook hook);
}  // namespace detail

// While one lives on a thread, the block buffers that the thread's sources
// free are kept (two at most) for the next sources it opens, so that parts of
// a run read one after another reuse pages already in memory; they are freed
// when the last one on the thread goes.
class block_reuse {
public:
    block_reuse();
    ~block_reuse();
    // Allocates `count` (at most two) block buffers now for the sources to
    // come, so that a thread that cannot have them knows before it starts
    // work. False when the memory is not there.
    bool reserve(int count);
    block_reuse(const block_reuse&) = delete;
    block_reuse& operator=(const block_reuse&) = delete;
};

class word_source {
public:
    // Results of refill() besides 0.
    static constexpr int end = -1;          // no data words are left
    static constexpr int read_failed = -2;  // a read of the data came short

    // Takes `data_file` and prepares to hand out its data words below index
    // `top` (words top - 1 down to 0). Reads nothing, and takes its block
    // buffer only at the first read that needs one; top is at least 1.
    // Returns true.
    bool open(platform::file data_file, std::int64_t top);
    // The same on a file the caller keeps open until the source is gone:
    // sources reading parts of one file share its descriptor.
    bool open_shared(const platform::file& data_file, std::int64_t top);
    // The file the source reads.
    const platform::file& data_file() const { return *file; }
    word_source() = default;
    ~word_source();
    word_source(const word_source&) = delete;
    word_source& operator=(const word_source&) = delete;

    // Words of the current block not yet taken.
    std::uint64_t buffered() const { return buf_words; }

    // Moves to the next block below the current one and reads its top words
    // (the rest are read as they are taken). Returns 0 when a block was
    // started, end when no data words are left, read_failed when the read
    // delivered fewer bytes than asked or the block's byte offset cannot be
    // represented; a failure repeats on every later call.
    int refill();

    // Takes the next `count` words of the current block (1 <= count <=
    // buffered()), reading them first if need be. Returns the lowest of
    // them, so that p[count - 1] is the first taken and p[0] the last, valid
    // until the next take or refill; nullptr when a read failed (then on
    // every later call). Words in a mapped view can still turn to zeros while
    // they are used (the file cut under them): whatever is made of them is
    // trusted only once failed() says false after it was made.
    const std::uint64_t* take(std::uint64_t count);

    // Words below data word `lowest` are not needed: reads and read-ahead
    // stop within a page of it. Words below it may still be taken (they are
    // read then).
    void limit(std::int64_t lowest);

    // Before the first read: the first read covers at least `wanted` words
    // (capped at a block), for a request whose size is known up front.
    void expect(std::int64_t wanted);

    // Before the first refill: a block that the source goes through for at
    // least view_words words (down to its limit, or the block's bottom) is
    // mapped down to there rather than read, where the system can map it
    // and the words are stored as this machine holds them; words below the
    // limit are read if taken. Each take touches the pages of its words
    // first, so that a page that cannot be read fails the take as a short
    // read would, and the pages of the next takes sixteen at a time, so
    // that their faults overlap. A page lost after its take (the file cut
    // while its words are in use) fails the next take or refill, and
    // failed(). Only on 64-bit little-endian machines: a 32-bit process has
    // little address space to spare, and big-endian words must be swapped
    // in a buffer anyway.
    void use_views();
    static constexpr std::int64_t view_words = std::int64_t{1} << 17;  // 1 MiB

    bool failed() const;
    // Whether it failed because its block buffer could not be allocated.
    bool out_of_memory() const { return lacked_memory; }

    // What the source has read so far, for tests and measurements.
    struct reading {
        std::int64_t bytes_read;  // bytes of the data region read
        std::int64_t reads;       // reads made, and blocks mapped
        std::int64_t words_left;  // data words below the current block, unread
        std::uint64_t buffered;   // words of the current block not yet taken
        std::int64_t mapped;      // blocks mapped (of the reads)
        bool has_buffer;          // a block buffer is taken
    };
    reading progress() const { return {bytes_read, reads, words_left, buf_words, mapped, words != nullptr}; }

private:
    bool fill_down_to(std::uint64_t lowest);
    bool map_block(std::int64_t count);
    void touch_span(std::uint64_t from, std::uint64_t to) const;
    void touch_view(std::uint64_t lowest, std::uint64_t count);
    void release_view();
    void advise_below(std::int64_t low);

    platform::file owned_file;                         // the digit file, when the source owns it
    const platform::file* file = &owned_file;          // the digit file read
    std::uint64_t* words = nullptr;                    // block buffer, block_words words, once a read needs it
    std::uint64_t buf_words = 0;                       // words[0..buf_words-1] not yet taken
    std::int64_t words_left = 0;                       // unread data words below the block
    std::int64_t block_start = 0;                      // data word index of words[0]
    std::uint64_t filled_from = 0;                     // words[filled_from..] of the block are read
    std::int64_t next_read_words = 0;                  // words the next read asks for
    std::int64_t bytes_read = 0;                       // bytes read from the data region
    std::int64_t reads = 0;                            // reads made, and blocks mapped
    std::int64_t mapped = 0;                           // blocks mapped
    std::int64_t advised_from = 0;                     // data words from here up are read or advised
    std::int64_t floor_word = 0;                       // no read or advice below this word, unless taken
    detail::prefetch::prefetcher* prefetch = nullptr;  // read-ahead advice, once started
    platform::file_view* view = nullptr;               // the current block, when it is mapped
    const std::uint64_t* viewed = nullptr;             // the mapped words of the block, from
    std::uint64_t view_from = 0;                       // this word of the block up
    std::uint64_t touched_from = 0;                    // words from here up are touched
    bool views_allowed = false;                        // use_views() was called
    bool has_failed = false;                           // a block read has failed
    bool lacked_memory = false;                        // because the block buffer could not be had
};

}  // namespace rovurer
