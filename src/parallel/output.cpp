#include "parallel/output.h"

#include <charconv>
#include <cstring>

#include "platform/platform.h"

namespace rovurer {

output_buffer::output_buffer(sink_function sink, void* context, std::size_t capacity)
    : sink_(sink),
      context_(context),
      allocated_(capacity < minimum_capacity ? minimum_capacity : capacity),
      capacity_(allocated_) {
    buffer_.reset(new char[allocated_]);
}

void output_buffer::deliver_at_most(std::size_t length) {
    length = length < minimum_capacity ? minimum_capacity : length;
    capacity_ = length < allocated_ ? length : allocated_;
}

void output_buffer::append(const char* bytes, std::size_t length) {
    // Bytes that would fill the buffer more than once go out as they are,
    // after what is buffered: no copy.
    if (length >= capacity_ && error_ == 0) {
        flush();
        if (error_ == 0) {
            error_ = sink_(context_, bytes, length);
        }
        return;
    }
    while (length > 0) {
        if (used_ >= capacity_) {
            flush();
        }
        const std::size_t room = capacity_ - used_;
        const std::size_t chunk = length < room ? length : room;
        std::memcpy(buffer_.get() + used_, bytes, chunk);
        used_ += chunk;
        bytes += chunk;
        length -= chunk;
    }
}

void output_buffer::append(const char* text) {
    append(text, std::strlen(text));
}

char* output_buffer::reserve(std::size_t length) {
    if (used_ + length > capacity_) {
        flush();  // leaves the buffer empty
        if (allocated_ < length) {
            buffer_.reset(new char[length]);
            allocated_ = length;
        }
        capacity_ = capacity_ < length ? length : capacity_;
    }
    return buffer_.get() + used_;
}

bool output_buffer::to_standard_output() const {
    return sink_ == write_to_stream && *static_cast<const platform::stream*>(context_) == platform::stream::output;
}

bool output_buffer::flush() {
    if (used_ > 0 && error_ == 0) {
        error_ = sink_(context_, buffer_.get(), used_);
    }
    used_ = 0;
    return error_ == 0;
}

void append_number_line(output_buffer& out, std::uint64_t value) {
    constexpr std::size_t most = 21;  // 20 digits at most, and the newline
    char* const start = out.reserve(most);
    char* const end = std::to_chars(start, start + most - 1, value).ptr;
    *end = '\n';
    out.commit(static_cast<std::size_t>(end + 1 - start));
}

int write_to_stream(void* context, const char* bytes, std::size_t length) {
    return platform::write(*static_cast<const platform::stream*>(context), bytes, length);
}

int write_to_file(void* context, const char* bytes, std::size_t length) {
    return platform::write_output(*static_cast<const platform::file*>(context), bytes, length);
}

}  // namespace rovurer
