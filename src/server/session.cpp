#include "server/session.h"

#include <sys/socket.h>

#include <algorithm>
#include <utility>

#include "rovurer/scan.h"
#include "server/access_log.h"

namespace rovurer::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using clock_type = std::chrono::steady_clock;

// What a request needs while it is read and answered.
struct session::exchange {
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::empty_body>> parser;
    std::string request_line;
    std::string route = "other";
    clock_type::time_point started = clock_type::now();
    std::stop_source scan_stop{std::nostopstate};
    unsigned status = 0;
    unsigned version = 11;  // of the request, and so of the answer
    std::int64_t digits = 0;
    bool keep_alive = false;
    bool head = false;
    answer streamed;  // a text answer sent in pieces
    std::optional<http::response<http::empty_body>> stream_header;
    std::optional<http::response_serializer<http::empty_body>> serializer;
    std::string piece;
    std::size_t streamed_bytes = 0;
};

session::session(tcp::socket socket, server_context& server)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), server_(server) {
    beast::error_code ignored;
    peer_ = socket_.remote_endpoint(ignored);
}

session::~session() = default;

void session::start(bool over) {
    asio::dispatch(socket_.get_executor(), [self = shared_from_this(), over] {
        if (over) {
            self->answer_now(503, "too many connections");
        } else {
            self->wait_for_request();
        }
    });
}

void session::end_when_idle() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        self->ending_ = true;
        if (self->idle_) {
            beast::error_code ignored;
            self->socket_.shutdown(tcp::socket::shutdown_both, ignored);
            self->socket_.cancel(ignored);
        }
    });
}

void session::evict() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        if (!self->closed_) {
            self->closed_ = true;
            self->finish();
        }
    });
}

// A deadline for the operation about to start: when it passes, the
// operation is cancelled and its handler closes the connection.
void session::arm(std::chrono::milliseconds limit) {
    deadline_at_ = clock_type::now() + limit;
    armed_ = true;
    if (!waiting_ || deadline_at_ < waiting_until_) {
        wait_for_deadline();
    }
}

void session::disarm() {
    armed_ = false;
}

// Waits until the deadline in force; a wait already under way ends at once,
// as cancelled, and does nothing.
void session::wait_for_deadline() {
    waiting_ = true;
    waiting_until_ = deadline_at_;
    deadline_.expires_at(deadline_at_);
    deadline_.async_wait([self = shared_from_this()](beast::error_code error) {
        if (error) {
            return;  // cancelled: a later wait, or none, is the session's
        }
        self->waiting_ = false;
        if (!self->armed_ || self->finished_) {
            return;
        }
        if (clock_type::now() < self->deadline_at_) {
            self->wait_for_deadline();  // the deadline moved later
            return;
        }
        beast::error_code ignored;
        self->socket_.cancel(ignored);
    });
}

void session::wait_for_request() {
    if (ending_) {
        // The server is ending: its last answer is sent, and nothing the
        // client sends now is read.
        beast::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_receive, ignored);
        close();
        return;
    }
    if (exchange_ && exchange_->buffer.size() > 0) {
        read_headers();  // the next request came with the last one
        return;
    }
    // Nothing is held for a waiting connection but its socket and timer.
    exchange_.reset();
    idle_ = true;
    arm(server_.settings.idle_timeout);
    if (server_.settings.waiting_for_request) {
        server_.settings.waiting_for_request();
    }
    socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code error) {
        self->idle_ = false;
        if (error || self->closed_) {
            self->close();
            return;
        }
        self->read_headers();
    });
}

void session::read_headers() {
    if (!exchange_) {
        exchange_ = std::make_unique<exchange>();
    }
    exchange& now = *exchange_;
    now.parser.emplace();
    now.parser->header_limit(static_cast<std::uint32_t>(server_.settings.max_header));
    now.parser->body_limit(0);
    // From its first byte, a request's headers have the read timeout.
    arm(server_.settings.read_timeout);
    http::async_read_header(
        socket_, now.buffer, *now.parser,
        [self = shared_from_this()](beast::error_code error, std::size_t /*bytes*/) { self->on_headers(error); });
}

