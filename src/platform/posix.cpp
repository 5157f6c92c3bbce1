// The platform layer on POSIX systems: Linux, macOS and the BSDs.
#ifndef _WIN32

// 64-bit file offsets on 32-bit systems too: digit files are usually larger
// than 2 GiB.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <fcntl.h>
#ifdef __linux__
#include <sched.h>
#endif
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace rovurer::platform {

namespace {

int descriptor_of(const file& opened) {
    return static_cast<int>(opened.native());
}

int descriptor_of(stream to) {
    return to == stream::output ? STDOUT_FILENO : STDERR_FILENO;
}

// The output of the calls that take `to`: that file, or standard output.
int output_descriptor(const file* to) {
    return to != nullptr ? descriptor_of(*to) : STDOUT_FILENO;
}

bool is_pipe(stream to) {
    struct stat status {};
    return fstat(descriptor_of(to), &status) == 0 && S_ISFIFO(status.st_mode);
}

}  // namespace

file open_read(const char* path, int* error) {
    // O_NONBLOCK so that naming a FIFO cannot hang the open; it changes
    // nothing for regular files, and pread refuses a FIFO or terminal anyway.
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        int why = errno;
        // A Unix socket cannot be opened at all: it is no more readable at
        // an offset than a FIFO.
        struct stat named {};
        if (why == ENXIO && stat(path, &named) == 0 && S_ISSOCK(named.st_mode)) {
            why = ESPIPE;
        }
        if (error != nullptr) {
            *error = why;
        }
        return file();
    }
    file opened(descriptor);
    // Refused here rather than at the first read, to say why.
    struct stat status {};
    const bool known = fstat(descriptor, &status) == 0;
    const int refusal = !known                                                 ? 0
                        : S_ISDIR(status.st_mode)                              ? EISDIR
                        : S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) ? ESPIPE
                                                                               : 0;
    if (refusal != 0) {
        if (error != nullptr) {
            *error = refusal;
        }
        return file();
    }
    return opened;
}

std::int64_t file_size(const file& opened) {
    struct stat status {};
    if (fstat(descriptor_of(opened), &status) != 0 || !S_ISREG(status.st_mode)) {
        return -1;
    }
    return static_cast<std::int64_t>(status.st_size);
}

