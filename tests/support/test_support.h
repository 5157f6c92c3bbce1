// Helpers shared by the tests: digit files written on demand in a private
// temporary folder, and runs of the built tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "thread_note.h"

// Skips a test that needs a facility only Linux has (/dev/full, pipe2,
// RLIMIT_AS), saying so, on other systems.
#ifdef __linux__
#define SKIP_UNLESS_LINUX(facility) static_cast<void>(0)
#else
#define SKIP_UNLESS_LINUX(facility) GTEST_SKIP() << (facility) << " exists on Linux only"
#endif

struct fixture_header {
    std::int64_t word_count = 0;  // as declared; need not match the data
    std::int64_t lead_words = 0;
    std::uint64_t kind = 2;
    std::string magic = std::string(
        "MPT\x01"
        "FILE",
        8);
};

// A fresh temporary folder, removed with its contents at exit. Paths in the
// tests are UTF-8 strings, on every platform.
const std::string& temp_folder();

// The filesystem path for a UTF-8 path string.
std::filesystem::path fs_path(const std::string& utf8_path);

// Writes a digit file at temp_folder()/name: the header, then `words` in file
// order (word 0 first). Returns its path.
std::string write_digit_file(const std::string& name, const fixture_header& header,
                             const std::vector<std::uint64_t>& words);

// The same with word_count = words.size().
std::string write_digit_file(const std::string& name, const std::vector<std::uint64_t>& words, std::int64_t lead_words);

// Writes a sparse digit file at temp_folder()/name, word_count words long
// (4096 + 8 * word_count bytes), zero but for the `known` words (index,
// value). Returns its path.
std::string write_sparse_digit_file(const std::string& name, const fixture_header& header,
                                    const std::vector<std::pair<std::int64_t, std::uint64_t>>& known);

// Writes raw bytes at temp_folder()/name. Returns its path.
std::string write_bytes(const std::string& name, const std::string& bytes);

namespace rovurer {
struct digit_stream;
}

// Sink for output_buffer appending to the std::string pointed to by `context`.
int append_to_string(void* context, const char* bytes, std::size_t length);

// Up to `count` digits from the stream, one digit_stream_next at a time;
// `last` receives the result that stopped it (0 when `count` digits came).
std::string take_digits(rovurer::digit_stream* stream, std::int64_t count, int* last = nullptr);

// Opens a stream, takes up to `count` digits, closes it. "REFUSED" when the
// open refuses.
std::string digits_of(const std::string& path, int base, std::int64_t offset, std::int64_t count, int* last = nullptr);

// The whole content of a file.
std::string file_contents(const std::string& path);

#ifdef __linux__
// The disk space a file takes, in bytes (its blocks, set aside or written).
std::int64_t allocated_bytes(const std::string& path);
#endif

struct run_result {
    int status = -1;         // exit status, or -1 when ended by a signal
    int signal = 0;          // the ending signal, or 0
    std::string out;         // standard output, when captured
    std::string err;         // standard error
    bool timed_out = false;  // killed after a minute
};

// The program named by ROVURER_TEST_WRAPPER (such as a memcheck script) that
// runs the tool in run_tool, or "" for none.
const std::string& tool_wrapper();

// Whether the tool runs under an emulator (qemu-user) or a wrapper, which
// need more address space than the tool itself.
bool tool_is_wrapped();

// Runs `program` with `args` (argv[0] included), under the target's
// emulator if any: standard output to a captured file unless `stdout_path`
// names another file to open for writing, its address space limited to
// `address_space_limit` bytes unless 0 (POSIX only). Gives up after a minute.
run_result run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& stdout_path = "", std::size_t address_space_limit = 0);

// Runs the built rovurer the same way, under the wrapper if any.
run_result run_tool(const std::vector<std::string>& args, const std::string& stdout_path = "",
                    std::size_t address_space_limit = 0);

// Runs the file `executable` with `argv` (argv[0] included, so it may differ
// from the executable) as run_program says, with no emulator. Implemented
// once per OS family.
run_result run_command(const std::string& executable, const std::vector<std::string>& argv,
                       const std::string& stdout_path, std::size_t address_space_limit);

#ifndef _WIN32
// Runs the built rovurer through the shell, after `setup`, under the
// emulator and wrapper as run_tool does, for what only the shell sets up: a
// file-size limit, standard input from a file, standard output opened
// without being cut.
run_result run_in_shell(const std::string& setup, const std::vector<std::string>& args);
// The same, started: its output and error to the descriptors given.
int start_in_shell(const std::string& setup, const std::vector<std::string>& args, int out, int err);

int start_command(const std::string& executable, const std::vector<std::string>& argv, int out, int err);

// Starts the built rovurer as run_tool does, with standard output and error
// on the descriptors `out` and `err`; wait_tool waits for it, at most a
// minute, then kills it and says timed_out.
int start_tool(const std::vector<std::string>& args, int out, int err);
run_result wait_tool(int child);
#endif

// Expectations on a run: digits shown (status 0, `digits` and the newline,
// no message); the one refusal message for `filename` (status 1, no
// output); a failed read (status 2, no output, no message). None timed out.
void expect_shown(const run_result& run, const std::string& digits);
void expect_refused(const run_result& run, const std::string& filename);
void expect_failed_read(const run_result& run);

// Parts of 40 digits while it lives, so that small files run in many parts
// on several threads.
struct small_parts {
    small_parts();
    ~small_parts();
    small_parts(const small_parts&) = delete;
    small_parts& operator=(const small_parts&) = delete;
};

// Words from a fixed generator: every digit value, no pattern.
std::vector<std::uint64_t> mixed_words(std::size_t count, std::uint64_t seed);
