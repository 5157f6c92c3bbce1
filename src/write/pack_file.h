// A text packed into a new digit file: the work of --pack and of the
// library's pack calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rovurer/pack.h"
#include "write/text_source.h"

namespace rovurer {

struct pack_request {
    int base = 10;
    bool replace = false;
    int threads = 1;                           // 1 or more
    std::function<bool()> stopped;             // asked between pieces; may be empty
    std::function<void(std::int64_t)> packed;  // called with the bytes of text packed so far; may be empty
};

// Text bytes taken at a time, for each thread.
inline constexpr std::size_t pack_piece_bytes = std::size_t{8} << 20;

// Packs the text `source` gives into a digit file at `target`, written
// whole or not at all (digit_file_writer). With `first`, a source of the
// same text read once before to count its words, the words go straight to
// their places in the file; without, they are written in the text's order
// and the file reversed at the end. The errors of rovurer::pack, and
// errc::read_failed (with its errno) when a read of the text fails or the
// text changed between the two reads.
result<packed> pack_to_file(text_source& source, const std::string& target, const pack_request& request,
                            text_source* first = nullptr);

}  // namespace rovurer
