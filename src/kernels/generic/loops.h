// The loops that every kernel set shares, written once: stepping over words
// with the leftovers handed to the portable kernels, the search's window
// loop, the byte-counter tally, and the digit counts taken from the words.
//
// A set includes this file inside its own unnamed namespace, after defining
// ROVURER_GENERIC_TARGET as its target attribute (or as nothing), so that
// these loops compile for the set's instruction set and inline its steps.
// The set includes <cstddef>, <cstdint>, <cstring>, kernels/decimal_split.h
// and kernels/digit_format.h first.
// No include guard: each set's translation unit includes it once.

#ifndef ROVURER_GENERIC_TARGET
#error "define ROVURER_GENERIC_TARGET before including kernels/generic/loops.h"
#endif

// The hardware prefetchers stop at page boundaries, and words read in place
// from a mapped file are often in no cache: the loops over words ask for
// the word two pages on in the direction they walk, up from `index` of
// `count` words (ahead) or down from it (below), or for the last one there
// is.
constexpr std::size_t prefetch_words = 1024;

ROVURER_GENERIC_TARGET inline void prefetch_ahead(const std::uint64_t* words, std::size_t index, std::size_t count) {
    __builtin_prefetch(words + (count - index > prefetch_words ? index + prefetch_words : count - 1));
}

ROVURER_GENERIC_TARGET inline void prefetch_below(const std::uint64_t* words, std::size_t index) {
    __builtin_prefetch(words + (index > prefetch_words ? index - prefetch_words : 0));
}

