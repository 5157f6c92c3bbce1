#include "server/router.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "rovurer/messages.h"
#include "rovurer/numbers.h"
#include "rovurer/scan.h"
#include "server/page.h"
#include "server/requests.h"
#include "server/statistics_routes.h"

namespace rovurer::server {

namespace {

answer files_answer(std::span<const served_file> files) {
    json list = json::array();
    for (const served_file& served : files) {
        const header_facts& facts = served.file.facts();
        list.push_back(
            {{"name", served.name},
             {"word_count", facts.word_count},
             {"lead_words", facts.lead_words},
             {"digits", {{"10", facts.digits_text(10)}, {"16", facts.digits_text(16)}, {"2", facts.digits_text(2)}}}});
    }
    answer listed;
    listed.body = dumped({{"files", std::move(list)}});
    return listed;
}

answer digits_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds) {
    const range_request request = read_range(query, files, std::min<std::int64_t>(1000, bounds.max_digits));
    if (!request.error.empty()) {
        return refusal(request.status, request.error);
    }
    const std::string* format = query.find("format");
    if (format != nullptr && *format != "json" && *format != "text") {
        return refusal(400, "format '" + *format + "' is not json or text");
    }
    const bool text = format != nullptr && *format == "text";
    // Text streams in chunks, a piece at a time: up to the scan budget.
    const std::int64_t most = text ? bounds.max_scan : bounds.max_digits;
    if (request.where.count > most) {
        return refusal(400, "n is " + std::to_string(request.where.count) + ", over the " + std::to_string(most) +
                                (text ? " digits a text answer holds" : " digits an answer holds"));
    }
    if (text) {
        // The range is checked now (base, position), its digits read as
        // they are sent.
        std::string none;
        const result<std::int64_t> opened =
            rovurer::read(request.source->file, {request.where.base, request.where.pos, 0}, none);
        if (!opened) {
            return library_refusal(opened.error(), *request.source);
        }
        answer streamed;
        streamed.content_type = "text/plain; charset=utf-8";
        streamed.stream_from = request.source;
        streamed.stream = request.where;
        streamed.stream.count = std::min(request.where.count, digits_from(*request.source, request.where));
        return streamed;
    }
    std::string digits(static_cast<std::size_t>(request.where.count), '\0');
    const result<std::int64_t> got = rovurer::read(request.source->file, request.where, digits);
    if (!got) {
        return library_refusal(got.error(), *request.source);
    }
    digits.resize(static_cast<std::size_t>(*got));
    answer shown;
    shown.digits_served = *got;
    // As the JSON library writes it (keys in order), without passing a
    // million digits, which need no escaping, through its escaper.
    shown.body = "{\"base\":" + std::to_string(request.where.base) + ",\"digits\":\"";
    shown.body += digits;
    shown.body +=
        "\",\"file\":" + dumped(json(request.source->name)) + ",\"pos\":" + std::to_string(request.where.pos) + "}";
    return shown;
}

answer find_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                   std::stop_token stop) {
    range_request request = read_range(query, files, rovurer::to_end);
    if (!request.error.empty()) {
        return refusal(request.status, request.error);
    }
    std::int64_t most = 100;
    std::string error;
    if (!read_number(query, "max", "maximum count", true, most, error)) {
        return refusal(400, error);
    }
    if (most < 0) {
        return refusal(400, number_refusal("maximum count", *query.find("max"), true));
    }
    if (most == 0) {
        return refusal(400, "max is 0: a page holds 1 or more positions");
    }
    // An answer holds at most max_matches positions: a larger max pages.
    most = std::min(most, bounds.max_matches);
    const std::string* pattern = query.find("digits");
    if (pattern == nullptr) {
        return refusal(400, "missing parameter 'digits'");
    }
    // The scan budget: the range is searched up to it, and the answer says
    // where to go on.
    const std::int64_t length = std::min(request.where.count, digits_from(*request.source, request.where));
    const auto pattern_length = static_cast<std::int64_t>(pattern->size());
    bool cut = false;
    if (length > bounds.max_scan) {
        if (pattern_length > bounds.max_scan) {
            return refusal(
                400, "the digits are longer than the scan budget of " + std::to_string(bounds.max_scan) + " digits");
        }
        request.where.count = bounds.max_scan;
        cut = true;
    }
    rovurer::scan_options options;
    options.stop = std::move(stop);
    const result<found> matches = rovurer::find(request.source->file, *pattern, request.where, most, options);
    if (!matches) {
        return library_refusal(matches.error(), *request.source);
    }
    json body = {{"file", request.source->name},
                 {"base", request.where.base},
                 {"digits", *pattern},
                 {"pos", request.where.pos},
                 {"positions", matches->positions}};
    if (matches->next != 0) {
        body["next"] = matches->next;
    } else if (cut) {
        // Matches that start past here would end past the budget.
        body["next"] = request.where.pos + bounds.max_scan - pattern_length + 1;
    }
    answer found_answer;
    found_answer.body = dumped(body);
    return found_answer;
}

