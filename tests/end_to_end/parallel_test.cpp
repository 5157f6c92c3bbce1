// Every core and past one machine, end to end: --threads gives the bytes
// one thread gives, shards merge into the whole run, --compare finds the
// first difference, and the progress display draws on a terminal.
#include <gtest/gtest.h>

#ifdef __linux__
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "parallel/parts.h"
#include "platform/platform.h"
#include "reader/word_source.h"
#include "test_support.h"

namespace {

// A block and a bit of random words, lead word 1: runs cross the block
// boundary at 19 * (block_words - 1) base-10 digits from position 1.
const std::string& two_blocks() {
    static const std::string path = [] {
        std::mt19937_64 random(15);
        std::vector<std::uint64_t> words(static_cast<std::size_t>(rovurer::block_words) + 3001);
        for (std::uint64_t& word : words) {
            word = random();
        }
        return write_digit_file("parallel-two-blocks", words, 1);
    }();
    return path;
}

std::vector<std::string> with(std::vector<std::string> front, const std::vector<std::string>& back) {
    front.insert(front.begin(), "rovurer");
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

TEST(Parallel, EveryThreadCountGivesTheBytesOfOne) {
    const std::string& f = two_blocks();
    const std::string boundary = std::to_string(19 * (rovurer::block_words - 1) - 1500000);
    // The header declares 500 words more than the file holds: the top part
    // fails, the parts below it would not.
    fixture_header header;
    header.word_count = 300500;
    const std::string failing = write_digit_file("parallel-failing", header, std::vector<std::uint64_t>(300000, 7));
    const std::vector<std::vector<std::string>> requests = {
        {f, "10", boundary, "3000000"},
        {"--per-line", "90", f, "10", boundary, "3000001"},
        {"--group", "0", "--per-line", "33", "--no-labels", f, "16", "7", "2500000"},
        {"--group", "7", f, "2", "3", "4000003"},
        // Lines whose labels end at 10^n - 1 and at 10^n: parts written in
        // place must count each label's digits exactly.
        {"--per-line", "9", "--group", "3", f, "10", "1", "3000000"},
        {"--per-line", "10", f, "16", "91", "3000000"},
        {f, "10", std::to_string(19 * rovurer::block_words - 2000000)},  // to the end of the data
        {"--find", "999999", f, "10"},
        {"--find", "0123", f, "16", "5"},
        {"--find", "31415", "--max-count", "3", f, "10"},
        {"--find", "31415926535", f, "10"},  // found nowhere: status 1
        {"--count", f, "10"},
        {"--count", f, "2", "99"},
        {failing, "10", "1", "3000000"},
        {"--find", "1", failing, "10"},
        {"--count", failing, "16"},
    };
    for (const auto& request : requests) {
        const run_result one = run_tool(with({"--threads", "1"}, request));
        ASSERT_FALSE(one.timed_out);
        for (const std::string threads : {"2", "3", "8"}) {
            const run_result many = run_tool(with({"--threads", threads}, request));
            EXPECT_EQ(many.status, one.status) << threads << ' ' << request[0] << ' ' << request[1];
            EXPECT_TRUE(many.out == one.out) << threads << ' ' << request[0] << ' ' << request[1];
            EXPECT_EQ(without_thread_note(many.err), one.err) << threads << ' ' << request[0] << ' ' << request[1];
        }
    }
}

TEST(Parallel, ShardsMergeIntoTheWholeRun) {
    const std::string& f = two_blocks();
    const std::vector<std::vector<std::string>> concatenated = {
        {f, "10", "3", "5000003"},
        {"--per-line", "70", f, "10", "1", "3000000"},
        {"--group", "0", f, "16", "1", "2000001"},
        {f, "10", std::to_string(19 * rovurer::block_words - 5)},  // the data ends after a full group
        {"--find", "99999", f, "10"},
        {"--find", "a5", f, "16", "1", "3000000"},
    };
    for (const std::string shards : {"1", "4", "7"}) {
        for (const auto& request : concatenated) {
            const run_result whole = run_tool(with({}, request));
            std::string merged;
            for (int k = 1; k <= std::stoi(shards); ++k) {
                const run_result part = run_tool(with({"--shard", std::to_string(k) + "/" + shards}, request));
                EXPECT_EQ(part.status, k == std::stoi(shards) || request[0] != "--find" ? whole.status : part.status);
                merged += part.out;
            }
            EXPECT_TRUE(merged == whole.out) << shards << ' ' << request[0] << ' ' << request[1];
        }
        // Counts add up to the whole count.
        std::map<std::string, std::uint64_t> sums;
        for (int k = 1; k <= std::stoi(shards); ++k) {
            const run_result part =
                run_tool({"rovurer", "--shard", std::to_string(k) + "/" + shards, "--count", f, "16", "9", "1999999"});
            for (std::size_t at = 0; at < part.out.size();) {
                const std::size_t end = part.out.find('\n', at);
                const std::string line = part.out.substr(at, end - at);
                sums[line.substr(0, 1)] += std::stoull(line.substr(2));
                at = end + 1;
            }
        }
        std::string summed;
        for (const auto& [digit, count] : sums) {
            summed += digit + " " + std::to_string(count) + "\n";
        }
        EXPECT_EQ(summed, run_tool({"rovurer", "--count", f, "16", "9", "1999999"}).out) << shards;
    }
}

// A copy of two_blocks() with the digit at `position` (base 10, from the
// first word after the lead word) changed.
std::string changed_copy(const std::string& name, std::int64_t position) {
    std::string bytes = file_contents(two_blocks());
    const std::int64_t words = rovurer::block_words + 3001;
    const std::int64_t word = words - 2 - (position - 1) / 19;  // below the lead word
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(4096 + 8 * word + i)]);
    }
    // Add 1 to the digit: its place value is 10^(18 - index in the word);
    // a 9 becomes 8 instead, so that no carry moves it.
    value %= 10000000000000000000ULL;
    std::uint64_t place = 1;
    for (std::int64_t k = 0; k < 18 - (position - 1) % 19; ++k) {
        place *= 10;
    }
    value = value / place % 10 == 9 ? value - place : value + place;
    for (int i = 0; i < 8; ++i) {
        bytes[static_cast<std::size_t>(4096 + 8 * word + i)] = static_cast<char>(value >> (8 * i));
    }
    return write_bytes(name, bytes);
}