void session::on_headers(beast::error_code error) {
    disarm();
    if (closed_) {
        return;
    }
    exchange& now = *exchange_;
    now.started = clock_type::now();
    if (error == http::error::header_limit) {
        answer_now(431,
                   "the request line and headers are over " + std::to_string(server_.settings.max_header) + " bytes");
        return;
    }
    if (error == http::error::body_limit) {
        answer_now(413, "a request may not have a body");
        return;
    }
    if (error) {
        if (error != http::error::end_of_stream && error != asio::error::operation_aborted &&
            error != asio::error::eof && error != asio::error::connection_reset) {
            answer_now(400, "a request that is not HTTP/1.1 or HTTP/1.0: " + error.message());
            return;
        }
        close();
        return;
    }
    if (!server_.table.move(place, connection_phase::busy)) {
        close();  // closed to make room just as its request came
        return;
    }
    const auto& request = now.parser->get();
    const std::string target(request.target());
    const std::string method(request.method_string());
    now.version = request.version() == 10 ? 10 : 11;
    now.request_line = method + " " + target + (now.version == 10 ? " HTTP/1.0" : " HTTP/1.1");
    now.keep_alive = request.keep_alive();
    now.head = request.method() == http::verb::head;
    now.route = std::string(route_name(target));
    if (request.has_content_length() || request.chunked()) {
        if (!request.has_content_length() || now.parser->content_length().value_or(0) > 0) {
            answer_now(413, "a request may not have a body");
            return;
        }
    }
    if (kind_of(target) != route_kind::scan || (method != "GET" && method != "HEAD")) {
        send(respond(method, target, server_.files, server_.settings.limits, {}, &server_.counters));
        return;
    }
    if (server_.counters.scans.fetch_add(1) >= server_.settings.max_scans) {
        server_.counters.scans.fetch_sub(1);
        answer busy;
        busy.status = 503;
        busy.body =
            error_body("too many scans at once: " + std::to_string(server_.settings.max_scans) + " run now; try again");
        send(std::move(busy));
        return;
    }
    start_scan(method, target);
}

// The scan on the pool; a client that goes away stops it, and so does the
// end of the grace period.
void session::start_scan(const std::string& method, const std::string& target) {
    exchange_->scan_stop = std::stop_source();
    watch_disconnect();
    asio::post(*server_.scans, [self = shared_from_this(), method, target, source = exchange_->scan_stop]() mutable {
        const std::stop_callback at_end(self->server_.scans_end.get_token(), [&source] { source.request_stop(); });
        const std::stop_token stop = source.get_token();
        if (self->server_.settings.before_scan) {
            self->server_.settings.before_scan(stop);
        }
        answer found = respond(method, target, self->server_.files, self->server_.settings.limits, stop);
        self->server_.counters.scans.fetch_sub(1);
        asio::post(self->socket_.get_executor(), [self, found = std::move(found)]() mutable {
            beast::error_code ignored;
            self->socket_.cancel(ignored);  // the watch for a disconnect
            self->send(std::move(found));
        });
    });
}

// While a scan runs: the end of the connection stops it. Bytes of a next
// request are left for later.
void session::watch_disconnect() {
    socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code error) {
        if (error || !self->exchange_) {
            return;
        }
        char byte = 0;
        const auto got = ::recv(self->socket_.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got == 0) {
            self->exchange_->scan_stop.request_stop();
        }
    });
}

void session::answer_now(unsigned status, const std::string& message) {
    if (!exchange_) {
        exchange_ = std::make_unique<exchange>();
    }
    exchange_->keep_alive = false;
    if (exchange_->request_line.empty()) {
        exchange_->request_line = "-";
    }
    answer refused;
    refused.status = status;
    refused.body = error_body(message);
    send(std::move(refused));
}

void session::send(answer answered) {
    if (answered.stream_from != nullptr) {
        send_stream(std::move(answered));
        return;
    }
    exchange& now = *exchange_;
    auto response =
        std::make_shared<http::response<http::string_body>>(static_cast<http::status>(answered.status), now.version);
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
    if (answered.content_type == "image/svg+xml") {
        response->set("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");  // a picture only
    }
    now.keep_alive = now.keep_alive && !ending_ && answered.status < 500 && answered.status != 413 &&
                     answered.status != 431 && answered.status != 414;
    response->keep_alive(now.keep_alive);
    response->body() = std::move(answered.body);
    response->prepare_payload();
    if (now.head) {
        response->body().clear();  // the length stays that of the body
    }
    const std::size_t bytes = response->body().size();
    now.status = answered.status;
    now.digits = answered.digits_served;
    arm(server_.settings.write_timeout);
    http::async_write(socket_, *response,
                      [self = shared_from_this(), response, bytes](beast::error_code error, std::size_t /*written*/) {
                          self->on_sent(error, bytes);
                      });
}

