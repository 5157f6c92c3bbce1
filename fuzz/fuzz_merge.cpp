// libFuzzer target: the readers of the parts' states that --merge takes,
// which read files a user names. Checks: no input crashes them, and a state
// read back is written as it was read (its JSON reads back the same).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rovurer/stats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const rovurer::result<rovurer::statistics_state> state = rovurer::read_statistics_state(text)) {
        const std::string written = rovurer::to_json(*state);
        const rovurer::result<rovurer::statistics_state> again = rovurer::read_statistics_state(written);
        if (!again || rovurer::to_json(*again) != written) {
            std::abort();
        }
        static_cast<void>(rovurer::summarize(*state));
    }
    if (const rovurer::result<rovurer::strings_state> state = rovurer::read_strings_state(text)) {
        const std::string written = rovurer::to_json(*state);
        const rovurer::result<rovurer::strings_state> again = rovurer::read_strings_state(written);
        if (!again || rovurer::to_json(*again) != written) {
            std::abort();
        }
        if (state->seen.size() <= 4096) {
            static_cast<void>(rovurer::summarize(*state));
        }
    }
    return 0;
}
