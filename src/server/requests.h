// What the server's routes share: a request's query read strictly, its
// file and range, and the answers that refuse it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "rovurer/result.h"
#include "rovurer/scan.h"
#include "server/router.h"

namespace rovurer::server {

using json = nlohmann::json;

// `value` as compact JSON, bytes that are not UTF-8 replaced.
std::string dumped(const json& value);

// An answer that refuses the request: `status` and {"error": message}.
answer refusal(unsigned status, std::string_view message);

struct parameter {
    std::string name;
    std::string value;
};

// The query's parameters, decoded, or why they cannot be.
struct parsed_query {
    std::vector<parameter> parameters;
    std::string error;
    const std::string* find(std::string_view name) const;
};

// The parameters of `query` (after the '?'), each one of `allowed` at most
// once; the error message otherwise.
parsed_query parse_query(std::string_view query, std::span<const std::string_view> allowed);

// Reads a strict number parameter into `value` when it is given (a whole
// number, or with `whole` false an int32); false with `error` set.
bool read_number(const parsed_query& query, std::string_view name, std::string_view what, bool whole,
                 std::int64_t& value, std::string& error);

// The file and the range of a request (file, base, pos, n), as given.
struct range_request {
    const served_file* source = nullptr;
    rovurer::range where;
    bool count_given = false;
    std::string error;  // with `status`
    unsigned status = 400;
};
range_request read_range(const parsed_query& query, std::span<const served_file> files, std::int64_t default_count);

// The status of an error of the library: the request's fault, or the
// server's (a read that failed, memory).
answer library_refusal(const rovurer::error& failure, const served_file& source);

// The digits a range holds from its position, at most INT64_MAX: 0 past
// the end.
std::int64_t digits_from(const served_file& source, const rovurer::range& where);

}  // namespace rovurer::server
