// How a threaded run ends when something stops it: the file-size limit, a
// full disk, a signal, too little memory. Whatever stops it, a dump leaves
// the bytes one thread leaves: a prefix of the text, no holes, the bytes
// after it kept.
#include <gtest/gtest.h>

#ifdef __linux__
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reader/word_source.h"
#include "test_paths.h"
#include "test_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ROVURER_TOOL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ROVURER_TOOL_SANITIZED 1
#endif
#endif

namespace {

// Two blocks of random words, one lead word: 39,845,885 base-10 digits.
const std::string& random_file() {
    static const std::string path = [] {
        std::mt19937_64 random(2024);
        std::vector<std::uint64_t> words(2 * static_cast<std::size_t>(rovurer::block_words));
        for (std::uint64_t& word : words) {
            word = random();
        }
        return write_digit_file("stopping-random", words, 1);
    }();
    return path;
}

#ifdef __linux__

// A file of zeros so long that no test reads it to its end: every digit
// shows as '0', so that any other byte in a dump is one the data never held.
const std::string& endless_file() {
    static const std::string path = [] {
        fixture_header header;
        header.word_count = std::int64_t{1} << 36;
        return write_sparse_digit_file("stopping-endless", header, {});
    }();
    return path;
}

std::vector<std::string> tool_args(const std::string& threads, const std::vector<std::string>& rest) {
    std::vector<std::string> args = {"--no-progress", "--threads", threads};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
}

#endif

bool skip_wrapped() {
    return tool_is_wrapped();
}

TEST(Stopping, FileSizeLimitAndBytesAfterTheOutputAsOneThreadLeavesThem) {
#ifndef __linux__
    GTEST_SKIP() << "the shell's ulimit and 1<> are tested on Linux";
#else
    if (skip_wrapped()) {
        GTEST_SKIP() << "the tool is started by the shell, without the emulator or wrapper";
    }
    const std::string out = temp_folder() + "/stopping-output";
    const std::vector<std::vector<std::string>> dumps = {
        {"--group", "0", random_file(), "10", "1", "30000000"},
        {"--per-line", "70", random_file(), "16", "9", "20000000"},
    };
    for (const std::vector<std::string>& dump : dumps) {
        const run_result whole = run_tool(tool_args("1", dump), out);
        ASSERT_EQ(whole.status, 0);
        const std::string text = file_contents(out);
        ASSERT_GT(text.size(), std::size_t{4} << 20);
        // 2000 blocks of 512 bytes; ulimit -f in a fresh shell.
        for (const std::string threads : {"1", "2"}) {
            const std::vector<std::string> args = tool_args(threads, dump);
            const run_result limited = run_in_shell("ulimit -f 2000 && exec >'" + out + "'", args);
            EXPECT_EQ(limited.status, 1) << threads;
            EXPECT_EQ(limited.signal, 0) << threads;
            EXPECT_EQ(limited.err, std::string("rovurer: write error: ") + std::strerror(EFBIG) + "\n") << threads;
            EXPECT_TRUE(file_contents(out) == text.substr(0, std::size_t{2000} * 512))
                << threads << ": not the text's prefix";
            // Standard output opened for writing without being cut: the
            // bytes past the text stay, as one thread leaves them.
            const std::string tail(std::size_t{1} << 20, 'x');
            write_bytes("stopping-output", std::string(text.size(), '-') + tail);
            const run_result kept = run_in_shell("exec 1<>'" + out + "'", args);
            EXPECT_EQ(kept.status, 0) << threads << kept.err;
            EXPECT_TRUE(file_contents(out) == text + tail) << threads << ": the bytes after the text were lost";
        }
    }
    // The plain form keeps the default action of SIGXFSZ, as it always has.
    const run_result plain =
        run_in_shell("ulimit -f 2000 && exec >'" + out + "'", {random_file(), "10", "1", "30000000"});
    EXPECT_EQ(plain.signal, SIGXFSZ);
    EXPECT_EQ(plain.err, "");
#endif
}

TEST(Stopping, FullDiskKeepsWhatOneThreadKeeps) {
#ifndef __linux__
    GTEST_SKIP() << "a small tmpfs is mounted on Linux";
#else
    const std::string disk = temp_folder() + "/small-disk";
    mkdir(disk.c_str(), 0700);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    const std::string out = disk + "/out";
    std::vector<std::string> kept;
    for (const std::string threads : {"1", "2"}) {
        for (int round = 0; round < 4; ++round) {
            unlink(out.c_str());
            const run_result full =
                run_tool(tool_args(threads, {"--group", "5", random_file(), "10", "3", "3e7"}), out);
            EXPECT_EQ(full.status, 1) << threads;
            EXPECT_EQ(full.err, std::string("rovurer: write error: ") + std::strerror(ENOSPC) + "\n") << threads;
            kept.push_back(file_contents(out));
        }
    }
    unlink(out.c_str());
    umount(disk.c_str());
    ASSERT_GT(kept.front().size(), std::size_t{1000000});
    for (const std::string& bytes : kept) {
        EXPECT_EQ(bytes.size(), kept.front().size());
        EXPECT_TRUE(bytes == kept.front()) << "a threaded dump kept other bytes than one thread";
    }
#endif
}

TEST(Stopping, SignalsCutAtTheWholeTextEraseTheLineAndEndTheRun) {
#ifndef __linux__
    GTEST_SKIP() << "signals are sent on Linux";
#else
    if (skip_wrapped()) {
        GTEST_SKIP() << "a wrapper or emulator gets the signal first";
    }
    const std::string out = temp_folder() + "/stopping-signalled";
    const std::string errors = temp_folder() + "/stopping-signalled.err";
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        for (const std::string threads : {"1", "2"}) {
            const int out_file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const int err_file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            ASSERT_GE(out_file, 0);
            ASSERT_GE(err_file, 0);
            const int child = start_tool(
                {"rovurer", "--progress", "--threads", threads, "--group", "0", endless_file(), "10", "1", "1e15"},
                out_file, err_file);
            // Signalled once the dump is well under way, however long that
            // takes: 16 MiB written (parts written in place leave holes
            // until the parts before them are written).
            struct stat written {};
            for (int waited = 0; waited < 20000 && stat(out.c_str(), &written) == 0 && written.st_blocks < (16 << 11);
                 ++waited) {
                usleep(1000);
            }
            kill(child, number);
            const run_result run = wait_tool(child);
            close(out_file);
            close(err_file);
            EXPECT_FALSE(run.timed_out);
            EXPECT_EQ(run.signal, number) << threads;
            const std::string text = file_contents(out);
            if (threads == "1") {
                EXPECT_GE(text.size(), std::size_t{16} << 20);
            }
            EXPECT_EQ(text.find_first_not_of('0'), std::string::npos) << threads << ": a hole or a stray byte";
            // The progress line was drawn, then erased: the messages end
            // with blanks between carriage returns.
            const std::string messages = file_contents(errors);
            ASSERT_GE(messages.size(), 3U) << threads;
            EXPECT_EQ(messages.back(), '\r') << threads;
            const std::size_t erase = messages.rfind('\r', messages.size() - 2);
            ASSERT_NE(erase, std::string::npos);
            EXPECT_EQ(messages.find_first_not_of(' ', erase + 1), messages.size() - 1) << threads;
        }
    }
    // A dump that waits to write to a pipe nobody reads still ends by the
    // signal, at once.
    int ends[2] = {-1, -1};
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int child =
        start_tool({"rovurer", "--threads", "2", "--group", "0", endless_file(), "10", "1", "1e15"}, ends[1], null);
    // Full: the tool enlarges the pipe, then fills it.
    int queued = 0;
    for (int waited = 0;
         waited < 20000 && ioctl(ends[0], FIONREAD, &queued) == 0 && queued < fcntl(ends[0], F_GETPIPE_SZ); ++waited) {
        usleep(1000);
    }
    EXPECT_EQ(queued, fcntl(ends[0], F_GETPIPE_SZ));
    kill(child, SIGINT);
    const run_result blocked = wait_tool(child);
    EXPECT_FALSE(blocked.timed_out);
    EXPECT_EQ(blocked.signal, SIGINT);
    close(ends[0]);
    close(ends[1]);
    close(null);
#endif
}

