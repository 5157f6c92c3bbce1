// How a run of digits, or a shard of it, is split into parts for threads.
#pragma once

#include <cstdint>

namespace rovurer {

// Parts of at least smallest_part() digits (a million: fewer would cost more
// in starting threads and readers than they save) and at most the largest
// part asked for, four a thread where the range allows.
std::int64_t smallest_part();

namespace detail {
// A seam for tests and the fuzzer: parts of at least `digits` digits from
// now on, so that small files run in many parts on several threads. Set it
// while no run is under way.
void set_smallest_part(std::int64_t digits);
}  // namespace detail

struct run_split {
    std::int64_t begin = 0;  // the shard: [begin, end) of the run's digits
    std::int64_t end = 0;
    int threads = 1;
    std::int64_t part_digits = 1;  // a whole number of `unit`
    std::int64_t parts() const { return begin == end ? 0 : (end - begin - 1) / part_digits + 1; }
    // Where part `part` begins and ends, as run digit indexes.
    std::int64_t part_begin(std::int64_t part) const { return begin + part * part_digits; }
    std::int64_t part_end(std::int64_t part) const {
        return end - part_begin(part) < part_digits ? end : part_begin(part) + part_digits;
    }
    // Sets the size of the parts: at most `largest_part` (what one reader
    // buffers, or less), whole units, and as many parts as make each thread
    // take the same number, as even as whole units allow, where the range
    // holds parts of at least the smallest size: with 11 parts on two
    // threads one would run six while the other waits.
    void cut(std::int64_t unit, std::int64_t largest_part) {
        const std::int64_t length = end - begin;
        std::int64_t part = length / (4 * std::int64_t{threads});
        part = part < smallest_part() ? smallest_part() : part > largest_part ? largest_part : part;
        if (length > 0) {
            std::int64_t count = length / part + (length % part != 0 ? 1 : 0);
            count = (count + threads - 1) / threads * threads;
            const std::int64_t even = length / count + (length % count != 0 ? 1 : 0);
            part = even >= smallest_part() ? even : part;
        }
        part_digits = (part + unit - 1) / unit * unit;
    }
};

// The split of digits [begin, end) on up to `threads` threads: no more
// threads than there are parts of the smallest size, so that a short range
// runs on one. The caller then cuts the parts.
run_split split_range(std::int64_t begin, std::int64_t end, int threads);

}  // namespace rovurer
