// A check of a file of pi that needs no second file: pi's hexadecimal digits
// computed at positions spread over the file, each without the digits
// before it (Bellard's digit-extraction formula), and compared with the
// file's. This is how record computations of pi are verified: an error
// anywhere in a computation shows in its last digits, which are always
// among the positions.
#pragma once

#include "rovurer/export.h"

#include <cstdint>
#include <string>
#include <vector>

#include "rovurer/file.h"
#include "rovurer/result.h"
#include "rovurer/scan.h"

namespace rovurer {

// pi's hexadecimal digits from position `pos` (1 is the first after the
// point: pi = 3.243F6A88...): the ones that are certain, at least 6 and
// usually 8 or more; fewer only near a carry. Costs time in proportion to
// pos; options: threads (the sum cut into parts, the same answer for any
// number) and stop. errc::bad_position for a position below 1.
ROVURER_API result<std::string> pi_hex_digits(std::int64_t pos, const scan_options& options = {});

// One position checked: pi's digits there and the file's.
struct pi_sample {
    std::int64_t pos = 0;
    std::string computed;  // pi's certain digits from pos (within the file's)
    std::string read;      // the file's digits there, as many
};

struct pi_check {
    std::vector<pi_sample> samples;  // in order of position
    std::int64_t difference = 0;     // the first position where the file is not pi; 0 when every sample matches
};

// Checks `samples` positions (at least 1) of the file read in base 16 (a
// file of pi in base 2 holds the same words): the first digits, positions
// evenly spread, and the last digits. The file's errors (scan.h: an empty
// file is errc::past_end), errc::bad_option for fewer than 1 sample, and
// those of pi_hex_digits.
ROVURER_API result<pi_check> check_pi(const file& source, int samples = 4, const scan_options& options = {});

}  // namespace rovurer
