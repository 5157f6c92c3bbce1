// The built rovurer on files and outputs that fail: truncated digit files,
// things that are not digit files, a full disk and a reader that goes away.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "test_support.h"

using namespace rovurer;

namespace {

// Word i holds i + 1: 2^20 + 8 words, so the top block starts 8 words up.
const std::string& two_blocks() {
    static const std::string path = [] {
        std::vector<std::uint64_t> words((std::size_t{1} << 20) + 8);
        for (std::size_t i = 0; i < words.size(); ++i) {
            words[i] = i + 1;
        }
        return write_digit_file("two-blocks", words, 0);
    }();
    return path;
}

TEST(Faults, TruncatedFiles) {
    const std::string whole = file_contents(two_blocks());
    constexpr std::size_t header_bytes = 4096;
    constexpr std::size_t top_block_start = header_bytes + std::size_t{8} * 8;
    const std::vector<std::size_t> cuts = {0,
                                           30,
                                           55,
                                           56,
                                           100,
                                           header_bytes,
                                           header_bytes + 4,                         // header area
                                           header_bytes + std::size_t{8} * 3,        // lower block
                                           top_block_start + std::size_t{8} * 1000,  // top block
                                           whole.size() - 1};                        // last word
    for (const std::size_t cut : cuts) {
        const std::string path = write_bytes("cut" + std::to_string(cut), whole.substr(0, cut));
        const run_result run = run_tool({"rovurer", path, "10", "1"});
        if (cut < 56) {
            expect_refused(run, path);  // no whole header
        } else {
            expect_failed_read(run);  // the header declares words past the end
            // The option forms say so, with status 2.
            const run_result found = run_tool({"rovurer", "--find", "0", path, "10"});
            EXPECT_EQ(found.status, 2) << cut;
            EXPECT_EQ(found.out, "") << cut;
            EXPECT_EQ(found.err, "rovurer: " + path + ": a read of the data failed\n") << cut;
        }
    }
    // Positions whose words all lie below the cut are still shown.
    const std::string path = write_bytes("cut-low", whole.substr(0, header_bytes + std::size_t{8} * 3));
    expect_shown(run_tool({"rovurer", path, "10", std::to_string(19 * ((1 << 20) + 5) + 1), "19"}),
                 "0000000000 000000003");
}

TEST(Faults, ThingsThatAreNotDigitFiles) {
#ifdef _WIN32
    const std::vector<std::string> paths = {"NUL", temp_folder(), "C:\\"};
#else
    const std::vector<std::string> paths = {"/dev/null", "/dev/zero", "/dev/urandom", temp_folder(), "/"};
#endif
    for (const std::string& path : paths) {
        expect_refused(run_tool({"rovurer", path, "10", "1"}), path);
    }
    const std::string text = write_bytes("text",
                                         "MPT\x01"
                                         "FILE is how a digit file starts, but this is text.\n");
    expect_refused(run_tool({"rovurer", text, "10", "1"}), text);
}

TEST(Faults, FifoWithNoWriter) {
#ifdef _WIN32
    GTEST_SKIP() << "FIFOs exist on POSIX systems only";
#else
    const std::string fifo = temp_folder() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    expect_refused(run_tool({"rovurer", fifo, "10", "1"}), fifo);  // must not wait for a writer
#endif
}

TEST(Faults, HeadersDeclaringImpossibleSizes) {
    for (const int shift : {40, 60, 62}) {
        fixture_header header;
        header.word_count = std::int64_t{1} << shift;
        const std::string path = write_digit_file("declared-2p" + std::to_string(shift), header, {1, 2});
        for (const char* base : {"10", "16", "2"}) {
            expect_failed_read(run_tool({"rovurer", path, base, "1"}));
        }
        // With all but the two bottom words as lead words, the words that
        // exist are shown.
        header.lead_words = header.word_count - 2;
        const std::string shown = write_digit_file("lead-2p" + std::to_string(shift), header, {1, 2});
        expect_shown(run_tool({"rovurer", shown, "16", "1"}), "0000000000 0000020000 0000000000 01");
    }
}

TEST(Faults, FullDisk) {
    SKIP_UNLESS_LINUX("/dev/full");
    for (const char* count : {"5", "50", "100000000"}) {
        const run_result run = run_tool({"rovurer", two_blocks(), "10", "1", count}, "/dev/full");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "rovurer: write error: No space left on device\n");
    }
}

TEST(Faults, ReaderThatGoesAway) {
#ifdef _WIN32
    GTEST_SKIP() << "SIGPIPE exists on POSIX systems only";
#else
    SKIP_UNLESS_LINUX("pipe2");
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int child = start_tool({"rovurer", two_blocks(), "10", "1", "1000000000"}, ends[1], null);
    close(ends[1]);
    close(null);
    char first[16];
    EXPECT_EQ(read(ends[0], first, sizeof first), static_cast<ssize_t>(sizeof first));
    close(ends[0]);
    const run_result run = wait_tool(child);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.signal, SIGPIPE);
#endif
}

}  // namespace
