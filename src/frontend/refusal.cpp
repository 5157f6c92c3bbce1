#include "frontend/refusal.h"

#include <cerrno>
#include <cstring>

#include "frontend/info.h"

namespace rovurer {

std::string file_problem(const char* filename, const digit_file::verdict& verdict) {
    const std::string name = std::string(filename) + ": ";
    switch (verdict.check) {
        case digit_file::check::ok:
            return {};
        case digit_file::check::cannot_open:
            if (verdict.open_error == ESPIPE) {
                return name +
                       "cannot be read at a position: rovurer reads a digit file from its end, so it needs a "
                       "regular file or a device, not a pipe or FIFO";
            }
            return name + "cannot open: " + std::strerror(verdict.open_error);
        case digit_file::check::too_short:
            return name + "not a digit file: shorter than the 56-byte header";
        case digit_file::check::unreadable:
            return name + "cannot read its header";
        case digit_file::check::wrong_magic:
            return name + "not a digit file: wrong magic";
        case digit_file::check::wrong_kind:
            return name + "not a digit file: the kind is " + std::to_string(verdict.header.kind) + ", not 2";
        case digit_file::check::negative_lead_words:
            return name + "not a digit file: lead_words is negative (" + std::to_string(verdict.header.lead_words) +
                   ")";
    }
    return {};
}

std::string base_refusal(std::int32_t base) {
    return "base " + std::to_string(base) + " is not 2, 10 or 16";
}

std::string refusal_reason(const char* filename, std::int32_t base, std::int64_t pos,
                           const digit_stream_refusal& refusal) {
    using reason = digit_stream_refusal::reason;
    switch (refusal.why) {
        case reason::unsupported_base:
            return base_refusal(base);
        case reason::negative_offset:
            return "positions start at 1, not " + std::to_string(pos);
        case reason::not_a_digit_file:
            return file_problem(filename, refusal.file);
        case reason::past_end:
            return std::string(filename) + ": position " + std::to_string(pos) + " is past the end of the data (" +
                   digits_from_position_one(refusal.file.header, base) + " base-" + std::to_string(base) + " digits)";
        case reason::none:
        case reason::out_of_memory:
            break;
    }
    return "out of memory";
}

}  // namespace rovurer
