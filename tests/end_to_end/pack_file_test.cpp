// --pack end to end: what it writes and says for each kind of text, the
// round trip of every base and layout, and a target that is never left
// half-written (a failed write, a signal).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_paths.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// A folder of its own for each case, to see that nothing else is left in it.
std::string fresh_folder(const std::string& name) {
    std::string folder = temp_folder() + "/pack-" + name;
    fs::remove_all(fs_path(folder));
    fs::create_directories(fs_path(folder));
    return folder;
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs_path(folder))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The bytes of a digit file holding `words` (in file order).
std::string digit_file_bytes(const std::vector<std::uint64_t>& words, std::int64_t lead_words) {
    std::string bytes(4096, '\0');
    const auto put = [&bytes](std::size_t at, std::uint64_t value) {
        for (std::size_t b = 0; b < 8; ++b) {
            bytes[at + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
        }
    };
    bytes.replace(0, 8, std::string("MPT\1FILE", 8));
    put(8, words.size());
    put(24, 2);
    put(48, static_cast<std::uint64_t>(lead_words));
    for (const std::uint64_t word : words) {
        bytes.resize(bytes.size() + 8);
        put(bytes.size() - 8, word);
    }
    return bytes;
}

// Runs the tool with `args`, its name in front.
run_result tool(std::vector<std::string> args, const std::string& stdout_path = "") {
    args.insert(args.begin(), "rovurer");
    return run_tool(args, stdout_path);
}

TEST(PackFile, WritesWhatTheTextHoldsOrSaysWhyNot) {
    struct pack_case {
        std::string name;
        std::string text;               // in the file TEXT, or on standard input with "-"
        std::vector<std::string> args;  // TEXT and OUT stand for the paths
        int status;
        std::string err;                   // TEXT and OUT stand for the paths
        std::vector<std::uint64_t> words;  // of OUT, in file order; none: no OUT
        std::int64_t lead_words;
    };
    const std::string pi38 = "3.1415926535 8979323846\n2643383279 50288419\n";
    const std::vector<std::uint64_t> pi38_words = {6264338327950288419, 1415926535897932384, 3};
    const pack_case cases[] = {
        {"layout", pi38, {"--pack", "TEXT", "OUT", "10"}, 0, "", pi38_words, 1},
        {"input", pi38, {"--pack", "-", "OUT", "10"}, 0, "", pi38_words, 1},
        {"threads", pi38, {"--threads", "2", "--pack", "TEXT", "OUT", "10"}, 0, "", pi38_words, 1},
        {"padding",
         "243F6A88 85A308D3 1",
         {"--pack", "TEXT", "OUT", "16"},
         0,
         "rovurer: OUT: the last word is filled with 15 zeros\n",
         {0x1000000000000000, 0x243F6A8885A308D3},
         0},
        {"one zero",
         "11." + std::string(63, '1'),
         {"--pack", "TEXT", "OUT", "2"},
         0,
         "rovurer: OUT: the last word is filled with 1 zero\n",
         {0xFFFFFFFFFFFFFFFE, 3},
         1},
        {"bad",
         "3.14\n15 9A",
         {"--pack", "TEXT", "OUT", "10"},
         1,
         "rovurer: TEXT: line 2, column 5: 'A' is not a base-10 digit\n",
         {},
         0},
        {"bad input",
         "101 2",
         {"--pack", "-", "OUT", "2"},
         1,
         "rovurer: standard input: line 1, column 5: '2' is not a base-2 digit\n",
         {},
         0},
        {"empty", " \n", {"--pack", "TEXT", "OUT", "10"}, 1, "rovurer: TEXT: holds no base-10 digits\n", {}, 0},
        {"integer part alone",
         "3.\n",
         {"--pack", "TEXT", "OUT", "10"},
         1,
         "rovurer: TEXT: holds no base-10 digits after its point\n",
         {},
         0},
        {"base", pi38, {"--pack", "TEXT", "OUT", "7"}, 1, "rovurer: base 7 is not 2, 10 or 16\n", {}, 0},
        {"missing",
         "",
         {"--pack", "TEXT.none", "OUT", "10"},
         1,
         std::string("rovurer: TEXT.none: cannot open: ") + std::strerror(ENOENT) + "\n",
         {},
         0},
        {"folder",
         pi38,
         {"--pack", "TEXT", "OUT/none/x", "10"},
         1,
         std::string("rovurer: OUT/none/x: cannot create: ") + std::strerror(ENOENT) + "\n",
         {},
         0},
        {"operands",
         pi38,
         {"--pack", "TEXT", "OUT"},
         1,
         "rovurer: missing arguments\nTry 'rovurer --help' for more information.\n",
         {},
         0},
        {"output",
         pi38,
         {"--pack", "TEXT", "-", "10"},
         1,
         "rovurer: --pack writes a file: name it, not -\nTry 'rovurer --help' for more information.\n",
         {},
         0},
        {"shard",
         pi38,
         {"--shard", "1/2", "--pack", "TEXT", "OUT", "10"},
         1,
         "rovurer: --shard cannot be combined with --pack\nTry 'rovurer --help' for more information.\n",
         {},
         0},
    };
    for (const pack_case& c : cases) {
#ifdef _WIN32
        if (c.args[1] == "-") {
            continue;  // standard input is given through the shell
        }
#endif
        const std::string folder = fresh_folder(c.name);
        const std::string text = write_bytes("pack-" + c.name + "/TEXT", c.text);
        const std::string out = folder + "/OUT";
        std::vector<std::string> args;
        for (const std::string& arg : c.args) {
            args.push_back(arg.starts_with("TEXT")  ? text + arg.substr(4)
                           : arg.starts_with("OUT") ? out + arg.substr(3)
                                                    : arg);
        }
        std::string err = c.err;
        for (const auto& [name, path] : {std::pair{std::string("TEXT"), text}, std::pair{std::string("OUT"), out}}) {
            const std::size_t at = err.find("rovurer: " + name);
            if (at != std::string::npos) {
                err.replace(at + 9, name.size(), path);
            }
        }
#ifndef _WIN32
        const run_result run = c.args[1] == "-" ? run_in_shell("exec <'" + text + "'", args) : tool(args);
#else
        const run_result run = tool(args);
#endif
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.err, err) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        if (!c.words.empty()) {
            EXPECT_TRUE(file_contents(out) == digit_file_bytes(c.words, c.lead_words)) << c.name;
            EXPECT_EQ(names_in(folder), (std::vector<std::string>{"OUT", "TEXT"})) << c.name;
        } else {
            EXPECT_EQ(names_in(folder), std::vector<std::string>{"TEXT"}) << c.name << ": something was left";
        }
    }
}

