// Helpers shared by the tests: digit files written on demand in a private
// temporary folder, and runs of the built tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct fixture_header {
    std::int64_t word_count = 0;  // as declared; need not match the data
    std::int64_t lead_words = 0;
    std::uint64_t kind = 2;
    std::string magic = std::string(
        "MPT\x01"
        "FILE",
        8);
};

// A fresh temporary folder, removed with its contents at exit.
const std::string& temp_folder();

// Writes a digit file at temp_folder()/name: the header, then `words` in file
// order (word 0 first). Returns its path.
std::string write_digit_file(const std::string& name, const fixture_header& header,
                             const std::vector<std::uint64_t>& words);

// The same with word_count = words.size().
std::string write_digit_file(const std::string& name, const std::vector<std::uint64_t>& words, std::int64_t lead_words);

// Writes raw bytes at temp_folder()/name. Returns its path.
std::string write_bytes(const std::string& name, const std::string& bytes);

struct digit_stream;

// Up to `count` digits from the stream, one digit_stream_next at a time;
// `last` receives the result that stopped it (0 when `count` digits came).
std::string take_digits(digit_stream* stream, std::int64_t count, int* last = nullptr);

// Opens a stream, takes up to `count` digits, closes it. "REFUSED" when the
// open refuses.
std::string digits_of(const std::string& path, int base, std::int64_t offset, std::int64_t count, int* last = nullptr);

// The whole content of a file.
std::string file_contents(const std::string& path);

struct run_result {
    int status = -1;         // exit status, or -1 when ended by a signal
    int signal = 0;          // the ending signal, or 0
    std::string out;         // standard output, when captured
    std::string err;         // standard error
    bool timed_out = false;  // killed after a minute
};

// Words of ROVURER_TEST_WRAPPER (such as "valgrind -q ..."): the command that
// runs the tool in run_tool, or nothing.
const std::vector<std::string>& tool_wrapper();

// Starts the built rovurer (under the wrapper, if any) with `args` (argv[0]
// included), standard output and error on the descriptors `out` and `err`,
// its address space limited to `address_space_limit` bytes unless 0.
int start_tool(const std::vector<std::string>& args, int out, int err, std::size_t address_space_limit = 0);

// Waits for a started tool, at most a minute: after that it is killed and
// the result says timed_out.
run_result wait_tool(int child);

// Expectations on a run: digits shown (status 0, `digits` and the newline,
// no message); the one refusal message for `filename` (status 1, no
// output); a failed read (status 2, no output, no message). None timed out.
void expect_shown(const run_result& run, const std::string& digits);
void expect_refused(const run_result& run, const std::string& filename);
void expect_failed_read(const run_result& run);

// Runs the built rovurer with `args` (argv[0] included), standard output to a
// captured file unless `stdout_path` names another file to open for writing,
// with its address space limited to `address_space_limit` bytes unless 0.
run_result run_tool(const std::vector<std::string>& args, const std::string& stdout_path = "",
                    std::size_t address_space_limit = 0);
