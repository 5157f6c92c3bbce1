#include "server/http_server.h"

#include "platform/platform.h"
#include "reader/word_source.h"
#include "rovurer/scan.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

namespace rovurer::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using clock_type = std::chrono::steady_clock;

namespace {

// The counters behind /metrics.
class metrics {
public:
    static constexpr std::array<double, 9> bounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 1.0, 10.0};

    void request(std::string_view route, unsigned status, double seconds, std::int64_t digits) {
        const std::lock_guard<std::mutex> held(lock_);
        ++requests_[{std::string(route), status}];
        for (std::size_t k = 0; k < bounds.size(); ++k) {
            buckets_[k] += seconds <= bounds[k] ? 1U : 0U;
        }
        ++count_;
        sum_ += seconds;
        digits_ += digits;
    }

    std::atomic<int> scans{0};
    std::atomic<int> connections{0};

    std::string text() const {
        const std::lock_guard<std::mutex> held(lock_);
        std::string out =
            "# HELP rovurer_requests_total Requests answered, by route and status.\n"
            "# TYPE rovurer_requests_total counter\n";
        for (const auto& [key, count] : requests_) {
            out += "rovurer_requests_total{route=\"" + key.first + "\",status=\"" + std::to_string(key.second) +
                   "\"} " + std::to_string(count) + "\n";
        }
        out +=
            "# HELP rovurer_request_duration_seconds Time from a request's headers to its answer's last byte.\n"
            "# TYPE rovurer_request_duration_seconds histogram\n";
        for (std::size_t k = 0; k < bounds.size(); ++k) {
            std::string bound = std::to_string(bounds[k]);
            bound.erase(bound.find_last_not_of('0') + 1);
            out +=
                "rovurer_request_duration_seconds_bucket{le=\"" + bound + "\"} " + std::to_string(buckets_[k]) + "\n";
        }
        out += "rovurer_request_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(count_) + "\n";
        out += "rovurer_request_duration_seconds_sum " + std::to_string(sum_) + "\n";
        out += "rovurer_request_duration_seconds_count " + std::to_string(count_) + "\n";
        out +=
            "# HELP rovurer_digits_served_total Digits sent in answers of /v1/digits.\n"
            "# TYPE rovurer_digits_served_total counter\n"
            "rovurer_digits_served_total " +
            std::to_string(digits_) + "\n";
        out +=
            "# HELP rovurer_scans_running Finds and counts running now.\n# TYPE rovurer_scans_running gauge\n"
            "rovurer_scans_running " +
            std::to_string(scans.load()) + "\n";
        out +=
            "# HELP rovurer_connections_open Connections open now.\n# TYPE rovurer_connections_open gauge\n"
            "rovurer_connections_open " +
            std::to_string(connections.load()) + "\n";
        return out;
    }

private:
    mutable std::mutex lock_;
    std::map<std::pair<std::string, unsigned>, std::uint64_t> requests_;
    std::array<std::uint64_t, bounds.size()> buckets_{};
    std::uint64_t count_ = 0;
    double sum_ = 0;
    std::int64_t digits_ = 0;
};

// A request line as the access log shows it: bytes that are not printable
// ASCII, quotes and backslashes escaped, so that no request can forge a line.
std::string loggable(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
            constexpr std::string_view hex = "0123456789abcdef";
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 15];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    std::array<char, 32> text{};
    return std::string(text.data(), std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &parts));
}

}  // namespace

class session;

struct http_server::state {
    std::span<const served_file> files;
    config settings;
    log_sink log;
    asio::io_context io;
    // The acceptor, the signals and the end run on one strand of their own;
    // each connection on another.
    asio::strand<asio::io_context::executor_type> control{asio::make_strand(io)};
    tcp::acceptor acceptor{control};
    asio::signal_set signals{control};
    asio::steady_timer grace{control};
    std::optional<asio::thread_pool> scans;
    server::metrics counters;
    std::mutex lock;                              // guards the sessions and ending
    std::set<std::shared_ptr<session>> sessions;  // the connections open
    bool ending = false;