TEST(PackFile, AnExistingFileIsReplacedOnlyWithForce) {
    const std::string folder = fresh_folder("force");
    const std::string text = write_bytes("pack-force/TEXT", "3.1415926535897932384");
    const std::string out = write_bytes("pack-force/OUT", "kept");
    const run_result refused = tool({"--pack", text, out, "10"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "rovurer: " + out + ": exists (--force replaces it)\n");
    EXPECT_EQ(file_contents(out), "kept");
    const run_result forced = tool({"--pack", "--force", text, out, "10"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(file_contents(out) == digit_file_bytes({1415926535897932384, 3}, 1));
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"OUT", "TEXT"}));
}

// --progress counts the bytes of a text file: its first line is drawn at
// the start and erased at the end, before the note on the padding.
TEST(PackFile, ProgressCountsTheTextsBytes) {
#ifdef ROVURER_NO_THREADS
    GTEST_SKIP() << "a build without helper threads shows no progress";
#endif
    const std::string folder = fresh_folder("progress");
    const std::string text = write_bytes("pack-progress/TEXT", "3.14159 26535\n");
    const run_result run = tool({"--pack", "--progress", text, folder + "/OUT", "10"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.rfind("\rrovurer:   0.0%  0 of 14 bytes  0 bytes/s  ? left", 0), 0U) << run.err;
    const std::string note = "rovurer: " + folder + "/OUT: the last word is filled with 9 zeros\n";
    ASSERT_GT(run.err.size(), note.size() + 1);
    EXPECT_EQ(run.err.substr(run.err.size() - note.size() - 1), "\r" + note) << "the line is not erased first";
    EXPECT_TRUE(file_contents(folder + "/OUT") == digit_file_bytes({1415926535000000000, 3}, 1));
}

// What a dump shows, in each base and layout, packs back into the digits it
// was shown from; a text long enough to be cut into slices packs alike on
// any number of threads.
TEST(PackFile, WhatADumpShowsPacksBack) {
    std::mt19937_64 random(27);
    std::vector<std::uint64_t> words(200000);
    for (std::uint64_t& word : words) {
        word = random() % 10000000000000000000ULL;
    }
    const std::string long_file = write_digit_file("pack-long", words, 0);
    const std::string samples = std::string(examples_dir);
    struct trip {
        std::string file;
        std::string base;
        std::vector<std::string> layout;
        std::vector<std::string> threads;
    };
    const trip trips[] = {
        {samples + "/pi_base10", "10", {"--group", "0", "--no-labels"}, {"1"}},
        {samples + "/pi_base10", "10", {"--group", "10", "--per-line", "50", "--no-labels"}, {"1"}},
        {samples + "/pi_base16", "16", {"--group", "0", "--no-labels"}, {"1"}},
        {samples + "/pi_base16", "16", {"--group", "7", "--no-labels"}, {"2"}},
        {samples + "/pi_base16", "2", {"--group", "0", "--no-labels"}, {"1"}},
        {samples + "/pi_base16", "2", {"--group", "64", "--per-line", "128", "--no-labels"}, {"1"}},
        {long_file, "10", {"--group", "10", "--per-line", "100", "--no-labels"}, {"1", "2"}},
    };
    const std::string folder = fresh_folder("trips");
    for (const trip& t : trips) {
        const std::string text = folder + "/text";
        std::vector<std::string> dump = {"--no-progress"};
        dump.insert(dump.end(), t.layout.begin(), t.layout.end());
        dump.insert(dump.end(), {t.file, t.base, "1", "1e9"});
        ASSERT_EQ(tool(dump, text).status, 0);
        std::string first;
        for (const std::string& threads : t.threads) {
            const std::string copy = folder + "/copy-on-" + std::string(threads);
            const run_result packed = tool({"--pack", "--threads", threads, text, copy, t.base});
            EXPECT_EQ(packed.status, 0) << t.file << " " << t.base << ": " << packed.err;
            EXPECT_EQ(packed.err, "") << t.file;
            const run_result compared = tool({"--compare", t.file, copy, t.base});
            EXPECT_EQ(compared.status, 0)
                << t.file << " " << t.base << " " << t.layout[1] << ": " << compared.out << compared.err;
            first = first.empty() ? file_contents(copy) : first;
            EXPECT_TRUE(file_contents(copy) == first) << "threads " << threads;
            fs::remove(fs_path(copy));
        }
    }
}

#ifdef __linux__

// A text long enough that its file cannot be whole under the limits below.
const std::string& long_text() {
    static const std::string path = [] {
        std::string digits(3000000, '0');
        std::mt19937 random(5);
        for (char& c : digits) {
            c = static_cast<char>('0' + random() % 10);
        }
        return write_bytes("pack-long-text", digits);
    }();
    return path;
}

TEST(PackFile, AWriteThatFailsLeavesNothingBehind) {
    if (tool_is_wrapped()) {
        GTEST_SKIP() << "the shell runs the tool itself";
    }
    const std::string folder = fresh_folder("limit");
    for (const std::string threads : {"1", "2"}) {
        // 1,000 blocks of 512 bytes: the file's words would take 1.26 MB.
        const run_result limited =
            run_in_shell("ulimit -f 1000", {"--pack", "--threads", threads, long_text(), folder + "/OUT", "10"});
        EXPECT_EQ(limited.status, 1) << threads;
        EXPECT_EQ(limited.err, "rovurer: " + folder + "/OUT: write error: " + std::strerror(EFBIG) + "\n");
        EXPECT_TRUE(names_in(folder).empty()) << threads;
    }
    const std::string disk = fresh_folder("small-disk");
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    const run_result full = tool({"--pack", long_text(), disk + "/OUT", "10"});
    const std::vector<std::string> left = names_in(disk);
    umount(disk.c_str());
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "rovurer: " + disk + "/OUT: write error: " + std::strerror(ENOSPC) + "\n");
    EXPECT_TRUE(left.empty());
}

