#include "parallel/split.h"

namespace rovurer {

namespace {
std::int64_t smallest_part_digits = std::int64_t{1} << 20;
}  // namespace

std::int64_t smallest_part() {
    return smallest_part_digits;
}

void detail::set_smallest_part(std::int64_t digits) {
    smallest_part_digits = digits;
}

run_split split_range(std::int64_t begin, std::int64_t end, int threads) {
    run_split split;
    split.begin = begin;
    split.end = end;
    const std::int64_t span = end - begin;
    const std::int64_t most_threads = span / smallest_part() > 1 ? span / smallest_part() : 1;
    split.threads = threads < most_threads ? threads : static_cast<int>(most_threads);
    return split;
}

}  // namespace rovurer
