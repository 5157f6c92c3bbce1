#include "reader/digit_stream.h"

#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "kernels/digit_format.h"
#include "platform/platform.h"

namespace {

std::uint64_t load_le64(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

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
    stream->file = platform_open_read(path);
    if (stream->file == platform_no_file ||
        platform_read_at(stream->file, stream->header, sizeof stream->header, 0) != sizeof stream->header ||
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
    stream->words = static_cast<std::uint64_t*>(platform_allocate_block(block_bytes));
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
    constexpr auto header_bytes = static_cast<std::int64_t>(digit_file_header_bytes);
    const auto length = static_cast<std::size_t>(count) * 8;
    if (unread > (max_offset - header_bytes) / 8 ||
        platform_read_at(stream->file, stream->words, length, header_bytes + 8 * below) != length) {
        stream->read_failed = true;
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
    if (stream->digits_left == 0) {
        if (stream->buf_words == 0) {
            const int refilled = digit_stream_refill(stream);
            if (refilled != 0) {
                return refilled;
            }
        }
        --stream->buf_words;
        begin_word(stream, stream->words[stream->buf_words]);
    }
    return pop_digit(stream);
}

std::int64_t digit_stream_read(digit_stream* stream, char* digits, std::int64_t capacity) {
    const digit_kernels& kernels = best_kernels();
    const format_words_function format = stream->base == 10   ? kernels.decimal
                                         : stream->base == 16 ? kernels.hex
                                                              : kernels.binary;
    const std::int64_t digits_per_word = stream->base == 10 ? decimal_digits_per_word : 64 / stream->bits_per_digit;
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
            const auto room = static_cast<std::uint64_t>((capacity - written) / digits_per_word);
            const std::uint64_t whole = room < stream->buf_words ? room : stream->buf_words;
            if (whole > 0) {
                stream->buf_words -= whole;
                format(stream->words + stream->buf_words, whole, digits + written);
                written += static_cast<std::int64_t>(whole) * digits_per_word;
                continue;
            }
        }
        --stream->buf_words;
        begin_word(stream, stream->words[stream->buf_words]);
    }
    return written;
}

void digit_stream_close(digit_stream* stream) {
    if (stream == nullptr) {
        return;
    }
    platform_close(stream->file);
    platform_free_block(stream->words, block_bytes);
    delete stream;
}
