// output_buffer against scripted sinks, and platform::write's loop over
// interrupted, partial writes.
#include "parallel/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "test_paths.h"
#include "test_support.h"

#ifdef __linux__
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>

#include "platform/platform.h"
#endif

using namespace rovurer;

namespace {

// A sink that records every delivery and fails the ones its script says.
struct scripted_sink {
    std::vector<int> results;  // result of delivery i; 0 past the end
    std::vector<std::string> deliveries;
    std::string delivered;  // bytes of the successful deliveries

    static int deliver(void* context, const char* bytes, std::size_t length) {
        auto* sink = static_cast<scripted_sink*>(context);
        const std::size_t turn = sink->deliveries.size();
        sink->deliveries.emplace_back(bytes, length);
        const int result = turn < sink->results.size() ? sink->results[turn] : 0;
        if (result == 0) {
            sink->delivered.append(bytes, length);
        }
        return result;
    }
};

TEST(Output, AppendsOfEverySizeArriveWholeAndInOrder) {
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back(static_cast<char>('a' + i % 26));
    }
    for (const std::size_t length :
         {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{200}, std::size_t{1000}}) {
        scripted_sink sink;
        output_buffer out(scripted_sink::deliver, &sink, 64);
        std::string sent;
        for (std::size_t at = 0; at < expected.size(); at += length) {
            const std::string piece = expected.substr(at, length);
            out.append(piece.data(), piece.size());
            sent += piece;
        }
        out.put('!');
        ASSERT_TRUE(out.flush());
        EXPECT_EQ(sink.delivered, sent + "!") << length;
        for (const std::string& delivery : sink.deliveries) {
            // Never more than the buffer holds, but for an append of more
            // than that, which goes out as it is.
            EXPECT_LE(delivery.size(), std::max(std::size_t{64}, length)) << length;
            EXPECT_FALSE(delivery.empty()) << length;
        }
    }
}

// A byte put into a buffer that is exactly full goes after the bytes
// there, which leave first.
TEST(Output, AByteIntoAFullBufferGoesAfterIt) {
    scripted_sink sink;
    output_buffer out(scripted_sink::deliver, &sink, output_buffer::minimum_capacity);
    const std::string full(output_buffer::minimum_capacity, 'x');
    out.append(full.data(), full.size() - 1);
    out.put('x');  // fills it
    EXPECT_TRUE(sink.deliveries.empty());
    out.put('y');
    ASSERT_EQ(sink.deliveries.size(), 1U);
    EXPECT_EQ(sink.deliveries[0], full);
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(sink.delivered, full + "y");
}

TEST(Output, TheFirstErrorIsKeptAndLaterBytesDropped) {
    struct error_case {
        std::vector<int> results;
        int first_error;
        std::size_t deliveries;  // attempted: none after the first failure
    };
    const error_case cases[] = {
        {{ENOSPC}, ENOSPC, 1},        // fails at once
        {{ENOSPC, 0}, ENOSPC, 1},     // fails once, then would succeed
        {{0, EPIPE, EIO}, EPIPE, 2},  // a later failure; the first one is kept
        {{}, 0, 10},
    };
    for (const error_case& c : cases) {
        scripted_sink sink;
        sink.results = c.results;
        output_buffer out(scripted_sink::deliver, &sink, 64);
        for (int i = 0; i < 10; ++i) {
            out.append(std::string(50, static_cast<char>('0' + i)).c_str());
            out.flush();
        }
        EXPECT_EQ(out.flush(), c.first_error == 0);
        EXPECT_EQ(out.failed(), c.first_error != 0);
        EXPECT_EQ(out.error(), c.first_error);
        EXPECT_EQ(sink.deliveries.size(), c.deliveries);
    }
}

TEST(Output, ReserveFlushesFirstAndGrowsForMoreThanTheBufferHolds) {
    struct reserve_case {
        std::size_t reserved;
        std::size_t committed;
        std::size_t delivered_before;  // of the 10 bytes already buffered
    };
    const reserve_case cases[] = {
        {54, 54, 0},   // fits behind the 10 bytes, to the last byte
        {55, 55, 10},  // does not: they go first
        {64, 64, 10},  // the whole buffer
        {65, 65, 10},  // more than the buffer holds: it grows
        {5000, 4000, 10},
    };
    for (const reserve_case& c : cases) {
        scripted_sink sink;
        output_buffer out(scripted_sink::deliver, &sink, 64);
        out.append("0123456789");
        char* const room = out.reserve(c.reserved);
        EXPECT_EQ(sink.delivered.size(), c.delivered_before) << c.reserved;
        std::string(c.reserved, 'x').copy(room, c.reserved);  // every byte reserved is writable
        out.commit(c.committed);
        out.put('!');
        ASSERT_TRUE(out.flush());
        EXPECT_EQ(sink.delivered, "0123456789" + std::string(c.committed, 'x') + "!") << c.reserved;
    }
}