std::size_t read_at(const file& opened, void* destination, std::size_t length, std::int64_t offset, int* error) {
    if (error != nullptr) {
        *error = 0;
    }
    static_assert(sizeof(off_t) == sizeof(std::int64_t), "64-bit file offsets");
    constexpr std::int64_t max_offset = std::numeric_limits<std::int64_t>::max();
    if (offset < 0 || length > static_cast<std::uint64_t>(max_offset - offset)) {
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(descriptor_of(opened), bytes + done, length - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && error != nullptr) {
            *error = errno;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

namespace {

// Made by catch_stop_signals: the handler writes a byte to it, so that a
// wait for input sees a signal that came before the wait began.
int stop_pipe[2] = {-1, -1};

// Waits until `descriptor` has input (or its end); false when a stop
// signal has been caught.
bool wait_readable(int descriptor) {
    if (stop_pipe[0] < 0) {
        return true;
    }
    pollfd waits[2] = {{descriptor, POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
    for (;;) {
        if (stop_signal() != 0) {
            return false;
        }
        const int ready = poll(waits, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return (waits[1].revents & POLLIN) == 0;
    }
}

}  // namespace

file open_sequential(const char* path, int* error) {
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        if (error != nullptr) {
            *error = errno;
        }
        return file();
    }
    file opened(descriptor);
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        if (error != nullptr) {
            *error = EISDIR;
        }
        return file();
    }
    return opened;
}

native_file standard_input() {
    return STDIN_FILENO;
}

std::int64_t read_next(native_file handle, void* destination, std::size_t length, int* error) {
    for (;;) {
        if (!wait_readable(static_cast<int>(handle))) {
            *error = EINTR;
            return -1;
        }
        const ssize_t got = ::read(static_cast<int>(handle), destination, length);
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR || stop_signal() != 0) {
            *error = errno;
            return -1;
        }
    }
}

file create_new(const char* path, int* error) {
    const int descriptor = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && error != nullptr) {
        *error = errno;
    }
    return descriptor < 0 ? file() : file(descriptor);
}

int write_at(const file& opened, const void* bytes, std::size_t length, std::int64_t offset) {
    const auto* from = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t written = pwrite(descriptor_of(opened), from + done, length - done,
                                       static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

int sync(const file& opened) {
    return fsync(descriptor_of(opened)) == 0 ? 0 : errno;
}

int rename_file(const char* from, const char* to, bool replace) {
    int status = 0;
    if (replace) {
        status = rename(from, to) == 0 ? 0 : errno;
    } else {
#if defined(__linux__)
        status = renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
        if (status == EINVAL || status == ENOSYS)
#endif
        {
            // A hard link fails when `to` exists; the new name is whole or absent.
            status = link(from, to) == 0 ? 0 : errno;
            if (status == 0) {
                (void)unlink(from);
            }
        }
    }
    if (status != 0) {
        return status;
    }
    // The new name lasts a crash only once its folder is flushed too.
    const std::string_view target = to;
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string_view::npos ? "."
                               : slash == 0                    ? "/"
                                                               : std::string(target.substr(0, slash));
    const int directory = open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (directory >= 0) {
        (void)fsync(directory);
        close(directory);
    }
    return 0;
}

int remove_file(const char* path) {
    return unlink(path) == 0 ? 0 : errno;
}

bool path_exists(const char* path) {
    struct stat status {};
    return lstat(path, &status) == 0;
}

std::int64_t process_number() {
    return getpid();
}

void advise_willneed(const file& opened, std::int64_t offset, std::int64_t length) {
#if defined(POSIX_FADV_WILLNEED) && !defined(__APPLE__)
    // Linux starts reading at most the device's readahead window per call
    // (128 KiB on many disks), so the span goes out in pieces of that size.
    constexpr std::int64_t piece = std::int64_t{128} << 10;
    for (std::int64_t done = 0; done < length; done += piece) {
        const std::int64_t size = length - done < piece ? length - done : piece;
        (void)posix_fadvise(descriptor_of(opened), static_cast<off_t>(offset + done), static_cast<off_t>(size),
                            POSIX_FADV_WILLNEED);
    }
#elif defined(F_RDADVISE)
    if (length > std::numeric_limits<int>::max()) {
        length = std::numeric_limits<int>::max();
    }
    radvisory advice{};
    advice.ra_offset = static_cast<off_t>(offset);
    advice.ra_count = static_cast<int>(length);
    (void)fcntl(descriptor_of(opened), F_RDADVISE, &advice);
#else
    (void)opened;
    (void)offset;
    (void)length;
#endif
}

void close_native(native_file handle) {
    if (handle != no_file) {
        close(static_cast<int>(handle));
    }
}

// A view is one of a fixed set of slots, so that the bus-error handler can
// find the view a faulting address lies in without taking a lock.
struct file_view {
    std::atomic<bool> taken{false};
    // The mapped pages are [mapping, end); end is 0 while they are not
    // mapped, and stored last.
    std::atomic<void*> mapping{nullptr};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> failed{false};
    std::atomic<std::uintptr_t> zeroed{0};  // the page the handler last put zeros in, plus 1
    std::size_t mapped_bytes = 0;
    const unsigned char* bytes = nullptr;  // the span's first byte, in the mapping
};

namespace {

// Two views a source at most (a compare reads two files), for more threads
// than most machines have; past that, sources read.
constexpr std::size_t view_slots = 128;
file_view views[view_slots];
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<std::uintptr_t>::is_always_lock_free &&
                  std::atomic<void*>::is_always_lock_free,
              "the bus-error handler reads the slots");

std::uintptr_t page_bytes = 4096;  // set before the handler is installed
struct sigaction earlier_bus_action {};

// A page of a view that cannot be read raises SIGBUS when touched. The
// handler maps a page of zeros in its place, so that the touch completes,
// and marks the view failed for its reader to see. A bus error anywhere
// else gets the action there was before, by faulting again.
void on_bus_error(int /*signal*/, siginfo_t* info, void* /*context*/) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (file_view& view : views) {
        const std::uintptr_t end = view.end.load(std::memory_order_acquire);
        if (address < end &&
            address >= reinterpret_cast<std::uintptr_t>(view.mapping.load(std::memory_order_acquire))) {
            // A second fault on the page just replaced means the zeros did
            // not take its place: stop rather than fault for ever.
            const std::uintptr_t page_number = address / page_bytes + 1;
            void* const page = static_cast<char*>(info->si_addr) - address % page_bytes;
            if (view.zeroed.exchange(page_number) != page_number &&
                mmap(page, page_bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
                view.failed.store(true, std::memory_order_release);
                return;
            }
            break;
        }
    }
    (void)sigaction(SIGBUS, &earlier_bus_action, nullptr);
}

bool catch_bus_errors() {
    static std::once_flag installing;
    static bool installed = false;
    std::call_once(installing, [] {
        const long size = sysconf(_SC_PAGESIZE);
        page_bytes = size > 0 ? static_cast<std::uintptr_t>(size) : 4096;
        struct sigaction action {};
        action.sa_sigaction = on_bus_error;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        installed = sigaction(SIGBUS, &action, &earlier_bus_action) == 0;
    });
    return installed;
}

}  // namespace

file_view* map_view(const file& opened, std::int64_t offset, std::size_t length) {
    const std::int64_t size = file_size(opened);
    if (offset < 0 || length == 0 || size < offset || static_cast<std::uint64_t>(size - offset) < length ||
        !catch_bus_errors()) {
        return nullptr;
    }
    file_view* slot = nullptr;
    for (file_view& view : views) {
        bool expected = false;
        if (!view.taken.load(std::memory_order_relaxed) &&
            view.taken.compare_exchange_strong(expected, true, std::memory_order_acquire)) {
            slot = &view;
            break;
        }
    }
    if (slot == nullptr) {
        return nullptr;
    }
    const auto lead = static_cast<std::size_t>(static_cast<std::uint64_t>(offset) % page_bytes);
    void* const base = mmap(nullptr, lead + length, PROT_READ, MAP_SHARED, descriptor_of(opened),
                            static_cast<off_t>(offset - static_cast<std::int64_t>(lead)));
    if (base == MAP_FAILED) {
        slot->taken.store(false, std::memory_order_release);
        return nullptr;
    }
    slot->mapping.store(base, std::memory_order_release);
    slot->mapped_bytes = lead + length;
    slot->bytes = static_cast<const unsigned char*>(base) + lead;
    slot->failed.store(false, std::memory_order_relaxed);
    slot->zeroed.store(0, std::memory_order_relaxed);
    slot->end.store(reinterpret_cast<std::uintptr_t>(base) + lead + length, std::memory_order_release);
    return slot;
}

const unsigned char* view_bytes(const file_view* view) {
    return view->bytes;
}

bool view_failed(const file_view* view) {
    return view->failed.load(std::memory_order_acquire);
}

void unmap_view(file_view* view) {
    if (view == nullptr) {
        return;
    }
    view->end.store(0, std::memory_order_release);
    (void)munmap(view->mapping.load(std::memory_order_relaxed), view->mapped_bytes);
    view->taken.store(false, std::memory_order_release);
}

void* allocate_block(std::size_t bytes) {
    // Aligned for transparent huge pages: four 2 MiB pages instead of 2048
    // small ones make 8 MiB reads several times faster (far fewer TLB misses
    // and page faults).
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    void* buffer = nullptr;
    if (posix_memalign(&buffer, huge_page, bytes) != 0) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    (void)madvise(buffer, bytes, MADV_HUGEPAGE);  // advice only
#endif
    return buffer;
}

void free_block(void* buffer, std::size_t /*bytes*/) {
    std::free(buffer);
}

void prepare_output(std::size_t wanted_pipe_bytes) {
#ifdef F_SETPIPE_SZ
    const int wanted = wanted_pipe_bytes < (std::size_t{1} << 30) ? static_cast<int>(wanted_pipe_bytes) : 1 << 30;
    if (is_pipe(stream::output) && fcntl(STDOUT_FILENO, F_GETPIPE_SZ) < wanted) {
        (void)fcntl(STDOUT_FILENO, F_SETPIPE_SZ, wanted);  // only ever grows; a refusal changes nothing
    }
#else
    (void)wanted_pipe_bytes;
#endif
}

bool is_terminal(stream to) {
    return isatty(descriptor_of(to)) == 1;
}

std::int64_t raise_open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return -1;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > static_cast<rlim_t>(INT64_MAX)
               ? INT64_MAX
               : static_cast<std::int64_t>(limit.rlim_cur);
}

int usable_processors() {
#if defined(__linux__)
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        return count > 0 ? count : 1;
    }
#endif
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 && online < 4096 ? static_cast<int>(online) : 1;
}

namespace {

// Writes all `length` bytes with write_some(bytes, length, done), a write
// call for the bytes left after the first `done`, retrying interrupted and
// partial writes. Returns 0, or an errno value (EIO for a write that makes
// no progress, rather than trying for ever).
//
// Standard output takes nothing more once a signal asked the job to stop, and
// a write to it that waits gives up when the signal arrives: what was written
// stays, the job ends. Standard error still takes the last messages.
template <typename WriteSome>
int write_all(const char* bytes, std::size_t length, bool to_output, WriteSome write_some) {
    std::size_t done = 0;
    while (done < length) {
        if (to_output && stop_signal() != 0) {
            return EINTR;
        }
        const ssize_t written = write_some(bytes + done, length - done, done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

int write(stream to, const char* bytes, std::size_t length) {
    return write_all(bytes, length, to == stream::output,
                     [to](const char* rest, std::size_t left, std::size_t /*done*/) {
                         return ::write(descriptor_of(to), rest, left);
                     });
}

file create_output(const char* path, int* error) {
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0 && error != nullptr) {
        *error = errno;
    }
    return descriptor < 0 ? file() : file(descriptor);
}

int write_output(const file& to, const char* bytes, std::size_t length) {
    return write_all(bytes, length, false, [&to](const char* rest, std::size_t left, std::size_t /*done*/) {
        return ::write(descriptor_of(to), rest, left);
    });
}

std::int64_t output_offset(const file* to) {
    const int descriptor = output_descriptor(to);
    struct stat output {};
    struct stat error_stream {};
    struct stat null_device {};
    if (fstat(descriptor, &output) != 0) {
        return -1;
    }
    const int flags = fcntl(descriptor, F_GETFL);
    const bool regular = S_ISREG(output.st_mode);
    const bool null = S_ISCHR(output.st_mode) && stat("/dev/null", &null_device) == 0 && S_ISCHR(null_device.st_mode) &&
                      output.st_rdev == null_device.st_rdev;
    const bool shared_with_errors = to == nullptr && fstat(STDERR_FILENO, &error_stream) == 0 &&
                                    error_stream.st_dev == output.st_dev && error_stream.st_ino == output.st_ino;
    if (flags < 0 || (flags & O_APPEND) != 0 || !(regular || null) || (regular && shared_with_errors)) {
        return -1;
    }
    const off_t position = lseek(descriptor, 0, SEEK_CUR);
    if (position < 0 || (regular && output.st_size > position)) {
        return -1;
    }
    return static_cast<std::int64_t>(position);
}

int write_output_at(std::int64_t offset, const char* bytes, std::size_t length, const file* to) {
    constexpr std::int64_t largest = std::numeric_limits<off_t>::max();
    if (offset < 0 || offset > largest || static_cast<std::uint64_t>(largest - offset) < length) {
        return EFBIG;
    }
    const int descriptor = output_descriptor(to);
    return write_all(
        bytes, length, to == nullptr, [offset, descriptor](const char* rest, std::size_t left, std::size_t done) {
            return pwrite(descriptor, rest, left, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        });
}

int move_output_to(std::int64_t offset, bool cut, const file* to) {
    if (offset < 0 || offset > std::numeric_limits<off_t>::max()) {
        return EINVAL;
    }
    const int descriptor = output_descriptor(to);
    struct stat output {};
    if (cut && fstat(descriptor, &output) == 0 && S_ISREG(output.st_mode) &&
        ftruncate(descriptor, static_cast<off_t>(offset)) != 0) {
        return errno;
    }
    return lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
}

bool reserve_output(std::int64_t offset, std::int64_t length, const file* to) {
#if defined(__linux__) && defined(FALLOC_FL_KEEP_SIZE)
    const int descriptor = output_descriptor(to);
    struct stat output {};
    struct statvfs space {};
    struct rlimit size_limit {};
    if (offset < 0 || length <= 0 || offset > std::numeric_limits<off_t>::max() - length ||
        fstat(descriptor, &output) != 0 || !S_ISREG(output.st_mode) || fstatvfs(descriptor, &space) != 0 ||
        getrlimit(RLIMIT_FSIZE, &size_limit) != 0) {
        return false;
    }
    // Half of what is free for this process, which leaves others room; in
    // blocks, which cannot overflow.
    const auto blocks = static_cast<std::uint64_t>(length) / (space.f_frsize > 0 ? space.f_frsize : 1);
    const bool fits = blocks < space.f_bavail / 2;
    const bool allowed =
        size_limit.rlim_cur == RLIM_INFINITY || static_cast<std::uint64_t>(offset + length) <= size_limit.rlim_cur;
    return fits && allowed &&
           fallocate(descriptor, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
#else
    (void)offset;
    (void)length;
    (void)to;
    return false;
#endif
}

void release_output_reserve(std::int64_t reserved_end, const file* to) {
#if defined(__linux__) && defined(FALLOC_FL_KEEP_SIZE)
    // Cutting a file at its own size frees the blocks past it.
    const int descriptor = output_descriptor(to);
    struct stat output {};
    if (fstat(descriptor, &output) == 0 && S_ISREG(output.st_mode) && output.st_size < reserved_end) {
        (void)ftruncate(descriptor, output.st_size);
    }
#else
    (void)reserved_end;
    (void)to;
#endif
}

namespace {

std::atomic<int> caught_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop-signal handler stores it");

// The threads a caught stop signal is passed on to, in slots that the
// handler reads without a lock. A slot is emptied only once no handler runs,
// so that the handler never signals a thread that has ended.
constexpr int thread_slots = 256;
struct thread_slot {
    std::atomic<bool> taken{false};
    std::atomic<bool> ready{false};  // `thread` is set
    pthread_t thread{};
};
thread_slot thread_slots_in_use[thread_slots];
std::atomic<int> handlers_running{0};

void on_stop_signal(int number, siginfo_t* info, void* /*context*/) {
    handlers_running.fetch_add(1);
    int none = 0;
    (void)caught_signal.compare_exchange_strong(none, number);
    if (stop_pipe[1] >= 0) {
        const int saved = errno;
        const ssize_t ignored = ::write(stop_pipe[1], "", 1);  // a full pipe already says it
        (void)ignored;
        errno = saved;
    }
    // A signal from outside reaches one thread: pass it on to the others
    // (not what this process passed on itself), so that a write waiting in
    // any of them gives up.
    const bool passed_on = info != nullptr && info->si_code == SI_TKILL && info->si_pid == getpid();
    if (!passed_on) {
        const pthread_t self = pthread_self();
        for (thread_slot& slot : thread_slots_in_use) {
            if (slot.ready.load(std::memory_order_acquire) && pthread_equal(slot.thread, self) == 0) {
                (void)pthread_kill(slot.thread, number);
            }
        }
    }
    handlers_running.fetch_sub(1);
}

}  // namespace

#ifdef __linux__
static_assert(sizeof(cpu_set_t) <= sizeof(std::uint64_t[16]));

namespace {

// The processors of `all` but `excluded`; false when none is left.
bool all_but(const std::uint64_t* all, int excluded, cpu_set_t& others) {
    std::memcpy(&others, all, sizeof others);
    if (excluded >= 0 && excluded < CPU_SETSIZE) {
        CPU_CLR(static_cast<std::size_t>(excluded), &others);
    }
    return CPU_COUNT(&others) > 0;
}

}  // namespace

helper_start::helper_start() {
    if (sched_getaffinity(0, sizeof(cpu_set_t), reinterpret_cast<cpu_set_t*>(processors_)) != 0) {
        std::memset(processors_, 0, sizeof processors_);  // nothing is moved
    }
    starter_processor_ = sched_getcpu();
}

void helper_start::send_away(std::thread& helper) {
    const std::lock_guard<std::mutex> held(lock_);
    if (arrived_) {
        return;  // it runs already
    }
    cpu_set_t others;
    // With no other processor, it stays where it is.
    sent_away_ = all_but(processors_, sched_getcpu(), others) &&
                 pthread_setaffinity_np(helper.native_handle(), sizeof others, &others) == 0;
}

void helper_start::arrived() {
    const std::lock_guard<std::mutex> held(lock_);
    arrived_ = true;
    cpu_set_t others;
    if (!sent_away_ && sched_getcpu() == starter_processor_ && all_but(processors_, starter_processor_, others)) {
        // It runs first, on its starter's processor, which then waits in
        // turn: it moves itself.
        sent_away_ = pthread_setaffinity_np(pthread_self(), sizeof others, &others) == 0;
    }
    if (sent_away_) {
        (void)pthread_setaffinity_np(pthread_self(), sizeof(cpu_set_t), reinterpret_cast<cpu_set_t*>(processors_));
    }
}
#else
helper_start::helper_start() = default;
void helper_start::send_away(std::thread& /*helper*/) {}
void helper_start::arrived() {}
#endif

std::thread start_helper(std::function<void()> body) {
    const auto start = std::make_shared<helper_start>();
    std::thread helper([start, work = std::move(body)] {
        start->arrived();
        work();
    });
    start->send_away(helper);
    return helper;
}

interruptible_thread::interruptible_thread() {
    for (int i = 0; i < thread_slots; ++i) {
        bool expected = false;
        if (thread_slots_in_use[i].taken.compare_exchange_strong(expected, true)) {
            thread_slots_in_use[i].thread = pthread_self();
            thread_slots_in_use[i].ready.store(true, std::memory_order_release);
            slot_ = i;
            return;
        }
    }
}

interruptible_thread::~interruptible_thread() {
    if (slot_ < 0) {
        return;
    }
    thread_slot& slot = thread_slots_in_use[slot_];
    slot.ready.store(false, std::memory_order_seq_cst);
    while (handlers_running.load() != 0) {
        sched_yield();  // a handler that may have read the slot is still passing the signal on
    }
    slot.taken.store(false, std::memory_order_release);
}

void catch_stop_signals() {
    if (stop_pipe[0] < 0) {
        int ends[2] = {-1, -1};
        if (pipe(ends) == 0) {
            for (const int end : ends) {
                (void)fcntl(end, F_SETFD, FD_CLOEXEC);
                (void)fcntl(end, F_SETFL, O_NONBLOCK);
            }
            stop_pipe[0] = ends[0];
            stop_pipe[1] = ends[1];
        }
    }
    struct sigaction action {};
    action.sa_sigaction = on_stop_signal;
    action.sa_flags = SA_SIGINFO;  // no SA_RESTART: a write that waits gives up
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        // A signal ignored when the process started (nohup, a background
        // job) stays ignored.
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            (void)sigaction(number, &action, nullptr);
        }
    }
}

int stop_signal() {
    return caught_signal.load(std::memory_order_relaxed);
}

void end_by_signal(int number) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    (void)sigaction(number, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    (void)pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    (void)raise(number);
    _exit(128 + number);  // the default action of these signals ends the process first
}

void ignore_file_size_signal() {
    (void)signal(SIGXFSZ, SIG_IGN);
}

char** arguments(int* /*argc*/, char** argv) {
    return argv;
}

}  // namespace rovurer::platform

#endif