    void accept();
    void begin_end();
    void session_ended(const std::shared_ptr<session>& ended);
};

// One connection: requests read and answered one after another.
class session : public std::enable_shared_from_this<session> {
public:
    // `busy`: over the limit of connections, to be answered 503 at once.
    session(tcp::socket socket, http_server::state& server, bool busy)
        : stream_(std::move(socket)), server_(server), busy_(busy) {
        beast::error_code ignored;
        const tcp::endpoint peer = stream_.socket().remote_endpoint(ignored);
        client_ = ignored ? "-" : peer.address().to_string() + ":" + std::to_string(peer.port());
    }

    void start() {
        asio::dispatch(stream_.get_executor(), [self = shared_from_this()] {
            if (self->busy_) {
                self->answer_now(503, "too many connections", false);
            } else {
                self->wait_for_request();
            }
        });
    }

    // At the end of the server: a connection between requests closes now;
    // one in the middle of a request closes after its answer.
    void end_when_idle() {
        asio::post(stream_.get_executor(), [self = shared_from_this()] {
            self->ending_ = true;
            if (self->idle_) {
                beast::error_code ignored;
                self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
                self->stream_.cancel();
            }
        });
    }

    // After the grace period: a scan still running stops.
    void stop_scan() { scan_stop_.request_stop(); }

private:
    void wait_for_request() {
        if (ending_) {
            close();
            return;
        }
        idle_ = true;
        stream_.expires_after(server_.settings.idle_timeout);
        // The first bytes of the next request, then its headers within the read timeout.
        if (buffer_.size() > 0) {
            read_headers();
            return;
        }
        stream_.async_read_some(buffer_.prepare(4096),
                                [self = shared_from_this()](beast::error_code error, std::size_t got) {
                                    self->buffer_.commit(got);
                                    if (error) {
                                        self->close();
                                        return;
                                    }
                                    self->read_headers();
                                });
    }

