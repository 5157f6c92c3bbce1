// The library's text calls (text.h) as a program uses them: a range laid
// out as the command line lays it out and the positions of a string, on any
// number of threads and in parts, to a function or in place on standard
// output; a write that fails and a stop leave a prefix of the whole text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stop_token>
#include <string>
#include <vector>

#include "rovurer/rovurer.h"
#include "rovurer/text.h"
#include "test_support.h"

namespace {

rovurer::text_output into(std::string& text) {
    return rovurer::text_output::to([&text](std::string_view piece) {
        text.append(piece);
        return 0;
    });
}

std::string digits_of_range(const rovurer::file& source, const rovurer::range& where) {
    std::string digits(4000000, '\0');
    const rovurer::result<std::int64_t> got = rovurer::read(source, where, digits);
    EXPECT_TRUE(got.ok());
    digits.resize(got.ok() ? static_cast<std::size_t>(*got) : 0);
    return digits;
}

TEST(TextApi, TextIsLaidOutAsTheCommandLineOnAnyThreadsAndInAnyParts) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("text-api", mixed_words(300, 3), 1)).value();
    struct text_case {
        rovurer::range where;
        rovurer::layout shape;
    };
    const text_case cases[] = {
        {{10, 1, 5000}, {10, 0, true}},     {{10, 7, 3000}, {10, 50, true}}, {{16, 3, 4000}, {7, 21, false}},
        {{2, 5, 15000}, {0, 64, true}},     {{10, 100, 900}, {0, 0, true}},  {{16, 1, rovurer::to_end}, {4, 0, true}},
        {{10, 5600, 500}, {10, 100, true}}, {{2, 1, 0}, {10, 0, true}},
    };
    for (const text_case& wanted : cases) {
        const std::string digits = digits_of_range(source, wanted.where);
        const std::string whole = rovurer::format(digits, wanted.where.pos, wanted.shape).value();
        for (const int threads : {0, 1, 2, 3, 7}) {
            for (const std::int64_t part_count : {std::int64_t{1}, std::int64_t{3}}) {
                SCOPED_TRACE("base " + std::to_string(wanted.where.base) + " pos " + std::to_string(wanted.where.pos) +
                             " threads " + std::to_string(threads) + " parts " + std::to_string(part_count));
                std::string text;
                for (std::int64_t part = part_count == 1 ? 0 : 1; part <= (part_count == 1 ? 0 : part_count); ++part) {
                    rovurer::scan_options options;
                    options.threads = threads;
                    options.part = {part, part_count};
                    const rovurer::result<rovurer::text_written> answer =
                        rovurer::write_text(source, wanted.where, wanted.shape, into(text), options);
                    ASSERT_TRUE(answer.ok()) << answer.error().message;
                    EXPECT_EQ(answer->range_digits, static_cast<std::int64_t>(digits.size()));
                    if (part == 0) {
                        EXPECT_EQ(answer->digits, static_cast<std::int64_t>(digits.size()));
                    }
                }
                EXPECT_EQ(text, whole);
            }
        }
    }
    // The plain command line's line keeps the space after a full group
    // that the data ends on; with a layout option it does not.
    const rovurer::file pi3 =
        rovurer::file::open(write_digit_file("text-api-pi3", {6264338327950288419U, 1415926535897932384U, 3}, 1))
            .value();
    for (const bool plain : {true, false}) {
        std::string text;
        rovurer::layout shape;
        shape.space_at_data_end = plain;
        ASSERT_TRUE(rovurer::write_text(pi3, {10, 19, 50}, shape, into(text)).ok());
        EXPECT_EQ(text, plain ? "4626433832 7950288419 " : "4626433832 7950288419");
    }
}

