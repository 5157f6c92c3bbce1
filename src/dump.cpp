#include "dump.h"

#include "digit_stream.h"

dump_result dump_digits(output_buffer& out, const char* filename, std::int32_t base, std::int64_t pos,
                        std::int64_t nb_digits) {
    if (pos < 1) {
        return dump_result::refused;
    }
    digit_stream* stream = digit_stream_open(filename, base, pos - 1);
    if (stream == nullptr) {
        return dump_result::refused;
    }
    dump_result result = dump_result::shown;
    for (std::int64_t i = 0; i < nb_digits; ++i) {
        const int digit = digit_stream_next(stream);
        if (digit == digit_stream_end) {
            break;
        }
        if (digit == digit_stream_read_failed) {
            result = dump_result::read_failed;
            break;
        }
        out.put(static_cast<char>(digit));
        if (i % 10 == 9 && i != nb_digits - 1) {
            out.put(' ');
        }
        if (out.failed()) {
            result = dump_result::write_failed;
            break;
        }
    }
    digit_stream_close(stream);
    return result;
}
