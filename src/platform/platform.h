// The operating system as the reader and the front end see it: one file read
// at 64-bit offsets or mapped in views, the block buffer's memory, and the two
// output streams.
// posix.cpp implements it for Linux, macOS and the BSDs, windows.cpp for
// Windows; nothing else in rovurer touches the OS.
//
// Text crossing this interface (paths, messages) is UTF-8 on Windows and
// bytes as given elsewhere. None of these functions throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace rovurer::platform {

// An open file as the system names it: a descriptor on POSIX, a HANDLE on
// Windows.
using native_file = std::intptr_t;
inline constexpr native_file no_file = -1;

// Closes a native file; accepts no_file.
void close_native(native_file handle);

// An open file, owned: closed when the owner goes away. Moves, never copies.
class file {
public:
    file() = default;
    explicit file(native_file handle) : handle_(handle) {}
    ~file() { close_native(handle_); }
    file(file&& other) noexcept : handle_(other.handle_) { other.handle_ = no_file; }
    file& operator=(file&& other) noexcept {
        if (this != &other) {
            close_native(handle_);
            handle_ = other.handle_;
            other.handle_ = no_file;
        }
        return *this;
    }
    file(const file&) = delete;
    file& operator=(const file&) = delete;

    bool is_open() const { return handle_ != no_file; }
    native_file native() const { return handle_; }

private:
    native_file handle_ = no_file;
};

// Opens `path` for reading in byte mode. Returns a closed file when it
// cannot be opened, or when it is not something a digit file can be read
// from at an offset (a directory, a FIFO, a terminal or console): never
// blocks waiting for a writer. Then sets *error, unless `error` is nullptr,
// to an errno value that says why (EISDIR for a directory, ESPIPE where the
// file cannot be read at an offset: a FIFO or a socket).
file open_read(const char* path, int* error);

// The size in bytes of an open regular file; -1 for anything else (a
// device) or when the system cannot tell.
std::int64_t file_size(const file& opened);

// Reads `length` bytes at byte `offset` into `destination`, retrying
// interrupted and partial reads. Returns the bytes read: fewer than asked at
// the end of the file, on an error, or when offset + length is not a file
// offset the system can represent (then 0). Sets *error, unless `error` is
// nullptr, to the errno value of a read that failed, or 0. Never moves a
// file position.
std::size_t read_at(const file& opened, void* destination, std::size_t length, std::int64_t offset,
                    int* error = nullptr);

// Opens `path` to read it from start to end: any file but a directory, a
// FIFO or a terminal too. Returns a closed file and sets *error, unless
// `error` is nullptr, to an errno value when it cannot.
file open_sequential(const char* path, int* error);

// Standard input, to read it from start to end; not owned by the caller.
native_file standard_input();

// Reads up to `length` bytes from the file's position on, retrying
// interrupted reads unless a stop signal has been caught. Returns the bytes
// read, 0 at the end; -1 on an error, with *error set to the errno value
// (EINTR after a stop signal).
std::int64_t read_next(native_file handle, void* destination, std::size_t length, int* error);

// Creates `path`, which must not exist, for reading and writing, readable
// by all as the umask allows. Returns a closed file and sets *error, unless
// `error` is nullptr, to an errno value (EEXIST when it exists).
file create_new(const char* path, int* error);

// Writes all `length` bytes at byte `offset`, without moving a file
// position. Returns 0, or an errno value (ENOSPC, EFBIG, EIO, ...).
int write_at(const file& opened, const void* bytes, std::size_t length, std::int64_t offset);

// Flushes the file's data to its device. Returns 0, or an errno value.
int sync(const file& opened);

// Gives the file at `from` the name `to`, in one step: a reader of `to`
// finds the old file or the new one, never a part. Replaces a file at `to`
// only when `replace`; otherwise fails with EEXIST when one is there. Then
// flushes the folder's entry where the system allows. Returns 0, or an
// errno value.
int rename_file(const char* from, const char* to, bool replace);

// Removes the file at `path`. Returns 0, or an errno value.
int remove_file(const char* path);

// Whether something (a file, a folder, a link) is at `path`.
bool path_exists(const char* path);

// The number of this process, to make names no other process uses.
std::int64_t process_number();

// Asks the system to start reading `length` bytes at `offset` in the
// background. Advice only: does nothing where the system has no such call,
// and never fails.
void advise_willneed(const file& opened, std::int64_t offset, std::int64_t length);

// A read-only view of a span of a file, mapped into memory so that its
// bytes are read in place rather than copied into a buffer.
struct file_view;

// Maps the `length` bytes of `opened` from byte `offset`. Returns nullptr
// where the system cannot (no mapping call, no room for another view, the
// span not wholly inside the file): then read the span instead. Pages are
// read from the file when first touched; one that cannot be read then (an
// I/O error, or the file cut below it since it was mapped) reads as zeros
// rather than stopping the process, and the view is failed from then on.
file_view* map_view(const file& opened, std::int64_t offset, std::size_t length);

// The first byte of the span.
const unsigned char* view_bytes(const file_view* view);

// Whether a page of the view could not be read when touched: its bytes so
// far may be zeros that the file does not hold.
bool view_failed(const file_view* view);

// Unmaps the view; accepts nullptr.
void unmap_view(file_view* view);

// `bytes` of memory for block reads, aligned for huge pages where the system
// has them; its pages are not touched until used. nullptr when out of
// memory. Freed with free_block(buffer, bytes).
void* allocate_block(std::size_t bytes);
void free_block(void* buffer, std::size_t bytes);

enum class stream { output, error };