// Formats `count` words, most significant first, `step_words` at a time with
// `step(lowest_word_of_the_step, out)`, which writes step_words *
// digits_per_word characters; the words left over (fewer than a step) go to
// `leftover`.
template <std::size_t step_words, std::size_t digits_per_word, typename Step>
ROVURER_GENERIC_TARGET inline void format_in_steps(const std::uint64_t* words, std::size_t count, char* out, Step& step,
                                                   rovurer::kernels::format_words_function leftover) {
    std::size_t left = count;
    for (; left >= step_words; left -= step_words, out += step_words * digits_per_word) {
        prefetch_below(words, left);
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
        if (k % 8 == 0) {
            prefetch_ahead(words, k, count);
        }
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

// Hex digit counts from the words themselves: a histogram of their bytes in
// four tables (so that runs of one byte value do not wait on one counter),
// each byte's bin then counted as its two nibbles.
ROVURER_GENERIC_TARGET inline void count_hex_by_bytes(const std::uint64_t* words, std::size_t count,
                                                      std::uint64_t* counts) {
    // A round adds at most 2 * round_words to a bin: no overflow.
    constexpr std::size_t round_words = std::size_t{1} << 28;
    std::uint32_t histogram[4][256];
    for (std::size_t done = 0; done < count;) {
        std::memset(histogram, 0, sizeof histogram);
        const std::size_t end = count - done < round_words ? count : done + round_words;
        for (; done < end; ++done) {
            if (done % 8 == 0) {
                prefetch_ahead(words, done, count);
            }
            const std::uint64_t word = words[done];
            for (unsigned half = 0; half < 64; half += 32) {
                ++histogram[0][(word >> half) & 0xFF];
                ++histogram[1][(word >> (half + 8)) & 0xFF];
                ++histogram[2][(word >> (half + 16)) & 0xFF];
                ++histogram[3][(word >> (half + 24)) & 0xFF];
            }
        }
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::uint64_t seen =
                std::uint64_t{histogram[0][byte]} + histogram[1][byte] + histogram[2][byte] + histogram[3][byte];
            counts[byte >> 4] += seen;
            counts[byte & 15] += seen;
        }
    }
}

// Adds the `digits` decimal digits of `value`, leading zeros included.
ROVURER_GENERIC_TARGET inline void count_decimal_digits_of(std::uint64_t value, unsigned digits,
                                                           std::uint64_t* counts) {
    for (unsigned k = 0; k < digits; ++k, value /= 10) {
        ++counts[value % 10];
    }
}

// Decimal digit counts from the words, in tables: each word's top three
// digits counted in a table of the 1000 three-digit values, its two 8-digit
// parts as four-digit halves in a table of the 10000 four-digit values; each
// entry is then counted as its digits. Reading the tables off costs some
// 40000 steps, so a few words are counted digit by digit instead.
struct decimal_tables {
    std::uint32_t top_seen[1000];
    std::uint32_t half_seen[10000];

    // Counts a word's top and its four halves.
    ROVURER_GENERIC_TARGET void add(std::uint64_t word) {
        const decimal_parts parts = split_decimal(word);
        ++top_seen[parts.top];
        ++half_seen[parts.middle / 10000];
        ++half_seen[parts.middle % 10000];
        ++half_seen[parts.bottom / 10000];
        ++half_seen[parts.bottom % 10000];
    }

    // Adds each entry's count to its digits', and empties the tables.
    ROVURER_GENERIC_TARGET void read_off(std::uint64_t* counts) {
        for (unsigned value = 0; value < 1000; ++value) {
            counts[value / 100] += top_seen[value];
            counts[value / 10 % 10] += top_seen[value];
            counts[value % 10] += top_seen[value];
        }
        for (unsigned value = 0; value < 10000; ++value) {
            counts[value / 1000] += half_seen[value];
            counts[value / 100 % 10] += half_seen[value];
            counts[value / 10 % 10] += half_seen[value];
            counts[value % 10] += half_seen[value];
        }
        std::memset(top_seen, 0, sizeof top_seen);
        std::memset(half_seen, 0, sizeof half_seen);
    }
};

ROVURER_GENERIC_TARGET inline void count_decimal_by_parts(const std::uint64_t* words, std::size_t count,
                                                          std::uint64_t* counts) {
    constexpr std::size_t few_words = 2048;
    if (count < few_words) {
        for (std::size_t k = 0; k < count; ++k) {
            const decimal_parts parts = split_decimal(words[k]);
            count_decimal_digits_of(parts.top, 3, counts);
            count_decimal_digits_of(parts.middle, 8, counts);
            count_decimal_digits_of(parts.bottom, 8, counts);
        }
        return;
    }
    // A round adds at most 4 * round_words to an entry: no overflow.
    constexpr std::size_t round_words = std::size_t{1} << 28;
    decimal_tables tables{};
    for (std::size_t done = 0; done < count;) {
        const std::size_t end = count - done < round_words ? count : done + round_words;
        for (; done < end; ++done) {
            prefetch_ahead(words, done, count);
            tables.add(words[done]);
        }
        tables.read_off(counts);
    }
}

// Counters for small values held one a byte in vectors (digit values, not
// characters), two values a counter byte: a table lookup turns value 2g into
// 1 and 2g + 1 into 16 in the counter of pair g, so that its low four bits
// count the one and its high four bits the other. After 15 additions, before
// four bits can overflow, the counters are widened: each 64-bit lane of a
// pair's sums holds in its low half the sum of its counter bytes (the first
// value's count plus 16 times the second's) and in its high half the sum of
// their high nibbles (the second value's count), one vector a pair, so that
// tables, counters and sums of four pairs fit in sixteen registers. Each
// widening adds at most 8 * 255 to a half; the sums are drained into 64-bit
// counts every 2^20 widenings, before a half can overflow. Pairs is the
// number of counters, for the values from 2 * first_pair to 2 * (first_pair
// + Pairs) - 1; a byte of any other value counts nowhere.
//
// V is the set's vector type and operations (the same struct as the
// tally's): vector, zero(), table(bytes of 16) (the 16-byte lookup table in
// every lane), lookup(table, values), add_bytes(a, b), low_nibbles(v),
// high_nibbles(v), add_halves(sums, low_bytes, high_bytes) (each group of 8
// bytes' sum into the low and the high half of its 64-bit lane of sums),
// total_low_halves(sums) and total_high_halves(sums).
template <typename V, std::size_t Pairs>
class pair_counters {
public:
    using vector = typename V::vector;

    ROVURER_GENERIC_TARGET explicit pair_counters(std::size_t first_pair = 0) : first_pair_(first_pair) {
        for (std::size_t g = 0; g < Pairs; ++g) {
            unsigned char bytes[16] = {};
            bytes[2 * (first_pair + g)] = 1;
            bytes[2 * (first_pair + g) + 1] = 16;
            tables_[g] = V::table(bytes);
            counters_[g] = V::zero();
            sums_[g] = V::zero();
        }
    }

    ROVURER_GENERIC_TARGET void add(vector values) {
#pragma GCC unroll 8
        for (std::size_t g = 0; g < Pairs; ++g) {
            counters_[g] = V::add_bytes(counters_[g], V::lookup(tables_[g], values));
        }
        if (++additions_ == 15) {
            widen();
        }
    }

    // Adds what was counted to the counts of its values (counts[v] for
    // value v).
    ROVURER_GENERIC_TARGET void add_to(std::uint64_t* counts) {
        widen();
        drain();
        for (std::size_t g = 0; g < Pairs; ++g) {
            counts[2 * (first_pair_ + g)] += byte_sums_[g] - 16 * high_sums_[g];
            counts[2 * (first_pair_ + g) + 1] += high_sums_[g];
        }
    }

private:
    ROVURER_GENERIC_TARGET void widen() {
#pragma GCC unroll 8
        for (std::size_t g = 0; g < Pairs; ++g) {
            sums_[g] = V::add_halves(sums_[g], counters_[g], V::high_nibbles(counters_[g]));
            counters_[g] = V::zero();
        }
        additions_ = 0;
        if (++widenings_ == std::size_t{1} << 20) {
            drain();
        }
    }

    ROVURER_GENERIC_TARGET void drain() {
        for (std::size_t g = 0; g < Pairs; ++g) {
            byte_sums_[g] += V::total_low_halves(sums_[g]);
            high_sums_[g] += V::total_high_halves(sums_[g]);
            sums_[g] = V::zero();
        }
        widenings_ = 0;
    }

    vector tables_[Pairs];
    vector counters_[Pairs];
    vector sums_[Pairs];
    std::uint64_t byte_sums_[Pairs] = {};
    std::uint64_t high_sums_[Pairs] = {};
    std::size_t first_pair_;
    unsigned additions_ = 0;
    std::size_t widenings_ = 0;
};

// Hex digit counts with pair counters: each vector of words splits into its
// low and high nibbles, whose values are the digits (the order of digits
// does not matter to a count). With Pairs below 8, the 16 values are counted
// in 8 / Pairs passes over each chunk of words, which stays in the first
// cache between passes: a set with sixteen vector registers cannot hold the
// tables and counters of all 8 pairs, and spilling them costs more than
// loading the chunk again (the chunks cost a set that needs one pass 5%, so
// it goes straight through). The words left over from whole vectors are
// counted by their bytes.
template <typename V, std::size_t Pairs = 8>
ROVURER_GENERIC_TARGET inline void count_hex_with_pairs(const std::uint64_t* words, std::size_t count,
                                                        std::uint64_t* counts) {
    static_assert(8 % Pairs == 0);
    constexpr std::size_t passes = 8 / Pairs;
    constexpr std::size_t words_per_vector = sizeof(typename V::vector) / 8;
    constexpr std::size_t chunk_words = passes == 1 ? ~std::size_t{0} : 512;  // 4 KiB
    const std::size_t whole = count - count % words_per_vector;
    pair_counters<V, Pairs> counters[passes];
    for (std::size_t pass = 1; pass < passes; ++pass) {
        counters[pass] = pair_counters<V, Pairs>(pass * Pairs);
    }
    for (std::size_t chunk = 0; chunk < whole;) {
        const std::size_t end = whole - chunk < chunk_words ? whole : chunk + chunk_words;
#pragma GCC unroll 2
        for (std::size_t pass = 0; pass < passes; ++pass) {
            pair_counters<V, Pairs> pass_counters = counters[pass];  // in registers, not in the array
            for (std::size_t done = chunk; done < end; done += words_per_vector) {
                if (pass == 0) {
                    prefetch_ahead(words, done, count);
                }
                const typename V::vector bytes = V::load(words + done);
                pass_counters.add(V::low_nibbles(bytes));
                pass_counters.add(V::high_nibbles(bytes));
            }
            counters[pass] = pass_counters;
        }
        chunk = end;
    }
    for (pair_counters<V, Pairs>& pass_counters : counters) {
        pass_counters.add_to(counts);
    }
    count_hex_by_bytes(words + whole, count - whole, counts);
}

// Decimal digit counts with pair counters: `step(words, values)` turns
// Step::words words into Step::vectors vectors of digit values, which hold
// their 19 digits each and Step::padding zeros besides, taken off the count
// of zeros at the end. The words left over from whole steps are counted by
// their parts.
template <typename V, typename Step>
ROVURER_GENERIC_TARGET inline void count_decimal_with_pairs(const std::uint64_t* words, std::size_t count,
                                                            std::uint64_t* counts, const Step& step) {
    pair_counters<V, 5> counters;
    std::uint64_t found[10] = {};
    std::size_t done = 0;
    for (; count - done >= Step::words; done += Step::words) {
        typename V::vector values[Step::vectors];
        prefetch_ahead(words, done, count);
        step(words + done, values);
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Step::vectors; ++v) {
            counters.add(values[v]);
        }
    }
    counters.add_to(found);
    found[0] -= Step::padding * (done / Step::words);
    for (std::size_t digit = 0; digit < 10; ++digit) {
        counts[digit] += found[digit];
    }
    count_decimal_by_parts(words + done, count - done, counts);
}

#undef ROVURER_GENERIC_TARGET
