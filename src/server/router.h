// The server's answers: a request's method and target in, a status and a
// body out. No socket, no thread: the HTTP server (http_server.h) calls it,
// and so do the tests and the fuzzer.
//
// Files are looked up by name in the table given at start; no text of a
// request reaches the file system. Every parameter is checked as the
// command line's option forms check their numbers, and unknown or repeated
// parameters are refused: bad input gets a 4xx answer, never a 5xx one.
#pragma once

#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "rovurer/file.h"
#include "rovurer/scan.h"
#include "server/metrics.h"

namespace rovurer::server {

// A file the server serves, under its name without folders.
struct served_file {
    std::string name;
    rovurer::file file;
};

struct limits {
    std::int64_t max_digits = 1000000;   // digits an answer of /v1/digits holds at most
    std::int64_t max_scan = 1000000000;  // digits a find or a count reads at most
    std::int64_t max_matches = 10000;    // positions an answer of /v1/find holds at most
    std::size_t max_target = 4096;       // bytes of a request's target: the server sets half its max_header
};

// How a request is served: at once, or on the pool of scans.
enum class route_kind { lookup, scan, unknown };

// The route a target names, for the choice of thread and for the metrics:
// "/v1/digits" and the like, or "other" for a path that is none. A target
// in absolute form ("http://host/v1/files") names the route of its path.
route_kind kind_of(std::string_view target);
std::string_view route_name(std::string_view target);

struct answer {
    unsigned status = 200;
    std::string content_type = "application/json";
    std::string body;
    std::string allow;               // with 405: the methods the route takes
    bool page = false;               // the page at /, sent with its security headers
    std::int64_t digits_served = 0;  // digits the body holds, for the metrics
    // Digits sent as text, read as they go, instead of a body: the range
    // (checked, and cut at the end of the data) of this file, or nullptr.
    const served_file* stream_from = nullptr;
    rovurer::range stream;
};

// The answer to `method` and `target` (the request line's target, as
// received: in origin form, or in absolute form, whose scheme and host are
// ignored). A scan checks `stop` between chunks: a client that went away
// stops its scan, whose answer is then dropped. /metrics answers with
// `counters`' text (404 without them). Never throws.
answer respond(std::string_view method, std::string_view target, std::span<const served_file> files,
               const limits& bounds, std::stop_token stop = {}, const metrics* counters = nullptr);

// {"error": message}, the body of every error answer: valid JSON for any
// message, its bytes that are not UTF-8 replaced.
std::string error_body(std::string_view message);

}  // namespace rovurer::server
