#include "frontend/info.h"

#include "frontend/refusal.h"

namespace {

void append_line(output_buffer& out, const char* key, const std::string& value) {
    out.append(key);
    out.put(' ');
    out.append(value.c_str());
    out.put('\n');
}

}  // namespace

bool describe_file(output_buffer& out, const char* filename, std::string* problem) {
    const digit_file_opening opening = digit_file_open(filename);
    if (opening.check != digit_file_check::ok) {
        *problem = digit_file_problem(filename, opening);
        return false;
    }
    const std::int64_t size = platform_file_size(opening.file);
    platform_close(opening.file);
    if (size < 0) {
        *problem = std::string(filename) + ": not a regular file, so its size is unknown";
        return false;
    }
    constexpr auto header_bytes = static_cast<std::int64_t>(digit_file_header_bytes);
    const digit_file_header& header = opening.header;
    append_line(out, "word_count", std::to_string(header.word_count));
    append_line(out, "lead_words", std::to_string(header.lead_words));
    append_line(out, "data_words", std::to_string(size > header_bytes ? (size - header_bytes) / 8 : 0));
    append_line(out, "digits_base10", digits_from_position_one(header, 10));
    append_line(out, "digits_base16", digits_from_position_one(header, 16));
    append_line(out, "digits_base2", digits_from_position_one(header, 2));
    return true;
}
