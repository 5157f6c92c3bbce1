// The platform layer on Windows.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include <utility>

#include "platform/platform.h"

namespace rovurer::platform {

namespace {

HANDLE handle_of(const file& opened) {
    return reinterpret_cast<HANDLE>(opened.native());
}

HANDLE handle_of(stream to) {
    return GetStdHandle(to == stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring wide_from_utf8(const char* text, std::size_t length) {
    if (length == 0 || length > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const int size = static_cast<int>(length);
    const int wide_length = MultiByteToWideChar(CP_UTF8, 0, text, size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_length > 0 ? wide_length : 0), L'\0');
    if (wide_length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text, size, wide.data(), wide_length);
    }
    return wide;
}

char* utf8_from_wide(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 1;
    auto* utf8 = new char[size];
    utf8[0] = '\0';
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, length, nullptr, nullptr);
    }
    return utf8;
}

int errno_from_last_error() {
    switch (GetLastError()) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

}  // namespace

file open_read(const char* path, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    const std::wstring wide_path = wide_from_utf8(path, std::char_traits<char>::length(path));
    if (wide_path.empty()) {
        reason = ENOENT;
        return file();
    }
    const HANDLE handle =
        CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // A directory cannot be opened as a file: say so, as POSIX does.
        const DWORD attributes = GetFileAttributesW(wide_path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            reason = EISDIR;
            return file();
        }
        reason = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME ? ENOENT
                 : code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION                           ? EACCES
                                                                                                            : EIO;
        return file();
    }
    // Only disk files can be read at an offset; a console or pipe would wait
    // for input instead.
    file opened(reinterpret_cast<native_file>(handle));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        reason = ESPIPE;
        return file();
    }
    return opened;
}

std::int64_t file_size(const file& opened) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_of(opened), &size)) {
        return -1;
    }
    return static_cast<std::int64_t>(size.QuadPart);
}

// Views are not mapped here: a page that cannot be read would need
// structured exception handling around every use. The reader reads instead.
struct file_view {};

file_view* map_view(const file& /*opened*/, std::int64_t /*offset*/, std::size_t /*length*/) {
    return nullptr;
}

const unsigned char* view_bytes(const file_view* /*view*/) {
    return nullptr;
}

bool view_failed(const file_view* /*view*/) {
    return false;
}

void unmap_view(file_view* /*view*/) {}

std::size_t read_at(const file& opened, void* destination, std::size_t length, std::int64_t offset, int* error) {
    if (error != nullptr) {
        *error = 0;
    }
    constexpr std::int64_t max_offset = std::numeric_limits<std::int64_t>::max();
    if (offset < 0 || length > static_cast<std::uint64_t>(max_offset - offset)) {
        return 0;
    }
    constexpr std::size_t max_chunk = std::size_t{1} << 30;
    auto* bytes = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < length) {
        const auto at = static_cast<std::uint64_t>(offset) + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const std::size_t chunk = length - done < max_chunk ? length - done : max_chunk;
        DWORD got = 0;
        if (!ReadFile(handle_of(opened), bytes + done, static_cast<DWORD>(chunk), &got, &position)) {
            if (error != nullptr && GetLastError() != ERROR_HANDLE_EOF) {
                *error = EIO;
            }
            break;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

file open_sequential(const char* path, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    const std::wstring wide_path = wide_from_utf8(path, std::char_traits<char>::length(path));
    const DWORD attributes = GetFileAttributesW(wide_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = EISDIR;
        return file();
    }
    const HANDLE handle = wide_path.empty() ? INVALID_HANDLE_VALUE
                                            : CreateFileW(wide_path.c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        reason = wide_path.empty() || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                         code == ERROR_INVALID_NAME
                     ? ENOENT
                 : code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ? EACCES
                                                                                  : EIO;
        return file();
    }
    return file(reinterpret_cast<native_file>(handle));
}

native_file standard_input() {
    return reinterpret_cast<native_file>(GetStdHandle(STD_INPUT_HANDLE));
}

std::int64_t read_next(native_file handle, void* destination, std::size_t length, int* error) {
    constexpr std::size_t max_chunk = std::size_t{1} << 30;
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), destination,
                  static_cast<DWORD>(length < max_chunk ? length : max_chunk), &got, nullptr)) {
        // The writing end of a pipe closed: the end of the text.
        if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        *error = errno_from_last_error();
        return -1;
    }
    return got;
}

file create_new(const char* path, int* error) {
    const std::wstring wide_path = wide_from_utf8(path, std::char_traits<char>::length(path));
    const HANDLE handle = wide_path.empty()
                              ? INVALID_HANDLE_VALUE
                              : CreateFileW(wide_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            const DWORD code = GetLastError();
            *error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? EEXIST
                     : code == ERROR_ACCESS_DENIED                             ? EACCES
                     : code == ERROR_PATH_NOT_FOUND                            ? ENOENT
                                                                               : errno_from_last_error();
        }
        return file();
    }
    return file(reinterpret_cast<native_file>(handle));
}

int write_at(const file& opened, const void* bytes, std::size_t length, std::int64_t offset) {
    constexpr std::size_t max_chunk = std::size_t{1} << 30;
    const auto* from = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        const auto at = static_cast<std::uint64_t>(offset) + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const std::size_t chunk = length - done < max_chunk ? length - done : max_chunk;
        DWORD written = 0;
        if (!WriteFile(handle_of(opened), from + done, static_cast<DWORD>(chunk), &written, &position)) {
            return errno_from_last_error();
        }
        if (written == 0) {
            return EIO;
        }
        done += written;
    }
    return 0;
}

int sync(const file& opened) {
    return FlushFileBuffers(handle_of(opened)) ? 0 : errno_from_last_error();
}

