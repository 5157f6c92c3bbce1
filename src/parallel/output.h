// output_buffer: buffered output to a sink (a platform stream, or memory in
// tests), with the first write error kept rather than ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace rovurer {

class output_buffer {
public:
    // Delivers `length` bytes; returns 0, or an errno value when the bytes
    // could not all be delivered.
    using sink_function = int (*)(void* context, const char* bytes, std::size_t length);

    // Buffers `capacity` bytes, at least minimum_capacity.
    output_buffer(sink_function sink, void* context, std::size_t capacity);
    static constexpr std::size_t minimum_capacity = 64;

    // Appends bytes. After a write error everything is dropped.
    void put(char byte) {
        if (used_ >= capacity_) {
            flush();
        }
        buffer_[used_++] = byte;
    }
    void append(const char* bytes, std::size_t length);
    void append(const char* text);

    // Room for `length` bytes at the end of the buffer, flushing first if
    // need be and growing the buffer when `length` is more than it holds;
    // commit() then adds the first bytes written there (at most `length`).
    char* reserve(std::size_t length);
    void commit(std::size_t length) { used_ += length; }
    std::size_t capacity() const { return capacity_; }
    // Delivers at most `length` bytes a call from now on (at least
    // minimum_capacity, at most the memory the buffer has), out of the first
    // bytes of its memory, which then stay in cache; the rest of the memory
    // is kept for a later call that allows more. Bytes buffered past the new
    // bound go out whole at the next put, append, reserve or flush.
    void deliver_at_most(std::size_t length);

    // Delivers the buffered bytes. Returns false once any write has failed.
    bool flush();
    bool failed() const { return error_ != 0; }
    // Whether the bytes go to the process's standard output
    // (write_to_stream of platform::stream::output), where they may also be
    // written in place.
    bool to_standard_output() const;
    // Takes `error` (an errno value) as a write error of this output, when
    // none came before: for bytes that went to the same place another way.
    void fail(int error) {
        if (error_ == 0) {
            error_ = error;
        }
    }
    int error() const { return error_; }  // errno of the first failed write, or 0

private:
    sink_function sink_;
    void* context_;
    std::unique_ptr<char[]> buffer_;
    std::size_t allocated_;
    std::size_t capacity_;  // at most allocated_
    std::size_t used_ = 0;
    int error_ = 0;
};

// Appends `value` in decimal, then a newline.
void append_number_line(output_buffer& out, std::uint64_t value);

// Sink writing to the platform::stream pointed to by `context`.
int write_to_stream(void* context, const char* bytes, std::size_t length);

// Sink writing at the position of the open platform::file pointed to by
// `context`.
int write_to_file(void* context, const char* bytes, std::size_t length);

}  // namespace rovurer
