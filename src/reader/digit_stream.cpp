#include "reader/digit_stream.h"

#include <new>
#include <utility>

#include "kernels/digit_format.h"
#include "kernels/registry.h"

namespace rovurer {

// The digit cursor over a word source; the field names are the stream's own
// (the source holds file, words, buf_words and words_left).
struct digit_stream {
    word_source source;
    digit_file::header header;
    std::int32_t base = 0;                                  // 2, 10 or 16
    std::int32_t skip = 0;                                  // digits (base 10) or bits to drop
                                                            // from the first word taken
    std::int32_t bits_per_digit = 0;                        // 1 or 4; unused in base 10
    std::int32_t digit_mask = 0;                            // base - 1; unused in base 10
    std::int32_t digits_left = 0;                           // digits (base 10) or bits of the
                                                            // current word not yet handed out
    std::uint64_t cur_word = 0;                             // bases 2 and 16: current word
    unsigned char digit_buf[decimal_digits_per_word] = {};  // base 10: digits of the current
                                                            // word, least significant first
    std::int64_t first_word = 0;                            // the data word of the first digit
    std::int32_t skip_digits = 0;                           // digits dropped from the first word
    const kernels::digit_kernels* kernels = nullptr;        // the set that converts the words
};

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
    if (stream->base == 10) {
        --stream->digits_left;
        return kernels::digit_characters[stream->digit_buf[stream->digits_left]];
    }
    stream->digits_left -= stream->bits_per_digit;
    return kernels::digit_characters[(stream->cur_word >> stream->digits_left) &
                                     static_cast<std::uint64_t>(stream->digit_mask)];
}

// Takes the next word of the block into the cursor; the block holds a word
// not yet taken. False when its read failed, also after the word was loaded.
bool begin_next_word(digit_stream* stream) {
    const std::uint64_t* const word = stream->source.take(1);
    if (word == nullptr) {
        return false;
    }
    begin_word(stream, *word);
    return !stream->source.failed();
}

digit_stream* refuse(digit_stream_refusal* refusal, digit_stream_refusal::reason why,
                     const digit_file::verdict& file = {}) {
    if (refusal != nullptr) {
        refusal->why = why;
        refusal->file = file;
    }
    return nullptr;
}

// What is wrong with a base and an offset before any file is looked at:
// the base first, then the offset.
digit_stream_refusal::reason argument_refusal(std::int32_t base, std::int64_t offset) {
    using reason = digit_stream_refusal::reason;
    return !digit_base_supported(base) ? reason::unsupported_base : offset < 0 ? reason::negative_offset : reason::none;
}

// Opens a stream at `offset` of a file whose header passed its checks:
// `owned` is the file for a stream of its own, or closed when the stream
// reads `shared`, kept open by its owner.
digit_stream* open_on(platform::file owned, const platform::file& shared, const digit_file::verdict& verdict,
                      std::int32_t base, std::int64_t offset, digit_stream_refusal* refusal) {
    using reason = digit_stream_refusal::reason;
    // Digits per word; in bases 2 and 16 a word holds 64 / bits_per_digit
    // digits, so dividing the digit offset by that gives the same word skip as
    // dividing the bit offset by 64, without a multiplication that can overflow.
    const std::int64_t word_skip = offset / digits_per_word(base);
    const auto skip_digits = static_cast<std::int32_t>(offset % digits_per_word(base));
    const std::int64_t words_left = digit_file::words_from(verdict.header, word_skip);
    if (words_left == 0) {
        return refuse(refusal, reason::past_end, verdict);
    }

    auto* stream = new (std::nothrow) digit_stream{};
    if (stream == nullptr) {
        return refuse(refusal, reason::out_of_memory, verdict);
    }
    const bool sharing = !owned.is_open();
    if (!(sharing ? stream->source.open_shared(shared, words_left)
                  : stream->source.open(std::move(owned), words_left))) {
        delete stream;
        return refuse(refusal, reason::out_of_memory, verdict);
    }
    stream->header = verdict.header;
    stream->base = base;
    if (base != 10) {
        stream->bits_per_digit = base == 2 ? 1 : 4;
        stream->digit_mask = base - 1;
    }
    stream->skip = base == 10 ? skip_digits : skip_digits * stream->bits_per_digit;
    stream->first_word = words_left - 1;
    stream->skip_digits = skip_digits;
    stream->kernels = &kernels::active();
    if (refusal != nullptr) {
        *refusal = {};
    }
    return stream;
}

}  // namespace

digit_stream* digit_stream_open(const char* path, std::int32_t base, std::int64_t offset,
                                digit_stream_refusal* refusal) {
    using reason = digit_stream_refusal::reason;
    if (const reason why = argument_refusal(base, offset); why != reason::none) {
        return refuse(refusal, why);
    }
    digit_file::opening opening = digit_file::open(path);
    if (opening.verdict.check != digit_file::check::ok) {
        return refuse(refusal, reason::not_a_digit_file, opening.verdict);
    }
    const platform::file none;
    return open_on(std::move(opening.file), none, opening.verdict, base, offset, refusal);
}

