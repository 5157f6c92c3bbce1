#include "frontend/digit_run.h"

namespace rovurer {

digit_run::digit_run(const char* filename, std::int32_t base, std::int64_t pos, std::int64_t nb_digits)
    : pos_(pos), nb_digits_(nb_digits) {
    // Any offset below 0 is refused, after the base; pos - 1 could overflow.
    stream_ = digit_stream_open(filename, base, pos >= 1 ? pos - 1 : -1, &refusal_);
}

digit_run::~digit_run() {
    digit_stream_close(stream_);
}

std::int64_t digit_run::read(char* digits, std::int64_t capacity) {
    if (taken_ >= nb_digits_) {
        return 0;
    }
    const std::int64_t wanted = nb_digits_ - taken_ < capacity ? nb_digits_ - taken_ : capacity;
    const std::int64_t got = digit_stream_read(stream_, digits, wanted);
    if (got == digit_stream_read_failed) {
        return read_failed;
    }
    taken_ += got;
    return got;
}

}  // namespace rovurer
