#include "frontend/search.h"

#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/registry.h"

namespace rovurer {

namespace {

constexpr std::string_view digit_characters = "0123456789ABCDEF";

char upper(char c) {
    return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::uint64_t load_bytes(const char* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace

bool is_digit_string(std::string_view digits, std::int32_t base) {
    if (digits.empty() || !digit_base_supported(base)) {
        return false;
    }
    const std::string_view allowed = digit_characters.substr(0, static_cast<std::size_t>(base));
    for (const char c : digits) {
        if (allowed.find(base == 16 ? upper(c) : c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

namespace {

// The run is read in chunks; each chunk goes after the last len - 1 digits of
// the one before, so that a match across chunks (and so across words and
// blocks) is seen whole. Candidates are the places where the first and the
// last digit match, 64 at a time; only they are compared. Stops after `most`
// matches, counted in `matches`.
command_result find_matches(output_buffer& out, digit_run& run, std::string_view digits, std::uint64_t most,
                            std::int64_t starting_within, std::uint64_t& matches) {
    std::string pattern(digits);
    for (char& c : pattern) {
        c = upper(c);
    }
    const std::size_t length = pattern.size();
    const std::size_t kept = length - 1;
    const std::size_t chunk = static_cast<std::size_t>(digit_run::chunk_digits);
    // Candidate windows read up to match_window - 1 bytes past the text.
    std::vector<char> text(kept + chunk + kernels::match_window);
    std::vector<std::uint64_t> masks(chunk / kernels::match_window + 2);
    const kernels::match_candidates_function candidates = kernels::active().match_candidates;
    // The first (up to) eight digits of a candidate are compared as one
    // word; the window's slack keeps the load inside the buffer.
    const std::size_t head_bytes = length < 8 ? length : 8;
    std::array<char, 8> head_text{};
    std::memcpy(head_text.data(), pattern.data(), head_bytes);
    const std::uint64_t head = load_bytes(head_text.data());
    std::array<char, 8> mask_text{};
    std::memset(mask_text.data(), 0xFF, head_bytes);
    const std::uint64_t head_mask = load_bytes(mask_text.data());
    std::size_t carried = 0;
    for (;;) {
        const std::int64_t got = run.read(text.data() + carried, digit_run::chunk_digits);
        if (got == digit_run::read_failed) {
            return command_result::read_failed;
        }
        if (got == 0) {
            break;
        }
        const std::size_t filled = carried + static_cast<std::size_t>(got);
        const std::int64_t first_index = run.taken() - static_cast<std::int64_t>(filled);
        const std::uint64_t first_position = run.position_of(first_index);
        std::size_t starts = filled >= length ? filled - length + 1 : 0;
        if (starting_within - first_index < static_cast<std::int64_t>(starts)) {
            starts = starting_within > first_index ? static_cast<std::size_t>(starting_within - first_index) : 0;
        }
        const std::size_t windows = (starts + kernels::match_window - 1) / kernels::match_window;
        candidates(text.data(), windows, pattern.front(), pattern.back(), kept, masks.data());
        for (std::size_t window = 0; window < windows; ++window) {
            std::uint64_t hits = masks[window];
            const std::size_t at = kernels::match_window * window;
            if (starts - at < kernels::match_window) {
                hits &= (std::uint64_t{1} << (starts - at)) - 1;
            }
            for (; hits != 0; hits &= hits - 1) {
                const auto start = at + static_cast<std::size_t>(std::countr_zero(hits));
                if (((load_bytes(text.data() + start) ^ head) & head_mask) == 0 &&
                    (length <= head_bytes || std::memcmp(text.data() + start + head_bytes, pattern.data() + head_bytes,
                                                         length - head_bytes) == 0)) {
                    append_number_line(out, first_position + start);
                    if (++matches == most) {
                        return out.failed() ? command_result::write_failed : command_result::shown;
                    }
                }
            }
        }
        carried = filled < kept ? filled : kept;
        std::memmove(text.data(), text.data() + filled - carried, carried);
        if (out.failed()) {
            return command_result::write_failed;
        }
    }
    return command_result::shown;
}

}  // namespace

command_result find_digits(output_buffer& out, digit_run& run, std::string_view digits, std::int64_t max_count,
                           std::uint64_t* found, std::int64_t starting_within) {
    std::uint64_t matches = 0;
    // Stopping after max_count: none asked for means none is read.
    const std::uint64_t most = max_count < 0 ? UINT64_MAX : static_cast<std::uint64_t>(max_count);
    const command_result result =
        most == 0 ? command_result::shown : find_matches(out, run, digits, most, starting_within, matches);
    if (found != nullptr) {
        *found = matches;
    }
    return result;
}

command_result tally_digits(digit_run& run, std::int32_t base, digit_counts& counts) {
    const auto values = static_cast<std::size_t>(base);
    digit_counts tallied{};
    std::vector<char> text(static_cast<std::size_t>(digit_run::chunk_digits));
    const kernels::tally_bytes_function tally = kernels::active().tally;
    for (;;) {
        const std::int64_t got = run.read(text.data(), digit_run::chunk_digits);
        if (got == digit_run::read_failed) {
            return command_result::read_failed;
        }
        if (got == 0) {
            break;
        }
        // The last digit's count is what the others leave.
        tally(text.data(), static_cast<std::size_t>(got), digit_characters.data(), values - 1, tallied.data());
    }
    std::uint64_t others = 0;
    for (std::size_t j = 0; j + 1 < values; ++j) {
        others += tallied[j];
        counts[j] += tallied[j];
    }
    counts[values - 1] += static_cast<std::uint64_t>(run.taken()) - others;
    return command_result::shown;
}

void append_counts(output_buffer& out, std::int32_t base, const digit_counts& counts) {
    for (std::size_t j = 0; j < static_cast<std::size_t>(base); ++j) {
        out.put(digit_characters[j]);
        out.put(' ');
        append_number_line(out, counts[j]);
    }
}

command_result count_digits(output_buffer& out, digit_run& run, std::int32_t base) {
    digit_counts counts{};
    const command_result result = tally_digits(run, base, counts);
    if (result != command_result::shown) {
        return result;
    }
    append_counts(out, base, counts);
    return out.failed() ? command_result::write_failed : command_result::shown;
}

}  // namespace rovurer
