#include "calls.h"

#include <pybind11/stl.h>

#include <cstring>

namespace rovurer::python {

bool on_main_thread() {
    // Only the main thread runs Python's signal handlers (with the GIL).
    static const unsigned long main_thread =
        py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
    return PyThread_get_thread_ident() == main_thread;
}

const rovurer::file& open_file::handle() const {
    if (closed) {
        throw py::value_error("I/O operation on closed file.");
    }
    return file;
}

namespace {

// The library's names of its errors, as rovurer.errors knows them.
const char* code_name(errc code) {
    switch (code) {
        case errc::cannot_open:
            return "cannot_open";
        case errc::unreadable:
            return "unreadable";
        case errc::too_short:
            return "too_short";
        case errc::wrong_magic:
            return "wrong_magic";
        case errc::wrong_kind:
            return "wrong_kind";
        case errc::negative_lead_words:
            return "negative_lead_words";
        case errc::unsupported_base:
            return "unsupported_base";
        case errc::bad_position:
            return "bad_position";
        case errc::past_end:
            return "past_end";
        case errc::bad_digits:
            return "bad_digits";
        case errc::bad_option:
            return "bad_option";
        case errc::read_failed:
            return "read_failed";
        case errc::out_of_memory:
            return "out_of_memory";
        case errc::stopped:
            return "stopped";
        case errc::bad_text:
            return "bad_text";
        case errc::no_digits:
            return "no_digits";
        case errc::target_exists:
            return "target_exists";
        case errc::cannot_create:
            return "cannot_create";
        case errc::write_failed:
            return "write_failed";
        case errc::size_unknown:
            return "size_unknown";
        case errc::bad_part:
            return "bad_part";
    }
    return "unknown";
}

}  // namespace

void raise_error(const rovurer::error& failure, const std::string& path) {
    const py::object made =
        py::module_::import("rovurer.errors")
            .attr("from_library")(code_name(failure.code), failure.message, failure.system_error, path);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(made.ptr())), made.ptr());
    throw py::error_already_set();
}

call_options::call_options(const call_keywords& keywords) {
    options_.threads = 0;
    if (!keywords.threads.is_none()) {
        const auto threads = keywords.threads.cast<std::int64_t>();
        if (threads < 0 || threads > 1 << 16) {
            throw py::value_error("threads must be from 0 (every processor) to 65536, not " + std::to_string(threads));
        }
        options_.threads = static_cast<int>(threads);
    }
    if (!keywords.kernels.is_none()) {
        kernels_ = keywords.kernels.cast<std::string>();
        options_.kernels = kernels_;
    }
    if (keywords.progress.is(py::bool_(true))) {
        bar_ = py::module_::import("rovurer._progress").attr("bar")();
        callable_ = bar_;
    } else if (!keywords.progress.is_none() && !keywords.progress.is(py::bool_(false))) {
        if (!PyCallable_Check(keywords.progress.ptr())) {
            throw py::type_error("progress must be a callable (done, total), True or None");
        }
        callable_ = keywords.progress;
    }
    options_.stop = stop_.get_token();
    if (callable_) {
        options_.progress = progress_callback();
    }
}

call_options::~call_options() {
    if (bar_) {
        try {
            bar_.attr("close")();
        } catch (py::error_already_set& ignored) {
            ignored.discard_as_unraisable(__func__);
        }
    }
}

std::function<void(std::int64_t, std::int64_t)> call_options::progress_callback() {
    if (!callable_) {
        return {};
    }
    // Called from the call's threads one at a time; a callable that raises
    // stops the call, and its exception is raised once the call returns.
    return [this](std::int64_t done, std::int64_t total) {
        const py::gil_scoped_acquire acquired;
        if (callback_error_) {
            return;
        }
        try {
            callable_(done, total);
        } catch (py::error_already_set& raised) {
            callback_error_.emplace(std::move(raised));
            stop_.request_stop();
        }
    };
}

void call_options::raise_callback_error() {
    if (callback_error_) {
        py::error_already_set raised = std::move(*callback_error_);
        callback_error_.reset();
        throw raised;
    }
}

std::int64_t count_of(const py::object& n) {
    if (n.is_none()) {
        return rovurer::to_end;
    }
    const auto count = n.cast<std::int64_t>();
    if (count < 0) {
        throw py::value_error("n must be 0 or more, not " + std::to_string(count));
    }
    return count;
}

rovurer::range range_of(int base, std::int64_t pos, const py::object& n) {
    return {base, pos, count_of(n)};
}

}  // namespace rovurer::python
