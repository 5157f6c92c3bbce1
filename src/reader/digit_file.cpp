#include "reader/digit_file.h"

#include <bit>
#include <cstring>

digit_file_opening digit_file_open(const char* path) {
    digit_file_opening opening{platform_no_file, digit_file_check::ok, {}, 0};
    const platform_file file = platform_open_read(path, &opening.open_error);
    if (file == platform_no_file) {
        opening.check = digit_file_check::cannot_open;
        return opening;
    }
    unsigned char bytes[digit_file_examined_bytes];
    if (platform_read_at(file, bytes, sizeof bytes, 0) != sizeof bytes) {
        const std::int64_t size = platform_file_size(file);
        opening.check = size >= 0 && size < static_cast<std::int64_t>(sizeof bytes) ? digit_file_check::too_short
                                                                                    : digit_file_check::unreadable;
    } else if (std::memcmp(bytes, digit_file_magic, sizeof digit_file_magic) != 0) {
        opening.check = digit_file_check::wrong_magic;
    } else {
        opening.header.word_count = std::bit_cast<std::int64_t>(digit_file_le64(bytes + digit_file_word_count_at));
        opening.header.kind = digit_file_le64(bytes + digit_file_kind_at);
        opening.header.lead_words = std::bit_cast<std::int64_t>(digit_file_le64(bytes + digit_file_lead_words_at));
        if (opening.header.kind != digit_file_kind) {
            opening.check = digit_file_check::wrong_kind;
        } else if (opening.header.lead_words < 0) {
            opening.check = digit_file_check::negative_lead_words;
        }
    }
    if (opening.check == digit_file_check::ok) {
        opening.file = file;
    } else {
        platform_close(file);
    }
    return opening;
}

std::int64_t digit_file_words_from(const digit_file_header& header, std::int64_t word_skip) {
    // Each step subtracts a non-negative value from a positive one.
    std::int64_t words = header.word_count;
    if (words <= 0 || (words -= header.lead_words) <= 0 || (words -= word_skip) <= 0) {
        return 0;
    }
    return words;
}
