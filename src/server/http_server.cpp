#include "server/http_server.h"

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "rovurer/scan.h"
#include "server/session.h"

namespace rovurer::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

struct http_server::state {
    // One event loop a thread, each connection on one of them: a connection's
    // events never pass from one thread to another. The first loop also runs
    // the acceptor, the signals and the end.
    asio::io_context io;
    std::vector<std::unique_ptr<asio::io_context>> loops;                                // of the other threads
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> loops_kept;  // until the end
    std::size_t next_loop = 0;  // of the next connection: 0 is io, k is loops[k - 1]
    server_context context;
    // The acceptor, the signals and the end run on one strand of their own;
    // each connection on another.
    asio::strand<asio::io_context::executor_type> control{asio::make_strand(io)};
    tcp::acceptor acceptor{control};
    asio::signal_set signals{control};
    asio::steady_timer grace{control};
    asio::steady_timer accept_pause{control};
    std::mutex lock;  // guards ending
    bool ending = false;

    void accept();
    void begin_end();
};

namespace {

// Descriptors kept for all but connections: the files, the listener, the
// event loop's own, and connections still closing.
std::int64_t descriptors_kept(std::int64_t limit) {
    return std::max<std::int64_t>(64, limit / 8);
}

bool out_of_descriptors(const beast::error_code& error) {
    return error == asio::error::no_descriptors || error == std::errc::too_many_files_open_in_system ||
           error == asio::error::no_buffer_space || error == asio::error::no_memory;
}

}  // namespace

void http_server::state::accept() {
    asio::io_context& loop = next_loop == 0 ? io : *loops[next_loop - 1];
    next_loop = next_loop == loops.size() ? 0 : next_loop + 1;
    acceptor.async_accept(asio::make_strand(loop), [this](beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor.is_open()) {
            return;  // the acceptor was closed: the server is ending
        }
        if (error) {
            // Out of descriptors: make room, then accept again after a
            // pause; a connection that failed at once is just dropped.
            if (out_of_descriptors(error)) {
                if (std::optional<std::shared_ptr<session>> evicted = context.table.evict_one()) {
                    (*evicted)->evict();
                    ++context.counters.evicted;
                }
                accept_pause.expires_after(std::chrono::milliseconds(20));
                accept_pause.async_wait([this](beast::error_code paused) {
                    if (!paused) {
                        accept();
                    }
                });
                return;
            }
            accept();
            return;
        }
        const auto opened = std::make_shared<session>(std::move(socket), context);
        connection_table<std::shared_ptr<session>>::admission admitted = context.table.admit(opened);
        opened->place = admitted.place;
        context.counters.connections.store(static_cast<int>(context.table.open()));
        if (admitted.evicted) {
            (*admitted.evicted)->evict();
            ++context.counters.evicted;
        }
        opened->start(admitted.over);
        accept();
    });
}

void http_server::state::begin_end() {
    {
        const std::lock_guard<std::mutex> held(lock);
        if (ending) {
            return;
        }
        ending = true;
    }
    beast::error_code ignored;
    acceptor.close(ignored);
    signals.cancel(ignored);
    accept_pause.cancel();
    for (auto& kept : loops_kept) {
        kept.reset();  // each loop returns once its connections have ended
    }
    const std::vector<std::shared_ptr<session>> open = context.table.all();
    for (const std::shared_ptr<session>& connection : open) {
        connection->end_when_idle();
    }
    if (open.empty()) {
        return;
    }
    grace.expires_after(context.settings.grace);
    grace.async_wait([this](beast::error_code error) {
        if (error) {
            return;  // every connection ended in time
        }
        context.scans_end.request_stop();
        io.stop();
        for (const std::unique_ptr<asio::io_context>& loop : loops) {
            loop->stop();
        }
    });
}

http_server::http_server(std::span<const served_file> files, const config& settings, log_sink log)
    : state_(std::make_unique<state>()) {
    server_context& context = state_->context;
    context.files = files;
    context.settings = settings;
    context.settings.limits.max_target = settings.max_header / 2;
    context.log = std::move(log);
    context.table.set_limit(static_cast<std::size_t>(std::max(1, settings.max_connections)));
    context.connection_ended = [server = state_.get()] {
        server->context.counters.connections.store(static_cast<int>(server->context.table.open()));
        bool last = false;
        {
            const std::lock_guard<std::mutex> held(server->lock);
            last = server->ending && server->context.table.empty();
        }
        if (last) {
            asio::post(server->control, [server] { server->grace.cancel(); });
        }
    };
}

http_server::~http_server() {
    if (state_->context.scans) {
        state_->context.scans->join();
    }
}

std::string http_server::listen() {
    server_context& context = state_->context;
    // As many connections as descriptors allow, the soft limit raised to
    // the hard one first.
    const std::int64_t descriptors = platform::raise_open_file_limit();
    if (descriptors > 0) {
        const std::int64_t room = descriptors - descriptors_kept(descriptors);
        if (room < context.settings.max_connections) {
            const auto most = static_cast<int>(std::max<std::int64_t>(1, room));
            context.settings.max_connections = most;
            context.table.set_limit(static_cast<std::size_t>(most));
        }
    }
    beast::error_code error;
    tcp::resolver resolver(state_->io);
    const auto found = resolver.resolve(context.settings.host, context.settings.port,
                                        tcp::resolver::passive | tcp::resolver::numeric_service, error);
    if (error || found.empty()) {
        return "cannot listen on " + context.settings.host + ":" + context.settings.port + ": " + error.message();
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
        return "cannot listen on " + context.settings.host + ":" + context.settings.port + ": " + error.message();
    }
    return {};
}

unsigned short http_server::port() const {
    beast::error_code ignored;
    return state_->acceptor.local_endpoint(ignored).port();
}

int http_server::max_connections() const {
    return state_->context.settings.max_connections;
}

void http_server::run(bool signals) {
    state& server = *state_;
    const int scans = server.context.settings.max_scans;
    server.context.scans.emplace(static_cast<std::size_t>(scans > 0 ? scans : 1));
    if (signals) {
        server.signals.add(SIGINT);
        server.signals.add(SIGTERM);
        server.signals.async_wait([&server](beast::error_code error, int /*signal*/) {
            if (!error) {
                server.begin_end();
            }
        });
    }
    // Lookups run on these threads, one per processor, each with its loop:
    // each keeps the block buffers its reads free for the next, rather than
    // mapping 8 MiB a read.
    const int threads = std::max(1, platform::usable_processors());
    const auto serve = [](asio::io_context& loop) {
        const kept_buffers buffers;
        loop.run();
    };
    std::vector<std::thread> helpers;
    for (int k = 1; k < threads; ++k) {
        try {
            server.loops.push_back(std::make_unique<asio::io_context>());
            server.loops_kept.push_back(asio::make_work_guard(*server.loops.back()));
            helpers.emplace_back(serve, std::ref(*server.loops.back()));
        } catch (const std::exception&) {
            // No thread, or no memory for its loop: a loop or guard without
            // its thread goes, and the threads started so far serve.
            while (server.loops_kept.size() > helpers.size()) {
                server.loops_kept.pop_back();
            }
            while (server.loops.size() > helpers.size()) {
                server.loops.pop_back();
            }
            break;
        }
    }
    asio::post(server.control, [&server] { server.accept(); });
    serve(server.io);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    server.context.scans->join();
}

void http_server::stop() {
    asio::post(state_->control, [server = state_.get()] { server->begin_end(); });
}

}  // namespace rovurer::server
