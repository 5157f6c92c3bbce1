// The read-ahead helper, with advice recorded instead of given to the system.
#include "reader/prefetcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace rovurer::detail::prefetch;

namespace {

struct recorder {
    std::mutex lock;
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;  // offset, length, in order given
    std::vector<std::thread::id> threads;
    std::atomic<int> calls{0};
    std::chrono::milliseconds delay{0};  // each piece of advice takes this long

    static void give(const void* context, std::int64_t offset, std::int64_t length) {
        auto* self = static_cast<recorder*>(const_cast<void*>(context));
        {
            const std::lock_guard<std::mutex> held(self->lock);
            self->spans.emplace_back(offset, length);
            self->threads.push_back(std::this_thread::get_id());
        }
        ++self->calls;
        std::this_thread::sleep_for(self->delay);
    }

    std::int64_t total() {
        const std::lock_guard<std::mutex> held(lock);
        std::int64_t sum = 0;
        for (const auto& span : spans) {
            sum += span.second;
        }
        return sum;
    }
};

// Whether the first advice was given on this thread: a build without the
// helper thread.
bool given_inline(recorder& advice) {
    const std::lock_guard<std::mutex> held(advice.lock);
    return !advice.threads.empty() && advice.threads.front() == std::this_thread::get_id();
}

// Waits up to ten seconds for `done`.
template <typename Condition>
bool eventually(Condition done) {
    for (int i = 0; i < 10000 && !done(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

TEST(Prefetcher, WithoutAThreadAdviceIsGivenAtOnceAndWhole) {
    recorder advice;
    prefetcher* helper = start(recorder::give, &advice, false);
    ASSERT_NE(helper, nullptr);
    advise(helper, 4096, 5 * piece_bytes);
    advise(helper, 0, 10);
    EXPECT_EQ(advice.spans, (std::vector<std::pair<std::int64_t, std::int64_t>>{{4096, 5 * piece_bytes}, {0, 10}}));
    EXPECT_EQ(advice.threads, std::vector<std::thread::id>(2, std::this_thread::get_id()));
    stop(helper);
    stop(nullptr);
    advise(nullptr, 0, 1);  // does nothing
}

TEST(Prefetcher, EachSpanIsAdvisedOnceTopPieceFirst) {
    recorder advice;
    prefetcher* helper = start(recorder::give, &advice);
    ASSERT_NE(helper, nullptr);
    const std::int64_t low = 4096;
    const std::int64_t length = 3 * piece_bytes + 100;
    advise(helper, low, length);
    ASSERT_TRUE(eventually([&] { return advice.total() >= length; }));
    stop(helper);
    if (given_inline(advice)) {
        GTEST_SKIP() << "a build without the helper thread";
    }
    // Pieces of piece_bytes from the top down, the last one what is left,
    // each byte once.
    std::int64_t expected_high = low + length;
    for (const auto& [offset, size] : advice.spans) {
        EXPECT_EQ(size, expected_high - low < piece_bytes ? expected_high - low : piece_bytes);
        EXPECT_EQ(offset + size, expected_high);
        expected_high = offset;
    }
    EXPECT_EQ(expected_high, low);
    EXPECT_EQ(advice.total(), length);
}

TEST(Prefetcher, AStopWhileAdviceIsPendingWaitsForOnePieceAtMost) {
    recorder advice;
    advice.delay = std::chrono::milliseconds(50);
    prefetcher* helper = start(recorder::give, &advice);
    ASSERT_NE(helper, nullptr);
    advise(helper, 0, 20 * piece_bytes);
    if (given_inline(advice)) {
        stop(helper);
        GTEST_SKIP() << "a build without the helper thread";
    }
    ASSERT_TRUE(eventually([&] { return advice.calls.load() >= 1; }));
    stop(helper);  // the piece in hand finishes; the other 19 are dropped
    EXPECT_LE(advice.calls.load(), 2);
}

}  // namespace
