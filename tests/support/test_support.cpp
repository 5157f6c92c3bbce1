#include "test_support.h"

#include "parallel/split.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "reader/digit_stream.h"
#include "test_paths.h"

using namespace rovurer;

namespace {

std::string put_le64(std::uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
    return bytes;
}

std::string utf8_of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

struct temp_folder_owner {
    std::string path;
    temp_folder_owner() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("rovurer-test-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(candidate)) {  // false when it exists: not ours
                path = utf8_of(candidate);
            }
        }
        if (path.empty()) {
            throw std::runtime_error("cannot make a temporary folder");
        }
    }
    ~temp_folder_owner() {
        std::error_code ignored;
        std::filesystem::remove_all(fs_path(path), ignored);
    }
    temp_folder_owner(const temp_folder_owner&) = delete;
    temp_folder_owner& operator=(const temp_folder_owner&) = delete;
};

// The emulator's words, then the program.
std::vector<std::string> emulated(const std::string& program) {
    std::vector<std::string> words;
    for (const char* const* word = tool_emulator; *word != nullptr; ++word) {
        words.emplace_back(*word);
    }
    words.push_back(program);
    return words;
}

// The emulator, the wrapper and the built rovurer.
std::vector<std::string> tool_words() {
    std::vector<std::string> words = emulated(rovurer_binary);
    if (!tool_wrapper().empty()) {
        words.insert(words.begin(), tool_wrapper());
    }
    return words;
}

// The file to execute and the argv that runs the program at the end of
// `words` with `args`: under an emulator or a wrapper, the program goes by
// its path; otherwise as args[0].
std::pair<std::string, std::vector<std::string>> command_line(std::vector<std::string> words,
                                                              const std::vector<std::string>& args) {
    std::string executable = words.front();
    if (words.size() == 1) {
        words.front() = args.front();
    }
    words.insert(words.end(), args.begin() + 1, args.end());
    return {std::move(executable), std::move(words)};
}

}  // namespace

std::filesystem::path fs_path(const std::string& utf8_path) {
    return {std::u8string(utf8_path.begin(), utf8_path.end())};
}

std::string file_contents(const std::string& path) {
    std::ifstream in(fs_path(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

#ifdef __linux__
std::int64_t allocated_bytes(const std::string& path) {
    struct stat state {};
    EXPECT_EQ(stat(path.c_str(), &state), 0) << path;
    return static_cast<std::int64_t>(state.st_blocks) * 512;
}
#endif

std::string take_digits(rovurer::digit_stream* stream, std::int64_t count, int* last) {
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

const std::string& tool_wrapper() {
    static const std::string wrapper = [] {
        const char* const value = std::getenv("ROVURER_TEST_WRAPPER");  // NOLINT(concurrency-mt-unsafe)
        return std::string(value != nullptr ? value : "");
    }();
    return wrapper;
}

bool tool_is_wrapped() {
    return !tool_wrapper().empty() || tool_emulator[0] != nullptr;
}

const std::string& temp_folder() {
    static const temp_folder_owner folder;
    return folder.path;
}

std::string write_bytes(const std::string& name, const std::string& bytes) {
    std::string path = temp_folder() + "/" + name;
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
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

std::string write_sparse_digit_file(const std::string& name, const fixture_header& header,
                                    const std::vector<std::pair<std::int64_t, std::uint64_t>>& known) {
    std::string path = write_digit_file(name, header, {});
    std::fstream file(fs_path(path), std::ios::binary | std::ios::in | std::ios::out);
    for (const auto& [index, value] : known) {
        file.seekp(static_cast<std::streamoff>(4096 + 8 * index));
        file.write(put_le64(value).data(), 8);
    }
    if (!file.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
    file.close();
    std::filesystem::resize_file(fs_path(path), static_cast<std::uintmax_t>(4096 + 8 * header.word_count));
    return path;
}

std::string write_digit_file(const std::string& name, const std::vector<std::uint64_t>& words,
                             std::int64_t lead_words) {
    fixture_header header;
    header.word_count = static_cast<std::int64_t>(words.size());
    header.lead_words = lead_words;
    return write_digit_file(name, header, words);
}

run_result run_program(const std::string& program, const std::vector<std::string>& args, const std::string& stdout_path,
                       std::size_t address_space_limit) {
    const auto [executable, argv] = command_line(emulated(program), args);
    return run_command(executable, argv, stdout_path, address_space_limit);
}

run_result run_tool(const std::vector<std::string>& args, const std::string& stdout_path,
                    std::size_t address_space_limit) {
    const auto [executable, argv] = command_line(tool_words(), args);
    return run_command(executable, argv, stdout_path, address_space_limit);
}

#ifndef _WIN32
run_result run_in_shell(const std::string& setup, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"sh", "-c", setup + " && exec \"$@\"", "sh"};
    const std::vector<std::string> words = tool_words();
    argv.insert(argv.end(), words.begin(), words.end());
    argv.insert(argv.end(), args.begin(), args.end());
    return run_command("/bin/sh", argv, temp_folder() + "/shell.out", 0);
}

int start_in_shell(const std::string& setup, const std::vector<std::string>& args, int out, int err) {
    std::vector<std::string> argv = {"sh", "-c", setup + " && exec \"$@\"", "sh"};
    const std::vector<std::string> words = tool_words();
    argv.insert(argv.end(), words.begin(), words.end());
    argv.insert(argv.end(), args.begin(), args.end());
    return start_command("/bin/sh", argv, out, err);
}

int start_tool(const std::vector<std::string>& args, int out, int err) {
    const auto [executable, argv] = command_line(tool_words(), args);
    return start_command(executable, argv, out, err);
}
#endif

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

int append_to_string(void* context, const char* bytes, std::size_t length) {
    static_cast<std::string*>(context)->append(bytes, length);
    return 0;
}

small_parts::small_parts() {
    rovurer::detail::set_smallest_part(40);
}

small_parts::~small_parts() {
    rovurer::detail::set_smallest_part(std::int64_t{1} << 20);
}

std::vector<std::uint64_t> mixed_words(std::size_t count, std::uint64_t seed) {
    std::vector<std::uint64_t> words(count);
    for (std::uint64_t& word : words) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        word = seed ^ (seed >> 29);
    }
    return words;
}