TEST(Parallel, CompareFindsTheFirstDifference) {
    const std::string& f = two_blocks();
    const std::int64_t last = 19 * (rovurer::block_words + 3000);
    struct compare_case {
        std::int64_t changed;  // the changed position
        std::string pos;
    };
    const compare_case cases[] = {
        {1, "1"},
        {19, "1"},                                     // the last digit of a word
        {20, "1"},                                     // the first of the next
        {19 * (rovurer::block_words - 1) + 1, "1"},    // the first digit of the second block
        {19 * (rovurer::block_words - 1) + 1, "1e6"},  // from a position inside a word
        {last, "1"},                                   // the last digit
        {last, std::to_string(last)},
    };
    for (const compare_case& c : cases) {
        const std::string other = changed_copy("compare-" + std::to_string(c.changed), c.changed);
        std::string answer = f;
        answer += " " + other + " differ: position " + std::to_string(c.changed) + "\n";
        for (const std::string threads : {"1", "2", "5"}) {
            const run_result run = run_tool({"rovurer", "--threads", threads, "--compare", f, other, "10", c.pos});
            EXPECT_EQ(run.status, 1) << c.changed;
            EXPECT_EQ(run.out, answer) << c.changed << ' ' << threads;
            EXPECT_EQ(without_thread_note(run.err), "");
        }
        // Sharded: the first shard that finds a difference has the answer.
        std::string first_answer;
        for (int k = 1; k <= 4 && first_answer.empty(); ++k) {
            first_answer =
                run_tool({"rovurer", "--shard", std::to_string(k) + "/4", "--compare", f, other, "10", c.pos}).out;
        }
        EXPECT_EQ(first_answer, answer);
    }
    // The same digits: status 0, nothing said; a run that ends first.
    const run_result same = run_tool({"rovurer", "--compare", f, f, "16"});
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out + same.err, "");
    // Without f's lowest word, the same positions show the same digits, but
    // through other words: digits are compared, and f's run is longer.
    std::string bytes = file_contents(f);
    bytes.erase(4096, 8);
    bytes[8] = static_cast<char>(bytes[8] - 1);  // word_count 2^20 + 3001, less 1, in its low byte
    const std::string shorter = write_bytes("compare-shorter", bytes);
    const std::string eof_message =
        "rovurer: EOF on " + shorter + " after position " + std::to_string(19 * (rovurer::block_words + 2999)) + "\n";
    for (const std::string threads : {"1", "3"}) {
        const run_result ended = run_tool({"rovurer", "--threads", threads, "--compare", f, shorter, "10"});
        EXPECT_EQ(ended.status, 1);
        EXPECT_EQ(ended.out, "");
        EXPECT_EQ(without_thread_note(ended.err), eof_message);
        EXPECT_EQ(run_tool({"rovurer", "--threads", threads, "--compare", f, shorter, "10", "7", "1e6"}).status, 0);
    }
    // Only the last shard says that a run ended first.
    for (int k = 1; k <= 3; ++k) {
        const run_result shard =
            run_tool({"rovurer", "--shard", std::to_string(k) + "/3", "--compare", f, shorter, "10"});
        EXPECT_EQ(shard.status, k == 3 ? 1 : 0) << k;
        EXPECT_EQ(shard.err, k == 3 ? eof_message : "") << k;
    }
    // In bases 2 and 16 the first different bit or nibble of the changed word.
    const std::int64_t changed = 19 * 700 + 5;
    const std::string other = changed_copy("compare-bits", changed);
    for (const std::string base : {"2", "16"}) {
        const std::int64_t per_word = base == "2" ? 64 : 16;
        const std::int64_t word_start = per_word * ((changed - 1) / 19) + 1;  // the changed word's first digit
        const auto digits = [&](const std::string& path) {
            std::string shown =
                run_tool({"rovurer", path, base, std::to_string(word_start), std::to_string(per_word)}).out;
            shown.erase(std::remove(shown.begin(), shown.end(), ' '), shown.end());
            return shown;
        };
        const std::string mine = digits(f);
        const std::string theirs = digits(other);
        const auto at = std::mismatch(mine.begin(), mine.end(), theirs.begin()).first - mine.begin();
        const run_result run = run_tool({"rovurer", "--compare", f, other, base});
        std::string answer = f;
        answer += " " + other + " differ: position " + std::to_string(word_start + at) + "\n";
        EXPECT_EQ(run.out, answer) << base;
    }
    const std::string eof_case = write_digit_file("compare-eof", {5, 1415926535897932384ULL, 3}, 1);
    const std::string eof_other = write_digit_file("compare-eof-other", {1415926535897932384ULL, 3}, 1);
    const run_result eof = run_tool({"rovurer", "--compare", eof_case, eof_other, "10"});
    EXPECT_EQ(eof.status, 1);
    EXPECT_EQ(eof.out, "");
    EXPECT_EQ(eof.err, "rovurer: EOF on " + eof_other + " after position 19\n");
    const run_result refused = run_tool({"rovurer", "--compare", f, temp_folder() + "/none", "10"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("cannot open"), std::string::npos);
}

