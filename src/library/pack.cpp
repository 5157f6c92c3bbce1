// rovurer::pack and its kin: a text source made, and its text packed into a
// digit file (write/pack_file.h) on the call's threads.
#include <cstring>
#include <functional>
#include <memory>
#include <new>

#include "library/calls.h"
#include "library/messages.h"
#include "platform/platform.h"
#include "write/pack_file.h"

namespace rovurer {

namespace {

// Packs the text of the source `make` makes, of `size` bytes (-1: unknown),
// after checking the options; no exception let out.
result<packed> pack_from(const std::function<std::unique_ptr<text_source>()>& make, std::int64_t size,
                         const std::string& target, int base, const pack_options& options) {
    if (!base_supported(base)) {
        return error{errc::unsupported_base, base_refusal(base)};
    }
    if (options.threads < 0) {
        return error{errc::bad_option, "threads below 0 (" + std::to_string(options.threads) + ")"};
    }
    try {
        pack_request request;
        request.base = base;
        request.replace = options.replace;
        request.threads = threads_for(options.threads);
        const std::stop_token stop = options.stop;
        request.stopped = [stop] { return stop.stop_requested() || platform::stop_signal() != 0; };
        if (options.progress && size >= 0) {
            options.progress(0, size);
            request.packed = [&options, size](std::int64_t done) { options.progress(done, size); };
        }
        const std::unique_ptr<text_source> source = make();
        // A text of known size is read twice: once to count its words, so
        // that each goes straight to its place in the file.
        if (size >= 0) {
            const std::unique_ptr<text_source> first = make();
            return pack_to_file(*source, target, request, first.get());
        }
        return pack_to_file(*source, target, request);
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

}  // namespace

result<packed> pack(const std::string& text, const std::string& target, int base, const pack_options& options) {
    if (!base_supported(base)) {
        return error{errc::unsupported_base, base_refusal(base)};
    }
    int open_error = 0;
    const platform::file opened = platform::open_sequential(text.c_str(), &open_error);
    if (!opened.is_open()) {
        return error{errc::cannot_open, std::string("cannot open: ") + std::strerror(open_error), open_error, 1};
    }
    return pack_from([&] { return text_of_file(opened); }, platform::file_size(opened), target, base, options);
}

result<packed> pack_standard_input(const std::string& target, int base, const pack_options& options) {
    return pack_from([] { return text_of_handle(platform::standard_input()); }, -1, target, base, options);
}

result<packed> pack_text(std::string_view text, const std::string& target, int base, const pack_options& options) {
    return pack_from([text] { return text_in_memory(text); }, static_cast<std::int64_t>(text.size()), target, base,
                     options);
}

}  // namespace rovurer