answer count_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                    std::stop_token stop) {
    const range_request request = read_range(query, files, rovurer::to_end);
    if (!request.error.empty()) {
        return refusal(request.status, request.error);
    }
    const std::int64_t length = std::min(request.where.count, digits_from(*request.source, request.where));
    if (length > bounds.max_scan) {
        return refusal(400, "the range holds " + std::to_string(length) + " digits, over the scan budget of " +
                                std::to_string(bounds.max_scan) + ": count it in ranges of at most that many");
    }
    rovurer::scan_options options;
    options.stop = std::move(stop);
    const result<digit_counts> counted = rovurer::count(request.source->file, request.where, options);
    if (!counted) {
        return library_refusal(counted.error(), *request.source);
    }
    json counts = json::object();
    for (int digit = 0; digit < request.where.base; ++digit) {
        counts[std::string(1, "0123456789ABCDEF"[digit])] = (*counted)[static_cast<std::size_t>(digit)];
    }
    answer answered;
    answered.body = dumped({{"file", request.source->name},
                            {"base", request.where.base},
                            {"pos", request.where.pos},
                            {"n", length},
                            {"counts", std::move(counts)}});
    return answered;
}

struct route {
    std::string_view path;
    route_kind kind;
    std::array<std::string_view, 6> parameters;
};

constexpr std::array<route, 13> routes = {{
    {"/", route_kind::lookup, {}},
    {"/healthz", route_kind::lookup, {}},
    {"/metrics", route_kind::lookup, {}},
    {"/v1/files", route_kind::lookup, {}},
    {"/v1/digits", route_kind::lookup, {"file", "base", "pos", "n", "format"}},
    {"/v1/find", route_kind::scan, {"file", "base", "digits", "pos", "n", "max"}},
    {"/v1/count", route_kind::scan, {"file", "base", "pos", "n"}},
    {"/v1/stats", route_kind::scan, {"file", "base", "pos", "n"}},
    {"/v1/blocks", route_kind::scan, {"file", "base", "pos", "n", "block"}},
    {"/v1/runs", route_kind::scan, {"file", "base", "pos", "n", "least", "max"}},
    {"/v1/missing", route_kind::scan, {"file", "base", "pos", "n", "length"}},
    {"/v1/walk.svg", route_kind::scan, {"file", "base", "pos", "n"}},
    {"/v1/check-pi", route_kind::scan, {"file", "samples"}},
}};

// A request target's path and query. An absolute-form target
// ("http://host:8080/v1/files?x") is served as its path, as RFC 9112 asks.
struct target_parts {
    std::string_view path;
    std::string_view query;
};

bool starts_without_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        const char c = text[k];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[k]) {
            return false;
        }
    }
    return true;
}

target_parts parts_of(std::string_view target) {
    for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (starts_without_case(target, scheme)) {
            const std::string_view rest = target.substr(scheme.size());
            const std::size_t path = rest.find_first_of("/?");
            target = path == std::string_view::npos ? std::string_view() : rest.substr(path);
            break;
        }
    }
    const std::size_t mark = target.find('?');
    target_parts parts{target.substr(0, mark),
                       mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1)};
    if (parts.path.empty()) {
        parts.path = "/";  // "http://host" and "http://host?q": the root
    }
    return parts;
}

