// What every binding shares: a library call run with the GIL released
// (and, from the main thread, stopped by Ctrl-C), its options from Python's
// keywords, and the library's errors raised as Python exceptions.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "rovurer/rovurer.h"

namespace rovurer::python {

namespace py = pybind11;

// A file opened from Python: the library's handle, its path for messages,
// and whether close() was called.
struct open_file {
    rovurer::file file;
    std::string path;
    bool closed = false;

    // The handle; ValueError once closed, as Python's files say.
    const rovurer::file& handle() const;
};

// Raises the Python exception of a library error (rovurer.errors), naming
// `path` where the error is about a file.
[[noreturn]] void raise_error(const rovurer::error& failure, const std::string& path = {});

// The keywords every call takes, as given.
struct call_keywords {
    py::object threads = py::none();   // None: every processor
    py::object kernels = py::none();   // a kernel set's name, or None
    py::object progress = py::none();  // a callable (done, total), True for a tqdm bar, or None
};

// The library options of `keywords`, with the stop token a call fills in.
// Holds what they point to (the kernel set's name, the progress callable,
// a tqdm bar it made, and the first error the callable raised) while it
// lives, which must be the whole call.
class call_options {
public:
    explicit call_options(const call_keywords& keywords);
    ~call_options();
    call_options(const call_options&) = delete;
    call_options& operator=(const call_options&) = delete;

    scan_options& options() { return options_; }
    int threads() const { return options_.threads; }
    std::stop_source& stop() { return stop_; }
    // The progress callback for options that take one (pack's, scan's).
    std::function<void(std::int64_t, std::int64_t)> progress_callback();
    // Raises what the progress callable raised, if it did.
    void raise_callback_error();

private:
    scan_options options_;
    std::string kernels_;
    py::object callable_;
    py::object bar_;
    std::stop_source stop_;
    std::optional<py::error_already_set> callback_error_;
};

// Runs `call` with the GIL released. From the main thread a call expected
// to run long (`long_call`) runs on a thread of its own while this one
// looks for signals every 50 ms: a KeyboardInterrupt (Ctrl-C) asks the
// call to stop through `options`' stop token, and is raised once it has.
// Any other thread waits for it.
template <typename T>
T run_released(call_options& options, bool long_call, const std::function<T()>& call);

// The count of a range: n, or to the end of the data for None.
std::int64_t count_of(const py::object& n);

// A range, refusing a base that is not an int (TypeError) as Python does.
rovurer::range range_of(int base, std::int64_t pos, const py::object& n);

}  // namespace rovurer::python

#include "calls_run.h"
