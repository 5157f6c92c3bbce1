// The page at /: one self-contained HTML file (its CSS and script inline,
// nothing fetched but the API), built into the binary from
// src/server/page.html.
#pragma once

#include <string_view>

namespace rovurer::server {

extern const std::string_view page_html;

}  // namespace rovurer::server
