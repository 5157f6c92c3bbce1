// The server's open connections, each in a phase, and the choice of one to
// close when a new connection finds the table full: the connection that has
// waited longest among those that never sent a whole request, then among
// those waiting between requests. Connections in a request are never
// chosen. Thread-safe; every operation takes constant time.
#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <vector>

namespace rovurer::server {

enum class connection_phase {
    fresh,    // accepted, no whole request yet (nothing sent, or part of one)
    idle,     // between requests
    busy,     // reading a request's headers done, being answered
    leaving,  // closing, evicted, or refused over the limit: not counted
};

template <typename Connection>
class connection_table {
    struct entry {
        Connection connection;
        connection_phase phase;
    };
    using list = std::list<entry>;

public:
    // A connection's place in the table, valid until remove().
    using slot = typename list::iterator;

    struct admission {
        slot place;
        // A connection closed to make room, which the caller closes.
        std::optional<Connection> evicted;
        // No room, and none could be made: answer 503 and close.
        bool over = false;
    };

    explicit connection_table(std::size_t limit) : limit_(limit) {}

    void set_limit(std::size_t limit) {
        const std::lock_guard<std::mutex> held(lock_);
        limit_ = limit;
    }

    // Takes a new connection as fresh, making room when the table is full.
    admission admit(Connection connection) {
        const std::lock_guard<std::mutex> held(lock_);
        admission taken;
        if (counted() >= limit_) {
            taken.evicted = evict_locked();
            taken.over = !taken.evicted.has_value();
        }
        list& into = taken.over ? leaving_ : fresh_;
        into.push_back({std::move(connection), taken.over ? connection_phase::leaving : connection_phase::fresh});
        taken.place = std::prev(into.end());
        return taken;
    }

    // Moves a connection to `phase`, at the end of its order. False when it
    // was evicted (or is leaving) and must close instead; moving to leaving
    // always succeeds.
    bool move(slot place, connection_phase phase) {
        const std::lock_guard<std::mutex> held(lock_);
        if (place->phase == connection_phase::leaving) {
            return phase == connection_phase::leaving;
        }
        list_of(phase).splice(list_of(phase).end(), list_of(place->phase), place);
        place->phase = phase;
        return true;
    }

    // Closes the connection waiting longest, as admit() does when full: for
    // when the process runs out of descriptors.
    std::optional<Connection> evict_one() {
        const std::lock_guard<std::mutex> held(lock_);
        return evict_locked();
    }

    // Forgets a connection that has ended.
    void remove(slot place) {
        const std::lock_guard<std::mutex> held(lock_);
        list_of(place->phase).erase(place);
    }

    // Connections counted against the limit: all but those leaving.
    std::size_t open() const {
        const std::lock_guard<std::mutex> held(lock_);
        return counted();
    }

    // Every connection in the table, leaving ones included.
    std::vector<Connection> all() const {
        const std::lock_guard<std::mutex> held(lock_);
        std::vector<Connection> every;
        for (const list* phase : {&fresh_, &idle_, &busy_, &leaving_}) {
            for (const entry& known : *phase) {
                every.push_back(known.connection);
            }
        }
        return every;
    }

    bool empty() const {
        const std::lock_guard<std::mutex> held(lock_);
        return counted() == 0 && leaving_.empty();
    }

private:
    std::size_t counted() const { return fresh_.size() + idle_.size() + busy_.size(); }

    list& list_of(connection_phase phase) {
        switch (phase) {
            case connection_phase::fresh:
                return fresh_;
            case connection_phase::idle:
                return idle_;
            case connection_phase::busy:
                return busy_;
            case connection_phase::leaving:
                break;
        }
        return leaving_;
    }

    std::optional<Connection> evict_locked() {
        for (list* waiting : {&fresh_, &idle_}) {
            if (!waiting->empty()) {
                const slot oldest = waiting->begin();
                oldest->phase = connection_phase::leaving;
                leaving_.splice(leaving_.end(), *waiting, oldest);
                return oldest->connection;
            }
        }
        return std::nullopt;
    }

    mutable std::mutex lock_;
    std::size_t limit_;
    list fresh_;
    list idle_;
    list busy_;
    list leaving_;
};

}  // namespace rovurer::server