    void read_headers() {
        idle_ = false;
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.settings.max_header));
        parser_->body_limit(0);
        stream_.expires_after(server_.settings.read_timeout);
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, std::size_t /*bytes*/) { self->on_headers(error); });
    }

    void on_headers(beast::error_code error) {
        started_ = clock_type::now();
        if (error == http::error::header_limit) {
            answer_now(
                431, "the request line and headers are over " + std::to_string(server_.settings.max_header) + " bytes",
                false);
            return;
        }
        if (error == http::error::body_limit) {
            answer_now(413, "a request may not have a body", false);
            return;
        }
        if (error) {
            if (error != http::error::end_of_stream && error != beast::error::timeout &&
                error != asio::error::operation_aborted && error != asio::error::eof) {
                answer_now(400, "a request that is not HTTP/1.1: " + error.message(), false);
                return;
            }
            close();
            return;
        }
        const auto& request = parser_->get();
        const std::string target(request.target());
        const std::string method(request.method_string());
        request_line_ = method + " " + target + (request.version() == 10 ? " HTTP/1.0" : " HTTP/1.1");
        keep_alive_ = request.keep_alive();
        head_ = request.method() == http::verb::head;
        route_ = std::string(route_name(target));
        if (request.has_content_length() || request.chunked()) {
            if (!request.has_content_length() || parser_->content_length().value_or(0) > 0) {
                answer_now(413, "a request may not have a body", false);
                return;
            }
        }
        if (route_ == "/metrics" && (method == "GET" || method == "HEAD")) {
            answer metrics_answer;
            metrics_answer.content_type = "text/plain; version=0.0.4";
            metrics_answer.body = server_.counters.text();
            send(std::move(metrics_answer));
            return;
        }
        if (kind_of(target) != route_kind::scan || (method != "GET" && method != "HEAD")) {
            send(respond(method, target, server_.files, server_.settings.limits));
            return;
        }
        if (server_.counters.scans.fetch_add(1) >= server_.settings.max_scans) {
            server_.counters.scans.fetch_sub(1);
            answer busy;
            busy.status = 503;
            busy.body = error_body("too many scans at once: " + std::to_string(server_.settings.max_scans) +
                                   " run now; try again");
            send(std::move(busy));
            return;
        }
        // The scan on the pool; a client that goes away stops it.
        scan_stop_ = std::stop_source();
        watch_disconnect();
        asio::post(*server_.scans, [self = shared_from_this(), method, target, stop = scan_stop_.get_token()] {
            if (self->server_.settings.before_scan) {
                self->server_.settings.before_scan(stop);
            }
            answer found = respond(method, target, self->server_.files, self->server_.settings.limits, stop);
            self->server_.counters.scans.fetch_sub(1);
            asio::post(self->stream_.get_executor(), [self, found = std::move(found)]() mutable {
                self->stream_.socket().cancel();  // the watch for a disconnect
                self->send(std::move(found));
            });
        });
    }

    // While a scan runs: the end of the connection stops it. Bytes of a
    // next request are left for later.
    void watch_disconnect() {
        stream_.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code error) {
            if (error) {
                return;
            }
            char byte = 0;
            const auto got = ::recv(self->stream_.socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got == 0) {
                self->scan_stop_.request_stop();
            }
        });
    }

    void answer_now(unsigned status, const std::string& message, bool keep) {
        keep_alive_ = keep && keep_alive_;
        if (request_line_.empty()) {
            request_line_ = "-";
        }
        answer refused;
        refused.status = status;
        refused.body = error_body(message);
        send(std::move(refused));
    }

    void send(answer answered) {
        if (answered.stream_from != nullptr) {
            send_stream(std::move(answered));
            return;
        }
        auto response =
            std::make_shared<http::response<http::string_body>>(static_cast<http::status>(answered.status), 11);
        response->set(http::field::content_type, answered.content_type);
        response->set(http::field::cache_control, "no-store");
        if (!answered.allow.empty()) {
            response->set(http::field::allow, answered.allow);
        }
        response->set("X-Content-Type-Options", "nosniff");
        if (answered.page) {
            // Its script and style are inline; it fetches nothing but the API.
            response->set("Content-Security-Policy",
                          "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                          "connect-src 'self'; img-src 'self' data:; base-uri 'none'; form-action 'none'");
            response->set("Referrer-Policy", "no-referrer");
        }
        keep_alive_ = keep_alive_ && !ending_ && answered.status < 500 && answered.status != 413 &&
                      answered.status != 431 && answered.status != 414;
        response->keep_alive(keep_alive_);
        response->body() = std::move(answered.body);
        response->prepare_payload();
        if (head_) {
            response->body().clear();  // the length stays that of the body
        }
        const std::size_t bytes = response->body().size();
        status_ = answered.status;
        digits_ = answered.digits_served;
        stream_.expires_after(server_.settings.write_timeout);
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response, bytes](beast::error_code error, std::size_t) {
                              self->on_sent(error, bytes);
                          });
    }

    // Digits as text in chunks, each read as it goes: a read that fails ends
    // the connection without the last chunk, so the client knows the text
    // is cut, and is never sent a digit that was not read.
    void send_stream(answer answered) {
        status_ = answered.status;
        digits_ = 0;
        streamed_ = std::move(answered);
        streamed_bytes_ = 0;
        keep_alive_ = keep_alive_ && !ending_;
        stream_header_.emplace(http::status::ok, 11);
        stream_header_->set(http::field::content_type, streamed_.content_type);
        stream_header_->set(http::field::cache_control, "no-store");
        stream_header_->set("X-Content-Type-Options", "nosniff");
        stream_header_->keep_alive(keep_alive_);
        stream_header_->chunked(true);
        serializer_.emplace(*stream_header_);
        stream_.expires_after(server_.settings.write_timeout);
        http::async_write_header(stream_, *serializer_,
                                 [self = shared_from_this()](beast::error_code error, std::size_t /*bytes*/) {
                                     if (error || self->head_) {
                                         self->on_sent(error, 0);
                                         return;
                                     }
                                     self->send_piece();
                                 });
    }

    void send_piece() {
        static constexpr std::int64_t piece_digits = 65536;
        const rovurer::range& whole = streamed_.stream;
        if (digits_ == whole.count) {
            piece_ = "\n";
            stream_.expires_after(server_.settings.write_timeout);
            asio::async_write(stream_, http::make_chunk(asio::buffer(piece_)),
                              [self = shared_from_this()](beast::error_code error, std::size_t /*bytes*/) {
                                  if (error) {
                                      self->on_sent(error, self->streamed_bytes_);
                                      return;
                                  }
                                  asio::async_write(self->stream_, http::make_chunk_last(),
                                                    [self](beast::error_code last_error, std::size_t /*bytes*/) {
                                                        self->on_sent(last_error, self->streamed_bytes_ + 1);
                                                    });
                              });
            return;
        }
        const std::int64_t wanted = std::min(piece_digits, whole.count - digits_);
        piece_.resize(static_cast<std::size_t>(wanted));
        const result<std::int64_t> got =
            rovurer::read(streamed_.stream_from->file, {whole.base, whole.pos + digits_, wanted}, piece_);
        if (!got || *got != wanted) {
            // Cut: no last chunk, and the connection ends.
            keep_alive_ = false;
            on_sent(beast::error_code(asio::error::connection_aborted), streamed_bytes_);
            return;
        }
        stream_.expires_after(server_.settings.write_timeout);
        asio::async_write(stream_, http::make_chunk(asio::buffer(piece_)),
                          [self = shared_from_this(), wanted](beast::error_code error, std::size_t /*bytes*/) {
                              if (error) {
                                  self->on_sent(error, self->streamed_bytes_);
                                  return;
                              }
                              self->digits_ += wanted;
                              self->streamed_bytes_ += static_cast<std::size_t>(wanted);
                              self->send_piece();
                          });
    }

    void on_sent(beast::error_code error, std::size_t bytes) {
        const double seconds = std::chrono::duration<double>(clock_type::now() - started_).count();
        server_.counters.request(route_, status_, seconds, digits_);
        if (!server_.settings.quiet) {
            std::array<char, 32> took{};
            (void)std::snprintf(took.data(), took.size(), "%.3fms", seconds * 1000);
            server_.log(utc_now() + " " + client_ + " \"" + loggable(request_line_) + "\" " + std::to_string(status_) +
                        " " + std::to_string(bytes) + " " + took.data());
        }
        request_line_.clear();
        if (error || !keep_alive_) {
            close();
            return;
        }
        wait_for_request();
    }

    // Ends the connection: its sending side at once, then what the client
    // still sends is read and dropped for a moment, so that a reset does
    // not destroy the answer before the client reads it.
    void close() {
        if (closed_) {
            return;
        }
        closed_ = true;
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(1));
        drain();
    }

    void drain() {
        stream_.async_read_some(asio::buffer(drained_),
                                [self = shared_from_this()](beast::error_code error, std::size_t /*got*/) {
                                    if (!error) {
                                        self->drain();
                                        return;
                                    }
                                    beast::error_code ignored;
                                    self->stream_.socket().close(ignored);
                                    self->server_.session_ended(self);
                                });
    }

    beast::tcp_stream stream_;
    http_server::state& server_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::string client_;
    std::string request_line_;
    std::string route_ = "other";
    clock_type::time_point started_ = clock_type::now();
    std::stop_source scan_stop_;
    unsigned status_ = 0;
    std::int64_t digits_ = 0;
    bool keep_alive_ = false;
    bool head_ = false;
    bool idle_ = false;    // waiting for a request
    bool ending_ = false;  // the server is ending: no request after this one
    bool closed_ = false;
    bool busy_ = false;
    answer streamed_;  // a text answer sent in pieces
    std::optional<http::response<http::empty_body>> stream_header_;
    std::optional<http::response_serializer<http::empty_body>> serializer_;
    std::string piece_;
    std::size_t streamed_bytes_ = 0;
    std::array<char, 4096> drained_{};
};

