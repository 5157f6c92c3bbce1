// prefetcher: a helper thread that asks the system to read spans of a file
// ahead of the reader, so that filling the page cache (much of the cost of a
// cold read) runs on another core while the reader's thread converts digits.
// It only gives advice: it never reads into memory the reader uses, so what
// the reader sees, including short reads, is unchanged.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct prefetcher;

// Starts the thread for `file`, which must stay open until prefetcher_stop.
// When no thread can be started, or in a build without it
// (ROVURER_PREFETCH_THREAD off), the prefetcher gives its advice inline.
// Returns nullptr only when out of memory.
prefetcher* prefetcher_start(platform_file file);

// Hands the thread the byte span [offset, offset + length) to advise, merged
// with any span it has not taken yet; never waits for the advice itself.
// Without a thread, advises at once. Accepts nullptr (then does nothing).
void prefetcher_advise(prefetcher* helper, std::int64_t offset, std::int64_t length);

// Stops and joins the thread (it finishes at most the piece of advice in
// hand) and frees it. Accepts nullptr.
void prefetcher_stop(prefetcher* helper);
