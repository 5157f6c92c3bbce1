#include "test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <stdexcept>

namespace {

std::string put_le64(std::uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
    return bytes;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
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

const std::string& temp_folder() {
    static const temp_folder_owner folder;
    return folder.path;
}

std::string write_bytes(const std::string& name, const std::string& bytes) {
    const std::string path = temp_folder() + "/" + name;
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

run_result run_tool(const std::vector<std::string>& args, const std::string& stdout_path,
                    std::size_t address_space_limit) {
    static int run_number = 0;
    const std::string base = temp_folder() + "/run" + std::to_string(++run_number);
    const std::string out_path = stdout_path.empty() ? base + ".out" : stdout_path;
    const std::string err_path = base + ".err";

    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
            _exit(126);
        }
        signal(SIGPIPE, SIG_DFL);
        if (address_space_limit > 0) {
            const rlimit limit = {address_space_limit, address_space_limit};
            setrlimit(RLIMIT_AS, &limit);
        }
        execv(ROVURER_BINARY, argv.data());
        _exit(127);
    }
    int wait_status = 0;
    waitpid(child, &wait_status, 0);

    run_result result;
    if (WIFEXITED(wait_status)) {
        result.status = WEXITSTATUS(wait_status);
    } else if (WIFSIGNALED(wait_status)) {
        result.signal = WTERMSIG(wait_status);
    }
    if (stdout_path.empty()) {
        result.out = read_file(out_path);
    }
    result.err = read_file(err_path);
    return result;
}
