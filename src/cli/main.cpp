// rovurer: shows a run of digits of a digit file.
#include "cli/cli.h"
#include "platform/platform.h"

namespace {

// A pipe of 1 MiB (the usual unprivileged maximum on Linux) holds four full
// writes, so the tool and the reader take turns far less often than with the
// default 64 KiB.
constexpr std::size_t wanted_pipe_bytes = std::size_t{1} << 20;

int write_to(void* context, const char* bytes, std::size_t length) {
    return rovurer::platform::write(*static_cast<rovurer::platform::stream*>(context), bytes, length);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rovurer;
    char** arguments = platform::arguments(&argc, argv);
    platform::prepare_output(wanted_pipe_bytes);
    platform::stream standard_output = platform::stream::output;
    platform::stream standard_error = platform::stream::error;
    console_stream out(write_to, &standard_output, true);
    console_stream err(write_to, &standard_error);
    const int status = run_rovurer(argc, arguments, out, err);
    if (platform::stop_signal() != 0) {
        platform::end_by_signal(platform::stop_signal());  // the job stopped cleanly: now end as asked
    }
    return status;
}