void http_server::state::accept() {
    acceptor.async_accept(asio::make_strand(io), [this](beast::error_code error, tcp::socket socket) {
        if (error) {
            return;  // the acceptor was closed: the server is ending
        }
        // One over the limit is answered 503 and closed, as any answer is.
        bool room = false;
        {
            const std::lock_guard<std::mutex> held(lock);
            room = !ending && static_cast<int>(sessions.size()) < settings.max_connections;
        }
        const auto opened = std::make_shared<session>(std::move(socket), *this, !room);
        {
            const std::lock_guard<std::mutex> held(lock);
            sessions.insert(opened);
            counters.connections.store(static_cast<int>(sessions.size()));
        }
        opened->start();
        accept();
    });
}

void http_server::state::begin_end() {
    std::vector<std::shared_ptr<session>> open;
    {
        const std::lock_guard<std::mutex> held(lock);
        if (ending) {
            return;
        }
        ending = true;
        open.assign(sessions.begin(), sessions.end());
    }
    beast::error_code ignored;
    acceptor.close(ignored);
    signals.cancel(ignored);
    for (const std::shared_ptr<session>& connection : open) {
        connection->end_when_idle();
    }
    if (open.empty()) {
        return;
    }
    grace.expires_after(settings.grace);
    grace.async_wait([this](beast::error_code error) {
        if (error) {
            return;  // every connection ended in time
        }
        const std::lock_guard<std::mutex> held(lock);
        for (const std::shared_ptr<session>& connection : sessions) {
            connection->stop_scan();
        }
        io.stop();
    });
}

