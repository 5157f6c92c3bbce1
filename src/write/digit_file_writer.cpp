#include "write/digit_file_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace rovurer {

namespace {

std::uint64_t little_endian(std::uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) {
        return __builtin_bswap64(word);
    }
    return word;
}

constexpr std::int64_t header_bytes = 4096;

std::int64_t offset_of_word(std::int64_t word) {
    return header_bytes + word * 8;
}

std::string system_text(int error) {
    return std::strerror(error);
}

}  // namespace

digit_file_writer::digit_file_writer(std::string target, bool replace) : target_(std::move(target)), replace_(replace) {
    if (!replace_ && platform::path_exists(target_.c_str())) {
        fail(errc::target_exists, EEXIST, "exists (--force replaces it)");
        return;
    }
    // A name beside the target, so that the rename stays on its file system.
    int error = 0;
    for (int attempt = 0; attempt < 100 && !file_.is_open(); ++attempt) {
        temporary_ = target_ + ".rovurer-" + std::to_string(platform::process_number()) + "-" + std::to_string(attempt);
        file_ = platform::create_new(temporary_.c_str(), &error);
        if (!file_.is_open() && error != EEXIST) {
            break;
        }
    }
    if (!file_.is_open()) {
        temporary_.clear();
        fail(errc::cannot_create, error, "cannot create: " + system_text(error));
        return;
    }
    buffer_.reserve(block_words);
#ifndef ROVURER_NO_THREADS
    try {
        writer_ = std::thread([this] { write_loop(); });
    } catch (const std::system_error&) {
        // No thread to spare: blocks are written as they fill.
    }
#endif
}

digit_file_writer::~digit_file_writer() {
    stop_writing();
    file_ = platform::file();
    if (!temporary_.empty() && !named_) {
        (void)platform::remove_file(temporary_.c_str());
    }
}

bool digit_file_writer::fail(errc code, int system_error, std::string message) {
    if (ok()) {
        failure_.code = code;
        failure_.system_error = system_error;
        failure_.message = std::move(message);
        failure_.file = 2;
    }
    return false;
}

bool digit_file_writer::text_changed() {
    fail(errc::read_failed, 0, "changed while it was packed");
    failure_.file = 1;  // the text's fault, not the target's
    return false;
}

void digit_file_writer::write_loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !in_flight_.empty() || closing_; });
        if (in_flight_.empty()) {
            return;
        }
        lock.unlock();
        const int error = write_error_ != 0 ? 0
                                            : platform::write_at(file_, in_flight_.data(), in_flight_.size() * 8,
                                                                 offset_of_word(in_flight_at_));
        lock.lock();
        write_error_ = write_error_ != 0 ? write_error_ : error;
        in_flight_.clear();
        changed_.notify_all();
    }
}

// Waits until the block in flight is written; false when a write failed.
bool digit_file_writer::wait_for_writes() {
    int error = 0;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return in_flight_.empty(); });
        error = write_error_;
    }
    return error == 0 || fail(errc::write_failed, error, "write error: " + system_text(error));
}

void digit_file_writer::stop_writing() {
    if (writer_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        writer_.join();
    }
}

bool digit_file_writer::write_buffered() {
    if (buffer_.empty()) {
        return true;
    }
    for (std::uint64_t& word : buffer_) {
        word = little_endian(word);
    }
    // With the words known, the block goes reversed to its place: the
    // file's word 0 is the last word appended.
    std::int64_t at = words_;
    if (expected_ >= 0) {
        const auto count = static_cast<std::int64_t>(buffer_.size());
        if (words_ + count > expected_) {
            return text_changed();
        }
        std::reverse(buffer_.begin(), buffer_.end());
        at = expected_ - words_ - count;
    }
    if (!writer_.joinable()) {
        const int error = platform::write_at(file_, buffer_.data(), buffer_.size() * 8, offset_of_word(at));
        if (error != 0) {
            return fail(errc::write_failed, error, "write error: " + system_text(error));
        }
        words_ += static_cast<std::int64_t>(buffer_.size());
        buffer_.clear();
        return true;
    }
    if (!wait_for_writes()) {
        return false;
    }
    const auto handed = static_cast<std::int64_t>(buffer_.size());
    {
        const std::lock_guard lock(mutex_);
        in_flight_.swap(buffer_);
        in_flight_at_ = at;
    }
    changed_.notify_all();
    words_ += handed;
    return true;
}

