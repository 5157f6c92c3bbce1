// dump_digits: writes a run of digits of a digit file in groups of ten.
#pragma once

#include <cstdint>

#include "frontend/output.h"

enum class dump_result {
    shown,         // the digits asked for, or all up to the end of the data
    refused,       // base, file or position cannot be displayed; nothing written
    read_failed,   // a read of the data region came short
    write_failed,  // the output could not be written (out.error() says why)
};

// Writes up to `nb_digits` digits of `filename` in `base`, starting at the
// 1-based position `pos`, to `out`: a space after every tenth digit except the
// last one asked for. Stops early, without error, at the end of the data. The
// file and position are validated even when `nb_digits` is 0 or negative; a
// position below 1 is refused. Never writes the final newline. The digits
// handed out before a failed read are left in `out`.
//
// With `per_line` (a positive multiple of 10) the digits come in lines of
// that many instead, each ending in "  : " and the position of its last
// digit, then a newline; the last line may be shorter. 0 means one line.
dump_result dump_digits(output_buffer& out, const char* filename, std::int32_t base, std::int64_t pos,
                        std::int64_t nb_digits, std::int64_t per_line = 0);