int rename_file(const char* from, const char* to, bool replace) {
    const std::wstring wide_from = wide_from_utf8(from, std::char_traits<char>::length(from));
    const std::wstring wide_to = wide_from_utf8(to, std::char_traits<char>::length(to));
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), flags)) {
        return 0;
    }
    const DWORD code = GetLastError();
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? EEXIST
           : code == ERROR_ACCESS_DENIED                             ? EACCES
                                                                     : errno_from_last_error();
}

int remove_file(const char* path) {
    const std::wstring wide_path = wide_from_utf8(path, std::char_traits<char>::length(path));
    return DeleteFileW(wide_path.c_str()) ? 0 : EACCES;
}

bool path_exists(const char* path) {
    const std::wstring wide_path = wide_from_utf8(path, std::char_traits<char>::length(path));
    return !wide_path.empty() && GetFileAttributesW(wide_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::int64_t process_number() {
    return static_cast<std::int64_t>(GetCurrentProcessId());
}

void advise_willneed(const file& /*opened*/, std::int64_t /*offset*/, std::int64_t /*length*/) {}

void close_native(native_file handle) {
    if (handle != no_file) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}

void* allocate_block(std::size_t bytes) {
    // Committed pages are zero pages until first touched.
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void free_block(void* buffer, std::size_t /*bytes*/) {
    if (buffer != nullptr) {
        VirtualFree(buffer, 0, MEM_RELEASE);
    }
}

void prepare_output(std::size_t /*wanted_pipe_bytes*/) {
    // Output goes through WriteFile, which never translates; the C runtime's
    // stream is set to binary too, so nothing can add a "\r".
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

bool is_terminal(stream to) {
    DWORD console_mode = 0;
    return GetConsoleMode(handle_of(to), &console_mode) != 0;
}

std::int64_t raise_open_file_limit() {
    return -1;  // handles have no per-process soft limit
}

int usable_processors() {
    const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 && count < 4096 ? static_cast<int>(count) : 1;
}

file create_output(const char* path, int* error) {
    const std::wstring wide_path = wide_from_utf8(path, std::char_traits<char>::length(path));
    const HANDLE handle = wide_path.empty() ? INVALID_HANDLE_VALUE
                                            : CreateFileW(wide_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            const DWORD code = GetLastError();
            *error = code == ERROR_ACCESS_DENIED    ? EACCES
                     : code == ERROR_PATH_NOT_FOUND ? ENOENT
                                                    : errno_from_last_error();
        }
        return file();
    }
    return file(reinterpret_cast<native_file>(handle));
}

int write_output(const file& to, const char* bytes, std::size_t length) {
    constexpr std::size_t max_chunk = std::size_t{1} << 30;
    std::size_t done = 0;
    while (done < length) {
        const std::size_t chunk = length - done < max_chunk ? length - done : max_chunk;
        DWORD written = 0;
        if (!WriteFile(handle_of(to), bytes + done, static_cast<DWORD>(chunk), &written, nullptr)) {
            return errno_from_last_error();
        }
        if (written == 0) {
            return EIO;
        }
        done += written;
    }
    return 0;
}

// Parts of the output are written in order, by one writer.
std::int64_t output_offset(const file* /*to*/) {
    return -1;
}

int write_output_at(std::int64_t /*offset*/, const char* /*bytes*/, std::size_t /*length*/, const file* /*to*/) {
    return ENOSYS;
}

int move_output_to(std::int64_t /*offset*/, bool /*cut*/, const file* /*to*/) {
    return ENOSYS;
}

bool reserve_output(std::int64_t /*offset*/, std::int64_t /*length*/, const file* /*to*/) {
    return false;
}

void release_output_reserve(std::int64_t /*reserved_end*/, const file* /*to*/) {}

int write(stream to, const char* bytes, std::size_t length) {
    const HANDLE handle = handle_of(to);
    DWORD console_mode = 0;
    if (GetConsoleMode(handle, &console_mode)) {
        // A console shows UTF-16, whatever its code page: file names as typed.
        const std::wstring wide = wide_from_utf8(bytes, length);
        DWORD written = 0;
        if (!wide.empty() && !WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
            return errno_from_last_error();
        }
        return 0;
    }
    constexpr std::size_t max_chunk = std::size_t{1} << 30;
    while (length > 0) {
        const std::size_t chunk = length < max_chunk ? length : max_chunk;
        DWORD written = 0;
        if (!WriteFile(handle, bytes, static_cast<DWORD>(chunk), &written, nullptr)) {
            return errno_from_last_error();
        }
        bytes += written;
        length -= written;
    }
    return 0;
}

helper_start::helper_start() = default;
void helper_start::send_away(std::thread& /*helper*/) {}
void helper_start::arrived() {}

std::thread start_helper(std::function<void()> body) {
    return std::thread(std::move(body));
}

interruptible_thread::interruptible_thread() = default;
interruptible_thread::~interruptible_thread() = default;

void catch_stop_signals() {}

int stop_signal() {
    return 0;
}

void end_by_signal(int number) {
    std::_Exit(128 + number);
}

void ignore_file_size_signal() {}

char** arguments(int* argc, char** argv) {
    int wide_count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wide_count);
    if (wide == nullptr) {
        return argv;
    }
    auto** utf8 = new char*[static_cast<std::size_t>(wide_count) + 1];
    for (int i = 0; i < wide_count; ++i) {
        utf8[i] = utf8_from_wide(wide[i]);
    }
    utf8[wide_count] = nullptr;
    LocalFree(wide);
    *argc = wide_count;
    return utf8;
}

}  // namespace rovurer::platform

#endif
