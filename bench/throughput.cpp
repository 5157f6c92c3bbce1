// throughput: times rovurer against cat of the same output, in one run.
//
//   throughput ROVURER [RUNS]
//
// Makes, in a temporary folder, a digit file of random words and, for each
// base, a text file holding exactly the bytes rovurer prints for 200,000,000
// digits from position 1. Then, for each base, times `rovurer` and `cat` of
// that text, alternating, RUNS times each (default 7), to /dev/null and
// through a pipe into `cat > /dev/null`, and prints the medians, their ratio
// and the output rate. Last it reports peak resident memory at 10^9 digits,
// (base 10 from a sparse file of zero words), and the time and bytes read for
// 50 digits of a sparse 1 TiB file against a 10 MiB one.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t bench_digits = 200000000;
constexpr std::int64_t file_words = 16000000;  // 10^9 binary digits and more

[[noreturn]] void fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

std::string le64(std::uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
    return bytes;
}

std::string header(std::int64_t word_count) {
    std::string bytes(4096, '\0');
    bytes.replace(0, 8,
                  std::string("MPT\x01"
                              "FILE",
                              8));
    bytes.replace(8, 8, le64(static_cast<std::uint64_t>(word_count)));
    bytes.replace(24, 8, le64(2));
    return bytes;
}

void write_digit_file(const std::string& path, std::int64_t words) {
    std::ofstream out(path, std::ios::binary);
    out << header(words);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> chunk(1 << 16);
    for (std::int64_t done = 0; done < words;) {
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(words - done, 1 << 16));
        for (std::size_t i = 0; i < count; ++i) {
            chunk[i] = random() % 10000000000000000000ULL;
        }
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(count * 8));
        done += static_cast<std::int64_t>(count);
    }
    if (!out.flush()) {
        fail(path);
    }
}

struct child_result {
    double seconds = 0;
    long max_rss_kib = 0;
};

