// libFuzzer target: the whole front end, in-process, on a fuzzed digit file
// and fuzzed arguments, checked against a small independent model.
//
// Input: one byte choosing the form (its low two bits the plain form's
// argument count; above them --find, --count, --info, --per-line, or a form
// run in parts: on two threads, in shards, or --compare, which take one more
// byte), then the base, position and count texts each ended by '\n', then the
// bytes of the digit file (header area and data region), served from a
// memfd. The option forms are checked against the plain form run on the same
// file, and the forms in parts against the same form run whole; parts are
// made small, so that every run of a few words goes in parts on threads.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/support/thread_note.h"
#include "cli/cli.h"
#include "parallel/output.h"
#include "parallel/split.h"

using namespace rovurer;

namespace {

int append_to_string(void* context, const char* bytes, std::size_t length) {
    static_cast<std::string*>(context)->append(bytes, length);
    return 0;
}

__extension__ typedef __int128 wide;

struct outcome {
    int status = 0;
    std::string out;
    std::string err;
};

std::uint64_t le64(const std::string& bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

// The position as the tool reads it, or false when it is refused outright.
bool model_position(const char* text, std::int64_t* pos) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text) {
        *pos = 0;
        return true;
    }
    const char* cursor = text;
    while (*cursor == ' ' || (*cursor >= '\t' && *cursor <= '\r')) {
        ++cursor;
    }
    if (*cursor == '+' || *cursor == '-') {
        ++cursor;
    }
    bool plain = true;
    for (const char* c = cursor; c < end; ++c) {
        plain = plain && ((*c >= '0' && *c <= '9') || *c == '.');
    }
    if (plain) {
        errno = 0;
        const long long integer = std::strtoll(text, nullptr, 10);
        if (errno == ERANGE) {
            return false;
        }
        *pos = integer;
        return true;
    }
    if (!std::isfinite(value) || value >= 9223372036854775808.0 || value < -9223372036854775808.0) {
        return false;
    }
    *pos = static_cast<std::int64_t>(value);
    return true;
}

outcome model(int argc, const char* base_text, const char* pos_text, const char* count_text, const std::string& file,
              const std::string& path) {
    if (argc < 4) {
        return {1, std::string(usage_text) + "\n", ""};
    }
    outcome refused = {1, "", path + ": cannot display at this position\n"};
    const long long base_wide = std::strtoll(base_text, nullptr, 10);
    const long long base = base_wide > INT32_MAX ? INT32_MAX : base_wide < INT32_MIN ? INT32_MIN : base_wide;
    const long long nb_digits = argc > 4 ? std::strtoll(count_text, nullptr, 10) : 50;
    std::int64_t pos = 0;
    if ((base != 2 && base != 10 && base != 16) || !model_position(pos_text, &pos) || pos < 1) {
        return refused;
    }
    if (file.size() < 56 ||
        std::memcmp(file.data(),
                    "MPT\x01"
                    "FILE",
                    8) != 0 ||
        le64(file, 24) != 2) {
        return refused;
    }
    const auto word_count = static_cast<std::int64_t>(le64(file, 8));
    const auto lead_words = static_cast<std::int64_t>(le64(file, 48));
    if (lead_words < 0) {
        return refused;
    }
    const int bits = base == 10 ? 0 : base == 2 ? 1 : 4;
    const std::int64_t per_word = base == 10 ? 19 : 64 / bits;
    const std::int64_t offset = pos - 1;
    const wide shown_words = static_cast<wide>(word_count) - lead_words;
    const wide words_left = shown_words - offset / per_word;
    if (words_left <= 0) {
        return refused;
    }
    if (nb_digits <= 0) {
        return {0, "\n", ""};
    }
    if (static_cast<wide>(file.size()) < 4096 + 8 * words_left) {
        return {2, "", ""};  // the first block read comes up short
    }
    const wide available = words_left * per_word - offset % per_word;
    const auto count = static_cast<std::int64_t>(available < nb_digits ? available : nb_digits);
    outcome expected;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t at = offset + i;
        const auto index = static_cast<std::size_t>(shown_words - 1 - at / per_word);
        const std::uint64_t word = le64(file, 4096 + 8 * index);
        const std::int64_t place = at % per_word;
        unsigned digit = 0;
        if (base == 10) {
            std::uint64_t value = word % 10000000000000000000ULL;
            for (std::int64_t k = place; k < 18; ++k) {
                value /= 10;
            }
            digit = static_cast<unsigned>(value % 10);
        } else {
            digit = static_cast<unsigned>(word >> (64 - bits * (place + 1))) & static_cast<unsigned>(base - 1);
        }
        expected.out.push_back("0123456789ABCDEF"[digit]);
        if (i % 10 == 9 && i != nb_digits - 1) {
            expected.out.push_back(' ');
        }
    }
    expected.out.push_back('\n');
    return expected;
}

