// What a digit file's header says, what the file holds, and what is wrong
// with it: what `rovurer --info` prints.
#pragma once

#include "rovurer/export.h"

#include <string>
#include <vector>

#include "rovurer/file.h"
#include "rovurer/result.h"

namespace rovurer {

struct file_report {
    header_facts facts;
    // Each problem, in the command line's words without the file's name: a
    // data region shorter than word_count words, one that ends in part of a
    // word, a negative word_count, no digits from position 1. Empty for a
    // sound file.
    std::vector<std::string> problems;
};

// Opens the file at `path` and reports on it. The errors of file::open,
// and errc::size_unknown for a file that is not a regular one (a device),
// whose data region cannot be measured.
ROVURER_API result<file_report> inspect(const std::string& path);

}  // namespace rovurer
