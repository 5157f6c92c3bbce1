// The operating system as the reader and the front end see it: one file read
// at 64-bit offsets, the block buffer's memory, and the two output streams.
// platform_posix.cpp implements it for Linux, macOS and the BSDs,
// platform_windows.cpp for Windows; nothing else in rovurer touches the OS.
//
// Text crossing this interface (paths, messages) is UTF-8 on Windows and
// bytes as given elsewhere. None of these functions throws.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using platform_file = std::intptr_t;
inline constexpr platform_file platform_no_file = -1;

// Opens `path` for reading in byte mode. Returns platform_no_file when it
// cannot be opened, or when it is not something a digit file can be read
// from at an offset (a FIFO, a terminal or console): never blocks waiting for
// a writer. Then sets *error, unless `error` is nullptr, to an errno value
// that says why (ESPIPE where the file cannot be read at an offset). The
// caller closes the result with platform_close.
platform_file platform_open_read(const char* path, int* error);

// The size in bytes of an open regular file; -1 for anything else (a
// directory, a device) or when the system cannot tell.
std::int64_t platform_file_size(platform_file file);

// Reads `length` bytes at byte `offset` into `destination`, retrying
// interrupted and partial reads. Returns the bytes read: fewer than asked at
// the end of the file, on an error, or when offset + length is not a file
// offset the system can represent (then 0). Never moves a file position.
std::size_t platform_read_at(platform_file file, void* destination, std::size_t length, std::int64_t offset);

// Asks the system to start reading `length` bytes at `offset` in the
// background. Advice only: does nothing where the system has no such call,
// and never fails.
void platform_advise_willneed(platform_file file, std::int64_t offset, std::int64_t length);

// Closes a file from platform_open_read; accepts platform_no_file.
void platform_close(platform_file file);

// `bytes` of memory for block reads, aligned for huge pages where the system
// has them; its pages are not touched until used. nullptr when out of
// memory. Freed with platform_free_block(buffer, bytes).
void* platform_allocate_block(std::size_t bytes);
void platform_free_block(void* buffer, std::size_t bytes);

enum class platform_stream { output, error };

// Makes standard output carry bytes untranslated (no "\r\n" for "\n") and,
// when it is a pipe, grows the pipe towards `wanted_pipe_bytes` where the
// system allows: a larger pipe lets the writer and the reader take turns
// less often. Advice apart from the byte mode; failures change nothing.
void platform_prepare_output(std::size_t wanted_pipe_bytes);

// Whether the stream is a pipe (or FIFO).
bool platform_is_pipe(platform_stream stream);

// Writes all `length` bytes to the stream. Returns 0, or an errno value
// (ENOSPC, EPIPE, EIO, ...) when they could not all be written.
int platform_write(platform_stream stream, const char* bytes, std::size_t length);

// The command line: on Windows rebuilt as UTF-8 from the wide command line,
// so that any file name can be typed, with `*argc` updated; elsewhere `argv`
// itself. The result lives until the process ends.
char** platform_arguments(int* argc, char** argv);
