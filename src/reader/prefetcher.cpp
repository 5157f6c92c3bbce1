#include "reader/prefetcher.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

// Advice goes out in pieces of this size, so that a stop waits for one
// piece at most and the reader's newest span is taken soon.
constexpr std::int64_t piece_bytes = std::int64_t{1} << 20;

}  // namespace

struct prefetcher {
    platform_file file;
    std::mutex lock;
    std::condition_variable wake;
    std::int64_t pending_low = 0;  // the span not yet advised: [low, high)
    std::int64_t pending_high = 0;
    bool stopping = false;
    std::thread worker;  // not joinable when advice is given inline

    explicit prefetcher(platform_file advised_file) : file(advised_file) {}

    void run() {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            wake.wait(held, [this] { return stopping || pending_low < pending_high; });
            if (stopping) {
                return;
            }
            // The reader walks down the file: advise the top of the span
            // first, the part it will need soonest.
            const std::int64_t high = pending_high;
            const std::int64_t low = high - pending_low > piece_bytes ? high - piece_bytes : pending_low;
            pending_high = low;
            held.unlock();
            platform_advise_willneed(file, low, high - low);
            held.lock();
        }
    }
};

prefetcher* prefetcher_start(platform_file file) {
    auto* helper = new (std::nothrow) prefetcher(file);
#ifndef ROVURER_NO_PREFETCH_THREAD
    if (helper != nullptr) {
        try {
            helper->worker = std::thread([helper] { helper->run(); });
        } catch (const std::system_error&) {
            // No thread: advice goes out inline.
        }
    }
#endif
    return helper;
}

void prefetcher_advise(prefetcher* helper, std::int64_t offset, std::int64_t length) {
    if (helper == nullptr) {
        return;
    }
    if (!helper->worker.joinable()) {
        platform_advise_willneed(helper->file, offset, length);
        return;
    }
    {
        const std::lock_guard<std::mutex> held(helper->lock);
        if (helper->pending_low >= helper->pending_high) {
            helper->pending_low = offset;
            helper->pending_high = offset + length;
        } else {
            helper->pending_low = offset < helper->pending_low ? offset : helper->pending_low;
            helper->pending_high = offset + length > helper->pending_high ? offset + length : helper->pending_high;
        }
    }
    helper->wake.notify_one();
}

void prefetcher_stop(prefetcher* helper) {
    if (helper == nullptr) {
        return;
    }
    {
        const std::lock_guard<std::mutex> held(helper->lock);
        helper->stopping = true;
    }
    helper->wake.notify_one();
    if (helper->worker.joinable()) {
        helper->worker.join();
    }
    delete helper;
}
