#include "reader/word_source.h"

#include <array>
#include <bit>
#include <cstddef>
#include <limits>
#include <utility>

#include "reader/digit_file.h"
#include "reader/prefetcher.h"

namespace rovurer {

namespace {

constexpr std::size_t block_bytes = static_cast<std::size_t>(block_words) * sizeof(std::uint64_t);
constexpr auto header_bytes = static_cast<std::int64_t>(digit_file::header_bytes);

// Reads start and end on page boundaries where they can: a data word index
// that is a multiple of page_words lies at a 4096-byte file offset.
constexpr std::int64_t page_words = 4096 / 8;

// Read-ahead advice goes out for spans of this many reads below the words
// just read, once reads have grown past advice_from_words: only a dump of
// tens of thousands of digits or more starts the advising thread.
constexpr std::int64_t advised_reads_ahead = 2;
constexpr std::int64_t advice_from_words = std::int64_t{1} << 12;  // reads of 32 KiB

void advise_file(const void* context, std::int64_t offset, std::int64_t length) {
    platform::advise_willneed(*static_cast<const platform::file*>(context), offset, length);
}

// A thread's last freed block buffers (two: a compare reads two files),
// kept while a block_reuse lives on the thread. Plain pointers: a
// thread_local with a destructor is not safe everywhere (MinGW).
struct spare_blocks {
    std::array<std::uint64_t*, 2> blocks;
    int reusers;
};
thread_local spare_blocks spares{};

detail::take_hook hook_after_take = nullptr;

std::uint64_t* take_block() {
    for (std::uint64_t*& block : spares.blocks) {
        if (block != nullptr) {
            return std::exchange(block, nullptr);
        }
    }
    return static_cast<std::uint64_t*>(platform::allocate_block(block_bytes));
}

void give_back_block(std::uint64_t* block) {
    if (spares.reusers > 0) {
        for (std::uint64_t*& spare : spares.blocks) {
            if (spare == nullptr) {
                spare = block;
                return;
            }
        }
    }
    platform::free_block(block, block_bytes);
}

}  // namespace

void detail::set_take_hook(take_hook hook) {
    hook_after_take = hook;
}

block_reuse::block_reuse() {
    ++spares.reusers;
}

bool block_reuse::reserve(int count) {
    // The spares already kept count first, wherever they are.
    for (const std::uint64_t* block : spares.blocks) {
        count -= block != nullptr ? 1 : 0;
    }
    for (std::uint64_t*& block : spares.blocks) {
        if (count <= 0) {
            break;
        }
        if (block == nullptr) {
            block = static_cast<std::uint64_t*>(platform::allocate_block(block_bytes));
            if (block == nullptr) {
                return false;
            }
            --count;
        }
    }
    return count <= 0;
}

block_reuse::~block_reuse() {
    if (--spares.reusers == 0) {
        for (std::uint64_t*& block : spares.blocks) {
            platform::free_block(std::exchange(block, nullptr), block_bytes);
        }
    }
}

bool word_source::open(platform::file data_file, std::int64_t top) {
    owned_file = std::move(data_file);
    file = &owned_file;
    buf_words = 0;
    words_left = top;
    advised_from = top;
    // A source on a thread that runs parts reads a part, whose span is
    // bounded and gone through whole: in one read, not in reads that grow.
    next_read_words = spares.reusers > 0 ? block_words : page_words;
    return true;
}

bool word_source::open_shared(const platform::file& data_file, std::int64_t top) {
    if (!open(platform::file(), top)) {
        return false;
    }
    file = &data_file;
    return true;
}

word_source::~word_source() {
    detail::prefetch::stop(prefetch);  // before the file it advises is closed
    platform::unmap_view(view);
    if (words != nullptr) {
        give_back_block(words);
    }
}

void word_source::use_views() {
    views_allowed = std::endian::native == std::endian::little && sizeof(void*) == 8;
}

bool word_source::failed() const {
    return has_failed || (view != nullptr && platform::view_failed(view));
}

// Maps the current block, whose top `count` words the source starts on,
// when the source goes through enough of it: the span from the limit (or
// the block's bottom) up. Only the pages touched are read.
bool word_source::map_block(std::int64_t count) {
    const std::int64_t from = floor_word > block_start ? floor_word - block_start : 0;
    if (!views_allowed || count - from < view_words) {
        return false;
    }
    view =
        platform::map_view(*file, header_bytes + 8 * (block_start + from), static_cast<std::size_t>(count - from) * 8);
    if (view == nullptr) {
        return false;
    }
    // The header is a whole number of words, so the words are aligned.
    viewed = reinterpret_cast<const std::uint64_t*>(platform::view_bytes(view));
    view_from = static_cast<std::uint64_t>(from);
    touched_from = static_cast<std::uint64_t>(count);
    ++reads;
    ++mapped;
    next_read_words = block_words;
    advise_below(block_start + from);
    return true;
}

// Touches one word a page of the block's words [from, to) in the view.
void word_source::touch_span(std::uint64_t from, std::uint64_t to) const {
    constexpr std::uint64_t words_a_page = page_words;
    const volatile std::uint64_t* const in_view = viewed;
    std::uint64_t touched = in_view[from - view_from];
    for (std::uint64_t at = to - 1;; at -= words_a_page) {
        touched |= in_view[at - view_from];
        if (at < from + words_a_page) {
            break;
        }
    }
    (void)touched;
}

// Touches the pages of the words about to be handed out, so that a page that
// cannot be read fails the take before any of its words is handed out; and,
// sixteen pages at a time, those of the next takes, so that their faults and
// cache misses overlap.
void word_source::touch_view(std::uint64_t lowest, std::uint64_t count) {
    constexpr std::uint64_t touch_words = 16 * std::uint64_t{page_words};
    touch_span(lowest, lowest + count);
    if (lowest < touched_from) {
        const std::uint64_t low = lowest > view_from + touch_words ? lowest - touch_words : view_from;
        if (low < lowest) {
            touch_span(low, lowest);
        }
        touched_from = low;
    }
}

// Unmaps the block that was mapped, if any; a page of it lost while its words
// were in use fails the source.
void word_source::release_view() {
    if (view != nullptr) {
        has_failed = has_failed || platform::view_failed(view);
        platform::unmap_view(view);
        view = nullptr;
        viewed = nullptr;
    }
}

void word_source::limit(std::int64_t lowest) {
    floor_word = lowest - lowest % page_words;
}

void word_source::expect(std::int64_t wanted) {
    if (reads == 0 && wanted > next_read_words) {
        next_read_words = wanted < block_words ? wanted : block_words;
    }
}

// Reads the words of the current block from words[lowest] up to what is
// already read, with one read of at least next_read_words words that starts
// on a page boundary (or at the block's bottom), and doubles next_read_words.
// Returns false, marking the source failed, on a short read.
bool word_source::fill_down_to(std::uint64_t lowest) {
    const std::int64_t top = block_start + static_cast<std::int64_t>(filled_from);
    const auto needed = static_cast<std::int64_t>(filled_from - lowest);
    std::int64_t low = top - (needed > next_read_words ? needed : next_read_words);
    low -= low % page_words;  // rounds down when low >= 0; a negative low is clamped below
    // Not below the words the reader needs (floor_word is a page boundary),
    // but always down to the word to be taken.
    const std::int64_t to_take = block_start + static_cast<std::int64_t>(lowest);
    if (low < floor_word) {
        low = floor_word < to_take ? floor_word : to_take;
    }
    if (low < block_start) {
        low = block_start;
    }
    // The block buffer, at the first read that needs it: a source that maps
    // what it goes through, or reads nothing, never takes one.
    if (words == nullptr) {
        words = take_block();
        if (words == nullptr) {
            has_failed = true;
            lacked_memory = true;
            return false;
        }
    }
    const auto length = static_cast<std::size_t>(top - low) * 8;
    std::uint64_t* const destination = words + (low - block_start);
    ++reads;
    if (platform::read_at(*file, destination, length, header_bytes + 8 * low) != length) {
        has_failed = true;
        return false;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (std::int64_t i = 0; i < top - low; ++i) {
            destination[i] = digit_file::le64(reinterpret_cast<const unsigned char*>(&destination[i]));
        }
    }
    bytes_read += static_cast<std::int64_t>(length);
    filled_from = static_cast<std::uint64_t>(low - block_start);
    next_read_words = 2 * next_read_words < block_words ? 2 * next_read_words : block_words;
    advise_below(low);
    return true;
}

// A source that reads on is a dump: have the next reads' words on the way,
// each span advised once. `low` is the lowest data word read so far.
void word_source::advise_below(std::int64_t low) {
    if (low < advised_from) {
        advised_from = low;
    }
    if (next_read_words <= advice_from_words || advised_from == 0) {
        return;
    }
    const std::int64_t ahead = advised_reads_ahead * next_read_words;
    std::int64_t target = low > ahead ? low - ahead : 0;
    target = target < floor_word ? floor_word : target;
    if (target < advised_from) {
        if (prefetch == nullptr) {
            // A thread that runs parts (a block_reuse lives on it) reads
            // beside other threads, through many short sources: it gives
            // its advice inline rather than start a thread for each part.
            prefetch = detail::prefetch::start(advise_file, file, spares.reusers == 0);
        }
        detail::prefetch::advise(prefetch, header_bytes + 8 * target, 8 * (advised_from - target));
        advised_from = target;
    }
}

int word_source::refill() {
    release_view();
    if (has_failed) {
        return read_failed;
    }
    const std::int64_t unread = words_left;
    if (unread == 0) {
        return end;
    }
    const std::int64_t count = unread < block_words ? unread : block_words;
    const std::int64_t below = unread - count;
    words_left = below;

    // The block spans bytes 4096 + 8*below up to 4096 + 8*(below + count); a
    // header may declare so many words that this is past any file offset.
    constexpr std::int64_t max_offset = std::numeric_limits<std::int64_t>::max();
    if (unread > (max_offset - header_bytes) / 8) {
        has_failed = true;
        return read_failed;
    }
    block_start = below;
    if (map_block(count)) {
        filled_from = 0;
        buf_words = static_cast<std::uint64_t>(count);
        return 0;
    }
    filled_from = static_cast<std::uint64_t>(count);
    if (!fill_down_to(filled_from - 1)) {
        return read_failed;
    }
    buf_words = static_cast<std::uint64_t>(count);
    return 0;
}

const std::uint64_t* word_source::take(std::uint64_t count) {
    if (has_failed) {
        return nullptr;
    }
    buf_words -= count;
    if (view != nullptr && buf_words < view_from) {
        // Words below the limit, under the view: the rest of the block is read.
        release_view();
        if (has_failed) {
            return nullptr;
        }
        filled_from = buf_words + count;
    }
    if (view != nullptr) {
        touch_view(buf_words, count);
        if (platform::view_failed(view)) {
            has_failed = true;
            return nullptr;
        }
        bytes_read += static_cast<std::int64_t>(count * 8);
        if (hook_after_take != nullptr) {
            hook_after_take(*file);
        }
        return viewed + (buf_words - view_from);
    }
    if (buf_words < filled_from && !fill_down_to(buf_words)) {
        return nullptr;
    }
    if (hook_after_take != nullptr) {
        hook_after_take(*file);
    }
    return words + buf_words;
}

}  // namespace rovurer
