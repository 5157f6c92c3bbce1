// The header of a digit file, examined: what it declares and, for a file
// that is not a digit file, why not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace rovurer::digit_file {

// Header layout (little-endian): magic at byte 0, word_count at 8, kind at
// 24, lead_words at 48; only these first 56 bytes of the 4096-byte header
// area are read. The data region starts at byte 4096.
inline constexpr unsigned char magic[8] = {'M', 'P', 'T', 1, 'F', 'I', 'L', 'E'};
inline constexpr std::size_t header_bytes = 4096;  // size of the header area
inline constexpr std::size_t examined_bytes = 56;  // bytes of it that are read
inline constexpr std::size_t word_count_at = 8;
inline constexpr std::size_t kind_at = 24;
inline constexpr std::size_t lead_words_at = 48;
inline constexpr std::uint64_t required_kind = 2;

// The little-endian 64-bit value at `bytes`, on any host.
inline std::uint64_t le64(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

struct header {
    std::int64_t word_count = 0;  // data words declared
    std::uint64_t kind = 0;       // must be 2
    std::int64_t lead_words = 0;  // top words hidden before position 1, must be >= 0
};

enum class check {
    ok,
    cannot_open,          // the system refused the open (open_error says why)
    unreadable,           // the examined bytes could not be read (an error,
                          // which read_error names, or a device that ends)
    too_short,            // a regular file of fewer than the 56 examined bytes
    wrong_magic,          // the first 8 bytes are not the magic
    wrong_kind,           // header.kind is not 2
    negative_lead_words,  // header.lead_words is below 0
};

// Why a file is or is not a digit file: the first problem found, what the
// header said (once the magic matched) and, for cannot_open, the errno value.
struct verdict {
    digit_file::check check = check::ok;
    digit_file::header header{};
    int open_error = 0;
    int read_error = 0;  // for unreadable: the errno value of the failed read, when there was one
};

struct opening {
    platform::file file;  // open exactly when verdict.check is ok
    digit_file::verdict verdict;
};

// Opens the file at `path` and examines its header. The result owns the
// open file when the check is ok; otherwise nothing is left open. Never
// reads past the examined bytes.
opening open(const char* path);

// The data words at and below the first word shown when `word_skip` words
// are skipped from position 1: word_count - lead_words - word_skip, computed
// step by step so that nothing overflows (lead_words and word_skip are not
// negative). 0 when that is not positive, so no position there is shown.
std::int64_t words_from(const header& declared, std::int64_t word_skip);

}  // namespace rovurer::digit_file
