#include "server/statistics_routes.h"

#include <algorithm>
#include <string>

#include "rovurer/check.h"
#include "rovurer/stats.h"
#include "rovurer/text.h"

namespace rovurer::server {

namespace {

// A request's range, checked against the scan budget: its digits, or the
// refusal in `refused`.
struct budgeted {
    range_request request;
    std::int64_t length = 0;
    std::optional<answer> refused;
};

budgeted read_budgeted(const parsed_query& query, std::span<const served_file> files, const limits& bounds) {
    budgeted read;
    read.request = read_range(query, files, rovurer::to_end);
    if (!read.request.error.empty()) {
        read.refused = refusal(read.request.status, read.request.error);
        return read;
    }
    read.length = std::min(read.request.where.count, digits_from(*read.request.source, read.request.where));
    if (read.length > bounds.max_scan) {
        read.refused =
            refusal(400, "the range holds " + std::to_string(read.length) + " digits, over the scan budget of " +
                             std::to_string(bounds.max_scan) + ": ask for ranges of at most that many");
    }
    return read;
}

rovurer::scan_options options_with(std::stop_token stop) {
    rovurer::scan_options options;
    options.stop = std::move(stop);
    return options;
}

// The members every answer starts with: the file and the range.
std::string range_members(const budgeted& read) {
    return "\"file\":" + dumped(json(read.request.source->name)) +
           ",\"base\":" + std::to_string(read.request.where.base) +
           ",\"pos\":" + std::to_string(read.request.where.pos) + ",\"n\":" + std::to_string(read.length);
}

// JSON lines, one object each, as the items of an array.
std::string as_array(const std::string& lines) {
    std::string items = "[";
    for (std::size_t at = 0; at < lines.size();) {
        const std::size_t end = lines.find('\n', at);
        if (items.size() > 1) {
            items += ',';
        }
        items.append(lines, at, end - at);
        at = end + 1;
    }
    return items + "]";
}

rovurer::text_output into(std::string& text) {
    return rovurer::text_output::to([&text](std::string_view piece) {
        text.append(piece);
        return 0;
    });
}

// A number parameter from `lowest` to `highest`, `fallback` when not given.
bool read_bounded(const parsed_query& query, std::string_view name, std::string_view what, std::int64_t lowest,
                  std::int64_t highest, std::int64_t& value, std::string& error) {
    if (!read_number(query, name, what, true, value, error)) {
        return false;
    }
    if (value < lowest || value > highest) {
        error = std::string(name) + " is " + std::to_string(value) + ": it must be from " + std::to_string(lowest) +
                " to " + std::to_string(highest);
        return false;
    }
    return true;
}

}  // namespace

answer stats_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                    std::stop_token stop) {
    const budgeted read = read_budgeted(query, files, bounds);
    if (read.refused) {
        return *read.refused;
    }
    const result<digit_statistics> answered =
        rovurer::statistics(read.request.source->file, read.request.where, options_with(std::move(stop)));
    if (!answered) {
        return library_refusal(answered.error(), *read.request.source);
    }
    answer shown;
    shown.body = "{\"file\":" + dumped(json(read.request.source->name)) + "," + to_json(*answered).substr(1);
    return shown;
}

answer blocks_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                     std::stop_token stop) {
    const budgeted read = read_budgeted(query, files, bounds);
    if (read.refused) {
        return *read.refused;
    }
    // A hundred blocks by default.
    std::int64_t block = std::max<std::int64_t>(1, (read.length + 99) / 100);
    std::string error;
    if (!read_bounded(query, "block", "block", 1, INT64_MAX, block, error)) {
        return refusal(400, error);
    }
    const std::int64_t blocks = read.length / block + (read.length % block != 0 ? 1 : 0);
    if (blocks > bounds.max_matches) {
        return refusal(400, "the range holds " + std::to_string(blocks) + " blocks of " + std::to_string(block) +
                                " digits, over the " + std::to_string(bounds.max_matches) +
                                " an answer holds: ask for larger blocks");
    }
    std::string lines;
    const result<text_written> written = rovurer::write_blocks(read.request.source->file, read.request.where, block,
                                                               true, into(lines), options_with(std::move(stop)));
    if (!written) {
        return library_refusal(written.error(), *read.request.source);
    }
    answer shown;
    shown.body =
        "{" + range_members(read) + ",\"block\":" + std::to_string(block) + ",\"blocks\":" + as_array(lines) + "}";
    return shown;
}

