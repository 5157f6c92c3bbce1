#include "scan/search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/digit_format.h"
#include "kernels/registry.h"

namespace rovurer {

namespace {

constexpr std::string_view digit_characters = kernels::digit_characters;

char upper(char c) {
    return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::uint64_t load_bytes(const char* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace

namespace {

// The run is read in chunks; each chunk goes after the last len - 1 digits of
// the one before, so that a match across chunks (and so across words and
// blocks) is seen whole. Candidates are the places where the first and the
// last digit match, 64 at a time; only they are compared. Each match's
// position goes to sink.take, which returns false for no more; sink.failed()
// ends the search after a chunk.
template <typename Sink>
command_result find_matches(Sink& sink, digit_run& run, std::string_view digits) {
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
    const kernels::match_candidates_function candidates = run.kernels().match_candidates;
    // The first (up to) eight digits of a candidate are compared as one
    // word; the window's slack keeps the load inside the buffer.
    const std::size_t head_bytes = length < 8 ? length : 8;
    std::array<char, 8> head_text{};
    std::memcpy(head_text.data(), pattern.data(), head_bytes);
    const std::uint64_t head = load_bytes(head_text.data());
    std::array<char, 8> mask_text{};
    std::memset(mask_text.data(), 0xFF, head_bytes);
    const std::uint64_t head_mask = load_bytes(mask_text.data());
    // First, middle and last characters filter the candidates.
    const kernels::match_probe probe{pattern.front(), pattern[kept / 2], pattern.back(), kept / 2, kept};
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
        const std::uint64_t first_position = run.position_of(run.taken() - static_cast<std::int64_t>(filled));
        const std::size_t starts = filled >= length ? filled - length + 1 : 0;
        const std::size_t windows = (starts + kernels::match_window - 1) / kernels::match_window;
        candidates(text.data(), windows, probe, masks.data());
        // Positions of the last window past the last start are no candidates.
        const std::size_t last_window_starts = starts - kernels::match_window * (windows > 0 ? windows - 1 : 0);
        if (windows > 0 && last_window_starts < kernels::match_window) {
            masks[windows - 1] &= (std::uint64_t{1} << last_window_starts) - 1;
        }
        for (std::size_t window = 0; window < windows; ++window) {
            // Most windows hold no candidate: this loop stays tight.
            if (masks[window] == 0) {
                continue;
            }
            std::uint64_t hits = masks[window];
            const std::size_t at = kernels::match_window * window;
            for (; hits != 0; hits &= hits - 1) {
                const auto start = at + static_cast<std::size_t>(std::countr_zero(hits));
                if (((load_bytes(text.data() + start) ^ head) & head_mask) == 0 &&
                    (length <= head_bytes || std::memcmp(text.data() + start + head_bytes, pattern.data() + head_bytes,
                                                         length - head_bytes) == 0)) {
                    if (!sink.take(first_position + start)) {
                        return sink.failed() ? command_result::write_failed : command_result::shown;
                    }
                }
            }
        }
        carried = filled < kept ? filled : kept;
        std::memmove(text.data(), text.data() + filled - carried, carried);
        if (sink.failed()) {
            return command_result::write_failed;
        }
    }
    return command_result::shown;
}

// Positions as lines of text.
struct line_sink {
    output_buffer& out;
    std::uint64_t most;
    std::uint64_t matches = 0;
    bool take(std::uint64_t position) {
        append_number_line(out, position);
        return ++matches != most;
    }
    bool failed() const { return out.failed(); }
};

// Positions kept in a vector.
struct vector_sink {
    std::vector<std::uint64_t>& positions;
    std::size_t most;
    bool take(std::uint64_t position) {
        positions.push_back(position);
        return positions.size() != most;
    }
    static bool failed() { return false; }
};

}  // namespace

command_result find_digits(output_buffer& out, digit_run& run, std::string_view digits, std::int64_t max_count,
                           std::uint64_t* found) {
    // Stopping after max_count: none asked for means none is read.
    line_sink sink{out, max_count < 0 ? UINT64_MAX : static_cast<std::uint64_t>(max_count)};
    const command_result result = sink.most == 0 ? command_result::shown : find_matches(sink, run, digits);
    if (found != nullptr) {
        *found = sink.matches;
    }
    return result;
}

command_result find_positions(std::vector<std::uint64_t>& positions, digit_run& run, std::string_view digits,
                              std::size_t most) {
    vector_sink sink{positions, positions.size() + most};
    return most == 0 ? command_result::shown : find_matches(sink, run, digits);
}

namespace {

// Counts the next `limit` digits of the run (fewer at the end of the data),
// at most a word's, through their text, for each digit value but the last
// (the kernels take at most 15); adds to *digits how many there were.
command_result tally_text(digit_run& run, std::size_t values, std::int64_t limit, digit_counts& tallied,
                          std::int64_t* digits) {
    std::array<char, 64> text{};
    const std::int64_t got = limit > 0 ? run.read(text.data(), limit) : 0;
    if (got == digit_run::read_failed) {
        return command_result::read_failed;
    }
    run.kernels().tally(text.data(), static_cast<std::size_t>(got), digit_characters.data(), values - 1,
                        tallied.data());
    *digits += got;
    return command_result::shown;
}

// Counts `words` whole words from the words themselves, not their text: in
// base 2 by their one bits (and the zeros the rest), in the other bases by
// their digits' values.
command_result tally_words(digit_run& run, std::int64_t words, digit_counts& counts) {
    const kernels::digit_kernels& set = run.kernels();
    while (words > 0) {
        const std::int64_t ready = run.words_ready();
        if (ready <= 0) {
            return command_result::read_failed;  // 0 only past the data, which holds these words
        }
        const std::int64_t taking = std::min({ready, words, digit_run::chunk_words});
        const std::uint64_t* const taken = run.take_words(taking);
        if (taken == nullptr) {
            return command_result::read_failed;
        }
        const auto count = static_cast<std::size_t>(taking);
        if (run.base() == 2) {
            const std::uint64_t ones = set.count_ones(taken, count);
            counts[1] += ones;
            counts[0] += 64 * static_cast<std::uint64_t>(count) - ones;
        } else {
            (run.base() == 16 ? set.count_hex : set.count_decimal)(taken, count, counts.data());
        }
        words -= taking;
    }
    return command_result::shown;
}

}  // namespace

// Whole words are counted from the words; the partial words at either end
// (fewer digits than a word each) go through the text.
command_result tally_next(digit_run& run, std::int64_t count, digit_counts& counts) {
    const std::int32_t base = run.base();
    const auto values = static_cast<std::size_t>(base);
    const std::int64_t per_word = digits_per_word(base);
    const auto into_word =
        static_cast<std::int64_t>((run.position_of(run.taken()) - 1) % static_cast<std::uint64_t>(per_word));
    const std::int64_t length = std::min(count, run.length() - run.taken());
    const std::int64_t head = std::min(into_word == 0 ? 0 : per_word - into_word, length);
    const std::int64_t words = (length - head) / per_word;
    const std::int64_t tail = length - head - words * per_word;
    digit_counts text_tallied{};
    digit_counts word_tallied{};
    std::int64_t text_digits = 0;
    command_result result = tally_text(run, values, head, text_tallied, &text_digits);
    if (result == command_result::shown) {
        result = tally_words(run, words, word_tallied);
    }
    if (result == command_result::shown) {
        result = tally_text(run, values, tail, text_tallied, &text_digits);
    }
    if (result == command_result::shown && run.failed()) {
        result = command_result::read_failed;  // words counted from a page that was lost
    }
    if (result != command_result::shown) {
        return result;
    }
    // The last digit's text count is what the others leave.
    std::uint64_t others = 0;
    for (std::size_t j = 0; j + 1 < values; ++j) {
        others += text_tallied[j];
    }
    text_tallied[values - 1] = static_cast<std::uint64_t>(text_digits) - others;
    for (std::size_t j = 0; j < values; ++j) {
        counts[j] += text_tallied[j] + word_tallied[j];
    }
    return command_result::shown;
}

command_result tally_digits(digit_run& run, std::int32_t /*base*/, digit_counts& counts) {
    return tally_next(run, run.length(), counts);
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
