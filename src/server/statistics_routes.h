// The routes of the statistics: /v1/stats, /v1/blocks, /v1/runs,
// /v1/missing and /v1/walk.svg, each one call of the library over a range
// within the scan budget, as /v1/count is; and /v1/check-pi.
#pragma once

#include <span>
#include <stop_token>

#include "server/requests.h"
#include "server/router.h"

namespace rovurer::server {

answer stats_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                    std::stop_token stop);
answer blocks_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                     std::stop_token stop);
answer runs_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                   std::stop_token stop);
answer missing_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                      std::stop_token stop);
answer walk_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                   std::stop_token stop);
// /v1/check-pi: the file's hexadecimal digits checked against pi's at
// positions spread over it, for a file whose last digit lies within a
// hundredth of the scan budget (a position costs time in proportion to it).
answer check_pi_answer(const parsed_query& query, std::span<const served_file> files, const limits& bounds,
                       std::stop_token stop);

// The strings /v1/missing holds a bit for at most: 2^27 (16 MiB).
inline constexpr std::uint64_t most_served_strings = std::uint64_t{1} << 27;

}  // namespace rovurer::server
