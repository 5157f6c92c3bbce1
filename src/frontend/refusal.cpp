#include "frontend/refusal.h"

#include <cerrno>
#include <cstring>

#include "frontend/header_digits.h"

namespace rovurer {

namespace {

// The length of the valid UTF-8 sequence of a character other than a
// control character at the start of `text`, or 0.
std::size_t printable_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    // C1 controls, U+0080 to U+009F.
    return lead == 0xC2 && byte(1) < 0xA0 ? 0 : length;
}

std::string escaped_byte(unsigned char byte) {
    switch (byte) {
        case '\a':
            return "\\a";
        case '\b':
            return "\\b";
        case '\f':
            return "\\f";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        case '\v':
            return "\\v";
        default:
            break;
    }
    const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                          static_cast<char>('0' + (byte & 7)), '\0'};
    return octal;
}

}  // namespace

std::string shown_name(std::string_view name) {
    bool plain = true;
    for (std::size_t at = 0; at < name.size() && plain;) {
        const std::size_t length = printable_length(name.substr(at));
        plain = length > 0;
        at += length;
    }
    if (plain) {
        return std::string(name);
    }
    // Printable runs in single quotes, the other bytes in $'...'.
    enum class mode { none, quoted, escaped };
    mode in = mode::none;
    std::string shown;
    const auto enter = [&](mode wanted) {
        if (in != wanted) {
            shown += in == mode::none ? "" : "'";
            shown += wanted == mode::quoted ? "'" : "$'";
            in = wanted;
        }
    };
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = printable_length(name.substr(at));
        if (length == 0) {
            enter(mode::escaped);
            shown += escaped_byte(static_cast<unsigned char>(name[at]));
            ++at;
        } else if (name[at] == '\'') {
            enter(mode::escaped);
            shown += "\\'";
            ++at;
        } else {
            enter(mode::quoted);
            shown.append(name.substr(at, length));
            at += length;
        }
    }
    return shown + "'";
}

std::string file_problem(const char* filename, const digit_file::verdict& verdict) {
    const std::string name = shown_name(filename) + ": ";
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
            return name + "cannot read its header" +
                   (verdict.read_error != 0 ? std::string(": ") + std::strerror(verdict.read_error) : "");
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
            return shown_name(filename) + ": position " + std::to_string(pos) + " is past the end of the data (" +
                   digits_from_position_one(refusal.file.header, base) + " base-" + std::to_string(base) + " digits)";
        case reason::none:
        case reason::out_of_memory:
            break;
    }
    return "out of memory";
}

}  // namespace rovurer