// Makes standard output carry bytes untranslated (no "\r\n" for "\n") and,
// when it is a pipe, grows the pipe towards `wanted_pipe_bytes` where the
// system allows: a larger pipe lets the writer and the reader take turns
// less often. Advice apart from the byte mode; failures change nothing.
void prepare_output(std::size_t wanted_pipe_bytes);

// Whether the stream is a terminal (a console on Windows).
bool is_terminal(stream to);

// The processors this process may run on: its CPU affinity on Linux, its
// active processors on Windows, the online ones elsewhere; at least 1.
int usable_processors();

// Raises this process's soft limit on open files to its hard limit, as
// servers do, and returns the soft limit then in force; -1 where the system
// sets no such limit.
std::int64_t raise_open_file_limit();

// Writes all `length` bytes to the stream. Returns 0, or an errno value
// (ENOSPC, EPIPE, EIO, ...) when they could not all be written.
int write(stream to, const char* bytes, std::size_t length);

// Text output goes to standard output, or, where a function takes `to`, to
// that open file instead (nullptr: standard output).

// Creates the file at `path` for text output, or empties the one there.
// Returns a closed file and sets *error, unless `error` is nullptr, to an
// errno value when it cannot.
file create_output(const char* path, int* error);

// Writes all `length` bytes at the output's position and moves it past
// them; for `to`, an open file (standard output is written with write()).
// Returns 0, or an errno value.
int write_output(const file& to, const char* bytes, std::size_t length);

// Where the next byte written to the output goes, when the output takes
// writes at any offset, so that threads can write their parts of it in
// place: a regular file not opened for appending (nor, for standard output,
// shared with standard error) that holds nothing past that offset, or the
// null device. -1 for anything else (a file with bytes after the offset,
// which a write in place could not keep; a pipe, a terminal, another
// device; always on Windows).
std::int64_t output_offset(const file* to = nullptr);

// Writes all `length` bytes at byte `offset` of the output, without moving
// its position. Returns 0, or an errno value.
int write_output_at(std::int64_t offset, const char* bytes, std::size_t length, const file* to = nullptr);

// Moves the output's position to `offset`, where the next write goes, first
// cutting a regular file there when `cut`. Returns 0, or an errno value.
int move_output_to(std::int64_t offset, bool cut, const file* to = nullptr);

// Sets aside the disk space of `length` bytes of the output from `offset`
// on, its size unchanged, so that the writes that fill them need not find
// space as they go (on Linux a regular file's writes then take about a
// fifth less time, and threads writing one file wait less on each other).
// Only where the space is free and the file-size limit allows it: a full
// disk or the limit fails the writes where they would have failed anyway.
// Returns whether space was set aside; nothing is, on another system or
// another output, or when the file system refuses.
bool reserve_output(std::int64_t offset, std::int64_t length, const file* to = nullptr);

// Gives back the space set aside past the output's end when that end is
// before `reserved_end` (a job that stopped, a text shorter than foreseen):
// the file's bytes and size stay as they are.
void release_output_reserve(std::int64_t reserved_end, const file* to = nullptr);

// Signals that ask a job to stop: SIGINT, SIGTERM and SIGHUP. From
// catch_stop_signals() on, each only records its number, which stop_signal()
// returns (0 before any), and makes writes to standard output and error give
// up with EINTR rather than wait (on a pipe or a terminal), so that the job
// can stop cleanly and then end_by_signal(). Nothing on Windows, where
// stop_signal() stays 0.
void catch_stop_signals();
int stop_signal();

// While one lives on a thread, a stop signal that any thread catches also
// interrupts a write this thread waits in, so that whichever thread writes
// the job's output stops. One on each thread that writes output during a
// job that catches stop signals.
class interruptible_thread {
public:
    interruptible_thread();
    ~interruptible_thread();
    interruptible_thread(const interruptible_thread&) = delete;
    interruptible_thread& operator=(const interruptible_thread&) = delete;

private:
    int slot_ = -1;
};

// A thread just started begins on the processor of the thread that started
// it; while that thread works on, on Linux, it waits there for the
// scheduler's next balancing, milliseconds later, though another processor
// is idle; or it runs first, and its starter waits. One helper_start for
// each helper, made by the starter before it starts the helper, sends it
// away at once: the starter calls send_away() right after starting it, and
// the helper calls arrived() first thing, which moves it itself if it runs
// first on its starter's processor, and gives it back every processor the
// starter may use. Either may come first. Nothing on other systems.
class helper_start {
public:
    helper_start();
    void send_away(std::thread& helper);
    void arrived();
    helper_start(const helper_start&) = delete;
    helper_start& operator=(const helper_start&) = delete;

private:
    std::mutex lock_;
    bool arrived_ = false;
    bool sent_away_ = false;
    int starter_processor_ = -1;
    std::uint64_t processors_[16] = {};  // the starter's, as the system keeps them (Linux: a cpu_set_t)
};

// Starts a thread running `body` as a helper_start says: at once on another
// processor. Throws as std::thread does.
std::thread start_helper(std::function<void()> body);

// Ends the process by signal `number` with its default action, as if it had
// never been caught, so that the shell sees 128 + number.
[[noreturn]] void end_by_signal(int number);

// Ignores SIGXFSZ, so that a write past the file-size limit fails with
// EFBIG like any other write error, instead of ending the process.
void ignore_file_size_signal();

// The command line: on Windows rebuilt as UTF-8 from the wide command line,
// so that any file name can be typed, with `*argc` updated; elsewhere `argv`
// itself. The result lives until the process ends.
char** arguments(int* argc, char** argv);

}  // namespace rovurer::platform
