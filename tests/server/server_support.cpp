#include "server_support.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "rovurer/file.h"
#include "test_paths.h"

using rovurer::server::served_file;

running_server::running_server(std::vector<served_file> files, const rovurer::server::config& settings)
    : files_(std::move(files)), server_(files_, settings, [this](std::string_view line) {
          const std::lock_guard<std::mutex> held(lock_);
          log_ += std::string(line) + "\n";
      }) {
    EXPECT_EQ(server_.listen(), "");
    thread_ = std::thread([this] { server_.run(false); });
}

running_server::~running_server() {
    server_.stop();
    thread_.join();
}

std::string running_server::log() {
    const std::lock_guard<std::mutex> held(lock_);
    return log_;
}

void running_server::join() {
    thread_.join();
    thread_ = std::thread([] {});
}

int connect_to(unsigned short port) {
    const int socket_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return socket_fd;
}

bool send_all(int socket_fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::string round_trip(unsigned short port, const std::string& request) {
    const int socket_fd = connect_to(port);
    EXPECT_TRUE(send_all(socket_fd, request));
    std::string received;
    char buffer[65536];
    for (ssize_t got = 0; (got = ::recv(socket_fd, buffer, sizeof buffer, 0)) > 0;) {
        received.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(socket_fd);
    return received;
}

std::string get(unsigned short port, const std::string& target, const std::string& method) {
    return round_trip(port, method + " " + target + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n");
}

std::string read_answer(int socket_fd) {
    std::string received;
    char byte = 0;
    while (received.find("\r\n\r\n") == std::string::npos && ::recv(socket_fd, &byte, 1, 0) == 1) {
        received += byte;
    }
    const std::size_t length_at = received.find("Content-Length: ");
    if (length_at == std::string::npos) {
        return received;
    }
    std::size_t length = std::stoul(received.substr(length_at + 16));
    std::string body(length, '\0');
    for (std::size_t at = 0; at < length;) {
        const ssize_t got = ::recv(socket_fd, body.data() + at, length - at, 0);
        if (got <= 0) {
            body.resize(at);
            break;
        }
        at += static_cast<std::size_t>(got);
    }
    return received + body;
}

int status_of(const std::string& response) {
    return response.size() > 12 ? std::stoi(response.substr(9, 3)) : 0;
}

std::string body_of(const std::string& response) {
    const std::size_t end = response.find("\r\n\r\n");
    if (end == std::string::npos) {
        return "";
    }
    std::string body = response.substr(end + 4);
    if (response.substr(0, end).find("Transfer-Encoding: chunked") == std::string::npos) {
        return body;
    }
    std::string decoded;
    for (std::size_t at = 0;;) {
        const std::size_t line_end = body.find("\r\n", at);
        if (line_end == std::string::npos) {
            return decoded + "<CUT>";
        }
        const std::size_t size = std::stoul(body.substr(at, line_end - at), nullptr, 16);
        if (size == 0) {
            return decoded;
        }
        decoded += body.substr(line_end + 2, size);
        at = line_end + 2 + size + 2;
    }
}

bool closed_within(int socket_fd, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd watched{socket_fd, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        if (::recv(socket_fd, buffer, sizeof buffer, 0) <= 0) {
            return true;
        }
    }
}

std::vector<served_file> pi_files() {
    std::vector<served_file> files;
    for (const char* name : {"pi_base10", "pi_base16"}) {
        rovurer::result<rovurer::file> opened = rovurer::file::open(std::string(source_dir) + "/examples/" + name);
        EXPECT_TRUE(opened.ok());
        files.push_back({name, std::move(opened).value()});
    }
    return files;
}
