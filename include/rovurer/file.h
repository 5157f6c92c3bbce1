// A digit file, opened: the facts its header gives, and the one version of
// the file that every later call reads, whatever becomes of its name.
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <memory>
#include <string>

#include "rovurer/result.h"

namespace rovurer {

// What the header declares, and what the file holds.
struct ROVURER_API header_facts {
    std::int64_t word_count = 0;  // data words declared
    std::int64_t lead_words = 0;  // top words before position 1 (the integer part)
    std::int64_t data_bytes = 0;  // bytes after the header when the file was opened; -1 when its size
                                  // is unknown (a device)
    std::int64_t data_words = 0;  // whole words in those bytes; -1 when their number is unknown

    // The digits of `base` (2, 10 or 16) from position 1 to the end of the
    // data, as decimal text: exact, though it may pass 2^63 in base 2. "0"
    // when the file holds none; "" for another base.
    std::string digits_text(int base) const;
    // The same, at most INT64_MAX (no position lies past it).
    std::int64_t digits(int base) const;
};

class ROVURER_API file {
public:
    // Opens the digit file at `path` and reads its header, only its first 56
    // bytes. The error says why a file is refused: errc::cannot_open to
    // errc::negative_lead_words, or out_of_memory. Never reads the data.
    static result<file> open(const std::string& path);

    const header_facts& facts() const;

    // A file is a handle: copies share the open file, which closes with the
    // last of them. Every call on it may run on any thread at once.
    file(const file&) = default;
    file& operator=(const file&) = default;
    file(file&&) noexcept = default;
    file& operator=(file&&) noexcept = default;
    ~file() = default;

private:
    struct state;
    friend struct file_access;  // the library's own
    explicit file(std::shared_ptr<const state> opened) : state_(std::move(opened)) {}
    std::shared_ptr<const state> state_;
};

}  // namespace rovurer
