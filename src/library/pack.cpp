// rovurer::pack and its kin: a text, its pieces checked and packed into
// words on the request's threads, and a writer that names the file only
// once it is whole.
#include <cstring>
#include <new>
#include <optional>

#include "library/messages.h"
#include "platform/platform.h"
#include "reader/digit_stream.h"
#include "write/pack_file.h"

namespace rovurer {

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