// Takes text up to the next '\n' from the input.
std::string take_line(const std::uint8_t*& data, std::size_t& size) {
    std::string line;
    while (size > 0) {
        const char c = static_cast<char>(*data++);
        --size;
        if (c == '\n') {
            break;
        }
        line.push_back(c);
    }
    return line;
}

outcome run(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    argv.push_back(nullptr);
    outcome result;
    console_stream out(append_to_string, &result.out);
    console_stream err(append_to_string, &result.err);
    result.status = run_rovurer(static_cast<int>(args.size()), argv.data(), out, err);
    return result;
}

[[noreturn]] void mismatch(const char* form, const outcome& actual, const std::string& expected_out) {
    (void)std::fprintf(stderr, "%s mismatch: status %d\nout '%s'\nexpected '%s'\nerr '%s'\n", form, actual.status,
                       actual.out.c_str(), expected_out.c_str(), actual.err.c_str());
    std::abort();
}

// The digits the plain form shows, without spaces and newline; its status.
outcome plain_digits(const std::string& path, const std::string& base, const std::string& pos,
                     const std::string& count) {
    outcome plain = run({"rovurer", path, base, pos, count});
    std::string digits;
    for (const char c : plain.out) {
        if (c != ' ' && c != '\n') {
            digits.push_back(c);
        }
    }
    plain.out = digits;
    return plain;
}

// Whether the option forms read `text` as the plain form does: a sign and
// at most 18 digits, nothing else. Other texts the plain form reads
// leniently, and the option forms refuse or read strictly.
bool simple_number(const std::string& text) {
    const std::size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
    return text.size() > digits && text.size() - digits <= 18 &&
           text.find_first_not_of("0123456789", digits) == std::string::npos;
}

// An option form: with simple numbers, a failure must match the plain form's
// status (`trouble` for a refusal: 2 for --find), with the message only on
// standard error, and success is checked by `check`; with other numbers, a
// refusal is a usage error on standard error alone.
template <typename Check>
void check_option_form(const char* form, const outcome& actual, const outcome& plain,
                       const std::vector<std::string>& numbers, int trouble, Check check) {
    if (!std::all_of(numbers.begin(), numbers.end(), simple_number)) {
        if (actual.status != 0 && actual.status != 1 && actual.status != 2) {
            mismatch(form, actual, "status 0, 1 or 2");
        }
        if (actual.err.find("Try 'rovurer --help'") != std::string::npos && !actual.out.empty()) {
            mismatch(form, actual, "");
        }
        return;
    }
    const int expected = plain.status == 1 ? trouble : plain.status;
    if (actual.status == 0 || (trouble == 2 && actual.status == 1 && plain.status == 0)) {
        check();  // --find that finds nothing ends 1
        return;
    }
    if (actual.status != expected) {
        mismatch(form, actual, "status " + std::to_string(expected));
    }
    if (actual.status == trouble && plain.status == 1 && (!actual.out.empty() || actual.err.empty())) {
        mismatch(form, actual, "");
    }
}

