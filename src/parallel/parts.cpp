#include "parallel/parts.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "reader/word_source.h"

namespace rovurer {

namespace {

// What the threads share. The part whose turn it is writes to the output
// alone, without the lock: only it moves the turn on.
struct shared_run {
    std::mutex lock;
    std::condition_variable turn_moved;
    std::int64_t parts = 0;
    std::int64_t next_part = 0;  // the next part to start
    std::int64_t turn = 0;       // the part whose output is delivered now
    bool stopped = false;        // no part after `turn` is delivered
    parts_outcome outcome;
    output_buffer* out = nullptr;
    std::int64_t lines_left = -1;  // for a line limit
    const part_job* job = nullptr;
    int readers = 1;
};

// The sink of one thread's part output: waits for the part's turn.
struct part_sink {
    shared_run* run;
    std::int64_t part;
    output_buffer* own;  // the thread's part output
};

// Whether `part` may deliver now: it is its turn. Waits for that, or for a
// stop before it.
bool wait_for_turn(shared_run& run, std::int64_t part, std::unique_lock<std::mutex>& held) {
    run.turn_moved.wait(held, [&] { return run.turn == part || run.stopped; });
    return run.turn == part;
}

int deliver(void* context, const char* bytes, std::size_t length) {
    const auto& sink = *static_cast<part_sink*>(context);
    shared_run& run = *sink.run;
    {
        std::unique_lock<std::mutex> held(run.lock);
        if (!wait_for_turn(run, sink.part, held) || run.stopped) {
            return ECANCELED;  // a part before this one ended the job
        }
    }
    // This part's turn: the output is its own until it moves the turn on,
    // and the rest of its text goes out as it is made.
    sink.own->deliver_at_most(turn_output_bytes);
    std::size_t sent = length;
    bool limit_reached = false;
    if (run.lines_left >= 0) {
        for (std::size_t at = 0; at < length; ++at) {
            if (bytes[at] == '\n' && --run.lines_left == 0) {
                sent = at + 1;
                limit_reached = true;
                break;
            }
        }
    }
    for (std::size_t at = 0; at < sent && !run.out->failed(); at += turn_output_bytes) {
        run.out->append(bytes + at, sent - at < turn_output_bytes ? sent - at : turn_output_bytes);
    }
    if (limit_reached) {
        const std::lock_guard<std::mutex> held(run.lock);
        run.stopped = true;
        run.turn_moved.notify_all();
        return ECANCELED;
    }
    return run.out->failed() ? run.out->error() : 0;
}

// Runs a part's job; a job that cannot get memory ends out_of_memory.
command_result run_job(const part_job& job, std::int64_t part, output_buffer& out) {
    try {
        return job(part, out);
    } catch (const std::bad_alloc&) {
        return command_result::out_of_memory;
    }
}

void work_parts(shared_run& run) {
    block_reuse reuse;  // parts on this thread share their block buffers
    part_sink sink{&run, 0, nullptr};
    output_buffer part_out(deliver, &sink, part_output_bytes);
    sink.own = &part_out;
    if (!reuse.reserve(run.readers)) {
        return;
    }
    for (;;) {
        {
            const std::lock_guard<std::mutex> held(run.lock);
            if (run.stopped || run.next_part == run.parts) {
                return;
            }
            sink.part = run.next_part++;
            part_out.deliver_at_most(run.turn == sink.part ? turn_output_bytes : part_output_bytes);
        }
        command_result result = run_job(*run.job, sink.part, part_out);
        if (!part_out.flush() && result == command_result::shown) {
            result = command_result::write_failed;  // the part's last bytes could not be delivered
        }
        std::unique_lock<std::mutex> held(run.lock);
        if (!wait_for_turn(run, sink.part, held)) {
            return;  // a part before this one ended the job: this one's result does not count
        }
        if (!run.stopped && result != command_result::shown) {
            run.stopped = true;
            run.outcome.result = result;
        }
        if (!run.stopped) {
            ++run.turn;
        }
        run.turn_moved.notify_all();
        if (part_out.failed()) {
            return;
        }
    }
}

// A thread that cannot get its output buffer takes no part: the others do
// the work.
void work(shared_run& run) {
    try {
        work_parts(run);
    } catch (const std::bad_alloc&) {
    }
}

// What the threads of a job run in place share, under the lock.
struct placed_run {
    std::mutex lock;
    const platform::file* target = nullptr;  // the output written in place; nullptr: standard output
    std::int64_t start = 0;
    std::int64_t next_part = 0;
    std::int64_t last_wanted = 0;  // no part after it starts: the first known to stop the job, or the last
    bool stopped = false;          // a part stopped the job: last_wanted is it
    placed_outcome outcome;        // of the part that stopped the job, or of the last part
    const std::function<std::int64_t(std::int64_t)>* offset_of = nullptr;
    const part_job* job = nullptr;
};

// The sink of one thread's part output: writes at the part's place.
struct placed_sink {
    placed_run* run = nullptr;
    std::int64_t part = 0;
    std::int64_t at = 0;       // where the part's output begins
    std::int64_t written = 0;  // bytes of it written so far
};

int write_in_place(void* context, const char* bytes, std::size_t length) {
    auto& sink = *static_cast<placed_sink*>(context);
    {
        const std::lock_guard<std::mutex> held(sink.run->lock);
        if (sink.part > sink.run->last_wanted) {
            return ECANCELED;  // a part before this one stopped the job
        }
    }
    const int error = platform::write_output_at(sink.at + sink.written, bytes, length, sink.run->target);
    if (error == 0) {
        sink.written += static_cast<std::int64_t>(length);
    }
    return error;
}

void work_parts_in_place(placed_run& run) {
    block_reuse reuse;
    placed_sink sink;
    sink.run = &run;
    output_buffer part_out(write_in_place, &sink, placed_output_bytes);
    if (!reuse.reserve(1)) {
        return;
    }
    for (;;) {
        {
            const std::lock_guard<std::mutex> held(run.lock);
            if (run.next_part > run.last_wanted) {
                return;
            }
            sink.part = run.next_part++;
        }
        sink.at = run.start + (*run.offset_of)(sink.part);
        sink.written = 0;
        command_result result = run_job(*run.job, sink.part, part_out);
        if (!part_out.flush() && result == command_result::shown) {
            result = command_result::write_failed;
        }
        const std::lock_guard<std::mutex> held(run.lock);
        const bool stops = result != command_result::shown;
        if (sink.part < run.last_wanted ? stops : sink.part == run.last_wanted && !run.stopped) {
            run.last_wanted = sink.part;
            run.stopped = stops;
            run.outcome.result = result;
            run.outcome.end = sink.at + sink.written;
            run.outcome.write_error = result == command_result::write_failed ? part_out.error() : 0;
            run.outcome.part = sink.part;
        }
        if (part_out.failed()) {
            return;  // the job stops at this part or before it: no later part is wanted
        }
    }
}

void work_in_place(placed_run& run) {
    try {
        work_parts_in_place(run);
    } catch (const std::bad_alloc&) {
    }
}

// Runs `work` on `threads` threads, the calling thread among them, but no
// more threads than parts; fewer when the system cannot start them.
void run_on_threads(int threads, std::int64_t parts, const std::function<void()>& work) {
    std::vector<std::thread> helpers;
#ifdef ROVURER_NO_THREADS
    threads = 1;
#endif
    const std::function<void()> run_helper = [&work] {
        const platform::interruptible_thread writes_stop;  // a helper may write the output
        work();
    };
    for (int i = 1; i < threads && i < parts; ++i) {
        try {
            helpers.push_back(platform::start_helper(run_helper));
        } catch (const std::exception&) {
            break;  // no thread, or no memory for one: the threads started so far do the work
        }
    }
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

// What the threads of a job of results share, under the lock.
struct result_run {
    std::mutex lock;
    std::int64_t next_part = 0;
    std::int64_t first_ended = 0;  // the first part known not to be shown, or the number of parts
    command_result result = command_result::shown;
    const result_job* job = nullptr;
    int readers = 1;
};

void work_results(result_run& run) {
    block_reuse reuse;
    if (!reuse.reserve(run.readers)) {
        return;
    }
    for (;;) {
        std::int64_t part = 0;
        {
            const std::lock_guard<std::mutex> held(run.lock);
            if (run.next_part >= run.first_ended) {
                return;
            }
            part = run.next_part++;
        }
        command_result result = command_result::out_of_memory;
        try {
            result = (*run.job)(part);
        } catch (const std::bad_alloc&) {
        }
        const std::lock_guard<std::mutex> held(run.lock);
        if (result != command_result::shown && part < run.first_ended) {
            run.first_ended = part;
            run.result = result;
        }
    }
}

}  // namespace

command_result run_parts(int threads, std::int64_t parts, const result_job& job, int readers) {
    result_run run;
    run.first_ended = parts;
    run.job = &job;
    run.readers = readers;
    run_on_threads(threads, parts, [&run] {
        try {
            work_results(run);
        } catch (const std::bad_alloc&) {
        }
    });
    if (run.next_part < run.first_ended) {
        return command_result::out_of_memory;  // no thread could get the memory to take the parts left
    }
    return run.result;
}

placed_outcome run_in_place(std::int64_t start, int threads, std::int64_t parts,
                            const std::function<std::int64_t(std::int64_t)>& offset_of, const part_job& job,
                            const platform::file* target) {
    placed_run run;
    run.target = target;
    run.start = start;
    run.last_wanted = parts - 1;
    run.outcome.end = start;
    run.offset_of = &offset_of;
    run.job = &job;
    run.outcome.part = parts - 1;
    run_on_threads(threads, parts, [&run] { work_in_place(run); });
    if (run.next_part <= run.last_wanted) {
        // No thread could get the memory to take the parts left.
        run.outcome = {command_result::out_of_memory, start + offset_of(run.next_part), 0, run.next_part};
    }
    return run.outcome;
}

parts_outcome run_in_parts(output_buffer& out, int threads, std::int64_t parts, std::int64_t line_limit,
                           const part_job& job, int readers) {
    shared_run run;
    run.readers = readers;
    run.parts = parts;
    run.out = &out;
    run.lines_left = line_limit;
    run.job = &job;
    if (line_limit == 0) {
        return run.outcome;
    }
    const std::size_t capacity = out.capacity();
    if (threads > 1) {
        out.deliver_at_most(turn_output_bytes);
    }
    run_on_threads(threads, parts, [&run] { work(run); });
    out.deliver_at_most(capacity);
    if (!run.stopped && run.turn < run.parts) {
        run.outcome.result = command_result::out_of_memory;  // no thread could get its buffer
    }
    return run.outcome;
}

std::int64_t piece_start(std::int64_t length, std::int64_t unit, std::int64_t pieces, std::int64_t k) {
    if (k >= pieces) {
        return length;
    }
    // units * k / pieces without overflow: units = q * pieces + r.
    const std::int64_t units = length / unit + (length % unit != 0 ? 1 : 0);
    const std::int64_t whole = units / pieces * k + units % pieces * k / pieces;
    return whole * unit;  // whole < units, so this is below length
}

command_result run_placed(output_buffer& out, std::int64_t start, int threads, std::int64_t parts,
                          const std::function<std::int64_t(std::int64_t)>& offset_of, const part_job& job,
                          const platform::file* target) {
    const placed_outcome placed = run_in_place(start, threads, parts, offset_of, job, target);
    if (placed.result != command_result::write_failed || platform::stop_signal() != 0) {
        // The parts before the one that ended the job are whole: the output
        // ends where that one's text stopped.
        const int move_error = platform::move_output_to(placed.end, placed.result != command_result::shown, target);
        out.fail(placed.result == command_result::write_failed ? placed.write_error : move_error);
        return out.failed() ? command_result::write_failed : placed.result;
    }
    // A write failed: from that part's start, in order, as one thread.
    const int move_error = platform::move_output_to(start + offset_of(placed.part), true, target);
    if (move_error != 0) {
        out.fail(move_error);
        return command_result::write_failed;
    }
    const part_job rest = [&](std::int64_t part, output_buffer& part_out) { return job(placed.part + part, part_out); };
    return run_in_parts(out, 1, parts - placed.part, -1, rest).result;
}

}  // namespace rovurer
