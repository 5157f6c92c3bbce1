// run_in_parts against one thread running the same parts: the same bytes in
// the same order, for more threads than this machine has cores, parts
// larger and smaller than a thread's buffer, line limits and a part that
// fails; and the writes the output sees stay the size that keeps a pipe's
// writer in cache.
#include "parallel/parts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

#include "platform/platform.h"

using namespace rovurer;

namespace {

// The output of part `part`: `length(part)` bytes, a line every 97.
std::string part_text(std::int64_t part, std::size_t length) {
    std::string text(length, '0');
    for (std::size_t at = 0; at < length; ++at) {
        text[at] = at % 97 == 96 ? '\n' : static_cast<char>('a' + (part + static_cast<std::int64_t>(at)) % 26);
    }
    return text;
}

struct recording_sink {
    std::mutex lock;  // only the part whose turn it is writes, but a test must not rely on what it checks
    std::string bytes;
    std::vector<std::size_t> writes;
    std::size_t fail_after = SIZE_MAX;  // bytes accepted before every write fails

    static int deliver(void* context, const char* data, std::size_t length) {
        auto& sink = *static_cast<recording_sink*>(context);
        const std::lock_guard<std::mutex> held(sink.lock);
        if (sink.bytes.size() + length > sink.fail_after) {
            return ENOSPC;
        }
        sink.bytes.append(data, length);
        sink.writes.push_back(length);
        return 0;
    }
};

TEST(Parts, AnyThreadCountGivesTheBytesOfOneThreadInWritesThatStayInCache) {
    constexpr std::size_t mib = std::size_t{1} << 20;
    struct scenario {
        const char* name;
        int threads;
        std::int64_t parts;
        std::size_t (*length)(std::int64_t part);
        std::int64_t line_limit;
        std::int64_t failing_part;  // ends read_failed, or -1
        std::size_t fail_after;     // bytes the output takes before it fails
    };
    const scenario scenarios[] = {
        {"small parts, more threads than cores", 16, 200, [](std::int64_t p) { return std::size_t(1000 + p * 37); }, -1,
         -1, SIZE_MAX},
        {"parts of a whole buffer", 3, 12, [](std::int64_t) { return part_output_bytes; }, -1, -1, SIZE_MAX},
        {"parts past the buffer wait for their turn mid-part", 8, 9,
         [](std::int64_t p) { return static_cast<std::size_t>(p % 3 + 1) * part_output_bytes + 12345; }, -1, -1,
         SIZE_MAX},
        {"empty parts among others", 4, 30, [](std::int64_t p) { return p % 4 == 0 ? std::size_t{0} : mib / 3; }, -1,
         -1, SIZE_MAX},
        {"one thread", 1, 7, [](std::int64_t p) { return std::size_t(p) * mib / 2; }, -1, -1, SIZE_MAX},
        {"a line limit inside a late part", 6, 40, [](std::int64_t) { return mib / 4 + 7; }, 20000, -1, SIZE_MAX},
        {"a part that fails ends the output after the parts before it", 5, 25, [](std::int64_t) { return mib / 2 + 3; },
         -1, 11, SIZE_MAX},
        {"a full output ends the job", 4, 20, [](std::int64_t) { return mib; }, -1, -1, 5 * mib + 17},
    };
    for (const scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        std::string expected;
        command_result expected_result = command_result::shown;
        std::int64_t lines_left = s.line_limit;
        for (std::int64_t part = 0; part < s.parts; ++part) {
            std::string text = part_text(part, s.length(part));
            if (lines_left >= 0) {
                for (std::size_t at = 0; at < text.size(); ++at) {
                    if (text[at] == '\n' && --lines_left == 0) {
                        text.resize(at + 1);
                        break;
                    }
                }
            }
            expected += text;
            if (part == s.failing_part) {
                expected_result = command_result::read_failed;
                break;
            }
            if (lines_left == 0) {
                break;
            }
        }
        if (expected.size() > s.fail_after) {
            expected_result = command_result::write_failed;
        }
        recording_sink sink;
        sink.fail_after = s.fail_after;
        output_buffer out(recording_sink::deliver, &sink, turn_output_bytes);
        const part_job job = [&](std::int64_t part, output_buffer& part_out) {
            const std::string text = part_text(part, s.length(part));
            // In pieces of every size, as the dump's layouts append.
            for (std::size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 3 % 70001 + 1) {
                part_out.append(text.data() + at, std::min(piece, text.size() - at));
            }
            return part == s.failing_part ? command_result::read_failed : command_result::shown;
        };
        const parts_outcome outcome = run_in_parts(out, s.threads, s.parts, s.line_limit, job);
        const bool flushed = out.flush();
        if (expected_result == command_result::write_failed) {
            EXPECT_TRUE(outcome.result == command_result::write_failed || !flushed);
            EXPECT_EQ(sink.bytes, expected.substr(0, sink.bytes.size()));
            EXPECT_LE(sink.bytes.size(), s.fail_after);
            continue;
        }
        EXPECT_EQ(outcome.result, expected_result);
        ASSERT_TRUE(flushed);
        ASSERT_EQ(sink.bytes.size(), expected.size());
        EXPECT_TRUE(sink.bytes == expected);
        for (const std::size_t write : sink.writes) {
            EXPECT_LE(write, turn_output_bytes);
        }
    }
}

TEST(Parts, EveryPartRunsOnceAndTheFirstFailureInPartOrderWins) {
    for (const int threads : {1, 2, 7, 33}) {
        for (const std::int64_t failing : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{17}, std::int64_t{99}}) {
            std::mutex lock;
            std::vector<int> runs(100, 0);
            const result_job job = [&](std::int64_t part) {
                {
                    const std::lock_guard<std::mutex> held(lock);
                    ++runs[static_cast<std::size_t>(part)];
                }
                // A later part fails too: the first in part order is the one returned.
                if (failing >= 0 && (part == failing || part == failing + 40)) {
                    return part == failing ? command_result::read_failed : command_result::write_failed;
                }
                return command_result::shown;
            };
            const command_result result = run_parts(threads, 100, job);
            EXPECT_EQ(result, failing < 0 ? command_result::shown : command_result::read_failed)
                << threads << ' ' << failing;
            for (std::int64_t part = 0; part < 100; ++part) {
                EXPECT_LE(runs[static_cast<std::size_t>(part)], 1) << threads << ' ' << part;
                if (failing < 0 || part <= failing) {
                    EXPECT_EQ(runs[static_cast<std::size_t>(part)], 1) << threads << ' ' << part;
                }
            }
        }
    }
}

