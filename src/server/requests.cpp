#include "server/requests.h"

#include <algorithm>
#include <optional>

#include "rovurer/messages.h"
#include "rovurer/numbers.h"

namespace rovurer::server {

std::string dumped(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// An answer that refuses the request.
answer refusal(unsigned status, std::string_view message) {
    answer refused;
    refused.status = status;
    refused.body = error_body(message);
    return refused;
}

namespace {

int hex_value(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// Percent-decodes `text`; nullopt for a '%' not followed by two hex digits
// or for a NUL byte.
std::optional<std::string> decoded(std::string_view text) {
    std::string plain;
    for (std::size_t at = 0; at < text.size(); ++at) {
        char c = text[at];
        if (c == '%') {
            if (text.size() - at < 3 || hex_value(text[at + 1]) < 0 || hex_value(text[at + 2]) < 0) {
                return std::nullopt;
            }
            c = static_cast<char>(hex_value(text[at + 1]) * 16 + hex_value(text[at + 2]));
            at += 2;
        }
        if (c == '\0') {
            return std::nullopt;
        }
        plain += c;
    }
    return plain;
}

}  // namespace

const std::string* parsed_query::find(std::string_view name) const {
    for (const parameter& given : parameters) {
        if (given.name == name) {
            return &given.value;
        }
    }
    return nullptr;
}

parsed_query parse_query(std::string_view query, std::span<const std::string_view> allowed) {
    parsed_query parsed;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        const std::size_t equals = pair.find('=');
        const std::optional<std::string> name = decoded(pair.substr(0, equals));
        const std::optional<std::string> value =
            decoded(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!name || !value) {
            parsed.error = "invalid percent-encoding, or a NUL byte, in the query";
            return parsed;
        }
        if (std::find(allowed.begin(), allowed.end(), *name) == allowed.end()) {
            parsed.error = "unknown parameter '" + *name + "'";
            return parsed;
        }
        if (parsed.find(*name) != nullptr) {
            parsed.error = "parameter '" + *name + "' given twice";
            return parsed;
        }
        parsed.parameters.push_back({*name, *value});
    }
    return parsed;
}

// Reads a strict number parameter into `value`; false with `error` set.
bool read_number(const parsed_query& query, std::string_view name, std::string_view what, bool whole,
                 std::int64_t& value, std::string& error) {
    const std::string* text = query.find(name);
    if (text == nullptr) {
        return true;
    }
    const strict_number number =
        whole ? parse_strict_whole(text->c_str()) : parse_strict_integer(text->c_str(), INT32_MIN, INT32_MAX);
    if (number.status != strict_number::verdict::ok) {
        error = number_refusal(what, *text, number.status == strict_number::verdict::out_of_range);
        return false;
    }
    value = number.value;
    return true;
}

range_request read_range(const parsed_query& query, std::span<const served_file> files, std::int64_t default_count) {
    range_request request;
    const std::string* name = query.find("file");
    if (name == nullptr) {
        request.error = "missing parameter 'file'";
        return request;
    }
    for (const served_file& served : files) {
        if (served.name == *name) {
            request.source = &served;
        }
    }
    if (request.source == nullptr) {
        request.status = 404;
        request.error = "no file named '" + *name + "'";
        return request;
    }
    std::int64_t base = 10;
    std::int64_t pos = 1;
    std::int64_t count = default_count;
    if (!read_number(query, "base", "base", false, base, request.error) ||
        !read_number(query, "pos", "position", true, pos, request.error) ||
        !read_number(query, "n", "number of digits", true, count, request.error)) {
        return request;
    }
    if (count < 0) {
        request.error = number_refusal("number of digits", *query.find("n"), true);
        return request;
    }
    request.count_given = query.find("n") != nullptr;
    request.where = {static_cast<int>(base), pos, count};
    return request;
}

// The status of an error of the library: the request's fault, or the
// server's (a read that failed, memory).
answer library_refusal(const rovurer::error& failure, const served_file& source) {
    switch (failure.code) {
        case errc::read_failed:
            return refusal(500, source.name + ": " + failure.message);
        case errc::out_of_memory:
        case errc::stopped:
            return refusal(503, failure.message);
        default:
            return refusal(400, failure.message);
    }
}

// The digits a range holds from its position, at most INT64_MAX: 0 past
// the end.
std::int64_t digits_from(const served_file& source, const rovurer::range& where) {
    const std::int64_t total = source.file.facts().digits(where.base);
    return where.pos >= 1 && where.pos <= total ? total - (where.pos - 1) : 0;
}

}  // namespace rovurer::server