const route* route_of(std::string_view path) {
    for (const route& known : routes) {
        if (known.path == path) {
            return &known;
        }
    }
    return nullptr;
}

answer respond_to(std::string_view method, std::string_view target, std::span<const served_file> files,
                  const limits& bounds, std::stop_token stop, const metrics* counters) {
    const target_parts parts = parts_of(target);
    const route* known = route_of(parts.path);
    if (known == nullptr) {
        return refusal(404, "no such route");
    }
    if (method != "GET" && method != "HEAD") {
        answer refused = refusal(405, "only GET is served here");
        refused.allow = "GET, HEAD";
        return refused;
    }
    if (known->path == "/") {
        // The page reads its own query: the state it shares in links.
        answer page;
        page.content_type = "text/html; charset=utf-8";
        page.body = page_html;
        page.page = true;
        return page;
    }
    const std::string_view query = parts.query;
    std::vector<std::string_view> allowed;
    for (const std::string_view name : known->parameters) {
        if (!name.empty()) {
            allowed.push_back(name);
        }
    }
    const parsed_query parsed = parse_query(query, allowed);
    if (!parsed.error.empty()) {
        return refusal(400, parsed.error);
    }
    if (known->path == "/healthz") {
        answer healthy;
        healthy.content_type = "text/plain; charset=utf-8";
        healthy.body = "ok\n";
        return healthy;
    }
    if (known->path == "/v1/files") {
        return files_answer(files);
    }
    if (known->path == "/v1/digits") {
        return digits_answer(parsed, files, bounds);
    }
    if (known->path == "/v1/find") {
        return find_answer(parsed, files, bounds, std::move(stop));
    }
    if (known->path == "/v1/count") {
        return count_answer(parsed, files, bounds, std::move(stop));
    }
    using scan_route = answer (*)(const parsed_query&, std::span<const served_file>, const limits&, std::stop_token);
    constexpr std::array<std::pair<std::string_view, scan_route>, 6> statistics_routes = {{
        {"/v1/stats", stats_answer},
        {"/v1/blocks", blocks_answer},
        {"/v1/runs", runs_answer},
        {"/v1/missing", missing_answer},
        {"/v1/walk.svg", walk_answer},
        {"/v1/check-pi", check_pi_answer},
    }};
    for (const auto& [path, respond_with] : statistics_routes) {
        if (known->path == path) {
            return respond_with(parsed, files, bounds, std::move(stop));
        }
    }
    if (known->path == "/metrics" && counters != nullptr) {
        answer measured;
        measured.content_type = "text/plain; version=0.0.4";
        measured.body = counters->text();
        return measured;
    }
    return refusal(404, "no such route");
}

}  // namespace

route_kind kind_of(std::string_view target) {
    const route* known = route_of(parts_of(target).path);
    return known == nullptr ? route_kind::unknown : known->kind;
}

std::string_view route_name(std::string_view target) {
    const route* known = route_of(parts_of(target).path);
    return known == nullptr ? "other" : known->path;
}

std::string error_body(std::string_view message) {
    return dumped({{"error", std::string(message)}}) + "\n";
}

answer respond(std::string_view method, std::string_view target, std::span<const served_file> files,
               const limits& bounds, std::stop_token stop, const metrics* counters) {
    try {
        if (target.size() > bounds.max_target) {
            return refusal(414, "the target is over " + std::to_string(bounds.max_target) + " bytes");
        }
        answer answered = respond_to(method, target, files, bounds, std::move(stop), counters);
        if (answered.status == 200 && answered.content_type == "application/json") {
            answered.body += '\n';
        }
        return answered;
    } catch (const std::bad_alloc&) {
        answer failed;
        failed.status = 503;
        failed.body = "{\"error\":\"out of memory\"}\n";
        return failed;
    }
}

}  // namespace rovurer::server