digit_stream* digit_stream_open_same(const digit_stream* opened, std::int32_t base, std::int64_t offset,
                                     digit_stream_refusal* refusal) {
    digit_stream* const stream =
        digit_stream_open_on(opened->source.data_file(), opened->header, base, offset, refusal);
    if (stream != nullptr) {
        stream->kernels = opened->kernels;
    }
    return stream;
}

digit_stream* digit_stream_open_on(const platform::file& file, const digit_file::header& header, std::int32_t base,
                                   std::int64_t offset, digit_stream_refusal* refusal) {
    using reason = digit_stream_refusal::reason;
    if (const reason why = argument_refusal(base, offset); why != reason::none) {
        return refuse(refusal, why);
    }
    digit_file::verdict verdict;
    verdict.header = header;
    return open_on(platform::file(), file, verdict, base, offset, refusal);
}

void digit_stream_use_kernels(digit_stream* stream, const kernels::digit_kernels& set) {
    stream->kernels = &set;
}

const kernels::digit_kernels& digit_stream_kernels(const digit_stream* stream) {
    return *stream->kernels;
}

int digit_stream_refill(digit_stream* stream) {
    return stream->source.refill();
}

int digit_stream_next(digit_stream* stream) {
    if (stream->digits_left == 0) {
        if (stream->source.buffered() == 0) {
            const int refilled = digit_stream_refill(stream);
            if (refilled != 0) {
                return refilled;
            }
        }
        if (!begin_next_word(stream)) {
            return digit_stream_read_failed;
        }
    }
    return pop_digit(stream);
}

std::int64_t digit_stream_read(digit_stream* stream, char* digits, std::int64_t capacity) {
    const kernels::digit_kernels& set = *stream->kernels;
    const kernels::format_words_function format = stream->base == 10   ? set.decimal
                                                  : stream->base == 16 ? set.hex
                                                                       : set.binary;
    const std::int64_t per_word = digits_per_word(stream->base);
    if (stream->source.failed()) {
        return digit_stream_read_failed;
    }
    // The stream's first read covers the words this request needs (with one
    // for a partial first word).
    stream->source.expect(capacity / per_word + 2);
    std::int64_t written = 0;
    while (written < capacity) {
        if (stream->digits_left > 0) {
            digits[written++] = pop_digit(stream);
            continue;
        }
        if (stream->source.buffered() == 0) {
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
            const std::uint64_t whole = room < stream->source.buffered() ? room : stream->source.buffered();
            if (whole > 0) {
                const std::uint64_t* const words = stream->source.take(whole);
                if (words == nullptr) {
                    return written > 0 ? written : digit_stream_read_failed;
                }
                format(words, static_cast<std::size_t>(whole), digits + written);
                if (stream->source.failed()) {
                    // A page turned to zeros while its words were converted:
                    // these digits were never in the file.
                    return written > 0 ? written : digit_stream_read_failed;
                }
                written += static_cast<std::int64_t>(whole) * per_word;
                continue;
            }
        }
        if (!begin_next_word(stream)) {
            return written > 0 ? written : digit_stream_read_failed;
        }
    }
    return written;
}

void digit_stream_limit(digit_stream* stream, std::int64_t digits) {
    if (digits <= 0 || digits >= digit_stream_length(stream)) {
        return;
    }
    const std::int64_t per_word = digits_per_word(stream->base);
    // The words the digits lie in; digits below the length keeps this in range.
    const std::int64_t words = (digits + stream->skip_digits + per_word - 1) / per_word;
    stream->source.limit(stream->first_word + 1 - words);
}

std::int64_t digit_stream_length(const digit_stream* stream) {
    const std::int64_t per_word = digits_per_word(stream->base);
    const std::int64_t words = stream->first_word + 1;
    return words > (INT64_MAX - per_word) / per_word ? INT64_MAX : words * per_word - stream->skip_digits;
}

void digit_stream_read_in_place(digit_stream* stream) {
    stream->source.use_views();
}

bool digit_stream_failed(const digit_stream* stream) {
    return stream->source.failed();
}

bool digit_stream_out_of_memory(const digit_stream* stream) {
    return stream->source.out_of_memory();
}

bool digit_stream_at_word(const digit_stream* stream) {
    return stream->digits_left == 0 && stream->skip == 0;
}

std::int64_t digit_stream_words_ready(digit_stream* stream) {
    if (stream->source.buffered() == 0) {
        const int refilled = digit_stream_refill(stream);
        if (refilled != 0) {
            return refilled == digit_stream_end ? 0 : digit_stream_read_failed;
        }
    }
    return static_cast<std::int64_t>(stream->source.buffered());
}

const std::uint64_t* digit_stream_take_words(digit_stream* stream, std::int64_t count) {
    return stream->source.take(static_cast<std::uint64_t>(count));
}

word_source::reading digit_stream_progress(const digit_stream* stream) {
    return stream->source.progress();
}

void digit_stream_close(digit_stream* stream) {
    delete stream;
}

}  // namespace rovurer
