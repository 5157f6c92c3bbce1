// One connection of the HTTP server: requests read and answered one after
// another, on a strand of its own. A connection waiting for a request holds
// its socket and a timer only; the buffers and parser of a request are made
// when its first bytes arrive and freed once it is answered.
#pragma once

#include <array>
#include <utility>  // before Asio, which uses std::exchange

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "server/connection_table.h"
#include "server/http_server.h"
#include "server/metrics.h"
#include "server/router.h"

namespace rovurer::server {

class session;

// What every connection shares: the server's files, settings and counters.
struct server_context {
    std::span<const served_file> files;
    config settings;
    log_sink log;
    server::metrics counters;
    std::optional<boost::asio::thread_pool> scans;
    connection_table<std::shared_ptr<session>> table{0};
    // Asked at the end of the grace period: every scan still running stops.
    std::stop_source scans_end;
    // Called once a connection has ended and left the table.
    std::function<void()> connection_ended;
};

class session : public std::enable_shared_from_this<session> {
public:
    using tcp = boost::asio::ip::tcp;

    session(tcp::socket socket, server_context& server);
    ~session();
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // Its place in the table, set before start().
    connection_table<std::shared_ptr<session>>::slot place;

    // Begins on its strand: waits for a request, or, `over` the limit of
    // connections, answers 503 at once and closes.
    void start(bool over);

    // At the end of the server: a connection between requests closes now;
    // one in the middle of a request closes after its answer. Any thread.
    void end_when_idle();

    // Closes a waiting connection at once, to make room. Any thread.
    void evict();

private:
    struct exchange;

    void wait_for_request();
    void read_headers();
    void on_headers(boost::beast::error_code error);
    void start_scan(const std::string& method, const std::string& target);
    void watch_disconnect();
    void answer_now(unsigned status, const std::string& message);
    void send(answer answered);
    void send_stream(answer answered);
    void send_piece();
    void on_sent(boost::beast::error_code error, std::size_t bytes);
    void close();
    void drain();
    void finish();
    void arm(std::chrono::milliseconds limit);
    void disarm();
    void wait_for_deadline();

    tcp::socket socket_;
    boost::asio::steady_timer deadline_;
    server_context& server_;
    tcp::endpoint peer_;
    std::unique_ptr<exchange> exchange_;  // while a request is read and answered
    std::unique_ptr<std::array<char, 512>> drained_;
    // The deadline in force, if armed. The timer's wait is not cancelled
    // when the deadline moves later or goes: when it ends it waits again
    // until the deadline in force, or does nothing (a request arms and
    // disarms it several times, and a cancelled wait costs a handler).
    std::chrono::steady_clock::time_point deadline_at_;
    std::chrono::steady_clock::time_point waiting_until_;  // of the timer's wait, while waiting_
    bool armed_ = false;
    bool waiting_ = false;
    bool idle_ = false;    // waiting for a request
    bool ending_ = false;  // the server is ending: no request after this one
    bool closed_ = false;
    bool finished_ = false;
};

}  // namespace rovurer::server
