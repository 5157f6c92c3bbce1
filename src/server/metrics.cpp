#include "server/metrics.h"

namespace rovurer::server {

void metrics::request(std::string_view route, unsigned status, double seconds, std::int64_t digits) {
    const std::lock_guard<std::mutex> held(lock_);
    ++requests_[{std::string(route), status}];
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        buckets_[k] += seconds <= bounds[k] ? 1U : 0U;
    }
    ++count_;
    sum_ += seconds;
    digits_ += digits;
}

std::string metrics::text() const {
    const std::lock_guard<std::mutex> held(lock_);
    std::string out =
        "# HELP rovurer_requests_total Requests answered, by route and status.\n"
        "# TYPE rovurer_requests_total counter\n";
    for (const auto& [key, count] : requests_) {
        out += "rovurer_requests_total{route=\"" + key.first + "\",status=\"" + std::to_string(key.second) + "\"} " +
               std::to_string(count) + "\n";
    }
    out +=
        "# HELP rovurer_request_duration_seconds Time from a request's headers to its answer's last byte.\n"
        "# TYPE rovurer_request_duration_seconds histogram\n";
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        std::string bound = std::to_string(bounds[k]);
        bound.erase(bound.find_last_not_of('0') + 1);
        out += "rovurer_request_duration_seconds_bucket{le=\"" + bound + "\"} " + std::to_string(buckets_[k]) + "\n";
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
    out +=
        "# HELP rovurer_connections_evicted_total Waiting connections closed to make room for new ones.\n"
        "# TYPE rovurer_connections_evicted_total counter\n"
        "rovurer_connections_evicted_total " +
        std::to_string(evicted.load()) + "\n";
    return out;
}

}  // namespace rovurer::server
