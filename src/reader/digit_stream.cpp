#include "reader/digit_stream.h"

#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "kernels/digit_format.h"
#include "platform/platform.h"
#include "reader/prefetcher.h"

namespace {

// Starts handing out `word`: in base 10 its 19 low-order digits go to
// digit_buf; the pending skip applies to the first word only.
void begin_word(digit_stream* stream, std::uint64_t word) {
    if (stream->base == 10) {
        for (unsigned char& digit : stream->digit_buf) {
            digit = static_cast<unsigned char>(word % 10);
            word /= 10;
        }
        stream->digits_left = decimal_digits_per_word - stream->skip;
    } else {
        stream->cur_word = word;
        stream->digits_left = 64 - stream->skip;
    }
    stream->skip = 0;
}

// The next digit of the current word, as a character; digits_left > 0.
char pop_digit(digit_stream* stream) {
    static constexpr char characters[] = "0123456789ABCDEF";
    if (stream->base == 10) {
        --stream->digits_left;
        return characters[stream->digit_buf[stream->digits_left]];
    }
    stream->digits_left -= stream->bits_per_digit;
    return characters[(stream->cur_word >> stream->digits_left) & static_cast<std::uint64_t>(stream->digit_mask)];
}

constexpr std::size_t block_bytes = static_cast<std::size_t>(block_words) * sizeof(std::uint64_t);
constexpr auto header_bytes = static_cast<std::int64_t>(digit_file_header_bytes);

// Reads start and end on page boundaries where they can: a data word index
// that is a multiple of page_words lies at a 4096-byte file offset.
constexpr std::int64_t page_words = 4096 / 8;

// Read-ahead advice goes out for spans of this many reads below the words
// just read, once reads have grown past advice_from_words: only a dump of
// tens of thousands of digits or more starts the advising thread.
constexpr std::int64_t advised_reads_ahead = 2;
constexpr std::int64_t advice_from_words = std::int64_t{1} << 12;  // reads of 32 KiB

// Reads the words of the current block from words[lowest] up to what is
// already read, with one read of at least next_read_words words that starts
// on a page boundary (or at the block's bottom), and doubles next_read_words.
// Returns false, marking the stream failed, on a short read.
bool fill_down_to(digit_stream* stream, std::uint64_t lowest) {
    const std::int64_t top = stream->block_start + static_cast<std::int64_t>(stream->filled_from);
    const std::int64_t needed = static_cast<std::int64_t>(stream->filled_from - lowest);
    std::int64_t low = top - (needed > stream->next_read_words ? needed : stream->next_read_words);
    low -= low % page_words;  // rounds down when low >= 0; a negative low is clamped below
    if (low < stream->block_start) {
        low = stream->block_start;
    }
    const auto length = static_cast<std::size_t>(top - low) * 8;
    std::uint64_t* const destination = stream->words + (low - stream->block_start);
    if (platform_read_at(stream->file, destination, length, header_bytes + 8 * low) != length) {
        stream->read_failed = true;
        return false;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (std::int64_t i = 0; i < top - low; ++i) {
            destination[i] = digit_file_le64(reinterpret_cast<const unsigned char*>(&destination[i]));
        }
    }
    stream->bytes_read += static_cast<std::int64_t>(length);
    stream->filled_from = static_cast<std::uint64_t>(low - stream->block_start);
    stream->next_read_words = 2 * stream->next_read_words < block_words ? 2 * stream->next_read_words : block_words;
    // A stream that reads on is a dump: have the next reads' words on the
    // way, each span advised once.
    if (low < stream->advised_from) {
        stream->advised_from = low;
    }
    if (stream->next_read_words > advice_from_words && stream->advised_from > 0) {
        const std::int64_t ahead = advised_reads_ahead * stream->next_read_words;
        const std::int64_t target = low > ahead ? low - ahead : 0;
        if (target < stream->advised_from) {
            const std::int64_t offset = header_bytes + 8 * target;
            const std::int64_t span = 8 * (stream->advised_from - target);
            if (stream->prefetch == nullptr) {
                stream->prefetch = prefetcher_start(stream->file);
            }
            prefetcher_advise(stream->prefetch, offset, span);
            stream->advised_from = target;
        }
    }
    return true;
}

// Makes sure the words of the block from words[buf_words] up are read.
// Returns false when a read came short.
bool fill_taken(digit_stream* stream) {
    return stream->buf_words >= stream->filled_from || fill_down_to(stream, stream->buf_words);
}

// Takes the next word of the block, reading it first if need be; the block
// holds a word not yet taken (buf_words > 0).
bool take_word(digit_stream* stream, std::uint64_t* word) {
    if (stream->read_failed) {
        return false;
    }
    --stream->buf_words;
    if (!fill_taken(stream)) {
        return false;
    }
    *word = stream->words[stream->buf_words];
    return true;
}

}  // namespace

