// The operands the digit forms share, read as the plain form always has
// read them, or strictly, as the option forms read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rovurer {

using operand_list = std::span<const char* const>;

// The operands the digit forms share: filename base [pos [nb_digits]].
struct run_operands {
    const char* filename = nullptr;
    const char* second_filename = nullptr;  // --compare's FILE2
    std::int32_t base = 0;
    std::int64_t pos = 1;
    std::int64_t nb_digits = 0;
};

// Reads the operands as the plain form always has: leniently. False (after
// the one message) when the position cannot be represented.
bool read_plain_operands(operand_list operands, run_operands& run);

// `nb_digits` for the rest of the data: what the option forms read from
// the word "end".
inline constexpr std::int64_t rest_of_the_data = INT64_MAX;
inline constexpr std::string_view rest_of_the_data_word = "end";

// Reads the operands strictly, after `files` file names; an empty result,
// or the usage error. `nb_digits` may be "end": the rest of the data.
std::string read_strict_operands(operand_list operands, std::size_t files, run_operands& run);

}  // namespace rovurer
