// rovurer::pack's work: a text, its pieces checked and packed into words
// on the request's threads, and a writer that names the file only once it
// is whole.
#include "write/pack_file.h"

#include <cstring>
#include <vector>

#include "write/digit_file_writer.h"
#include "write/pack.h"

namespace rovurer {

namespace {

error text_read_failed(int read_error) {
    return error{errc::read_failed, std::string("a read of the text failed: ") + std::strerror(read_error), read_error,
                 1};
}

}  // namespace

result<packed> pack_to_file(text_source& source, const std::string& target, const pack_request& request,
                            text_source* first) {
    digit_text_reader reader(request.base);
    digit_file_writer writer(target, request.replace);
    if (!writer.ok()) {
        return writer.failure();
    }
    if (first != nullptr) {
        digit_counter counter(request.base);
        for (;;) {
            if (request.stopped && request.stopped()) {
                return error{errc::stopped, "stopped", 0, 2};
            }
            int read_error = 0;
            std::string_view piece;
            if (!first->next(pack_piece_bytes * static_cast<std::size_t>(request.threads), &piece, &read_error)) {
                return text_read_failed(read_error);
            }
            if (piece.empty()) {
                break;
            }
            counter.count(piece);
            if (!first->last_whole(&read_error)) {
                return text_read_failed(read_error);
            }
        }
        writer.expect_words(counter.words());
    }
    std::vector<std::uint64_t> words;
    std::int64_t done = 0;
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
        done += static_cast<std::int64_t>(piece.size());
        if (request.packed) {
            request.packed(done);
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

}  // namespace rovurer