// Parts written in place, on three threads: part 1 fails after part 2 has
// written its bytes further on; the output ends where part 1's does, and
// the cut there takes part 2's bytes away, as if the parts had been written
// one after the other.
TEST(Parallel, PartsWrittenInPlaceEndAtTheFirstFailure) {
#if !defined(__linux__)
    GTEST_SKIP() << "standard output is redirected on Linux";
#else
    const std::string path = temp_folder() + "/parallel-in-place";
    const int file = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(write(file, "xx", 2), 2);  // output that begins after what the file holds
    ASSERT_EQ(std::fflush(stdout), 0);
    const int saved_output = dup(STDOUT_FILENO);
    ASSERT_GE(dup2(file, STDOUT_FILENO), 0);
    const std::int64_t start = rovurer::platform::output_offset();
    std::mutex lock;
    std::condition_variable written;
    bool last_written = false;
    const std::function<std::int64_t(std::int64_t)> offset_of = [](std::int64_t part) { return 4 * part; };
    const rovurer::part_job job = [&](std::int64_t part, rovurer::output_buffer& out) {
        if (part == 1) {
            std::unique_lock<std::mutex> held(lock);
            written.wait_for(held, std::chrono::seconds(1), [&] { return last_written; });  // none on one thread
            out.append("B");
            return rovurer::command_result::read_failed;
        }
        out.append(part == 0 ? "AAAA" : "CCCC");
        out.flush();
        const std::lock_guard<std::mutex> held(lock);
        last_written = part == 2;
        written.notify_all();
        return rovurer::command_result::shown;
    };
    const rovurer::placed_outcome outcome = rovurer::run_in_place(start, 3, 3, offset_of, job);
    const int cut = rovurer::platform::move_output_to(outcome.end, true);
    const std::int64_t position = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    dup2(saved_output, STDOUT_FILENO);
    close(saved_output);
    close(file);
    EXPECT_EQ(start, 2);
    EXPECT_EQ(outcome.result, rovurer::command_result::read_failed);
    EXPECT_EQ(outcome.end, 2 + 4 + 1);
    EXPECT_EQ(cut, 0);
    EXPECT_EQ(position, 7);
    EXPECT_EQ(file_contents(path), "xxAAAAB");

    // A write that fails ends the job there, with its error.
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const int saved_again = dup(STDOUT_FILENO);
    ASSERT_GE(dup2(full, STDOUT_FILENO), 0);
    const rovurer::part_job writes = [](std::int64_t /*part*/, rovurer::output_buffer& out) {
        out.append("digits");
        return rovurer::command_result::shown;
    };
    const rovurer::placed_outcome no_space = rovurer::run_in_place(0, 2, 4, offset_of, writes);
    dup2(saved_again, STDOUT_FILENO);
    close(saved_again);
    close(full);
    EXPECT_EQ(no_space.result, rovurer::command_result::write_failed);
    EXPECT_EQ(no_space.write_error, ENOSPC);
#endif
}

