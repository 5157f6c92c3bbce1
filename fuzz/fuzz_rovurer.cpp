// libFuzzer target: the whole front end, in-process, on a fuzzed digit file
// and fuzzed arguments, checked against a small independent model.
//
// Input: one byte choosing the argument count, then the base, position and
// count texts each ended by '\n', then the bytes of the digit file (header
// area and data region), served from a memfd.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frontend/cli.h"
#include "frontend/output.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static const int memory_file = memfd_create("digit-file", MFD_CLOEXEC);
    if (memory_file < 0) {
        std::abort();
    }
    static const std::string path = "/proc/self/fd/" + std::to_string(memory_file);

    const int choice = data[0] % 4;
    const int argc = choice == 0 ? 3 : choice == 1 ? 4 : 5;
    ++data;
    --size;
    const std::string base_text = take_line(data, size);
    const std::string pos_text = take_line(data, size);
    const std::string count_text = take_line(data, size);
    const std::string file(reinterpret_cast<const char*>(data), size);
    if (ftruncate(memory_file, 0) != 0 ||
        pwrite(memory_file, file.data(), file.size(), 0) != static_cast<ssize_t>(file.size())) {
        std::abort();
    }

    const char* argv[] = {"rovurer", path.c_str(), base_text.c_str(), pos_text.c_str(), count_text.c_str(), nullptr};
    outcome actual;
    output_buffer out(append_to_string, &actual.out, 4096);
    output_buffer err(append_to_string, &actual.err, 4096);
    actual.status = run_rovurer(argc, argv, out, err);

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
