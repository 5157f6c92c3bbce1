#include "reader/digit_file.h"

#include <bit>
#include <cstring>
#include <utility>

namespace rovurer::digit_file {

namespace {

check examine(const platform::file& file, header& declared, int& read_error) {
    unsigned char bytes[examined_bytes];
    if (platform::read_at(file, bytes, sizeof bytes, 0, &read_error) != sizeof bytes) {
        if (read_error != 0) {
            return check::unreadable;  // a size the system gives (such as /proc/self/mem's 0) says nothing then
        }
        const std::int64_t size = platform::file_size(file);
        return size >= 0 && size < static_cast<std::int64_t>(sizeof bytes) ? check::too_short : check::unreadable;
    }
    if (std::memcmp(bytes, magic, sizeof magic) != 0) {
        return check::wrong_magic;
    }
    declared.word_count = std::bit_cast<std::int64_t>(le64(bytes + word_count_at));
    declared.kind = le64(bytes + kind_at);
    declared.lead_words = std::bit_cast<std::int64_t>(le64(bytes + lead_words_at));
    if (declared.kind != required_kind) {
        return check::wrong_kind;
    }
    return declared.lead_words < 0 ? check::negative_lead_words : check::ok;
}

}  // namespace

opening open(const char* path) {
    opening result;
    platform::file file = platform::open_read(path, &result.verdict.open_error);
    if (!file.is_open()) {
        result.verdict.check = check::cannot_open;
        return result;
    }
    result.verdict.check = examine(file, result.verdict.header, result.verdict.read_error);
    if (result.verdict.check == check::ok) {
        result.file = std::move(file);
    }
    return result;
}

std::int64_t words_from(const header& declared, std::int64_t word_skip) {
    // Each step subtracts a non-negative value from a positive one.
    std::int64_t words = declared.word_count;
    if (words <= 0 || (words -= declared.lead_words) <= 0 || (words -= word_skip) <= 0) {
        return 0;
    }
    return words;
}

}  // namespace rovurer::digit_file