void http_server::state::session_ended(const std::shared_ptr<session>& ended) {
    const std::lock_guard<std::mutex> held(lock);
    sessions.erase(ended);
    counters.connections.store(static_cast<int>(sessions.size()));
    if (ending && sessions.empty()) {
        asio::post(control, [this] { grace.cancel(); });
    }
}

http_server::http_server(std::span<const served_file> files, const config& settings, log_sink log)
    : state_(std::make_unique<state>()) {
    state_->files = files;
    state_->settings = settings;
    state_->log = std::move(log);
}

http_server::~http_server() {
    if (state_->scans) {
        state_->scans->join();
    }
}

std::string http_server::listen() {
    beast::error_code error;
    tcp::resolver resolver(state_->io);
    const auto found = resolver.resolve(state_->settings.host, state_->settings.port,
                                        tcp::resolver::passive | tcp::resolver::numeric_service, error);
    if (error || found.empty()) {
        return "cannot listen on " + state_->settings.host + ":" + state_->settings.port + ": " + error.message();
    }
    const tcp::endpoint at = found.begin()->endpoint();
    tcp::acceptor& acceptor = state_->acceptor;
    acceptor.open(at.protocol(), error);
    if (!error) {
        acceptor.set_option(asio::socket_base::reuse_address(true), error);
    }
    if (!error) {
        acceptor.bind(at, error);
    }
    if (!error) {
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        return "cannot listen on " + state_->settings.host + ":" + state_->settings.port + ": " + error.message();
    }
    return {};
}

unsigned short http_server::port() const {
    beast::error_code ignored;
    return state_->acceptor.local_endpoint(ignored).port();
}

void http_server::run(bool signals) {
    state& server = *state_;
    server.scans.emplace(static_cast<std::size_t>(server.settings.max_scans > 0 ? server.settings.max_scans : 1));
    if (signals) {
        server.signals.add(SIGINT);
        server.signals.add(SIGTERM);
        server.signals.async_wait([&server](beast::error_code error, int /*signal*/) {
            if (!error) {
                server.begin_end();
            }
        });
    }
    asio::post(server.control, [&server] { server.accept(); });
    // Lookups run on these threads, one per processor: each keeps the block
    // buffers its reads free for the next, rather than mapping 8 MiB a read.
    const int threads = std::max(1, platform::usable_processors());
    const auto serve = [&server] {
        const block_reuse buffers;
        server.io.run();
    };
    std::vector<std::thread> helpers;
    for (int k = 1; k < threads; ++k) {
        try {
            helpers.emplace_back(serve);
        } catch (const std::system_error&) {
            break;  // the threads started so far serve
        }
    }
    serve();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    server.scans->join();
}

void http_server::stop() {
    asio::post(state_->control, [server = state_.get()] { server->begin_end(); });
}

}  // namespace rovurer::server