TEST(TextApi, FoundPositionsAreLinesOfEveryMatchOrTheFirstOnes) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("found-api", mixed_words(400, 9), 0)).value();
    for (const char* pattern : {"7", "14", "999", "0a"}) {
        const rovurer::range where{16, 3, rovurer::to_end};
        const std::vector<std::uint64_t> every = rovurer::find(source, pattern, where).value().positions;
        std::string lines;
        for (const std::uint64_t at : every) {
            lines += std::to_string(at) + "\n";
        }
        for (const int threads : {1, 2, 7}) {
            for (const std::int64_t part_count : {std::int64_t{1}, std::int64_t{4}}) {
                SCOPED_TRACE(std::string(pattern) + " threads " + std::to_string(threads) + " parts " +
                             std::to_string(part_count));
                std::string text;
                std::int64_t positions = 0;
                for (std::int64_t part = part_count == 1 ? 0 : 1; part <= (part_count == 1 ? 0 : part_count); ++part) {
                    rovurer::scan_options options;
                    options.threads = threads;
                    options.part = {part, part_count};
                    const rovurer::result<rovurer::text_written> answer =
                        rovurer::write_found(source, pattern, where, rovurer::to_end, into(text), options);
                    ASSERT_TRUE(answer.ok()) << answer.error().message;
                    positions += answer->positions;
                }
                EXPECT_EQ(text, lines);
                EXPECT_EQ(positions, static_cast<std::int64_t>(every.size()));
            }
            // The first three only, reading no further.
            std::string first;
            rovurer::scan_options options;
            options.threads = threads;
            ASSERT_TRUE(rovurer::write_found(source, pattern, where, 3, into(first), options).ok());
            std::string wanted;
            for (std::size_t k = 0; k < std::min<std::size_t>(3, every.size()); ++k) {
                wanted += std::to_string(every[k]) + "\n";
            }
            EXPECT_EQ(first, wanted);
        }
    }
    std::string none;
    const rovurer::result<rovurer::text_written> refused =
        rovurer::write_found(source, "12g", {16, 1, 100}, rovurer::to_end, into(none));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, rovurer::errc::bad_digits);
}

#ifndef _WIN32
// Standard output a regular file: threads write their parts in place, and
// the file holds the whole text, after what was there before.
TEST(TextApi, OnStandardOutputPartsAreWrittenInPlace) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("place-api", mixed_words(5000, 4), 0)).value();
    const rovurer::range where{10, 11, 90000};
    const rovurer::layout shape{10, 100, true};
    const std::string whole = rovurer::format(digits_of_range(source, where), where.pos, shape).value();
    const std::string path = temp_folder() + "/place-api-out";
    for (const int threads : {1, 3}) {
        std::FILE* const out = std::fopen(path.c_str(), "w+");
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(std::fputs("before\n", out), 1);
        ASSERT_EQ(std::fflush(out), 0);
        (void)std::fflush(stdout);
        const int saved = ::dup(1);
        ASSERT_EQ(::dup2(::fileno(out), 1), 1);
        rovurer::scan_options options;
        options.threads = threads;
        const rovurer::result<rovurer::text_written> answer =
            rovurer::write_text(source, where, shape, rovurer::text_output::standard_output(), options);
        ::dup2(saved, 1);
        ::close(saved);
        (void)std::fclose(out);
        ASSERT_TRUE(answer.ok()) << answer.error().message;
        EXPECT_TRUE(file_contents(path) == "before\n" + whole) << threads << " threads";
    }
}
#endif

// A new file: written in place on threads as standard output is, what was
// there before emptied first; a file that cannot be created is said so.
TEST(TextApi, AFileIsWrittenWholeInPlace) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("file-api", mixed_words(5000, 8), 0)).value();
    const rovurer::range where{16, 5, 70000};
    const rovurer::layout shape{8, 64, false};
    const std::string whole = rovurer::format(digits_of_range(source, where), where.pos, shape).value();
    const std::string path = write_bytes("file-api-out", std::string(200000, 'x'));
    for (const int threads : {1, 3}) {
        rovurer::scan_options options;
        options.threads = threads;
        const rovurer::result<rovurer::text_written> answer =
            rovurer::write_text(source, where, shape, rovurer::text_output::file(path), options);
        ASSERT_TRUE(answer.ok()) << answer.error().message;
        EXPECT_TRUE(file_contents(path) == whole) << threads << " threads";
    }
    const rovurer::result<rovurer::text_written> refused =
        rovurer::write_text(source, where, shape, rovurer::text_output::file(temp_folder() + "/no-such-folder/out"));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, rovurer::errc::cannot_create);
    EXPECT_EQ(refused.error().file, 2);
    EXPECT_EQ(refused.error().system_error, ENOENT);
}

