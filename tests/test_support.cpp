#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "digit_stream.h"

namespace {

std::string put_le64(std::uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
    return bytes;
}

struct temp_folder_owner {
    std::string path;
    temp_folder_owner() {
        std::string pattern = (std::filesystem::temp_directory_path() / "rovurer-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path = pattern;
    }
    ~temp_folder_owner() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

std::string file_contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string take_digits(digit_stream* stream, std::int64_t count, int* last) {
    std::string digits;
    int result = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        const int next = digit_stream_next(stream);
        if (next < 0) {
            result = next;
            break;
        }
        digits.push_back(static_cast<char>(next));
    }
    if (last != nullptr) {
        *last = result;
    }
    return digits;
}

std::string digits_of(const std::string& path, int base, std::int64_t offset, std::int64_t count, int* last) {
    digit_stream* stream = digit_stream_open(path.c_str(), base, offset);
    if (stream == nullptr) {
        return "REFUSED";
    }
    std::string digits = take_digits(stream, count, last);
    digit_stream_close(stream);
    return digits;
}

const std::vector<std::string>& tool_wrapper() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> split;
        std::istringstream text(std::getenv("ROVURER_TEST_WRAPPER") != nullptr ? std::getenv("ROVURER_TEST_WRAPPER")
                                                                               : "");
        for (std::string word; text >> word;) {
            split.push_back(word);
        }
        return split;
    }();
    return words;
}

const std::string& temp_folder() {
    static const temp_folder_owner folder;
    return folder.path;
}

std::string write_bytes(const std::string& name, const std::string& bytes) {
    std::string path = temp_folder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

std::string write_digit_file(const std::string& name, const fixture_header& header,
                             const std::vector<std::uint64_t>& words) {
    std::string bytes(4096, '\0');
    bytes.replace(0, 8, header.magic.substr(0, 8));
    bytes.replace(8, 8, put_le64(static_cast<std::uint64_t>(header.word_count)));
    bytes.replace(24, 8, put_le64(header.kind));
    bytes.replace(48, 8, put_le64(static_cast<std::uint64_t>(header.lead_words)));
    bytes.reserve(bytes.size() + 8 * words.size());
    for (const std::uint64_t word : words) {
        bytes += put_le64(word);
    }
    return write_bytes(name, bytes);
}

std::string write_digit_file(const std::string& name, const std::vector<std::uint64_t>& words,
                             std::int64_t lead_words) {
    fixture_header header;
    header.word_count = static_cast<std::int64_t>(words.size());
    header.lead_words = lead_words;
    return write_digit_file(name, header, words);
}

int start_tool(const std::vector<std::string>& args, int out, int err, std::size_t address_space_limit) {
    // Under a wrapper the tool runs as: wrapper words, ROVURER_BINARY,
    // args[1..]; otherwise with argv[0] as given.
    std::vector<std::string> words = tool_wrapper();
    if (words.empty()) {
        words.push_back(args.front());
    } else {
        words.emplace_back(ROVURER_BINARY);
    }
    words.insert(words.end(), args.begin() + 1, args.end());
    const std::string program = tool_wrapper().empty() ? ROVURER_BINARY : tool_wrapper().front();
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        if (dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
            _exit(126);
        }
        (void)signal(SIGPIPE, SIG_DFL);
        if (address_space_limit > 0) {
            const rlimit limit = {address_space_limit, address_space_limit};
            setrlimit(RLIMIT_AS, &limit);
        }
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

run_result wait_tool(int child) {
    run_result result;
    int status = 0;
    int waited_ms = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
        if (waited_ms >= 60000) {
            result.timed_out = true;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(2000);
        waited_ms += 2;
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

run_result run_tool(const std::vector<std::string>& args, const std::string& stdout_path,
                    std::size_t address_space_limit) {
    static int run_number = 0;
    const std::string base = temp_folder() + "/run" + std::to_string(++run_number);
    const std::string out_path = stdout_path.empty() ? base + ".out" : stdout_path;
    const std::string err_path = base + ".err";
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || err < 0) {
        throw std::runtime_error("cannot open " + out_path + " or " + err_path);
    }
    const pid_t child = start_tool(args, out, err, address_space_limit);
    close(out);
    close(err);
    run_result result = wait_tool(child);
    if (stdout_path.empty()) {
        result.out = file_contents(out_path);
    }
    result.err = file_contents(err_path);
    return result;
}

void expect_shown(const run_result& run, const std::string& digits) {
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, digits + "\n");
    EXPECT_EQ(run.err, "");
}

void expect_refused(const run_result& run, const std::string& filename) {
    EXPECT_FALSE(run.timed_out) << filename;
    EXPECT_EQ(run.status, 1) << filename;
    EXPECT_EQ(run.out, "") << filename;
    EXPECT_EQ(run.err, filename + ": cannot display at this position\n");
}

void expect_failed_read(const run_result& run) {
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}
