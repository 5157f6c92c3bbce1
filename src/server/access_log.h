// The access log's line for an answered request.
#pragma once

#include <string>
#include <string_view>

namespace rovurer::server {

// "TIME CLIENT "REQUEST LINE" STATUS BYTES DURATION": the time in UTC, the
// request line with every byte that is not printable ASCII, and quotes and
// backslashes, written as \xNN, so that no request can forge a line.
std::string access_line(std::string_view client, std::string_view request_line, unsigned status, std::size_t bytes,
                        double seconds);

// `text` with the bytes that are not printable ASCII, quotes and
// backslashes written as \xNN.
std::string loggable(std::string_view text);

}  // namespace rovurer::server
