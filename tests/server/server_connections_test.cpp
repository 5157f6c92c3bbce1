// The server's connections: which one closes to make room, idle sockets by
// the thousand, the timeouts of each phase, and the memory of one find.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <latch>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "rovurer/file.h"
#include "server/connection_table.h"
#include "server_support.h"
#include "test_support.h"

namespace {

using rovurer::server::connection_phase;
using rovurer::server::served_file;
using table = rovurer::server::connection_table<int>;

TEST(ConnectionTable, AFullTableClosesTheLongestWaitingConnectionNeverOneInARequest) {
    struct table_case {
        const char* what;
        std::vector<connection_phase> open;  // connections 0, 1, ... admitted in order, then moved here
        int evicted;                         // the one closed for a new one; -1: the new one is refused
    };
    const table_case cases[] = {
        {"the oldest of those that never sent a request", {connection_phase::fresh, connection_phase::fresh}, 0},
        {"one that never sent a request before one between requests",
         {connection_phase::idle, connection_phase::fresh},
         1},
        {"the longest idle between requests", {connection_phase::busy, connection_phase::idle}, 1},
        {"none in a request", {connection_phase::busy, connection_phase::busy}, -1},
    };
    for (const table_case& wanted : cases) {
        table connections(wanted.open.size());
        std::vector<table::slot> places;
        for (std::size_t k = 0; k < wanted.open.size(); ++k) {
            const table::admission taken = connections.admit(static_cast<int>(k));
            ASSERT_FALSE(taken.evicted.has_value()) << wanted.what;
            places.push_back(taken.place);
        }
        for (std::size_t k = 0; k < wanted.open.size(); ++k) {
            ASSERT_TRUE(connections.move(places[k], wanted.open[k])) << wanted.what;
        }
        const table::admission taken = connections.admit(99);
        EXPECT_EQ(taken.evicted.value_or(-1), wanted.evicted) << wanted.what;
        EXPECT_EQ(taken.over, wanted.evicted < 0) << wanted.what;
        EXPECT_EQ(connections.open(), wanted.open.size()) << wanted.what;
        if (wanted.evicted >= 0) {
            // The one closed cannot take up a request after all, and leaving
            // it frees nothing more.
            const table::slot gone = places[static_cast<std::size_t>(wanted.evicted)];
            EXPECT_FALSE(connections.move(gone, connection_phase::busy)) << wanted.what;
            EXPECT_TRUE(connections.move(gone, connection_phase::leaving)) << wanted.what;
            connections.remove(gone);
        }
        EXPECT_EQ(connections.all().size(), wanted.open.size() + (taken.over ? 1 : 0)) << wanted.what;
    }
}

// Whether a kept connection still answers.
bool answers(int connection) {
    return send_all(connection, "GET /healthz HTTP/1.1\r\nHost: t\r\n\r\n") &&
           status_of(read_answer(connection)) == 200;
}

// Counts events of the server's threads, and waits for a count.
class event_count {
public:
    void add() {
        const std::lock_guard<std::mutex> held(lock_);
        ++count_;
        changed_.notify_all();
    }
    // Waits until `wanted` have happened; false after a minute.
    bool reach(int wanted) {
        std::unique_lock<std::mutex> held(lock_);
        return changed_.wait_for(held, std::chrono::minutes(1), [&] { return count_ >= wanted; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int count_ = 0;
};

TEST(ServerConnections, ANewClientClosesTheConnectionThatWaitedLongestAndIsServed) {
    rovurer::server::config settings;
    settings.port = "0";
    settings.max_connections = 2;
    event_count waits;  // of connections for a request: each new one, and each kept after an answer
    settings.waiting_for_request = [&] { waits.add(); };
    running_server server(pi_files(), settings);
    ASSERT_EQ(server.max_connections(), 2);

    // A keep-alive connection between requests, then one that sent part of
    // a request's headers: the one that never sent a whole request goes
    // first, though it came later.
    const int older = connect_to(server.port());
    ASSERT_TRUE(answers(older));
    const int partial = connect_to(server.port());
    ASSERT_TRUE(send_all(partial, "GET /healthz HTTP/1.1\r\nHost:"));
    ASSERT_TRUE(waits.reach(3));
    EXPECT_EQ(status_of(get(server.port(), "/healthz")), 200);
    EXPECT_TRUE(closed_within(partial, 60));
    // Two between requests: the one idle longest goes.
    const int newer = connect_to(server.port());
    ASSERT_TRUE(answers(newer));
    ASSERT_TRUE(waits.reach(6));
    EXPECT_EQ(status_of(get(server.port(), "/v1/files")), 200);
    EXPECT_TRUE(closed_within(older, 60));
    EXPECT_TRUE(answers(newer));
    for (const int connection : {older, partial, newer}) {
        ::close(connection);
    }
}

TEST(ServerConnections, WhenEveryConnectionIsInARequestANewOneIsRefused) {
    // A server of its own: no connection of another case is still leaving
    // when these arrive.
    rovurer::server::config settings;
    settings.port = "0";
    settings.max_connections = 2;
    event_count scans;
    std::latch scans_released(1);
    settings.before_scan = [&](const std::stop_token& /*stop*/) {
        scans.add();
        scans_released.wait();
    };
    running_server server(pi_files(), settings);
    // Released however the case ends, before the server is: a scan left
    // waiting would hold the server's end for ever.
    struct release_at_end {
        std::latch& latch;
        bool done = false;
        void now() {
            if (!done) {
                done = true;
                latch.count_down();
            }
        }
        ~release_at_end() { now(); }
    } release{scans_released};

    std::vector<int> scanning;
    for (int k = 1; k <= 2; ++k) {
        scanning.push_back(connect_to(server.port()));
        ASSERT_TRUE(send_all(scanning.back(), "GET /v1/count?file=pi_base10&n=10 HTTP/1.1\r\nHost: t\r\n\r\n"));
        ASSERT_TRUE(scans.reach(k));
    }
    const std::string refused = get(server.port(), "/healthz");
    EXPECT_EQ(status_of(refused), 503);
    EXPECT_EQ(body_of(refused), "{\"error\":\"too many connections\"}\n");
    release.now();
    for (const int connection : scanning) {
        EXPECT_EQ(status_of(read_answer(connection)), 200);
        ::close(connection);
    }
}

TEST(ServerConnections, TwoThousandIdleSocketsLeaveThePageAndTheApiServing) {
    SKIP_UNLESS_LINUX("a limit of open files to raise");
    // This process holds both ends of every connection.
    constexpr int idle_count = 2000;
    const std::int64_t descriptors = rovurer::platform::raise_open_file_limit();
    if (descriptors >= 0 && descriptors < 2 * idle_count + 512) {
        GTEST_SKIP() << "the limit of open files is " << descriptors;
    }
    for (const int limit : {10000, 500}) {  // the default, and fewer than the idle sockets
        rovurer::server::config settings;
        settings.port = "0";
        settings.max_connections = limit;
        running_server server(pi_files(), settings);
        std::vector<int> idle;
        idle.reserve(idle_count);
        for (int k = 0; k < idle_count; ++k) {
            idle.push_back(connect_to(server.port()));
        }
        for (const char* target : {"/healthz", "/", "/v1/digits?file=pi_base10&n=10", "/v1/count?file=pi_base10"}) {
            EXPECT_EQ(status_of(get(server.port(), target)), 200)
                << target << " beside " << idle_count << " idle sockets, at most " << limit;
        }
        for (const int connection : idle) {
            ::close(connection);
        }
    }
}

TEST(ServerConnections, EachPhaseHasItsOwnTimeout) {
    using std::chrono::milliseconds;
    constexpr milliseconds short_time{50};
    constexpr milliseconds hour{3600000};
    struct timeout_case {
        const char* what;
        std::string sent;
        milliseconds idle;
        milliseconds read;
        bool closes = true;  // by the short timeout; else still open a second later (20 times it)
    };
    const timeout_case cases[] = {
        {"nothing sent: the idle timeout", "", short_time, hour},
        {"slow headers: the read timeout", "GET /healthz HTTP/1.1\r\nHost:", hour, short_time},
        {"between requests: the idle timeout", "GET /healthz HTTP/1.1\r\nHost: t\r\n\r\n", short_time, hour},
        // The read timeout's deadline passes while the connection waits
        // for its next request: the idle timeout, later, holds.
        {"after a request read in time: not the read timeout", "GET /healthz HTTP/1.1\r\nHost: t\r\n\r\n", hour,
         short_time, false},
    };
    for (const timeout_case& wanted : cases) {
        rovurer::server::config settings;
        settings.port = "0";
        settings.idle_timeout = wanted.idle;
        settings.read_timeout = wanted.read;
        running_server server(pi_files(), settings);
        const int connection = connect_to(server.port());
        ASSERT_TRUE(send_all(connection, wanted.sent));
        // Closed by the short timeout: the other is an hour.
        EXPECT_EQ(closed_within(connection, wanted.closes ? 60 : 1), wanted.closes) << wanted.what;
        ::close(connection);
    }
}

// The peak of this process's resident memory, in KiB, since the last reset.
std::int64_t peak_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}

TEST(ServerConnections, AFindOfEveryPositionHoldsAPageNotTheMatches) {
    SKIP_UNLESS_LINUX("/proc/self/clear_refs");
    // 30,000,001 zero digits, each a match of "0".
    fixture_header header;
    header.word_count = 1578948;
    const std::string path = write_sparse_digit_file("server-zeros", header, {});
    rovurer::result<rovurer::file> opened = rovurer::file::open(path);
    ASSERT_TRUE(opened.ok());
    std::vector<served_file> files;
    files.push_back({"zeros", std::move(opened).value()});
    rovurer::server::config settings;
    settings.port = "0";
    running_server server(std::move(files), settings);
    EXPECT_EQ(status_of(get(server.port(), "/v1/find?file=zeros&digits=0&n=100&max=10")), 200);  // warm
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
        if (!reset.flush()) {
            GTEST_SKIP() << "the peak of resident memory cannot be reset here";
        }
    }
    const std::int64_t before = peak_kib();
    const std::string answer = get(server.port(), "/v1/find?file=zeros&digits=0&n=30000000&max=30000000");
    const std::int64_t after = peak_kib();
    EXPECT_EQ(status_of(answer), 200);
    EXPECT_EQ(body_of(answer).rfind("{\"base\":10,\"digits\":\"0\",\"file\":\"zeros\",\"next\":10001,\"pos\":1,", 0),
              0U)
        << body_of(answer).substr(0, 200);
    EXPECT_NE(body_of(answer).find(",9999,10000]}\n"), std::string::npos);
    // Every match held would be 240 MB of positions alone.
    EXPECT_LT(after - before, 48 * 1024) << "KiB more at the peak";
}

}  // namespace