// Native x86-64 Linux only: under qemu-user (the cross builds' tests) it hung,
// not yet understood.
#if defined(__linux__) && defined(__x86_64__)
// Whichever comes first, the starter sending the helper away or the helper
// arriving, the helper ends with every processor the starter may use.
TEST(Parts, AHelperSentAwayGetsBackEveryProcessorOfItsStarter) {
    cpu_set_t starter;
    ASSERT_EQ(sched_getaffinity(0, sizeof starter, &starter), 0);
    for (const bool sent_first : {true, false}) {
        platform::helper_start start;
        std::mutex lock;
        std::condition_variable changed;
        bool may_arrive = !sent_first;
        bool has_arrived = false;
        bool may_look = false;
        cpu_set_t seen;
        CPU_ZERO(&seen);
        std::thread helper([&] {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [&] { return may_arrive; });
            start.arrived();
            has_arrived = true;
            changed.notify_all();
            changed.wait(held, [&] { return may_look; });
            (void)pthread_getaffinity_np(pthread_self(), sizeof seen, &seen);
        });
        {
            std::unique_lock<std::mutex> held(lock);
            if (!sent_first) {
                changed.wait(held, [&] { return has_arrived; });
            }
            start.send_away(helper);
            may_arrive = true;
            changed.notify_all();
            changed.wait(held, [&] { return has_arrived; });
            may_look = true;
            changed.notify_all();
        }
        helper.join();
        EXPECT_TRUE(CPU_EQUAL(&seen, &starter)) << (sent_first ? "sent away first" : "arrived first");
    }
}
#endif

}  // namespace
