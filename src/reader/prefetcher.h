// prefetcher: a helper thread that asks the system to read spans of a file
// ahead of the reader, so that filling the page cache (much of the cost of a
// cold read) runs on another core while the reader's thread converts digits.
// It only gives advice: it never reads into memory the reader uses, so what
// the reader sees, including short reads, is unchanged.
#pragma once

#include <cstdint>

namespace rovurer::detail::prefetch {

struct prefetcher;

// Gives the advice for the byte span [offset, offset + length).
using advice_function = void (*)(const void* context, std::int64_t offset, std::int64_t length);

// Starts the thread that calls `give(context, ...)`; `context` must stay
// valid until stop. With `threaded` false, when no thread can be started, or
// in a build without threads (ROVURER_THREADS off), advice is given
// inline instead. Returns nullptr only when out of memory.
prefetcher* start(advice_function give, const void* context, bool threaded = true);

// Hands the thread the byte span [offset, offset + length) to advise, merged
// with any span it has not taken yet; never waits for the advice itself.
// Without a thread, advises at once. Accepts nullptr (then does nothing).
void advise(prefetcher* helper, std::int64_t offset, std::int64_t length);

// Stops and joins the thread (it finishes at most the piece of advice in
// hand, and drops what is pending) and frees it. Accepts nullptr.
void stop(prefetcher* helper);

// Advice goes out in pieces of at most this many bytes, top piece first, so
// that a stop waits for one piece at most.
inline constexpr std::int64_t piece_bytes = std::int64_t{1} << 20;

}  // namespace rovurer::detail::prefetch