// Starts argv with standard input from `in` and output to `out` (descriptors,
// or -1 to keep), closing `close_in_child` there.
pid_t start(const std::vector<std::string>& args, int in, int out, int close_in_child) {
    const pid_t child = fork();
    if (child < 0) {
        fail("fork");
    }
    if (child == 0) {
        if (in >= 0) {
            dup2(in, STDIN_FILENO);
        }
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
        }
        if (close_in_child >= 0) {
            close(close_in_child);
        }
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

long wait_for(pid_t child) {
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        (void)std::fprintf(stderr, "throughput: a timed command failed\n");
        std::exit(1);
    }
    return usage.ru_maxrss;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int dev_null() {
    const int descriptor = open("/dev/null", O_WRONLY);
    if (descriptor < 0) {
        fail("/dev/null");
    }
    return descriptor;
}

// `args` with standard output to /dev/null.
child_result run_to_null(const std::vector<std::string>& args) {
    const int null = dev_null();
    const double begin = now();
    const pid_t child = start(args, -1, null, -1);
    const long rss = wait_for(child);
    const double end = now();
    close(null);
    return {end - begin, rss};
}

// `args | cat > /dev/null`.
child_result run_to_pipe(const std::vector<std::string>& args) {
    const int null = dev_null();
    int ends[2];
    if (pipe(ends) != 0) {
        fail("pipe");
    }
    const double begin = now();
    const pid_t writer = start(args, -1, ends[1], ends[0]);
    const pid_t reader = start({"cat"}, ends[0], null, ends[1]);
    close(ends[0]);
    close(ends[1]);
    const long rss = wait_for(writer);
    wait_for(reader);
    const double end = now();
    close(null);
    return {end - begin, rss};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct comparison {
    double tool = 0;
    double baseline = 0;
    long tool_rss_kib = 0;
};

comparison compare(const std::function<child_result(const std::vector<std::string>&)>& run,
                   const std::vector<std::string>& tool, const std::vector<std::string>& baseline, int runs) {
    run(tool);  // warm the page cache and the binary
    run(baseline);
    std::vector<double> tool_times;
    std::vector<double> baseline_times;
    comparison result;
    for (int i = 0; i < runs; ++i) {
        const child_result tool_run = run(tool);
        tool_times.push_back(tool_run.seconds);
        result.tool_rss_kib = std::max(result.tool_rss_kib, tool_run.max_rss_kib);
        baseline_times.push_back(run(baseline).seconds);
    }
    result.tool = median(tool_times);
    result.baseline = median(baseline_times);
    return result;
}

// Bytes that read and pread64 calls of `args` returned from the file `path`,
// counted by strace; -1 when strace is not there.
long long bytes_read(const std::vector<std::string>& args, const std::string& path, const std::string& folder) {
    const std::string log = folder + "/strace.log";
    std::string command = "strace -qq -y -e trace=read,pread64 -o " + log;
    for (const std::string& arg : args) {
        command += " '" + arg + "'";
    }
    command += " >/dev/null 2>&1";
    // A shell for the redirections; every word is quoted.
    if (std::system(("command -v strace >/dev/null 2>&1 && " + command).c_str()) != 0) {  // NOLINT(cert-env33-c)
        return -1;
    }
    std::ifstream in(log);
    long long total = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.rfind("= ");
        if (equals != std::string::npos && line.find("<" + path + ">") != std::string::npos) {
            total += std::max(0LL, std::strtoll(line.c_str() + equals + 2, nullptr, 10));
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        (void)std::fprintf(stderr, "usage: throughput ROVURER [RUNS]\n");
        return 1;
    }
    const std::string tool = std::filesystem::absolute(argv[1]).string();
    const int runs = argc > 2 ? static_cast<int>(std::clamp(std::strtol(argv[2], nullptr, 10), 1L, 1000L)) : 7;

    std::string folder = (std::filesystem::temp_directory_path() / "rovurer-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        fail("mkdtemp");
    }
    const std::string digits = folder + "/digits";
    std::printf("making %s: %lld random words (%lld MB)\n", digits.c_str(), static_cast<long long>(file_words),
                static_cast<long long>(file_words * 8 / 1000000));
    write_digit_file(digits, file_words);

    const std::string count = std::to_string(bench_digits);
    std::printf("\n%lld digits from position 1, median of %d runs, tool and cat alternating\n",
                static_cast<long long>(bench_digits), runs);
    std::printf("%-5s %-10s %10s %10s %7s %9s %9s\n", "base", "to", "rovurer", "cat", "ratio", "GB/s", "peak RSS");
    for (const char* base : {"10", "16", "2"}) {
        const std::string text = folder + "/text" + base;
        {
            const int out = open(text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            wait_for(start({tool, digits, base, "1", count}, -1, out, -1));
            close(out);
        }
        const double text_bytes = static_cast<double>(std::filesystem::file_size(text));
        const std::vector<std::string> tool_args = {tool, digits, base, "1", count};
        const std::vector<std::string> cat_args = {"cat", text};
        for (const auto& [name, run] :
             {std::pair<const char*, child_result (*)(const std::vector<std::string>&)>{"/dev/null", run_to_null},
              {"pipe|cat", run_to_pipe}}) {
            const comparison result = compare(run, tool_args, cat_args, runs);
            std::printf("%-5s %-10s %8.1fms %8.1fms %7.2f %9.2f %6ld KiB\n", base, name, 1000 * result.tool,
                        1000 * result.baseline, result.tool / result.baseline, text_bytes / result.tool / 1e9,
                        result.tool_rss_kib);
        }
        std::filesystem::remove(text);
    }

    // 10^9 decimal digits need 52,631,579 words: a sparse file of zero words.
    const std::string zeros = folder + "/zeros";
    constexpr std::int64_t zero_words = 53000000;
    std::ofstream(zeros, std::ios::binary) << header(zero_words);
    if (truncate(zeros.c_str(), static_cast<off_t>(4096 + 8 * zero_words)) != 0) {
        fail(zeros);
    }
    std::printf("\npeak resident memory at 10^9 digits, to /dev/null:\n");
    for (const auto& [base, file] : {std::pair{"10", zeros}, std::pair{"16", digits}, std::pair{"2", digits}}) {
        const child_result result = run_to_null({tool, file, base, "1", "1000000000"});
        std::printf("  base %-2s %ld KiB (%.1f MiB)\n", base, result.max_rss_kib,
                    static_cast<double>(result.max_rss_kib) / 1024);
    }

    // 2^37 words is 1 TiB of data region; the file is sparse.
    const std::string huge = folder + "/sparse-1TiB";
    const std::string small = folder + "/small-10MiB";
    constexpr std::int64_t huge_words = std::int64_t{1} << 37;
    constexpr std::int64_t small_words = (std::int64_t{10} << 20) / 8;
    for (const auto& [path, words] : {std::pair{huge, huge_words}, std::pair{small, small_words}}) {
        std::ofstream(path, std::ios::binary) << header(words);
        if (truncate(path.c_str(), static_cast<off_t>(4096 + 8 * words)) != 0) {
            fail(path);
        }
    }
    const comparison sizes = compare(run_to_null, {tool, huge, "10", "1"}, {tool, small, "10", "1"}, 3 * runs);
    std::printf("\n50 digits at position 1, median of %d runs:\n", 3 * runs);
    std::printf("  1 TiB sparse file %.2f ms, 10 MiB file %.2f ms, ratio %.2f\n", 1000 * sizes.tool,
                1000 * sizes.baseline, sizes.tool / sizes.baseline);
    const long long huge_read = bytes_read({tool, huge, "10", "1"}, huge, folder);
    if (huge_read >= 0) {
        std::printf(
            "  bytes read from the 1 TiB file (strace): %lld"
            " (block 8388608 + header 56)\n",
            huge_read);
    } else {
        std::printf("  strace not found: bytes read not counted\n");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
