#include "reader/prefetcher.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/platform.h"

namespace rovurer::detail::prefetch {

struct prefetcher {
    advice_function give;
    const void* context;
    std::mutex lock;
    std::condition_variable wake;
    std::int64_t pending_low = 0;  // the span not yet advised: [low, high)
    std::int64_t pending_high = 0;
    bool stopping = false;
    std::thread worker;  // not joinable when advice is given inline

    prefetcher(advice_function advice, const void* advice_context) : give(advice), context(advice_context) {}

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
            give(context, low, high - low);
            held.lock();
        }
    }
};

prefetcher* start(advice_function give, const void* context, bool threaded) {
    auto* helper = new (std::nothrow) prefetcher(give, context);
#ifndef ROVURER_NO_THREADS
    if (helper != nullptr && threaded) {
        try {
            helper->worker = platform::start_helper([helper] { helper->run(); });
        } catch (const std::system_error&) {
            // No thread: advice goes out inline.
        }
    }
#else
    (void)threaded;
#endif
    return helper;
}

void advise(prefetcher* helper, std::int64_t offset, std::int64_t length) {
    if (helper == nullptr) {
        return;
    }
    if (!helper->worker.joinable()) {
        helper->give(helper->context, offset, length);
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

void stop(prefetcher* helper) {
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

}  // namespace rovurer::detail::prefetch
