// Errors as values: every call of the library that can fail returns a
// result, which holds either its answer or an error. No exception leaves
// the library, and nothing in it aborts the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace rovurer {

// What went wrong.
enum class errc {
    // Opening a file: the reasons it is refused.
    cannot_open = 1,      // the system refused the open, or the file is a pipe (system_error)
    unreadable,           // its header could not be read (system_error, when the system gave one)
    too_short,            // shorter than the 56 bytes of the header that are read
    wrong_magic,          // not a digit file
    wrong_kind,           // the header's kind is not 2
    negative_lead_words,  // the header's lead_words is below 0
    // A request the file cannot answer.
    unsupported_base,  // not 2, 10 or 16
    bad_position,      // a position below 1
    past_end,          // no digit of the base at the position
    bad_digits,        // a string to find that is empty or holds a character that is not a digit of the base
    bad_option,        // scan_options that name no kernel set this CPU runs, or threads below 0
    // While reading.
    read_failed,    // a read of the data came short: the file shrank, or the device failed
    out_of_memory,  // no memory for the buffers
    stopped,        // the stop token asked for a stop
    // Packing text into a digit file.
    bad_text,       // a character that is not a digit of the base, a blank or a line end (where it stands)
    no_digits,      // text without a digit
    target_exists,  // a file is at the target's name, and replacing it was not asked for
    cannot_create,  // the temporary file beside the target cannot be created (system_error)
    write_failed,   // a write, the flush or the rename failed (system_error)
    // Reporting on a file.
    size_unknown,  // not a regular file: the size of its data region is unknown
    // Merging the answers of parts.
    bad_part,  // a part's answer that cannot be read, or that does not follow the part before
};

struct error {
    errc code{};
    // In the command line's words, without a file name or "rovurer: ":
    // "position 9 is past the end of the data (5 base-10 digits)".
    std::string message;
    int system_error = 0;  // the errno value behind it, when there is one
    int file = 1;          // of two files compared, or a text and its digit file: which one failed, 1 or 2
};

// The answer of a call, of type T, or why there is none.
template <typename T>
class [[nodiscard]] result {
public:
    result(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor): an answer converts
    result(rovurer::error failure) : error_(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    // The answer; only when ok().
    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }

    // Why there is no answer; only when !ok().
    const rovurer::error& error() const { return error_; }

private:
    std::optional<T> value_;
    rovurer::error error_;
};

}  // namespace rovurer