// Which outputs take parts written in place: only a regular file written at
// its position with nothing after it (not appended to, not shared with
// standard error) and /dev/null; a pipe, another device, an appended file
// and a file whose bytes go on past the position keep the parts in order.
TEST(Parallel, OnlyFilesAndTheNullDeviceTakeWritesInPlace) {
#if !defined(__linux__)
    GTEST_SKIP() << "standard output is redirected on Linux";
#else
    const std::string path = temp_folder() + "/parallel-output-kinds";
    int ends[2] = {-1, -1};
    ASSERT_EQ(pipe(ends), 0);
    struct output_case {
        const char* what;
        int output;
        bool also_errors;
        std::int64_t offset;
    };
    const int file = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_EQ(write(file, "abc", 3), 3);
    // The same file opened again, at its start: bytes follow the position.
    const int rewritten = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const output_case cases[] = {
        {"a file", file, false, 3},
        {"a file with bytes after the position", rewritten, false, -1},
        {"a file that is also standard error", file, true, -1},
        {"an appended file", open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC), false, -1},
        {"/dev/null", open("/dev/null", O_WRONLY | O_CLOEXEC), false, 0},
        {"/dev/zero", open("/dev/zero", O_WRONLY | O_CLOEXEC), false, -1},
        {"a pipe", ends[1], false, -1},
    };
    ASSERT_EQ(std::fflush(stdout), 0);
    const int saved_output = dup(STDOUT_FILENO);
    const int saved_errors = dup(STDERR_FILENO);
    for (const output_case& c : cases) {
        ASSERT_GE(c.output, 0) << c.what;
        ASSERT_GE(dup2(c.output, STDOUT_FILENO), 0);
        ASSERT_GE(dup2(c.also_errors ? c.output : saved_errors, STDERR_FILENO), 0);
        const std::int64_t offset = rovurer::platform::output_offset();
        dup2(saved_output, STDOUT_FILENO);
        dup2(saved_errors, STDERR_FILENO);
        EXPECT_EQ(offset, c.offset) << c.what;
    }
    close(saved_output);
    close(saved_errors);
    for (const output_case& c : cases) {
        if (c.output != file) {
            close(c.output);
        }
    }
    close(file);
    close(ends[0]);
#endif
}

TEST(Parallel, ProgressDrawsOnATerminalAndIsErased) {
#if !defined(__linux__)
    GTEST_SKIP() << "pseudo-terminals are tested on Linux";
#elif defined(ROVURER_NO_THREADS)
    GTEST_SKIP() << "a build without helper threads shows no progress";
#else
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    const int null = open("/dev/null", O_WRONLY);
    const auto run_on_terminal = [&](const std::vector<std::string>& args) {
        const int child = start_tool(args, null, terminal);
        const run_result run = wait_tool(child);
        std::string shown;
        pollfd ready{master, POLLIN, 0};
        char buffer[4096];
        while (poll(&ready, 1, 100) > 0) {
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            shown.append(buffer, static_cast<std::size_t>(got));
        }
        EXPECT_EQ(run.status, 0);
        return shown;
    };
    // Forced: drawn from the start, then erased.
    const std::string forced = run_on_terminal({"rovurer", "--progress", "--count", two_blocks(), "2"});
    EXPECT_NE(forced.find("% "), std::string::npos) << forced;
    EXPECT_NE(forced.find(" digits/s"), std::string::npos) << forced;
    ASSERT_GE(forced.size(), 2U);
    EXPECT_EQ(forced.back(), '\r');  // the line ends blanked, the cursor at its start
    // A short job on a terminal shows nothing; nor does --no-progress, or the plain form.
    EXPECT_EQ(run_on_terminal({"rovurer", "--count", two_blocks(), "10", "1", "1000"}), "");
    EXPECT_EQ(run_on_terminal({"rovurer", "--no-progress", "--count", two_blocks(), "10", "1", "1000"}), "");
    EXPECT_EQ(run_on_terminal({"rovurer", two_blocks(), "10", "1"}), "");
    close(null);
    close(terminal);
    close(master);
#endif
}

}  // namespace
