#include "cli/names.h"

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

}  // namespace rovurer
