#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "kernels/registry.h"
#include "library/messages.h"
#include "reader/digit_run.h"
#include "rovurer/format.h"
#include "scan/dump.h"

namespace rovurer {

namespace {

int append_to_string(void* context, const char* bytes, std::size_t length) {
    try {
        static_cast<std::string*>(context)->append(bytes, length);
        return 0;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

std::string laid_out(std::string_view digits, std::int64_t first_position, const layout& shape) {
    std::string text;
    output_buffer out(append_to_string, &text, std::size_t{64} << 10);
    const dump_layout laid{shape.group, shape.per_line, shape.labels, true};
    layout_writer writer(out, laid, static_cast<std::uint64_t>(first_position), 0, kernels::active());
    // The writer reads a little past the digits it is given: pieces go
    // through a buffer with room for that.
    std::array<char, digit_run::chunk_digits + kernels::group_slack> piece{};
    for (std::size_t at = 0; at < digits.size(); at += digit_run::chunk_digits) {
        const std::size_t length = std::min(digits.size() - at, static_cast<std::size_t>(digit_run::chunk_digits));
        std::memcpy(piece.data(), digits.data() + at, length);
        writer.write(piece.data(), static_cast<std::int64_t>(length));
    }
    writer.finish(true);
    if (!out.flush()) {
        throw std::bad_alloc();  // the one way the string can fail
    }
    return text;
}

}  // namespace

result<std::string> format(std::string_view digits, std::int64_t first_position, const layout& shape) {
    if (shape.group < 0 || shape.per_line < 0) {
        return error{errc::bad_option, "a group or line of fewer than 0 digits"};
    }
    if (first_position < 1) {
        return error{errc::bad_position, position_refusal(first_position)};
    }
    try {
        return laid_out(digits, first_position, shape);
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace rovurer
