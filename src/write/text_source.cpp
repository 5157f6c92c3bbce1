#include "write/text_source.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace rovurer {

namespace {

class handle_text final : public text_source {
public:
    explicit handle_text(platform::native_file handle) : handle_(handle) {}

    bool next(std::size_t most, std::string_view* piece, int* error) override {
        buffer_.resize(std::max(buffer_.size(), most));
        // Filled, so that threads get long slices of a pipe too.
        std::size_t filled = 0;
        while (filled < most) {
            const std::int64_t got = platform::read_next(handle_, buffer_.data() + filled, most - filled, error);
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                break;
            }
            filled += static_cast<std::size_t>(got);
        }
        *piece = std::string_view(buffer_.data(), filled);
        return true;
    }

private:
    platform::native_file handle_;
    std::vector<char> buffer_;
};

// A regular file in views of the pieces' size: no copy of the text. The
// size is the one at the start; a file cut since shows in its view.
class mapped_text final : public text_source {
public:
    mapped_text(const platform::file& opened, std::int64_t size) : opened_(opened), size_(size) {}
    ~mapped_text() override { platform::unmap_view(view_); }
    mapped_text(const mapped_text&) = delete;
    mapped_text& operator=(const mapped_text&) = delete;

    bool next(std::size_t most, std::string_view* piece, int* error) override {
        platform::unmap_view(view_);
        view_ = nullptr;
        const auto length =
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(most), size_ - at_));
        if (length == 0) {
            *piece = {};
            return true;
        }
        view_ = platform::map_view(opened_, at_, length);
        if (view_ == nullptr) {
            // Read the rest instead.
            int read_error = 0;
            buffer_.resize(length);
            const std::size_t got = platform::read_at(opened_, buffer_.data(), length, at_, &read_error);
            if (got != length) {
                *error = read_error != 0 ? read_error : EIO;  // cut since it was opened
                return false;
            }
            *piece = std::string_view(buffer_.data(), got);
            at_ += static_cast<std::int64_t>(got);
            return true;
        }
        *piece = std::string_view(reinterpret_cast<const char*>(platform::view_bytes(view_)), length);
        at_ += static_cast<std::int64_t>(length);
        return true;
    }

    bool last_whole(int* error) const override {
        if (view_ != nullptr && platform::view_failed(view_)) {
            *error = EIO;
            return false;
        }
        return true;
    }

private:
    const platform::file& opened_;
    std::int64_t size_;
    std::int64_t at_ = 0;
    platform::file_view* view_ = nullptr;
    std::vector<char> buffer_;
};

class memory_text final : public text_source {
public:
    explicit memory_text(std::string_view text) : text_(text) {}

    bool next(std::size_t most, std::string_view* piece, int* /*error*/) override {
        *piece = text_.substr(0, most);
        text_.remove_prefix(piece->size());
        return true;
    }

private:
    std::string_view text_;
};

}  // namespace

std::unique_ptr<text_source> text_of_file(const platform::file& opened) {
    const std::int64_t size = platform::file_size(opened);
    if (size < 0) {
        return text_of_handle(opened.native());
    }
    return std::make_unique<mapped_text>(opened, size);
}

std::unique_ptr<text_source> text_of_handle(platform::native_file handle) {
    return std::make_unique<handle_text>(handle);
}

std::unique_ptr<text_source> text_in_memory(std::string_view text) {
    return std::make_unique<memory_text>(text);
}

}  // namespace rovurer