// A stop signal ignored when the tool starts (nohup, a background job)
// stays ignored: the dump it comes in the middle of runs to its end.
TEST(Stopping, ASignalIgnoredAtTheStartStaysIgnored) {
#ifndef __linux__
    GTEST_SKIP() << "signals are sent on Linux";
#else
    if (skip_wrapped()) {
        GTEST_SKIP() << "a wrapper or emulator gets the signal first";
    }
    const std::int64_t digits = 20000000;
    for (const auto& [number, name] : {std::pair{SIGHUP, "HUP"}, std::pair{SIGINT, "INT"}}) {
        for (const std::string threads : {"1", "2"}) {
            int ends[2] = {-1, -1};
            ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
            const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
            const int child = start_in_shell(
                std::string("trap '' ") + name,
                {"--threads", threads, "--group", "0", endless_file(), "10", "1", std::to_string(digits)}, ends[1],
                null);
            close(ends[1]);
            // The signal comes while the tool waits to write to a full pipe.
            int queued = 0;
            for (int waited = 0;
                 waited < 20000 && ioctl(ends[0], FIONREAD, &queued) == 0 && queued < fcntl(ends[0], F_GETPIPE_SZ);
                 ++waited) {
                usleep(1000);
            }
            kill(child, number);
            std::int64_t received = 0;
            char buffer[65536];
            for (ssize_t got = 0; (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
                received += got;
            }
            const run_result run = wait_tool(child);
            close(ends[0]);
            close(null);
            EXPECT_FALSE(run.timed_out);
            EXPECT_EQ(run.signal, 0) << name << ", " << threads << " threads";
            EXPECT_EQ(run.status, 0) << name << ", " << threads << " threads";
            EXPECT_EQ(received, digits + 1) << name << ", " << threads << " threads";
        }
    }
#endif
}

#ifndef ROVURER_TOOL_SANITIZED
TEST(Limits, ThreadsAreCappedAndMemoryThatLacksIsSaid) {
    SKIP_UNLESS_LINUX("RLIMIT_AS");
    if (skip_wrapped()) {
        GTEST_SKIP() << "an emulator or wrapper needs more address space than the limits";
    }
    const std::vector<std::vector<std::string>> forms = {
        {"--count", random_file(), "10"},
        {"--find", "999999", random_file(), "10"},
        {"--per-line", "100", random_file(), "10", "1", "20000000"},
        {"--compare", random_file(), random_file(), "16"},
    };
    for (const std::vector<std::string>& form : forms) {
        std::vector<std::string> one = {"rovurer", "--threads", "1"};
        one.insert(one.end(), form.begin(), form.end());
        const run_result expected = run_tool(one);
        ASSERT_EQ(expected.err, "");
        // Far more threads than processors: capped, with a note, within a
        // quarter of a gibibyte.
        std::vector<std::string> many = one;
        many[2] = "1024";
        const run_result capped = run_tool(many, "", std::size_t{256} << 20);
        EXPECT_EQ(capped.status, expected.status) << form[0];
        EXPECT_TRUE(capped.out == expected.out) << form[0];
        EXPECT_EQ(capped.err.rfind("rovurer: --threads 1024: this process may use ", 0), 0U) << capped.err;
        EXPECT_EQ(std::count(capped.err.begin(), capped.err.end(), '\n'), 1) << capped.err;
        // Less and less memory: the whole answer, or the message, never an
        // abort and never a wrong answer.
        for (const std::size_t mebibytes : {12U, 20U, 28U, 36U, 44U, 52U}) {
            std::vector<std::string> two = one;
            two[2] = "2";
            const run_result squeezed = run_tool(two, "", mebibytes << 20);
            EXPECT_EQ(squeezed.signal, 0) << form[0] << ' ' << mebibytes;
            if (squeezed.status == expected.status && squeezed.err.empty()) {
                EXPECT_TRUE(squeezed.out == expected.out) << form[0] << ' ' << mebibytes;
            } else {
                // A refusal at the start (1, or 2 for --find and --compare),
                // or a failure on the way (2).
                EXPECT_NE(squeezed.status, 0) << form[0] << ' ' << mebibytes;
                EXPECT_EQ(squeezed.err, "rovurer: out of memory\n") << form[0] << ' ' << mebibytes;
                EXPECT_TRUE(expected.out.compare(0, squeezed.out.size(), squeezed.out) == 0) << form[0];
            }
        }
    }
}
#endif

}  // namespace
