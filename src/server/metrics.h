// The counters behind /metrics, in Prometheus' text format.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace rovurer::server {

class metrics {
public:
    // The histogram's bounds, in seconds.
    static constexpr std::array<double, 9> bounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 1.0, 10.0};

    // One request answered: its route, status, time and the digits it sent.
    void request(std::string_view route, unsigned status, double seconds, std::int64_t digits);

    std::atomic<int> scans{0};              // finds and counts running now
    std::atomic<int> connections{0};        // connections open now
    std::atomic<std::uint64_t> evicted{0};  // waiting connections closed to make room

    // The exposition text.
    std::string text() const;

private:
    mutable std::mutex lock_;
    std::map<std::pair<std::string, unsigned>, std::uint64_t> requests_;
    std::array<std::uint64_t, bounds.size()> buckets_{};
    std::uint64_t count_ = 0;
    double sum_ = 0;
    std::int64_t digits_ = 0;
};

}  // namespace rovurer::server
