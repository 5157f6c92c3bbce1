// The HTTP server of `rovurer --serve`: Boost.Beast on Boost.Asio, with
// keep-alive, bounded requests, connections and scans, timeouts, an access
// log, Prometheus metrics and a graceful end. The answers come from
// router.h; each connection is a session (session.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "server/router.h"

namespace rovurer::server {

struct config {
    std::string host = "127.0.0.1";
    std::string port = "8080";  // "0": any free port (port() tells which)
    server::limits limits;
    // Connections open at once, capped by the limit of open files. A new
    // one over it closes the connection that has waited longest for a
    // request (one that never sent a whole request first); when every
    // connection is in a request, the new one is answered 503 and closed.
    int max_connections = 10000;
    int max_scans = 2;  // finds and counts at once, each on a thread of its own; more get 503
    // Bytes of the request line and headers; more get 431. A target may
    // take half of them (limits.max_target is set from it): more gets 414.
    std::size_t max_header = 8192;
    std::chrono::milliseconds idle_timeout{30000};  // for a request's first byte
    std::chrono::milliseconds read_timeout{10000};  // for a request's headers, from their first byte
    std::chrono::milliseconds write_timeout{30000};
    std::chrono::milliseconds grace{10000};  // for requests in flight at the end
    bool quiet = false;                      // no access log
    // A seam for tests: called on the scan's thread before each scan, with
    // the token that a client going away (or the end of the grace period)
    // sets.
    std::function<void(const std::stop_token&)> before_scan;
    // A seam for tests: called on a connection's strand each time it begins
    // to wait for a request, counted as waiting in the table.
    std::function<void()> waiting_for_request;
};

// Where the server's lines go: the access log and its own messages.
using log_sink = std::function<void(std::string_view line)>;

class http_server {
public:
    // Serves `files` (which must outlive the server) as `settings` say.
    http_server(std::span<const served_file> files, const config& settings, log_sink log);
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    // Raises the limit of open files, lowering max_connections to fit it;
    // binds and listens. The error message, or ""
    // once listening.
    std::string listen();
    unsigned short port() const;
    // The connections it takes, after listen().
    int max_connections() const;

    // Serves until SIGINT or SIGTERM (with `signals`) or stop(), then ends
    // gracefully: no new connection, the requests in flight finished within
    // the grace period, scans still running stopped after it.
    void run(bool signals);

    // Ends the server as a signal would; from any thread.
    void stop();

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace rovurer::server