bool digit_file_writer::append(std::span<const std::uint64_t> words) {
    while (ok() && !words.empty()) {
        const std::size_t room = block_words - buffer_.size();
        const std::size_t taken = std::min(room, words.size());
        buffer_.insert(buffer_.end(), words.begin(), words.begin() + static_cast<std::ptrdiff_t>(taken));
        words = words.subspan(taken);
        if (buffer_.size() == block_words && !write_buffered()) {
            return false;
        }
    }
    return ok();
}

// Swaps blocks from both ends, each reversed, until they meet: every word
// is read and written once more, a block of each end in memory at a time.
bool digit_file_writer::reverse_words() {
    std::vector<std::uint64_t> low(block_words);
    std::vector<std::uint64_t> high(block_words);
    std::int64_t begin = 0;
    std::int64_t end = words_;
    while (end - begin >= 2) {
        const std::int64_t count = std::min<std::int64_t>(static_cast<std::int64_t>(block_words), (end - begin) / 2);
        const auto bytes = static_cast<std::size_t>(count) * 8;
        int error = 0;
        if (platform::read_at(file_, low.data(), bytes, offset_of_word(begin), &error) != bytes ||
            platform::read_at(file_, high.data(), bytes, offset_of_word(end - count), &error) != bytes) {
            return fail(errc::write_failed, error != 0 ? error : EIO,
                        "cannot read back what was written: " + system_text(error != 0 ? error : EIO));
        }
        std::reverse(low.begin(), low.begin() + static_cast<std::ptrdiff_t>(count));
        std::reverse(high.begin(), high.begin() + static_cast<std::ptrdiff_t>(count));
        error = platform::write_at(file_, high.data(), bytes, offset_of_word(begin));
        if (error == 0) {
            error = platform::write_at(file_, low.data(), bytes, offset_of_word(end - count));
        }
        if (error != 0) {
            return fail(errc::write_failed, error, "write error: " + system_text(error));
        }
        begin += count;
        end -= count;
    }
    return true;
}

bool digit_file_writer::finish(std::int64_t lead_words) {
    if (!ok() || !write_buffered() || !wait_for_writes()) {
        return false;
    }
    stop_writing();
    if (expected_ >= 0 && words_ != expected_) {
        return text_changed();
    }
    if (expected_ < 0 && !reverse_words()) {
        return false;
    }
    unsigned char header[header_bytes] = {};
    const unsigned char magic[8] = {'M', 'P', 'T', 1, 'F', 'I', 'L', 'E'};
    std::memcpy(header, magic, 8);
    const auto put = [&header](std::size_t at, std::uint64_t value) {
        for (std::size_t b = 0; b < 8; ++b) {
            header[at + b] = static_cast<unsigned char>(value >> (8 * b));
        }
    };
    put(8, static_cast<std::uint64_t>(words_));
    put(24, 2);
    put(48, static_cast<std::uint64_t>(lead_words));
    int error = platform::write_at(file_, header, sizeof header, 0);
    if (error == 0) {
        error = platform::sync(file_);
    }
    if (error != 0) {
        return fail(errc::write_failed, error, "write error: " + system_text(error));
    }
    file_ = platform::file();
    error = platform::rename_file(temporary_.c_str(), target_.c_str(), replace_);
    if (error == EEXIST) {
        return fail(errc::target_exists, error, "exists (--force replaces it)");
    }
    if (error != 0) {
        return fail(errc::write_failed, error, "cannot take its name: " + system_text(error));
    }
    named_ = true;
    return true;
}

}  // namespace rovurer
