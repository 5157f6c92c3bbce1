// rovurer::pack and its kin: a text, its pieces checked and packed into
// words on the request's threads, and a writer that names the file only
// once it is whole.
#include <cstring>
#include <new>
#include <optional>

#include "engine/digit_file_writer.h"
#include "engine/messages.h"
#include "engine/pack.h"
#include "engine/pack_file.h"
#include "platform/platform.h"
#include "reader/digit_stream.h"

namespace rovurer {

namespace {

error text_read_failed(int read_error) {
    return error{errc::read_failed, std::string("a read of the text failed: ") + std::strerror(read_error), read_error,
                 1};
}

}  // namespace

result<packed> pack_to_file(text_source& source, const std::string& target, const pack_request& request) {
    digit_text_reader reader(request.base);
    digit_file_writer writer(target, request.replace);
    if (!writer.ok()) {
        return writer.failure();
    }
    std::vector<std::uint64_t> words;
    for (;;) {
        if (request.stopped && request.stopped()) {
            return error{errc::stopped, "stopped", 0, 2};
        }
        int read_error = 0;
        std::string_view piece;
        if (!source.next(pack_piece_bytes * static_cast<std::size_t>(request.threads), &piece, &read_error)) {
            return text_read_failed(read_error);
        }
        if (piece.empty()) {
            break;
        }
        words.clear();
        const bool read = reader.read(piece, words, request.threads);
        if (!source.last_whole(&read_error)) {
            return text_read_failed(read_error);
        }
        if (!read) {
            return error{errc::bad_text, reader.problem(), 0, 1};
        }
        if (!writer.append(words)) {
            return writer.failure();
        }
        if (request.done != nullptr) {
            request.done->fetch_add(static_cast<std::int64_t>(piece.size()), std::memory_order_relaxed);
        }
    }
    words.clear();
    reader.end(words);
    // A file needs a digit at position 1: an integer part alone ("3.")
    // would make one that holds none.
    if (reader.fraction_digits() == 0) {
        return error{errc::no_digits,
                     "holds no base-" + std::to_string(request.base) + " digits" +
                         (reader.lead_words() > 0 ? " after its point" : ""),
                     0, 1};
    }
    if (!writer.append(words) || !writer.finish(reader.lead_words())) {
        return writer.failure();
    }
    return packed{writer.words_written(), reader.lead_words(), reader.fraction_digits(), reader.padding()};
}

namespace {

// Why the library's calls refuse their options; empty when they do not.
std::optional<error> refusal_of(int base, const pack_options& options) {
    if (!digit_base_supported(base)) {
        return error{errc::unsupported_base, base_refusal(base)};
    }
    if (options.threads < 0) {
        return error{errc::bad_option, "threads below 0 (" + std::to_string(options.threads) + ")"};
    }
    return std::nullopt;
}

// The library's calls: the stop token asked between pieces, and no
// exception let out.
result<packed> pack_with(text_source& source, const std::string& target, int base, const pack_options& options) {
    pack_request request;
    request.base = base;
    request.replace = options.replace;
    const int usable = platform::usable_processors();
    request.threads = options.threads == 0 || options.threads > usable ? usable : options.threads;
    const std::stop_token stop = options.stop;
    request.stopped = [stop] { return stop.stop_requested(); };
    try {
        return pack_to_file(source, target, request);
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace

result<packed> pack(const std::string& text, const std::string& target, int base, const pack_options& options) {
    if (const std::optional<error> refused = refusal_of(base, options)) {
        return *refused;
    }
    int open_error = 0;
    const platform::file opened = platform::open_sequential(text.c_str(), &open_error);
    if (!opened.is_open()) {
        return error{errc::cannot_open, std::string("cannot open: ") + std::strerror(open_error), open_error, 1};
    }
    try {
        return pack_with(*text_of_file(opened), target, base, options);
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

result<packed> pack_standard_input(const std::string& target, int base, const pack_options& options) {
    if (const std::optional<error> refused = refusal_of(base, options)) {
        return *refused;
    }
    try {
        return pack_with(*text_of_handle(platform::standard_input()), target, base, options);
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

result<packed> pack_text(std::string_view text, const std::string& target, int base, const pack_options& options) {
    if (const std::optional<error> refused = refusal_of(base, options)) {
        return *refused;
    }
    try {
        return pack_with(*text_in_memory(text), target, base, options);
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace rovurer