// Digits as text, each piece read as it goes: a read that fails ends the
// connection early (without the last chunk in HTTP/1.1, short of the
// length in HTTP/1.0), so the client knows the text is cut, and is never
// sent a digit that was not read.
void session::send_stream(answer answered) {
    exchange& now = *exchange_;
    now.status = answered.status;
    now.digits = 0;
    now.streamed = std::move(answered);
    now.streamed_bytes = 0;
    now.keep_alive = now.keep_alive && !ending_;
    now.stream_header.emplace(http::status::ok, now.version);
    http::response<http::empty_body>& header = *now.stream_header;
    header.set(http::field::content_type, now.streamed.content_type);
    header.set(http::field::cache_control, "no-store");
    header.set("X-Content-Type-Options", "nosniff");
    header.keep_alive(now.keep_alive);
    if (now.version == 10) {
        header.content_length(static_cast<std::uint64_t>(now.streamed.stream.count) + 1);
    } else {
        header.chunked(true);
    }
    now.serializer.emplace(header);
    arm(server_.settings.write_timeout);
    http::async_write_header(socket_, *now.serializer,
                             [self = shared_from_this()](beast::error_code error, std::size_t /*bytes*/) {
                                 if (error || self->exchange_->head) {
                                     self->on_sent(error, 0);
                                     return;
                                 }
                                 self->send_piece();
                             });
}

void session::send_piece() {
    static constexpr std::int64_t piece_digits = 65536;
    exchange& now = *exchange_;
    const rovurer::range& whole = now.streamed.stream;
    const bool chunked = now.version != 10;
    if (now.digits == whole.count) {
        now.piece = "\n";
        arm(server_.settings.write_timeout);
        const auto last = [self = shared_from_this(), chunked](beast::error_code error, std::size_t /*bytes*/) {
            const std::size_t sent = self->exchange_->streamed_bytes + 1;
            if (error || !chunked) {
                self->on_sent(error, sent);
                return;
            }
            asio::async_write(
                self->socket_, http::make_chunk_last(),
                [self, sent](beast::error_code last_error, std::size_t /*bytes*/) { self->on_sent(last_error, sent); });
        };
        if (chunked) {
            asio::async_write(socket_, http::make_chunk(asio::buffer(now.piece)), last);
        } else {
            asio::async_write(socket_, asio::buffer(now.piece), last);
        }
        return;
    }
    const std::int64_t wanted = std::min(piece_digits, whole.count - now.digits);
    now.piece.resize(static_cast<std::size_t>(wanted));
    const result<std::int64_t> got =
        rovurer::read(now.streamed.stream_from->file, {whole.base, whole.pos + now.digits, wanted}, now.piece);
    if (!got || *got != wanted) {
        // Cut: the connection ends early.
        now.keep_alive = false;
        on_sent(beast::error_code(asio::error::connection_aborted), now.streamed_bytes);
        return;
    }
    arm(server_.settings.write_timeout);
    const auto sent = [self = shared_from_this(), wanted](beast::error_code error, std::size_t /*bytes*/) {
        exchange& going = *self->exchange_;
        if (error) {
            self->on_sent(error, going.streamed_bytes);
            return;
        }
        going.digits += wanted;
        going.streamed_bytes += static_cast<std::size_t>(wanted);
        self->send_piece();
    };
    if (chunked) {
        asio::async_write(socket_, http::make_chunk(asio::buffer(now.piece)), sent);
    } else {
        asio::async_write(socket_, asio::buffer(now.piece), sent);
    }
}

void session::on_sent(beast::error_code error, std::size_t bytes) {
    disarm();
    exchange& now = *exchange_;
    const double seconds = std::chrono::duration<double>(clock_type::now() - now.started).count();
    server_.counters.request(now.route, now.status, seconds, now.digits);
    if (!server_.settings.quiet) {
        const std::string client = peer_.port() == 0 && peer_.address().is_unspecified()
                                       ? "-"
                                       : peer_.address().to_string() + ":" + std::to_string(peer_.port());
        server_.log(access_line(client, now.request_line, now.status, bytes, seconds));
    }
    now.request_line.clear();
    if (error || !now.keep_alive || closed_) {
        close();
        return;
    }
    if (!server_.table.move(place, connection_phase::idle)) {
        close();
        return;
    }
    wait_for_request();
}

// Ends the connection: its sending side at once, then what the client
// still sends is read and dropped for a moment, so that a reset does not
// destroy the answer before the client reads it.
void session::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    idle_ = false;
    server_.table.move(place, connection_phase::leaving);
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    drained_ = std::make_unique<std::array<char, 512>>();
    arm(std::chrono::seconds(1));
    drain();
}

void session::drain() {
    socket_.async_read_some(asio::buffer(*drained_),
                            [self = shared_from_this()](beast::error_code error, std::size_t /*got*/) {
                                if (!error) {
                                    self->drain();
                                    return;
                                }
                                self->finish();
                            });
}

// The connection is gone: its socket closed and its place given up. What
// it holds is freed with it, once no operation refers to it.
void session::finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    disarm();
    deadline_.cancel();  // its wait holds the session: let it go now
    beast::error_code ignored;
    socket_.close(ignored);
    server_.table.remove(place);
    server_.connection_ended();
}

}  // namespace rovurer::server
