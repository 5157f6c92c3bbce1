// Where the text that --pack packs comes from, a piece at a time: a file
// mapped in views or read, standard input or a pipe read, or memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace rovurer {

class text_source {
public:
    virtual ~text_source() = default;

    // The next piece of the text, at most `most` bytes and as many as the
    // text still holds up to that; empty at its end. Valid until the next
    // call. False when a read failed, with *error its errno value.
    virtual bool next(std::size_t most, std::string_view* piece, int* error) = 0;

    // Whether the last piece holds what the file held: a mapped page that
    // could not be read (the file cut, a failed device) reads as zeros.
    // Asked before the piece is trusted; false with *error set.
    virtual bool last_whole(int* /*error*/) const { return true; }
};

// An open file's text: mapped in views when it is a regular file that the
// system maps, read otherwise. `opened` outlives the source.
std::unique_ptr<text_source> text_of_file(const platform::file& opened);

// Text read from a handle (standard input, a pipe), each piece filled
// unless the text ends.
std::unique_ptr<text_source> text_of_handle(platform::native_file handle);

// Text in memory, which outlives the source.
std::unique_ptr<text_source> text_in_memory(std::string_view text);

}  // namespace rovurer
