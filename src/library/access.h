// What the library's calls share: the state behind a rovurer::file, and the
// errors of the reader and the engine turned into the API's.
#pragma once

#include <string>

#include "parallel/command_result.h"
#include "platform/platform.h"
#include "reader/digit_file.h"
#include "reader/digit_stream.h"
#include "rovurer/file.h"
#include "rovurer/result.h"

namespace rovurer {

struct file::state {
    platform::file handle;
    digit_file::header header;
    header_facts facts;
};

struct file_access {
    using state = file::state;
    static const state& of(const file& opened) { return *opened.state_; }
    static file make(std::shared_ptr<const state> opened) { return file(std::move(opened)); }
};

// What a rovurer::file holds, for the library's calls.
using opened_file = file_access::state;

// The error of a file the reader refused to open.
error file_error(const digit_file::verdict& verdict);

// The error of a run that could not be opened at `pos` in `base`.
error run_error(const digit_stream_refusal& refusal, std::int32_t base, std::int64_t pos);

// The error of a job that ended other than shown (read_failed, out_of_memory).
error job_error(command_result result);

}  // namespace rovurer