// A write that fails, or a stop, ends the call with what came before it: a
// prefix of the whole text.
TEST(TextApi, AFailedWriteOrAStopLeavesAPrefix) {
    const small_parts parts;
    const rovurer::file source = rovurer::file::open(write_digit_file("fail-api", mixed_words(100000, 6), 0)).value();
    const rovurer::range where{10, 1, rovurer::to_end};
    const rovurer::layout shape{10, 50, true};
    std::string whole;
    ASSERT_TRUE(rovurer::write_text(source, where, shape, into(whole)).ok());
    for (const int threads : {1, 2}) {
        // A stop on one thread comes while text is still to be made; on
        // more, every part might be made before the first piece is written.
        for (const bool stop : threads == 1 ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
            SCOPED_TRACE(std::string(stop ? "stop" : "write error") + ", threads " + std::to_string(threads));
            std::string text;
            std::stop_source stopper;
            rovurer::scan_options options;
            options.threads = threads;
            options.stop = stopper.get_token();
            const rovurer::text_output to = rovurer::text_output::to([&](std::string_view piece) {
                if (stop) {
                    stopper.request_stop();  // while most of the text is still to come
                } else if (!text.empty()) {
                    return ENOSPC;
                }
                text.append(piece);
                return 0;
            });
            const rovurer::result<rovurer::text_written> answer =
                rovurer::write_text(source, where, shape, to, options);
            ASSERT_FALSE(answer.ok());
            EXPECT_EQ(answer.error().code, stop ? rovurer::errc::stopped : rovurer::errc::write_failed);
            if (!stop) {
                EXPECT_EQ(answer.error().system_error, ENOSPC);
            }
            EXPECT_FALSE(text.empty());
            EXPECT_LT(text.size(), whole.size());
            EXPECT_TRUE(whole.compare(0, text.size(), text) == 0);
        }
    }
}

// A file's text of a megabyte or more has its disk space set aside before it
// is written; whatever the text did not fill is given back however the call
// ends: whole, short of the range where the data ends, or stopped.
TEST(TextApi, SpaceSetAsideForAFileEndsWhereItsTextEnds) {
    SKIP_UNLESS_LINUX("space is set aside on Linux");
#ifdef __linux__
    const rovurer::file source = rovurer::file::open(write_digit_file("aside-api", mixed_words(300000, 9), 0)).value();
    const std::string path = temp_folder() + "/aside-api-out";
    const rovurer::layout shape{10, 100, true};
    struct case_ {
        const char* name;
        rovurer::range where;
        bool stop;
    };
    const std::int64_t digits = std::int64_t{300000} * 19;  // about: the file holds a few more
    const case_ cases[] = {
        {"whole", {10, 1, digits}, false},
        {"past the data's end", {10, 1, digits * 3}, false},
        {"stopped", {10, 1, digits}, true},
    };
    for (const case_& c : cases) {
        for (const int threads : {1, 2}) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
            std::stop_source stopper;
            rovurer::scan_options options;
            options.threads = threads;
            options.stop = stopper.get_token();
            options.progress = [&](std::int64_t done, std::int64_t total) {
                if (c.stop && done > total / 4) {
                    stopper.request_stop();
                }
            };
            const rovurer::result<rovurer::text_written> answer =
                rovurer::write_text(source, c.where, shape, rovurer::text_output::file(path), options);
            ASSERT_EQ(answer.ok(), !c.stop);
            const std::int64_t size = static_cast<std::int64_t>(file_contents(path).size());
            EXPECT_GT(size, c.stop ? 0 : digits);
            // The file system's blocks for its bytes, and no more.
            EXPECT_LE(allocated_bytes(path), (size + 4095) / 4096 * 4096) << size << " bytes";
        }
    }
    unlink(path.c_str());
#endif
}

}  // namespace
