#include "cli/operands.h"

#include "rovurer/messages.h"
#include "rovurer/numbers.h"

namespace rovurer {

bool read_plain_operands(operand_list operands, run_operands& run) {
    run.filename = operands[0];
    run.base = parse_int32(operands[1]);
    const auto pos = parse_position(operands[2]);
    if (!pos) {
        return false;
    }
    run.pos = *pos;
    if (operands.size() > 3) {
        run.nb_digits = parse_int64(operands[3]);
    }
    return true;
}

std::string read_strict_operands(operand_list operands, std::size_t files, run_operands& run) {
    const auto number_error = [](const char* what, const char* text, strict_number::verdict verdict) {
        return "rovurer: " + number_refusal(what, text, verdict == strict_number::verdict::out_of_range);
    };
    run.filename = operands[0];
    run.second_filename = files > 1 ? operands[1] : nullptr;
    const strict_number base = parse_strict_integer(operands[files], INT32_MIN, INT32_MAX);
    if (base.status != strict_number::verdict::ok) {
        return number_error("base", operands[files], base.status);
    }
    run.base = static_cast<std::int32_t>(base.value);
    if (operands.size() > files + 1) {
        const strict_number pos = parse_strict_whole(operands[files + 1]);
        if (pos.status != strict_number::verdict::ok) {
            return number_error("position", operands[files + 1], pos.status);
        }
        run.pos = pos.value;
    }
    if (operands.size() > files + 2 && operands[files + 2] == rest_of_the_data_word) {
        run.nb_digits = rest_of_the_data;
    } else if (operands.size() > files + 2) {
        const strict_number count = parse_strict_whole(operands[files + 2]);
        if (count.status != strict_number::verdict::ok) {
            return number_error("number of digits", operands[files + 2], count.status);
        }
        run.nb_digits = count.value;
    }
    return {};
}

}  // namespace rovurer