digit_stream* digit_stream_open(const char* path, std::int32_t base, std::int64_t offset) {
    if (!digit_base_supported(base)) {
        return nullptr;
    }
    if (offset < 0) {
        return nullptr;
    }
    auto* stream = new (std::nothrow) digit_stream{};
    if (stream == nullptr) {
        return nullptr;
    }
    const digit_file_opening opening = digit_file_open(path);
    stream->file = opening.file;
    if (opening.check != digit_file_check::ok) {
        digit_stream_close(stream);
        return nullptr;
    }

    // Digits per word; in bases 2 and 16 a word holds 64 / bits_per_digit
    // digits, so dividing the digit offset by that gives the same word skip as
    // dividing the bit offset by 64, without a multiplication that can overflow.
    if (base != 10) {
        stream->bits_per_digit = base == 2 ? 1 : 4;
        stream->digit_mask = base - 1;
    }
    const std::int64_t word_skip = offset / digits_per_word(base);
    const auto skip_digits = static_cast<std::int32_t>(offset % digits_per_word(base));

    const std::int64_t words_left = digit_file_words_from(opening.header, word_skip);
    if (words_left == 0) {
        digit_stream_close(stream);
        return nullptr;
    }

    stream->base = base;
    stream->words = static_cast<std::uint64_t*>(platform_allocate_block(block_bytes));
    if (stream->words == nullptr) {
        digit_stream_close(stream);
        return nullptr;
    }
    stream->buf_words = 0;
    stream->next_read_words = page_words;
    stream->advised_from = words_left;
    stream->words_left = words_left;
    stream->skip = base == 10 ? skip_digits : skip_digits * stream->bits_per_digit;
    return stream;
}

int digit_stream_refill(digit_stream* stream) {
    if (stream->read_failed) {
        return digit_stream_read_failed;
    }
    const std::int64_t unread = stream->words_left;
    if (unread == 0) {
        return digit_stream_end;
    }
    const std::int64_t count = unread < block_words ? unread : block_words;
    const std::int64_t below = unread - count;
    stream->words_left = below;

    // The block spans bytes 4096 + 8*below up to 4096 + 8*(below + count); a
    // header may declare so many words that this is past any file offset.
    constexpr std::int64_t max_offset = std::numeric_limits<std::int64_t>::max();
    if (unread > (max_offset - header_bytes) / 8) {
        stream->read_failed = true;
        return digit_stream_read_failed;
    }
    stream->block_start = below;
    stream->filled_from = static_cast<std::uint64_t>(count);
    if (!fill_down_to(stream, stream->filled_from - 1)) {
        return digit_stream_read_failed;
    }
    stream->buf_words = static_cast<std::uint64_t>(count);
    return 0;
}

int digit_stream_next(digit_stream* stream) {
    if (stream->digits_left == 0) {
        if (stream->buf_words == 0) {
            const int refilled = digit_stream_refill(stream);
            if (refilled != 0) {
                return refilled;
            }
        }
        std::uint64_t word = 0;
        if (!take_word(stream, &word)) {
            return digit_stream_read_failed;
        }
        begin_word(stream, word);
    }
    return pop_digit(stream);
}

std::int64_t digit_stream_read(digit_stream* stream, char* digits, std::int64_t capacity) {
    const digit_kernels& kernels = best_kernels();
    const format_words_function format = stream->base == 10   ? kernels.decimal
                                         : stream->base == 16 ? kernels.hex
                                                              : kernels.binary;
    const std::int64_t per_word = digits_per_word(stream->base);
    if (stream->read_failed) {
        return digit_stream_read_failed;
    }
    if (stream->bytes_read == 0) {
        // The stream's first read covers the words this request needs (with
        // one for a partial first word), and no more than a block.
        const std::int64_t wanted = capacity / per_word + 2;
        if (wanted > stream->next_read_words) {
            stream->next_read_words = wanted < block_words ? wanted : block_words;
        }
    }
    std::int64_t written = 0;
    while (written < capacity) {
        if (stream->digits_left > 0) {
            digits[written++] = pop_digit(stream);
            continue;
        }
        if (stream->buf_words == 0) {
            const int refilled = digit_stream_refill(stream);
            if (refilled == digit_stream_end) {
                break;
            }
            if (refilled == digit_stream_read_failed) {
                return written > 0 ? written : digit_stream_read_failed;
            }
        }
        // Whole words straight from the block; a word with a skip, or one that
        // does not fit, goes through the word in hand.
        if (stream->skip == 0) {
            const auto room = static_cast<std::uint64_t>((capacity - written) / per_word);
            const std::uint64_t whole = room < stream->buf_words ? room : stream->buf_words;
            if (whole > 0) {
                stream->buf_words -= whole;
                if (!fill_taken(stream)) {
                    return written > 0 ? written : digit_stream_read_failed;
                }
                format(stream->words + stream->buf_words, static_cast<std::size_t>(whole), digits + written);
                written += static_cast<std::int64_t>(whole) * per_word;
                continue;
            }
        }
        std::uint64_t word = 0;
        if (!take_word(stream, &word)) {
            return written > 0 ? written : digit_stream_read_failed;
        }
        begin_word(stream, word);
    }
    return written;
}

void digit_stream_close(digit_stream* stream) {
    if (stream == nullptr) {
        return;
    }
    prefetcher_stop(stream->prefetch);  // before the file it advises is closed
    platform_close(stream->file);
    platform_free_block(stream->words, block_bytes);
    delete stream;
}
