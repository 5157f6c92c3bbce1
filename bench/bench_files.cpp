// bench_files: the data files of the benchmarks, and eviction of files from
// the page cache for cold runs. The timing itself is hyperfine's.
//
//   bench_files make DIR     writes into DIR:
//     digits      16,000,000 random words (128 MB): 10^9 binary digits,
//                 more than 2 * 10^8 digits in every base
//     zeros       63,000,000 zero words, sparse: 10^9 digits in every base
//     cold        10,526,316 random words (84 MB): exactly 2 * 10^8 decimal
//                 digits, so that cat reads what the dump reads
//     small       1,310,720 random words (10 MiB)
//     huge        2^37 zero words, sparse: a 1 TiB data region
//   bench_files statistics DIR  writes DIR/billion unless it is there:
//     52,631,579 random words (421 MB): 10^9 decimal digits and more
//   bench_files evict FILE...   drops the files' pages from the page cache
//                               (posix_fadvise DONTNEED, no privileges needed)
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

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

void write_random(const std::string& path, std::int64_t words, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary);
    out << header(words);
    std::mt19937_64 random(seed);
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

void write_sparse(const std::string& path, std::int64_t words) {
    std::ofstream(path, std::ios::binary) << header(words);
    std::error_code error;
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(4096 + 8 * words), error);
    if (error) {
        fail(path);
    }
}

int evict(const char* path) {
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0 || fdatasync(file) != 0 || posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED) != 0) {
        fail(path);
    }
    close(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "make") == 0) {
        const std::string folder = argv[2];
        write_random(folder + "/digits", 16000000, 42);
        write_random(folder + "/cold", 10526316, 3);
        write_random(folder + "/small", 1310720, 7);
        write_sparse(folder + "/zeros", 63000000);
        write_sparse(folder + "/huge", std::int64_t{1} << 37);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "statistics") == 0) {
        const std::string path = std::string(argv[2]) + "/billion";
        if (!std::filesystem::exists(path)) {
            write_random(path, 52631579, 1000000000);
        }
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "evict") == 0) {
        for (int i = 2; i < argc; ++i) {
            evict(argv[i]);
        }
        return 0;
    }
    (void)std::fprintf(stderr,
                       "usage: bench_files make DIR | bench_files statistics DIR | bench_files evict FILE...\n");
    return 1;
}
