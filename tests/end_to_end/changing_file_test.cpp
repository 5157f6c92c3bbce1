// Files that change while they are read: cut short, replaced by a rename,
// grown, unlinked. Every form, on one thread and on several, either gives
// the whole answer for the file as it was opened, or stops with the
// read-failed message after a correct prefix of that answer. The change
// lands through the word source's take seam, between a take and the use of
// its words: no timing is involved.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "reader/word_source.h"
#include "rovurer/rovurer.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace rovurer;

namespace {

// The file a descriptor reads (its inode), or 0.
using file_identity = std::uint64_t;
file_identity identity_of(const platform::file& opened) {
#ifdef _WIN32
    static_cast<void>(opened);
    return 0;
#else
    struct stat facts {};
    return ::fstat(static_cast<int>(opened.native()), &facts) == 0 ? static_cast<file_identity>(facts.st_ino) : 0;
#endif
}

enum class change { shrink, rename_over, grow, unlink };

const char* name_of(change what) {
    switch (what) {
        case change::shrink:
            return "shrink";
        case change::rename_over:
            return "rename over";
        case change::grow:
            return "grow";
        case change::unlink:
            return "unlink";
    }
    return "?";
}

// What the seam does, and on which take: set before a run, read by the
// run's threads.
struct planned_change {
    change what = change::shrink;
    std::string path;         // the file being read
    std::string replacement;  // for rename_over
    int on_take = 1;          // the take after which the file changes
    std::atomic<int> takes{0};
    file_identity counted_file = 0;  // only takes of this file count; 0: of any file
};
planned_change* planned = nullptr;

void change_file(const platform::file& data_file) {
    if (planned->counted_file != 0 && identity_of(data_file) != planned->counted_file) {
        return;
    }
    if (planned->takes.fetch_add(1) + 1 != planned->on_take) {
        return;
    }
    const std::filesystem::path path = fs_path(planned->path);
    switch (planned->what) {
        case change::shrink:
            std::filesystem::resize_file(path, 4096 + 8 * 1000);
            break;
        case change::rename_over:
            std::filesystem::rename(fs_path(planned->replacement), path);
            break;
        case change::grow: {
            // Words appended (more significant ones) and word_count raised:
            // position 1 now lies in the new words.
            std::FILE* file = std::fopen(planned->path.c_str(), "r+b");
            ASSERT_NE(file, nullptr);
            const std::int64_t more = 5000;
            const std::vector<std::uint64_t> words(more, 0x0123456789ABCDEFu);
            std::int64_t word_count = 0;
            ASSERT_EQ(std::fseek(file, 0, SEEK_END), 0);
            ASSERT_EQ(std::fwrite(words.data(), 8, words.size(), file), words.size());
            ASSERT_EQ(std::fseek(file, 8, SEEK_SET), 0);
            ASSERT_EQ(std::fread(&word_count, 8, 1, file), 1U);
            word_count += more;
            ASSERT_EQ(std::fseek(file, 8, SEEK_SET), 0);
            ASSERT_EQ(std::fwrite(&word_count, 8, 1, file), 1U);
            ASSERT_EQ(std::fclose(file), 0);
            break;
        }
        case change::unlink:
            std::filesystem::remove(path);
            break;
    }
}

struct run_output {
    int status = -1;
    std::string out;
    std::string err;
};

run_output run_in_process(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    argv.reserve(args.size());
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    run_output result;
    console_stream out(append_to_string, &result.out);
    console_stream err(append_to_string, &result.err);
    result.status = run_rovurer(static_cast<int>(argv.size()), argv.data(), out, err);
    return result;
}

// Random words, a block and a fifth: long enough for several parts on
// several threads, mapped views, and a block boundary.
std::vector<std::uint64_t> random_words(unsigned seed) {
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> words(static_cast<std::size_t>(block_words) * 6 / 5);
    for (std::uint64_t& word : words) {
        word = random();
    }
    return words;
}

TEST(ChangingFile, EveryFormAnswersForTheFileOpenedOrFails) {
#ifdef _WIN32
    GTEST_SKIP() << "a file in use cannot be cut, renamed over or removed on Windows";
#endif
    const std::vector<std::uint64_t> original = random_words(24);
    const std::string other_path = write_digit_file("changing-other", random_words(25), 1);
    const std::string whole = write_digit_file("changing-whole", original, 1);
    const std::string twin = write_digit_file("changing-twin", original, 1);
    // Forms over the run from position 1; {FILE} is the file that changes.
    const std::vector<std::vector<std::string>> forms = {
        {"--group", "0", "{FILE}", "10", "1", "20000000"},
        {"--per-line", "100", "{FILE}", "16", "7", "15000000"},
        {"--find", "999999", "{FILE}", "10"},
        {"--find", "A5A5", "--max-count", "3", "{FILE}", "16", "5000"},
        {"--count", "{FILE}", "10"},
        {"--count", "{FILE}", "2", "3"},
        {"--compare", "{FILE}", twin, "10"},
        {"--compare", twin, "{FILE}", "16", "11"},
    };
    for (const std::vector<std::string>& form : forms) {
        for (const char* threads : {"1", "2"}) {
            std::vector<std::string> args = {"rovurer", "--no-progress", "--threads", threads};
            for (const std::string& arg : form) {
                args.push_back(arg == "{FILE}" ? whole : arg);
            }
            const run_output expected = run_in_process(args);
            ASSERT_NE(expected.status, 2) << expected.err;
            for (const change what : {change::shrink, change::rename_over, change::grow, change::unlink}) {
                // A take of either file, or (for a comparison cut) of the
                // file cut only: its words lost while they are compared.
                for (const auto& [on_take, own_takes] :
                     {std::pair{1, false}, std::pair{3, false}, std::pair{1, true}, std::pair{2, true}}) {
                    if (own_takes && (form[0] != "--compare" || what != change::shrink)) {
                        continue;
                    }
                    const std::string path = temp_folder() + "/changing";
                    std::filesystem::copy_file(fs_path(whole), fs_path(path),
                                               std::filesystem::copy_options::overwrite_existing);
                    planned_change plan;
                    plan.what = what;
                    plan.path = path;
                    plan.on_take = on_take;
                    plan.counted_file = own_takes ? identity_of(platform::open_read(path.c_str(), nullptr)) : 0;
                    if (what == change::rename_over) {
                        plan.replacement = temp_folder() + "/changing-replacement";
                        std::filesystem::copy_file(fs_path(other_path), fs_path(plan.replacement),
                                                   std::filesystem::copy_options::overwrite_existing);
                    }
                    planned = &plan;
                    detail::set_take_hook(change_file);
                    std::vector<std::string> changing = args;
                    for (std::string& arg : changing) {
                        arg = arg == whole ? path : arg;
                    }
                    const run_output got = run_in_process(changing);
                    detail::set_take_hook(nullptr);
                    std::string where = name_of(what);
                    where += own_takes ? " on its own take " : " on take ";
                    where += std::to_string(on_take);
                    where += ":";
                    for (const std::string& arg : args) {
                        where += ' ';
                        where += arg;
                    }
                    const bool whole_answer =
                        got.status == expected.status && got.out == expected.out && got.err == expected.err;
                    if (what != change::shrink || whole_answer) {
                        // The descriptor opened at the start still reads the
                        // file as it was.
                        EXPECT_EQ(got.status, expected.status) << where << got.err;
                        EXPECT_TRUE(got.out == expected.out) << where;
                        EXPECT_EQ(got.err, expected.err) << where;
                        continue;
                    }
                    EXPECT_EQ(got.status, 2) << where;  // a cut that no read reached gives the whole answer
                    EXPECT_EQ(got.err, "rovurer: " + path + ": a read of the data failed\n") << where;
                    EXPECT_LE(got.out.size(), expected.out.size()) << where;
                    EXPECT_TRUE(expected.out.compare(0, got.out.size(), got.out) == 0)
                        << where << "printed what the file never held";
                    if (form[0] == "--count") {
                        EXPECT_EQ(got.out, "") << where;
                    }
                }
            }
        }
    }
}

// The library's calls on a file cut while they read it, a mapped page
// lost under the words in use, in the file that is read or in the second
// file of a comparison: the answer for the file as it was opened, or
// errc::read_failed, never digits or positions the file did not give.
TEST(ChangingFile, TheLibrarysCallsAnswerForTheFileOpenedOrFail) {
#ifdef _WIN32
    GTEST_SKIP() << "a file in use cannot be cut on Windows";
#else
    const std::vector<std::uint64_t> original = random_words(26);
    const std::string whole = write_digit_file("library-whole", original, 1);
    const std::string twin = write_digit_file("library-twin", original, 1);
    const rovurer::range long_range{10, 1, 15000000};  // within the top block, which is mapped
    const auto failure = [](const rovurer::error& failed) {
        return "error " + std::to_string(static_cast<int>(failed.code)) + " of file " + std::to_string(failed.file);
    };
    // Each call's answer as text, or its failure.
    using call = std::function<std::string(const rovurer::file& changing, const rovurer::file& other,
                                           const rovurer::scan_options& options)>;
    struct library_call {
        const char* name;
        int failing_file;  // the file a read failure names: the one cut
        call run;
    };
    const library_call calls[] = {
        {"read", 1,
         [&](const rovurer::file& changing, const rovurer::file&, const rovurer::scan_options& options) {
             std::string digits(static_cast<std::size_t>(long_range.count), '\0');
             const rovurer::result<std::int64_t> got = rovurer::read(changing, long_range, digits, options);
             return got ? digits.substr(0, static_cast<std::size_t>(*got)) : failure(got.error());
         }},
        {"find", 1,
         [&](const rovurer::file& changing, const rovurer::file&, const rovurer::scan_options& options) {
             const rovurer::result<rovurer::found> got = rovurer::find(changing, "99999", long_range, 1000, options);
             if (!got) {
                 return failure(got.error());
             }
             std::string shown;
             for (const std::uint64_t at : got->positions) {
                 shown += std::to_string(at) + " ";
             }
             return shown + "next " + std::to_string(got->next);
         }},
        {"count", 1,
         [&](const rovurer::file& changing, const rovurer::file&, const rovurer::scan_options& options) {
             const rovurer::result<rovurer::digit_counts> got = rovurer::count(changing, {16, 3, 15000000}, options);
             if (!got) {
                 return failure(got.error());
             }
             std::string shown;
             for (const std::uint64_t n : *got) {
                 shown += std::to_string(n) + " ";
             }
             return shown;
         }},
        {"compare, the second file cut", 2,
         [&](const rovurer::file& changing, const rovurer::file& other, const rovurer::scan_options& options) {
             const rovurer::result<rovurer::comparison> got = rovurer::compare(other, changing, long_range, options);
             return got ? std::to_string(got->difference) + " " + std::to_string(got->compared) + " " +
                              std::to_string(got->ends_first)
                        : failure(got.error());
         }},
    };
    const rovurer::file other = rovurer::file::open(twin).value();
    for (const library_call& tried : calls) {
        for (const int threads : {1, 2}) {
            rovurer::scan_options options;
            options.threads = threads;
            const std::string expected = tried.run(rovurer::file::open(whole).value(), other, options);
            ASSERT_EQ(expected.rfind("error", 0), std::string::npos) << tried.name << ": " << expected;
            // The takes of a whole call, so that the cut can come after the
            // last: a call must look once more before it answers.
            const rovurer::file counted = rovurer::file::open(whole).value();
            planned_change counting;
            counting.on_take = std::numeric_limits<int>::max();
            counting.counted_file = identity_of(platform::open_read(whole.c_str(), nullptr));
            planned = &counting;
            detail::set_take_hook(change_file);
            EXPECT_EQ(tried.run(counted, other, options), expected);
            detail::set_take_hook(nullptr);
            const int last_take = counting.takes.load();
            for (const int on_take : {1, 3, last_take}) {
                const std::string path = temp_folder() + "/library-changing";
                std::filesystem::copy_file(fs_path(whole), fs_path(path),
                                           std::filesystem::copy_options::overwrite_existing);
                const rovurer::file changing = rovurer::file::open(path).value();
                planned_change plan;
                plan.what = change::shrink;
                plan.path = path;
                plan.on_take = on_take;
                plan.counted_file = identity_of(platform::open_read(path.c_str(), nullptr));
                planned = &plan;
                detail::set_take_hook(change_file);
                const std::string got = tried.run(changing, other, options);
                detail::set_take_hook(nullptr);
                const std::string where = std::string(tried.name) + ", threads " + std::to_string(threads) +
                                          ", cut after take " + std::to_string(on_take);
                ASSERT_GE(plan.takes.load(), on_take) << where << ": the file was never cut";
                if (got != expected) {
                    EXPECT_EQ(got, failure({rovurer::errc::read_failed, "", 0, tried.failing_file}))
                        << where << ": an answer the file as opened did not give";
                }
            }
        }
    }
#endif
}

}  // namespace
