#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "library/access.h"
#include "library/messages.h"
#include "rovurer/version.h"
#include "scan/header_digits.h"

namespace rovurer {

const char* version() {
    return ROVURER_VERSION_STRING;
}

namespace {

digit_file::header declared(const header_facts& facts) {
    digit_file::header header;
    header.word_count = facts.word_count;
    header.kind = digit_file::required_kind;
    header.lead_words = facts.lead_words;
    return header;
}

}  // namespace

std::string header_facts::digits_text(int base) const {
    if (!digit_base_supported(base)) {
        return {};
    }
    return digits_from_position_one(declared(*this), base);
}

std::int64_t header_facts::digits(int base) const {
    if (!digit_base_supported(base)) {
        return 0;
    }
    const std::int64_t words = digit_file::words_from(declared(*this), 0);
    const std::int64_t per_word = digits_per_word(base);
    return words > std::numeric_limits<std::int64_t>::max() / per_word ? std::numeric_limits<std::int64_t>::max()
                                                                       : words * per_word;
}

error file_error(const digit_file::verdict& verdict) {
    std::string message = file_problem_text(verdict);
    switch (verdict.check) {
        case digit_file::check::ok:  // not a refusal; taken as the open's
        case digit_file::check::cannot_open:
            return {errc::cannot_open, message, verdict.open_error};
        case digit_file::check::unreadable:
            return {errc::unreadable, message, verdict.read_error};
        case digit_file::check::too_short:
            return {errc::too_short, message};
        case digit_file::check::wrong_magic:
            return {errc::wrong_magic, message};
        case digit_file::check::wrong_kind:
            return {errc::wrong_kind, message};
        case digit_file::check::negative_lead_words:
            return {errc::negative_lead_words, message};
    }
    return {errc::cannot_open, message};
}

error run_error(const digit_stream_refusal& refusal, std::int32_t base, std::int64_t pos) {
    using reason = digit_stream_refusal::reason;
    switch (refusal.why) {
        case reason::unsupported_base:
            return {errc::unsupported_base, base_refusal(base)};
        case reason::negative_offset:
            return {errc::bad_position, position_refusal(pos)};
        case reason::past_end:
            return {errc::past_end, past_end_text(pos, base, refusal.file.header)};
        case reason::not_a_digit_file:
            return file_error(refusal.file);
        case reason::none:
        case reason::out_of_memory:
            break;
    }
    return {errc::out_of_memory, out_of_memory_text};
}

error job_error(command_result result) {
    if (result == command_result::out_of_memory) {
        return {errc::out_of_memory, out_of_memory_text};
    }
    return {errc::read_failed, read_failed_text};
}

result<file> file::open(const std::string& path) {
    try {
        if (path.find('\0') != std::string::npos) {
            digit_file::verdict refused;
            refused.check = digit_file::check::cannot_open;
            refused.open_error = EINVAL;  // no file has such a name
            return file_error(refused);
        }
        digit_file::opening opening = digit_file::open(path.c_str());
        if (opening.verdict.check != digit_file::check::ok) {
            return file_error(opening.verdict);
        }
        auto opened = std::make_shared<state>();
        const std::int64_t size = platform::file_size(opening.file);
        constexpr auto header_bytes = static_cast<std::int64_t>(digit_file::header_bytes);
        opened->header = opening.verdict.header;
        opened->facts.word_count = opened->header.word_count;
        opened->facts.lead_words = opened->header.lead_words;
        opened->facts.data_bytes = size < 0 ? -1 : size > header_bytes ? size - header_bytes : 0;
        opened->facts.data_words = size < 0 ? -1 : opened->facts.data_bytes / 8;
        opened->handle = std::move(opening.file);
        return file_access::make(std::move(opened));
    } catch (const std::bad_alloc&) {
        return error{errc::out_of_memory, out_of_memory_text};
    }
}

const header_facts& file::facts() const {
    return state_->facts;
}

}  // namespace rovurer