void check_find(const std::string& path, const std::string& base, const std::string& pos, std::string pattern) {
    pattern.resize(std::strlen(pattern.c_str()));  // as an argument, it ends at a NUL
    const outcome actual = run({"rovurer", "--find", pattern, path, base, pos});
    const outcome plain = plain_digits(path, base, pos, "9223372036854775807");
    const long long base_value = std::strtoll(base.c_str(), nullptr, 10);
    const std::string allowed = std::string("0123456789ABCDEF")
                                    .substr(0, base_value == 16  ? 16
                                               : base_value == 2 ? 2
                                                                 : 10);
    for (char& c : pattern) {
        c = static_cast<char>(base_value == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    }
    const bool base_ok = base_value == 2 || base_value == 10 || base_value == 16;
    if (base_ok && (pattern.empty() || pattern.find_first_not_of(allowed) != std::string::npos)) {
        if (simple_number(base) && simple_number(pos) &&
            (actual.status != 2 || !actual.out.empty() ||
             actual.err.find("is not a string of base") == std::string::npos)) {
            mismatch("find", actual, "a refused DIGITS");
        }
        return;
    }
    check_option_form("find", actual, plain, {base, pos}, 2, [&] {
        std::string expected;
        std::int64_t first = 0;
        model_position(pos.c_str(), &first);
        for (std::size_t at = plain.out.find(pattern); at != std::string::npos; at = plain.out.find(pattern, at + 1)) {
            expected += std::to_string(first + static_cast<std::int64_t>(at)) + "\n";
        }
        if (actual.out != expected || actual.status != (expected.empty() ? 1 : 0)) {
            mismatch("find", actual, expected);
        }
    });
}

void check_count(const std::string& path, const std::string& base, const std::string& pos, const std::string& count) {
    const outcome actual = run({"rovurer", "--count", path, base, pos, count});
    const outcome plain = plain_digits(path, base, pos, count);
    check_option_form("count", actual, plain, {base, pos, count}, 1, [&] {
        const long long base_value = std::strtoll(base.c_str(), nullptr, 10);
        std::string expected;
        for (long long digit = 0; digit < base_value; ++digit) {
            const char c = "0123456789ABCDEF"[digit];
            expected +=
                std::string(1, c) + " " + std::to_string(std::count(plain.out.begin(), plain.out.end(), c)) + "\n";
        }
        if (actual.out != expected) {
            mismatch("count", actual, expected);
        }
    });
}

void check_per_line(const std::string& path, const std::string& base, const std::string& pos,
                    const std::string& count) {
    const outcome actual = run({"rovurer", "--per-line=20", path, base, pos, count});
    const outcome plain = plain_digits(path, base, pos, count);
    check_option_form("per-line", actual, plain, {base, pos, count}, 1, [&] {
        std::int64_t first = 0;
        model_position(pos.c_str(), &first);
        std::string expected;
        for (std::size_t at = 0; at < plain.out.size(); at += 20) {
            const std::string line = plain.out.substr(at, 20);
            expected += line.substr(0, 10) + (line.size() > 10 ? " " + line.substr(10) : "") + "  : " +
                        std::to_string(first + static_cast<std::int64_t>(at + line.size()) - 1) + "\n";
        }
        if (actual.out != expected) {
            mismatch("per-line", actual, expected);
        }
    });
}

void check_info(const std::string& path, const std::string& file) {
    const outcome actual = run({"rovurer", "--info", path});
    const bool digit_file = file.size() >= 56 &&
                            file.compare(0, 8,
                                         std::string("MPT\x01"
                                                     "FILE",
                                                     8)) == 0 &&
                            le64(file, 24) == 2 && static_cast<std::int64_t>(le64(file, 48)) >= 0;
    const std::string first_line =
        "word_count " + std::to_string(static_cast<std::int64_t>(digit_file ? le64(file, 8) : 0)) + "\n";
    // A digit file's header is shown; problems with it make the status 1.
    if (digit_file ? actual.status > 1 || actual.out.compare(0, first_line.size(), first_line) != 0 ||
                         (actual.status == 1) == actual.err.empty()
                   : actual.status != 1 || !actual.out.empty() || actual.err.empty()) {
        mismatch("info", actual, first_line);
    }
}

// Messages without the note that --threads was capped at the processors
// this process may use.
// The option form chosen by `selector` over `path`: a search, a count, or a
// dump in lines, with the fuzzed numbers.
std::vector<std::string> option_form(int selector, const std::string& path, const std::string& base,
                                     const std::string& pos, const std::string& count, const std::string& pattern) {
    switch (selector % 4) {
        case 0:
            return {"--find", pattern, path, base, pos, count};
        case 1:
            return {"--find", pattern, "--max-count", std::to_string(selector / 4 % 5), path, base, pos, count};
        case 2:
            return {"--count", path, base, pos, count};
        default:
            return {"--per-line", std::to_string(10 * (1 + selector / 4 % 4)), "--group", "5", path, base, pos, count};
    }
}

// Threads: the form on one thread and on two, the fuzzed file cut in parts
// of a few words (the fuzzer lowers the smallest part): the same bytes.
void check_threads(int selector, const std::string& path, const std::string& base, const std::string& pos,
                   const std::string& count, const std::string& pattern) {
    std::vector<std::string> form = option_form(selector, path, base, pos, count, pattern);
    form.insert(form.begin(), {"rovurer", "--threads", "1"});
    const outcome one = run(form);
    form[2] = "2";
    const outcome two = run(form);
    if (two.status != one.status || two.out != one.out || without_thread_note(two.err) != one.err) {
        mismatch("threads", two, one.out);
    }
}

// Shards: the outputs of K/N for every K, merged as the README says, are
// the whole run's.
void check_shards(int selector, const std::string& path, const std::string& base, const std::string& pos,
                  const std::string& count, const std::string& pattern) {
    const int shards = 1 + selector / 4 % 5;
    std::vector<std::string> whole_form = option_form(selector, path, base, pos, count, pattern);
    whole_form.insert(whole_form.begin(), "rovurer");
    const outcome whole = run(whole_form);
    if (!whole.err.empty() || whole.status > 1 || (whole.status == 1 && selector % 4 >= 2)) {
        return;  // a refusal or failed read: each shard says so alone
    }
    std::string merged;
    std::uint64_t counts[16] = {};
    bool any_found = false;
    for (int k = 1; k <= shards; ++k) {
        std::vector<std::string> form = whole_form;
        form.insert(form.begin() + 1, {"--shard", std::to_string(k) + "/" + std::to_string(shards)});
        const outcome shard = run(form);
        if (shard.status > 1 || (shard.status == 1 && form[3] != "--find")) {
            mismatch("shard", shard, whole.out);
        }
        any_found = any_found || (form[3] == "--find" && shard.status == 0);
        if (selector % 4 == 2) {
            for (std::size_t at = 0; at < shard.out.size(); at = shard.out.find('\n', at) + 1) {
                const char digit = shard.out[at];
                counts[digit <= '9' ? digit - '0' : digit - 'A' + 10] +=
                    std::strtoull(shard.out.c_str() + at + 2, nullptr, 10);
            }
        } else {
            merged += shard.out;
        }
    }
    if (selector % 4 == 1) {
        // Each shard stops at N: the first N lines are the answer.
        const long long most = selector / 4 % 5;
        std::size_t end = 0;
        for (long long line = 0; line < most && end < merged.size(); ++line) {
            end = merged.find('\n', end) + 1;
        }
        merged.resize(end);
    }
    if (selector % 4 == 2) {
        const long long base_value = std::strtoll(base.c_str(), nullptr, 10);
        for (long long digit = 0; digit < base_value; ++digit) {
            merged += std::string(1, "0123456789ABCDEF"[digit]) + " " + std::to_string(counts[digit]) + "\n";
        }
    }
    if (merged != whole.out || (selector % 4 <= 1 && any_found != (whole.status == 0))) {
        mismatch("shards", whole, merged);
    }
}

// --compare of the file with a copy that differs in one byte: the first
// position whose digits differ, an early end, or nothing, as the plain form
// shows the two.
void check_compare(int selector, const std::string& path, const std::string& file, const std::string& base,
                   const std::string& pos, const std::string& count) {
    static const int other_file = memfd_create("other-digit-file", MFD_CLOEXEC);
    static const std::string other_path = "/proc/self/fd/" + std::to_string(other_file);
    std::string other = file;
    if (!other.empty()) {
        const std::size_t at =
            4096 + static_cast<std::size_t>(selector) * 13 % (other.size() > 4096 ? other.size() - 4096 : 1);
        if (at < other.size()) {
            other[at] = static_cast<char>(other[at] ^ (1 << (selector % 8)));
        }
        if (selector % 3 == 0 && other.size() > 4104) {
            other.resize(other.size() - 8);  // a word shorter: positions may map to other words
        }
    }
    if (ftruncate(other_file, 0) != 0 ||
        pwrite(other_file, other.data(), other.size(), 0) != static_cast<ssize_t>(other.size())) {
        std::abort();
    }
    const outcome actual =
        run({"rovurer", "--threads", selector % 2 == 0 ? "1" : "2", "--compare", path, other_path, base, pos, count});
    const outcome first = plain_digits(path, base, pos, count);
    const outcome second = plain_digits(other_path, base, pos, count);
    if (!simple_number(base) || !simple_number(pos) || !simple_number(count) || first.status != 0 ||
        second.status != 0) {
        if (actual.status < 0 || actual.status > 2) {
            mismatch("compare", actual, "status 0, 1 or 2");
        }
        return;
    }
    std::int64_t start = 0;
    model_position(pos.c_str(), &start);
    const std::size_t common = std::min(first.out.size(), second.out.size());
    std::size_t at = 0;
    while (at < common && first.out[at] == second.out[at]) {
        ++at;
    }
    outcome expected;
    if (at < common) {
        expected = {1,
                    path + " " + other_path + " differ: position " +
                        std::to_string(start + static_cast<std::int64_t>(at)) + "\n",
                    ""};
    } else if (first.out.size() != second.out.size()) {
        expected = {1, "",
                    "rovurer: EOF on " + (first.out.size() < second.out.size() ? path : other_path) +
                        " after position " + std::to_string(start + static_cast<std::int64_t>(common) - 1) + "\n"};
    }
    if (actual.status != expected.status || actual.out != expected.out ||
        without_thread_note(actual.err) != expected.err) {
        mismatch("compare", actual, expected.out + expected.err);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // Parts of 40 digits and more: every run of a few words goes in parts,
    // on the threads the form asks for.
    static const bool small_parts = [] {
        detail::set_smallest_part(40);
        return true;
    }();
    (void)small_parts;
    static const int memory_file = memfd_create("digit-file", MFD_CLOEXEC);
    if (memory_file < 0) {
        std::abort();
    }
    static const std::string path = "/proc/self/fd/" + std::to_string(memory_file);

    const int choice = data[0] % 4;
    const int form = data[0] / 4 % 16;  // 0-3 the plain form, 8-11 again; 12-15 threads, shards, compare
    const int argc = choice == 0 ? 3 : choice == 1 ? 4 : 5;
    ++data;
    --size;
    // The forms over several parts take one more byte, which picks the form
    // run in parts and its details.
    int selector = 0;
    if (form >= 12 && size > 0) {
        selector = *data++;
        --size;
    }
    const std::string base_text = take_line(data, size);
    const std::string pos_text = take_line(data, size);
    const std::string count_text = take_line(data, size);
    const std::string file(reinterpret_cast<const char*>(data), size);
    if (ftruncate(memory_file, 0) != 0 ||
        pwrite(memory_file, file.data(), file.size(), 0) != static_cast<ssize_t>(file.size())) {
        std::abort();
    }
    switch (form) {
        case 4:
            check_find(path, base_text, pos_text, count_text);
            return 0;
        case 5:
            check_count(path, base_text, pos_text, count_text);
            return 0;
        case 6:
            check_info(path, file);
            return 0;
        case 7:
            check_per_line(path, base_text, pos_text, count_text);
            return 0;
        case 12:
        case 13:
            check_threads(selector + 256 * (form - 12), path, base_text, pos_text, count_text, form == 12 ? "99" : "1");
            return 0;
        case 14:
            check_shards(selector, path, base_text, pos_text, count_text, "1");
            return 0;
        case 15:
            check_compare(selector, path, file, base_text, pos_text, count_text);
            return 0;
        default:
            break;
    }
    const char* argv[] = {"rovurer", path.c_str(), base_text.c_str(), pos_text.c_str(), count_text.c_str(), nullptr};
    outcome actual;
    console_stream out(append_to_string, &actual.out);
    console_stream err(append_to_string, &actual.err);
    actual.status = run_rovurer(argc, argv, out, err);
    // An operand of the form --name is an option: not the plain form.
    const auto option_like = [](const std::string& text) {
        return text.size() > 2 && text[0] == '-' && text[1] == '-' &&
               std::isalpha(static_cast<unsigned char>(text[2])) != 0;
    };
    if (option_like(base_text) || option_like(pos_text) || (argc == 5 && option_like(count_text))) {
        if (actual.status < 0 || actual.status > 2) {
            std::abort();
        }
        return 0;
    }

    const outcome expected = model(argc, base_text.c_str(), pos_text.c_str(), count_text.c_str(), file, path);
    if (actual.status != expected.status || actual.out != expected.out || actual.err != expected.err) {
        (void)std::fprintf(stderr,
                           "mismatch: argc %d base '%s' pos '%s' count '%s', file %zu bytes\n"
                           "status %d, expected %d\nout '%s'\nexpected '%s'\nerr '%s'\nexpected '%s'\n",
                           argc, base_text.c_str(), pos_text.c_str(), count_text.c_str(), file.size(), actual.status,
                           expected.status, actual.out.c_str(), expected.out.c_str(), actual.err.c_str(),
                           expected.err.c_str());
        std::abort();
    }
    if (argc >= 4 && actual.status == 0) {
        // Only digits and single spaces, then the newline.
        for (std::size_t i = 0; i + 1 < actual.out.size(); ++i) {
            const char c = actual.out[i];
            const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
            if (!digit && !(c == ' ' && i > 0 && actual.out[i - 1] != ' ')) {
                std::abort();
            }
        }
    }
    return 0;
}