// The text comes through a FIFO that the test holds open, so the tool waits
// in a read when the signal comes: once its temporary file is there.
TEST(PackFile, ASignalLeavesNothingBehind) {
    if (tool_is_wrapped()) {
        GTEST_SKIP() << "the signal would reach the wrapper";
    }
    for (const int signal_number : {SIGINT, SIGTERM}) {
        const std::string folder = fresh_folder("signal");
        const std::string fifo = folder + "/fifo";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const int null = open("/dev/null", O_WRONLY);
        const int child = start_tool({"rovurer", "--pack", fifo, folder + "/OUT", "10"}, null, null);
        const int writer = open(fifo.c_str(), O_WRONLY);  // waits for the tool to open it
        ASSERT_GE(writer, 0);
        const std::string digits(1 << 16, '7');
        ASSERT_EQ(write(writer, digits.data(), digits.size()), static_cast<ssize_t>(digits.size()));
        // The temporary file is made once the stop signals are caught.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (names_in(folder).size() < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_EQ(names_in(folder).size(), 2U);
        kill(child, signal_number);
        const run_result ended = wait_tool(child);
        close(writer);
        close(null);
        EXPECT_EQ(ended.signal, signal_number);
        EXPECT_EQ(names_in(folder), std::vector<std::string>{"fifo"});
    }
}

// A file that appears at the target's name after the check at the start
// is not replaced: the rename that puts the new file in place refuses to.
TEST(PackFile, AFileThatAppearsAtTheNameMeanwhileIsKept) {
    const std::string folder = fresh_folder("appears");
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string errors = folder + "-err";
    const int err_file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = open("/dev/null", O_WRONLY);
    const int child = start_tool({"rovurer", "--pack", fifo, folder + "/OUT", "10"}, null, err_file);
    const int writer = open(fifo.c_str(), O_WRONLY);  // waits for the tool to open it
    ASSERT_GE(writer, 0);
    const std::string digits(1 << 16, '7');
    ASSERT_EQ(write(writer, digits.data(), digits.size()), static_cast<ssize_t>(digits.size()));
    // The temporary file beside the target is made once the check is done.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (names_in(folder).size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_EQ(names_in(folder).size(), 2U);
    write_bytes("pack-appears/OUT", "someone else's\n");
    close(writer);
    const run_result ended = wait_tool(child);
    close(null);
    close(err_file);
    EXPECT_EQ(ended.status, 1);
    EXPECT_EQ(file_contents(errors), "rovurer: " + folder + "/OUT: exists (--force replaces it)\n");
    EXPECT_EQ(file_contents(folder + "/OUT"), "someone else's\n");
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"OUT", "fifo"}));
}

#endif

}  // namespace
