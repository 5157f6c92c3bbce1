#include "server/access_log.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace rovurer::server {

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

namespace {

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    std::array<char, 32> text{};
    return std::string(text.data(), std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &parts));
}

}  // namespace

std::string access_line(std::string_view client, std::string_view request_line, unsigned status, std::size_t bytes,
                        double seconds) {
    std::array<char, 32> took{};
    (void)std::snprintf(took.data(), took.size(), "%.3fms", seconds * 1000);
    return utc_now() + " " + std::string(client) + " \"" + loggable(request_line) + "\" " + std::to_string(status) +
           " " + std::to_string(bytes) + " " + took.data();
}

}  // namespace rovurer::server