answer runs_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                   std::stop_token stop) {
    const budgeted read = read_budgeted(query, files, bounds);
    if (read.refused) {
        return *read.refused;
    }
    std::int64_t least = 6;
    std::int64_t most = 100;
    std::string error;
    if (!read_bounded(query, "least", "least", 1, INT64_MAX, least, error) ||
        !read_bounded(query, "max", "max", 1, INT64_MAX, most, error)) {
        return refusal(400, error);
    }
    // An answer holds at most max_matches runs: a larger max pages.
    most = std::min(most, bounds.max_matches);
    std::string lines;
    const result<text_written> written = rovurer::write_runs(read.request.source->file, read.request.where, least, most,
                                                             true, into(lines), options_with(std::move(stop)));
    if (!written) {
        return library_refusal(written.error(), *read.request.source);
    }
    answer shown;
    shown.body = "{" + range_members(read) + ",\"least\":" + std::to_string(least) + ",\"runs\":" + as_array(lines);
    if (std::count(lines.begin(), lines.end(), '\n') == most) {
        // The page is full: the next run starts after the last one's end.
        const std::size_t last = lines.rfind('{');
        const json run = json::parse(lines.substr(last));
        const std::int64_t next = run["pos"].get<std::int64_t>() + run["length"].get<std::int64_t>();
        if (next < read.request.where.pos + read.length) {
            shown.body += ",\"next\":" + std::to_string(next);
        }
    }
    shown.body += "}";
    return shown;
}

answer missing_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                      std::stop_token stop) {
    const budgeted read = read_budgeted(query, files, bounds);
    if (read.refused) {
        return *read.refused;
    }
    std::int64_t length = 3;
    std::string error;
    if (!read_bounded(query, "length", "length", 1, 63, length, error)) {
        return refusal(400, error);
    }
    std::uint64_t strings = 1;
    for (std::int64_t k = 0; k < length; ++k) {
        strings *= static_cast<std::uint64_t>(read.request.where.base);
        if (strings > most_served_strings) {
            return refusal(400, "strings of " + std::to_string(length) + " base-" +
                                    std::to_string(read.request.where.base) + " digits are more than the " +
                                    std::to_string(most_served_strings) + " the server counts");
        }
    }
    const result<missing_strings> answered = rovurer::missing(read.request.source->file, read.request.where,
                                                              static_cast<int>(length), options_with(std::move(stop)));
    if (!answered) {
        return library_refusal(answered.error(), *read.request.source);
    }
    answer shown;
    shown.body =
        "{" + range_members(read) + ",\"length\":" + std::to_string(length) + "," + to_json(*answered).substr(1);
    return shown;
}

answer walk_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                   std::stop_token stop) {
    const budgeted read = read_budgeted(query, files, bounds);
    if (read.refused) {
        return *read.refused;
    }
    std::string svg;
    const result<walk_extent> walked = rovurer::write_walk_svg(read.request.source->file, read.request.where, into(svg),
                                                               5000, options_with(std::move(stop)));
    if (!walked) {
        return library_refusal(walked.error(), *read.request.source);
    }
    answer drawn;
    drawn.content_type = "image/svg+xml";
    drawn.body = std::move(svg);
    return drawn;
}

answer check_pi_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                       std::stop_token stop) {
    const std::string* name = query.find("file");
    if (name == nullptr) {
        return refusal(400, "missing parameter 'file'");
    }
    const served_file* source = nullptr;
    for (const served_file& served : files) {
        if (served.name == *name) {
            source = &served;
        }
    }
    if (source == nullptr) {
        return refusal(404, "no file named '" + *name + "'");
    }
    std::int64_t samples = 4;
    std::string error;
    if (!read_bounded(query, "samples", "samples", 1, 16, samples, error)) {
        return refusal(400, error);
    }
    const std::int64_t most = std::max<std::int64_t>(1, bounds.max_scan / 100);
    const std::int64_t digits = source->file.facts().digits(16);
    if (digits > most) {
        return refusal(400, "the file's last hexadecimal digit is at position " + std::to_string(digits) +
                                ", past the " + std::to_string(most) +
                                " the server checks: run rovurer --check-pi on it");
    }
    const result<pi_check> checked =
        rovurer::check_pi(source->file, static_cast<int>(samples), options_with(std::move(stop)));
    if (!checked) {
        return library_refusal(checked.error(), *source);
    }
    json list = json::array();
    for (const pi_sample& sample : checked->samples) {
        list.push_back({{"pos", sample.pos}, {"pi", sample.computed}, {"file", sample.read}});
    }
    answer shown;
    shown.body = dumped({{"file", source->name},
                         {"samples", std::move(list)},
                         {"pi", checked->difference == 0},
                         {"difference", checked->difference == 0 ? json(nullptr) : json(checked->difference)}});
    return shown;
}

}  // namespace rovurer::server