// A bound on each delivery, lowered with bytes buffered past it and raised
// again: the bytes arrive whole and in order, each delivery within the bound
// in force when it leaves (but the bytes buffered before it was lowered).
TEST(Output, DeliveriesKeepToTheBoundInForce) {
    struct bound_case {
        std::size_t buffered;  // before the bound is lowered
        std::size_t lowered_to;
        std::size_t appended;  // a byte at a time, under the lowered bound
        std::size_t largest;   // of the deliveries after the first
    };
    const bound_case cases[] = {
        {0, 100, 1000, 100},
        {300, 100, 1000, 100},                          // the 300 leave whole, first
        {10, 1, 500, output_buffer::minimum_capacity},  // never below the minimum
        {10, 5000, 3000, 1000},                         // never past the memory it has
        {999, 256, 256, 256},
    };
    for (const bound_case& c : cases) {
        scripted_sink sink;
        output_buffer out(scripted_sink::deliver, &sink, 1000);
        const std::string before(c.buffered, 'b');
        out.append(before.data(), before.size());
        out.deliver_at_most(c.lowered_to);
        std::string sent = before;
        for (std::size_t i = 0; i < c.appended; ++i) {
            const char byte = static_cast<char>('a' + i % 26);
            out.put(byte);
            sent.push_back(byte);
        }
        ASSERT_TRUE(out.flush());
        EXPECT_EQ(sink.delivered, sent) << c.lowered_to;
        for (std::size_t i = c.buffered > 0 ? 1 : 0; i < sink.deliveries.size(); ++i) {
            EXPECT_LE(sink.deliveries[i].size(), c.largest) << c.lowered_to << ' ' << i;
        }
        // Raised again: one delivery takes the whole buffer.
        out.deliver_at_most(1000);
        const std::string whole(1000, 'w');
        for (const char byte : whole) {
            out.put(byte);
        }
        ASSERT_TRUE(out.flush());
        EXPECT_EQ(sink.deliveries.back(), whole) << c.lowered_to;
    }
}

#ifdef __linux__
void ignore_signal(int /*signal*/) {}
#endif

TEST(Output, PlatformWriteResumesInterruptedAndPartialWrites) {
    SKIP_UNLESS_LINUX("a pipe with an interval timer");
#ifdef __linux__
    if (tool_emulator[0] != nullptr) {
        GTEST_SKIP() << "qemu-user does not deliver a 1 ms timer signal in time to interrupt a write";
    }
    // A slow reader on a pipe and a timer signal without SA_RESTART make the
    // writes stop short or fail with EINTR; every byte must still arrive.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string received;
    std::thread reader([&] {
        char chunk[4096];
        usleep(20000);
        for (;;) {
            const ssize_t got = read(ends[0], chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) {
                continue;  // the timer's signal may land on this thread too
            }
            if (got <= 0) {
                break;
            }
            received.append(chunk, static_cast<std::size_t>(got));
            usleep(100);
        }
    });
    struct sigaction action {};
    action.sa_handler = ignore_signal;
    struct sigaction previous {};
    sigaction(SIGALRM, &action, &previous);
    const itimerval every_ms = {{0, 1000}, {0, 1000}};
    setitimer(ITIMER_REAL, &every_ms, nullptr);

    std::string sent(std::size_t{4} << 20, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<char>('0' + i % 10);
    }
    const int saved_output = dup(STDOUT_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    const int result = platform::write(platform::stream::output, sent.data(), sent.size());
    dup2(saved_output, STDOUT_FILENO);

    const itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    close(saved_output);
    close(ends[1]);
    reader.join();
    close(ends[0]);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
#endif
}

// Disk space set aside for text about to be written: only where the space
// is free and the file-size limit allows, never changing
// the file's bytes or size, and all given back past the file's end.
TEST(Output, SpaceIsSetAsideOnlyWhereWritesCouldFillItAndGivenBackPastTheEnd) {
    SKIP_UNLESS_LINUX("space is set aside on Linux");
#ifdef __linux__
    const std::string path = temp_folder() + "/reserved-output";
    const std::int64_t mib = std::int64_t{1} << 20;
    struct case_ {
        const char* name;
        std::int64_t offset;
        std::int64_t length;
        rlim_t size_limit;  // RLIM_INFINITY: as it is
        bool set_aside;
    };
    const case_ cases[] = {
        {"8 MiB after the text", 4096, 8 * mib, RLIM_INFINITY, true},
        {"more than the disk holds", 4096, std::int64_t{1} << 60, RLIM_INFINITY, false},
        {"past the file-size limit", 4096, 8 * mib, 4 * mib, false},
        {"within the file-size limit", 4096, 2 * mib, 4 * mib, true},
        {"an offset past the largest", std::int64_t{1} << 62, std::int64_t{1} << 62, RLIM_INFINITY, false},
    };
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    for (const case_& c : cases) {
        SCOPED_TRACE(c.name);
        int create_error = 0;
        const platform::file out = platform::create_output(path.c_str(), &create_error);
        ASSERT_TRUE(out.is_open()) << create_error;
        ASSERT_EQ(platform::write_output(out, std::string(4096, '7').data(), 4096), 0);
        if (c.size_limit != RLIM_INFINITY) {
            const rlimit lower = {c.size_limit, before.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
        }
        const std::int64_t at_start = allocated_bytes(path);
        const bool set_aside = platform::reserve_output(c.offset, c.length, &out);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
        if (c.set_aside && !set_aside) {
            GTEST_SKIP() << "this file system sets no space aside";
        }
        EXPECT_EQ(set_aside, c.set_aside);
        EXPECT_EQ(file_contents(path), std::string(4096, '7'));
        EXPECT_GE(allocated_bytes(path), set_aside ? at_start + c.length : at_start);
        EXPECT_LT(allocated_bytes(path), set_aside ? at_start + c.length + mib : at_start + 1);
        // Given back only when the file ends before what was set aside.
        platform::release_output_reserve(4096, &out);
        EXPECT_EQ(allocated_bytes(path) > at_start, set_aside);
        platform::release_output_reserve(set_aside ? c.offset + c.length : std::int64_t{1} << 62, &out);
        EXPECT_EQ(allocated_bytes(path), at_start);
        EXPECT_EQ(file_contents(path), std::string(4096, '7'));
    }
    unlink(path.c_str());
#endif
}

}  // namespace
