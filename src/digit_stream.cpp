#include "digit_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace {

std::uint64_t load_le64(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// Reads `length` bytes at `offset`, retrying interrupted and partial reads.
// Returns the number of bytes read: fewer than asked at end of file or on an
// error. pread never moves a file position, so a file that cannot seek (a
// pipe, a terminal) yields nothing rather than bytes from the wrong place.
std::size_t read_at(int file, void* destination, std::size_t length, std::int64_t offset) {
    auto* bytes = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(file, bytes + done, length - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// Takes the next word, most significant first, refilling the block when it
// is used up. Returns 0 or the refill's failure result.
int take_word(digit_stream* stream, std::uint64_t* word) {
    if (stream->buf_words == 0) {
        const int refilled = digit_stream_refill(stream);
        if (refilled != 0) {
            return refilled;
        }
    }
    --stream->buf_words;
    *word = stream->words[stream->buf_words];
    return 0;
}

int digit_character(unsigned value) {
    return value <= 9 ? static_cast<int>('0' + value) : static_cast<int>('A' + (value - 10));
}

}  // namespace

digit_stream* digit_stream_open(const char* path, std::int32_t base, std::int64_t offset) {
    if (base != 2 && base != 10 && base != 16) {
        return nullptr;
    }
    if (offset < 0) {
        return nullptr;
    }
    auto* stream = new (std::nothrow) digit_stream{};
    if (stream == nullptr) {
        return nullptr;
    }
    // O_NONBLOCK so that naming a FIFO cannot hang the open; it changes
    // nothing for regular files, and the header read refuses a FIFO anyway.
    stream->file = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (stream->file < 0 ||
        read_at(stream->file, stream->header, sizeof stream->header, 0) != sizeof stream->header ||
        std::memcmp(stream->header, digit_file_magic, sizeof digit_file_magic) != 0) {
        digit_stream_close(stream);
        return nullptr;
    }
    const auto word_count = std::bit_cast<std::int64_t>(load_le64(stream->header + digit_file_word_count_at));
    const std::uint64_t kind = load_le64(stream->header + digit_file_kind_at);
    const auto lead_words = std::bit_cast<std::int64_t>(load_le64(stream->header + digit_file_lead_words_at));
    if (kind != digit_file_kind || lead_words < 0) {
        digit_stream_close(stream);
        return nullptr;
    }

    // Digits per word; in bases 2 and 16 a word holds 64 / bits_per_digit
    // digits, so dividing the digit offset by that gives the same word skip as
    // dividing the bit offset by 64, without a multiplication that can overflow.
    std::int64_t digits_per_word = decimal_digits_per_word;
    if (base != 10) {
        stream->bits_per_digit = base == 2 ? 1 : 4;
        stream->digit_mask = base - 1;
        digits_per_word = 64 / stream->bits_per_digit;
    }
    const std::int64_t word_skip = offset / digits_per_word;
    const auto skip_digits = static_cast<std::int32_t>(offset % digits_per_word);

    // words_left = word_count - lead_words - word_skip, exactly: each step
    // subtracts a non-negative value from a positive one, so none overflows,
    // and once the count is not positive the position is not displayable.
    std::int64_t words_left = word_count;
    if (words_left <= 0 || (words_left -= lead_words) <= 0 || (words_left -= word_skip) <= 0) {
        digit_stream_close(stream);
        return nullptr;
    }

    stream->base = base;
    stream->words = new (std::nothrow) std::uint64_t[block_words];
    if (stream->words == nullptr) {
        digit_stream_close(stream);
        return nullptr;
    }
    stream->buf_words = 0;
    stream->words_left = words_left;
    stream->skip = base == 10 ? skip_digits : skip_digits * stream->bits_per_digit;
    return stream;
}

int digit_stream_refill(digit_stream* stream) {
    const std::int64_t unread = stream->words_left;
    if (unread == 0) {
        return digit_stream_end;
    }
    const std::int64_t count = unread < block_words ? unread : block_words;
    const std::int64_t below = unread - count;
    stream->words_left = below;

    // The block spans bytes 4096 + 8*below up to 4096 + 8*(below + count); a
    // header may declare so many words that this is past any file offset.
    constexpr std::int64_t max_offset = std::numeric_limits<off_t>::max();
    constexpr auto header_bytes = static_cast<std::int64_t>(digit_file_header_bytes);
    if (unread > (max_offset - header_bytes) / 8) {
        return digit_stream_read_failed;
    }
    const std::int64_t start = header_bytes + 8 * below;
    const auto length = static_cast<std::size_t>(count) * 8;
    if (read_at(stream->file, stream->words, length, start) != length) {
        return digit_stream_read_failed;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (std::int64_t i = 0; i < count; ++i) {
            stream->words[i] = load_le64(reinterpret_cast<const unsigned char*>(&stream->words[i]));
        }
    }
    stream->buf_words = static_cast<std::uint64_t>(count);
    return 0;
}

int digit_stream_next(digit_stream* stream) {
    if (stream->base == 10) {
        if (stream->digits_left == 0) {
            std::uint64_t word = 0;
            const int taken = take_word(stream, &word);
            if (taken != 0) {
                return taken;
            }
            // Only the 19 low-order digits: a value of 10^19 or more loses its top.
            for (unsigned char& digit : stream->digit_buf) {
                digit = static_cast<unsigned char>(word % 10);
                word /= 10;
            }
            stream->digits_left = decimal_digits_per_word - stream->skip;
            stream->skip = 0;
        }
        --stream->digits_left;
        return digit_character(stream->digit_buf[stream->digits_left]);
    }
    if (stream->digits_left == 0) {
        const int taken = take_word(stream, &stream->cur_word);
        if (taken != 0) {
            return taken;
        }
        stream->digits_left = 64 - stream->skip;
        stream->skip = 0;
    }
    stream->digits_left -= stream->bits_per_digit;
    const auto value = static_cast<unsigned>(stream->cur_word >> stream->digits_left) &
                       static_cast<unsigned>(stream->digit_mask);
    return digit_character(value);
}

void digit_stream_close(digit_stream* stream) {
    if (stream == nullptr) {
        return;
    }
    if (stream->file >= 0) {
        close(stream->file);
    }
    delete[] stream->words;
    delete stream;
}
