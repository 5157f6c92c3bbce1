#include "library/messages.h"

#include <cerrno>
#include <cstring>

#include "kernels/registry.h"
#include "reader/digit_stream.h"
#include "scan/header_digits.h"

namespace rovurer {

std::string file_problem_text(const digit_file::verdict& verdict) {
    switch (verdict.check) {
        case digit_file::check::ok:
            return {};
        case digit_file::check::cannot_open:
            if (verdict.open_error == ESPIPE) {
                return "cannot be read at a position: rovurer reads a digit file from its end, so it needs a "
                       "regular file or a device, not a pipe or FIFO";
            }
            return std::string("cannot open: ") + std::strerror(verdict.open_error);
        case digit_file::check::too_short:
            return "not a digit file: shorter than the 56-byte header";
        case digit_file::check::unreadable:
            return std::string("cannot read its header") +
                   (verdict.read_error != 0 ? std::string(": ") + std::strerror(verdict.read_error) : "");
        case digit_file::check::wrong_magic:
            return "not a digit file: wrong magic";
        case digit_file::check::wrong_kind:
            return "not a digit file: the kind is " + std::to_string(verdict.header.kind) + ", not 2";
        case digit_file::check::negative_lead_words:
            return "not a digit file: lead_words is negative (" + std::to_string(verdict.header.lead_words) + ")";
    }
    return {};
}

bool is_digit_string(std::string_view digits, int base) {
    if (digits.empty() || !digit_base_supported(base)) {
        return false;
    }
    constexpr std::string_view characters = "0123456789ABCDEF";
    const std::string_view allowed = characters.substr(0, static_cast<std::size_t>(base));
    for (const char c : digits) {
        const char upper = c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
        if (allowed.find(base == 16 ? upper : c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool base_supported(int base) {
    return digit_base_supported(base);
}

std::string base_refusal(std::int32_t base) {
    return "base " + std::to_string(base) + " is not 2, 10 or 16";
}

std::string position_refusal(std::int64_t pos) {
    return "positions start at 1, not " + std::to_string(pos);
}

std::string past_end_text(std::int64_t pos, std::int32_t base, const digit_file::header& declared) {
    return "position " + std::to_string(pos) + " is past the end of the data (" +
           digits_from_position_one(declared, base) + " base-" + std::to_string(base) + " digits)";
}

std::string number_refusal(std::string_view what, std::string_view text, bool out_of_range) {
    std::string refusal = out_of_range ? "" : "invalid ";
    refusal += what;
    refusal += " '";
    refusal += text;
    refusal += "'";
    refusal += out_of_range ? " is out of range" : "";
    return refusal;
}

std::string digits_refusal(std::string_view digits, std::int32_t base) {
    std::string refusal = "'";
    refusal += digits;
    refusal += "' is not a string of base-";
    refusal += std::to_string(base);
    refusal += " digits";
    return refusal;
}

std::string kernel_set_refusal(std::string_view name) {
    if (kernels::find_supported(name) != nullptr) {
        return {};
    }
    std::string known;
    bool exists = false;
    for (const kernels::kernel_set* entry : kernels::all_sets()) {
        known += known.empty() ? "" : ", ";
        known += entry->name;
        exists = exists || name == entry->name;
    }
    std::string refusal = "kernel set '";
    refusal += name;
    refusal += exists ? "' is not supported by this CPU" : "' is unknown (known: " + known + ")";
    return refusal;
}

}  // namespace rovurer
