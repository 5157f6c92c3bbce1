// The loops that every kernel set shares, written once: stepping over words
// with the leftovers handed to the portable kernels, the search's window
// loop, and the byte-counter tally.
//
// A set includes this file inside its own unnamed namespace, after defining
// ROVURER_GENERIC_TARGET as its target attribute (or as nothing), so that
// these loops compile for the set's instruction set and inline its steps.
// The set includes <cstddef>, <cstdint> and kernels/digit_format.h first.
// No include guard: each set's translation unit includes it once.

#ifndef ROVURER_GENERIC_TARGET
#error "define ROVURER_GENERIC_TARGET before including kernels/generic/loops.h"
#endif

// Formats `count` words, most significant first, `step_words` at a time with
// `step(lowest_word_of_the_step, out)`, which writes step_words *
// digits_per_word characters; the words left over (fewer than a step) go to
// `leftover`.
template <std::size_t step_words, std::size_t digits_per_word, typename Step>
ROVURER_GENERIC_TARGET inline void format_in_steps(const std::uint64_t* words, std::size_t count, char* out, Step& step,
                                                   rovurer::kernels::format_words_function leftover) {
    std::size_t left = count;
    for (; left >= step_words; left -= step_words, out += step_words * digits_per_word) {
        step(words + left - step_words, out);
    }
    leftover(words, left, out);
}

// Match candidates, one window of rovurer::kernels::match_window positions at
// a time: `window(text, probe)` gives one window's mask.
template <typename Window>
ROVURER_GENERIC_TARGET inline void match_windows(const char* text, std::size_t windows,
                                                 const rovurer::kernels::match_probe& probe, std::uint64_t* masks,
                                                 Window window) {
    for (std::size_t at = 0; at < windows; ++at) {
        masks[at] = window(text + rovurer::kernels::match_window * at, probe);
    }
}

// The one bits of whole words: one popcount a word, with the set's
// instruction for it where its target has one.
ROVURER_GENERIC_TARGET inline std::uint64_t count_ones_in_words(const std::uint64_t* words, std::size_t count) {
    std::uint64_t ones = 0;
    for (std::size_t k = 0; k < count; ++k) {
        ones += static_cast<std::uint64_t>(__builtin_popcountll(words[k]));
    }
    return ones;
}

// The tally with byte counters, for `group` values in one pass over the
// text: each vector of Bytes::width bytes is loaded once, and
// Bytes::add_equal adds 1 to a byte counter of each value for each byte that
// equals it, for up to 255 vectors (a counter holds 255); then Bytes::sum
// adds the counters up. The bytes after the last whole vector are counted one
// by one.
template <typename Bytes, std::size_t group>
ROVURER_GENERIC_TARGET inline void tally_pass(const char* text, std::size_t length, const char* values,
                                              std::uint64_t* counts) {
    constexpr std::size_t width = Bytes::width;
    using vector = decltype(Bytes::zero());
    vector value[group];
    std::uint64_t count[group] = {};
#pragma GCC unroll 8
    for (std::size_t k = 0; k < group; ++k) {
        value[k] = Bytes::repeat(values[k]);
    }
    std::size_t done = 0;
    while (length - done >= width) {
        const std::size_t vectors = (length - done) / width < 255 ? (length - done) / width : 255;
        vector counters[group];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < group; ++k) {
            counters[k] = Bytes::zero();
        }
        for (const std::size_t end = done + width * vectors; done < end; done += width) {
            const vector bytes = Bytes::load(text + done);
#pragma GCC unroll 8
            for (std::size_t k = 0; k < group; ++k) {
                counters[k] = Bytes::add_equal(counters[k], bytes, value[k]);
            }
        }
#pragma GCC unroll 8
        for (std::size_t k = 0; k < group; ++k) {
            count[k] += Bytes::sum(counters[k]);
        }
    }
    for (; done < length; ++done) {
        for (std::size_t k = 0; k < group; ++k) {
            count[k] += text[done] == values[k] ? 1 : 0;
        }
    }
    for (std::size_t k = 0; k < group; ++k) {
        counts[k] += count[k];
    }
}

// All the values, five a pass: five counters and five values stay in
// registers with sixteen vector registers, and each pass loads the text once
// for five values rather than five times.
template <typename Bytes>
ROVURER_GENERIC_TARGET inline void tally_with_byte_counters(const char* text, std::size_t length, const char* values,
                                                            std::size_t value_count, std::uint64_t* counts) {
    using pass_function = void (*)(const char*, std::size_t, const char*, std::uint64_t*);
    // The pass for the values left over from the passes of five.
    constexpr pass_function last_pass[] = {nullptr, tally_pass<Bytes, 1>, tally_pass<Bytes, 2>, tally_pass<Bytes, 3>,
                                           tally_pass<Bytes, 4>};
    std::size_t first = 0;
    for (; value_count - first >= 5; first += 5) {
        tally_pass<Bytes, 5>(text, length, values + first, counts + first);
    }
    if (first < value_count) {
        last_pass[value_count - first](text, length, values + first, counts + first);
    }
}

#undef ROVURER_GENERIC_TARGET
