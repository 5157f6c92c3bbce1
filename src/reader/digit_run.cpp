#include "reader/digit_run.h"

#include "platform/platform.h"

namespace rovurer {

digit_run::digit_run(const char* filename, std::int32_t base, std::int64_t pos, std::int64_t nb_digits)
    : base_(base), pos_(pos), nb_digits_(nb_digits) {
    // Any offset below 0 is refused, after the base; pos - 1 could overflow.
    stream_ = digit_stream_open(filename, base, pos >= 1 ? pos - 1 : -1, &refusal_);
    if (stream_ != nullptr) {
        digit_stream_limit(stream_, nb_digits);
    }
}

digit_run::digit_run(const digit_run& whole, std::int64_t pos, std::int64_t nb_digits)
    : base_(whole.base_), pos_(pos), nb_digits_(nb_digits) {
    stream_ = digit_stream_open_same(whole.stream_, base_, pos >= 1 ? pos - 1 : -1, &refusal_);
    if (stream_ != nullptr) {
        digit_stream_limit(stream_, nb_digits);
    }
}

digit_run::digit_run(const platform::file& file, const digit_file::header& header, std::int32_t base, std::int64_t pos,
                     std::int64_t nb_digits)
    : base_(base), pos_(pos), nb_digits_(nb_digits) {
    stream_ = digit_stream_open_on(file, header, base, pos >= 1 ? pos - 1 : -1, &refusal_);
    if (stream_ != nullptr) {
        digit_stream_limit(stream_, nb_digits);
    }
}

digit_run::~digit_run() {
    digit_stream_close(stream_);
}

bool digit_run::asked_to_stop() const {
    return platform::stop_signal() != 0 || (watch_ != nullptr && watch_->stop_requested());
}

void digit_run::hand_out(std::int64_t digits) {
    taken_ += digits;
    if (done_ != nullptr) {
        done_->fetch_add(digits, std::memory_order_relaxed);
    }
    if (watch_ != nullptr) {
        watch_->advanced(digits);
    }
}

const std::uint64_t* digit_run::take_words(std::int64_t count) {
    if (asked_to_stop()) {
        return nullptr;
    }
    const std::uint64_t* const words = digit_stream_take_words(stream_, count);
    if (words != nullptr) {
        hand_out(count * digits_per_word(base_));
    }
    return words;
}

std::int64_t digit_run::read(char* digits, std::int64_t capacity) {
    if (asked_to_stop()) {
        return read_failed;  // the job was asked to stop; the caller sees why
    }
    if (taken_ >= nb_digits_) {
        return failed() ? read_failed : 0;
    }
    const std::int64_t wanted = nb_digits_ - taken_ < capacity ? nb_digits_ - taken_ : capacity;
    const std::int64_t got = digit_stream_read(stream_, digits, wanted);
    if (got == digit_stream_read_failed || (got == 0 && failed())) {
        return read_failed;
    }
    hand_out(got);
    return got;
}

}  // namespace rovurer
