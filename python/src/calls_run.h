// run_released, which every binding instantiates.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace rovurer::python {

bool on_main_thread();

template <typename T>
T run_released(call_options& options, bool long_call, const std::function<T()>& call) {
    std::optional<T> answer;
    std::exception_ptr failure;
    bool interrupted = false;
    if (!long_call || !on_main_thread()) {
        py::gil_scoped_release released;
        answer.emplace(call());
    } else {
        std::mutex lock;
        std::condition_variable ended;
        bool done = false;
        py::gil_scoped_release released;
        std::thread worker([&] {
            try {
                answer.emplace(call());
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard<std::mutex> held(lock);
            done = true;
            ended.notify_all();
        });
        for (;;) {
            std::unique_lock<std::mutex> held(lock);
            if (ended.wait_for(held, std::chrono::milliseconds(50), [&] { return done; })) {
                break;
            }
            held.unlock();
            if (!interrupted) {
                const py::gil_scoped_acquire acquired;
                if (PyErr_CheckSignals() != 0) {
                    interrupted = true;  // the exception stays set until the call has stopped
                    options.stop().request_stop();
                }
            }
        }
        worker.join();
    }
    if (interrupted) {
        throw py::error_already_set();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    options.raise_callback_error();
    return std::move(*answer);
}

}  // namespace rovurer::python
