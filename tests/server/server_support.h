// Helpers of the server's tests: a server on a thread of its own, on an
// ephemeral loopback port, and raw clients of it.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "server/http_server.h"

// A server on its own thread for the life of the object.
class running_server {
public:
    running_server(std::vector<rovurer::server::served_file> files, const rovurer::server::config& settings);
    ~running_server();
    running_server(const running_server&) = delete;
    running_server& operator=(const running_server&) = delete;

    unsigned short port() const { return server_.port(); }
    int max_connections() const { return server_.max_connections(); }
    std::string log();
    // Ends the server and waits for it, as SIGTERM does.
    void end() {
        stop();
        join();
    }
    void stop() { server_.stop(); }
    void join();

private:
    std::vector<rovurer::server::served_file> files_;
    rovurer::server::http_server server_;
    std::mutex lock_;
    std::string log_;
    std::thread thread_;
};

// A connected client socket (a descriptor).
int connect_to(unsigned short port);

// Sends all of `bytes`.
bool send_all(int socket_fd, std::string_view bytes);

// Sends `request` as it is and reads until the server closes.
std::string round_trip(unsigned short port, const std::string& request);

// A GET (or `method`) of `target` with "Connection: close".
std::string get(unsigned short port, const std::string& target, const std::string& method = "GET");

// One whole answer on a kept connection: its headers, and a body of the
// length they give.
std::string read_answer(int socket_fd);

int status_of(const std::string& response);

// The body; a chunked one decoded, with "<CUT>" where it ends without its
// last chunk.
std::string body_of(const std::string& response);

// Whether the server closed the connection (the next read gives its end)
// within `seconds`; what it sent before is read and dropped.
bool closed_within(int socket_fd, int seconds);

// The two samples, under their names.
std::vector<rovurer::server::served_file> pi_files();
