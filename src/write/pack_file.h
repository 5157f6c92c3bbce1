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
// whole or not at all (digit_file_writer). The errors of rovurer::pack,
// and errc::read_failed (with its errno) when a read of the text fails.
result<packed> pack_to_file(text_source& source, const std::string& target, const pack_request& request);

}  // namespace rovurer
