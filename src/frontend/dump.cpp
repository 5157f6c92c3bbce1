#include "frontend/dump.h"

#include <array>

#include "kernels/digit_format.h"
#include "reader/digit_stream.h"

namespace {

// Digits taken from the stream at a time: whole words in every base (19, 16
// and 64 digits a word), and small enough to stay in the first-level cache
// between conversion and grouping.
constexpr std::int64_t chunk_digits = std::int64_t{19} * 16 * 64;

// Appends `count` digits to `out` with a space after every tenth digit of the
// run; `first` is the run index of digits[0]. `digits` must be readable for
// group_slack bytes past the count.
void append_grouped(output_buffer& out, const char* digits, std::size_t count, std::int64_t first) {
    char* const start = out.reserve(count + count / 10 + 1 + group_slack);
    out.commit(best_kernels().group(digits, count, static_cast<std::size_t>(first % 10), start));
}

}  // namespace

dump_result dump_digits(output_buffer& out, const char* filename, std::int32_t base, std::int64_t pos,
                        std::int64_t nb_digits) {
    if (pos < 1) {
        return dump_result::refused;
    }
    digit_stream* stream = digit_stream_open(filename, base, pos - 1);
    if (stream == nullptr) {
        return dump_result::refused;
    }
    // A grouped chunk, with its slack, must fit the output buffer.
    const auto fitting = static_cast<std::int64_t>((out.capacity() - group_slack - 1) / 11 * 10);
    const std::int64_t chunk = fitting < chunk_digits ? fitting : chunk_digits;
    std::array<char, chunk_digits + group_slack> digits{};
    dump_result result = dump_result::shown;
    for (std::int64_t shown = 0; shown < nb_digits;) {
        const std::int64_t wanted = nb_digits - shown < chunk ? nb_digits - shown : chunk;
        const std::int64_t got = digit_stream_read(stream, digits.data(), wanted);
        if (got == digit_stream_read_failed) {
            result = dump_result::read_failed;
            break;
        }
        if (got == 0) {
            break;
        }
        append_grouped(out, digits.data(), static_cast<std::size_t>(got), shown);
        shown += got;
        if (shown == nb_digits && nb_digits % 10 == 0) {
            out.uncommit(1);  // no space after the last digit asked for
        }
        if (out.failed()) {
            result = dump_result::write_failed;
            break;
        }
    }
    digit_stream_close(stream);
    return result;
}
