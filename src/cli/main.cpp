// rovurer: shows a run of digits of a digit file.
#include "cli/cli.h"
#include "platform/platform.h"

namespace {

// Output goes out in writes of up to this many bytes.
constexpr std::size_t output_buffer_bytes = std::size_t{256} << 10;

// A pipe of 1 MiB (the usual unprivileged maximum on Linux) holds four full
// writes, so the tool and the reader take turns far less often than with the
// default 64 KiB.
constexpr std::size_t wanted_pipe_bytes = std::size_t{1} << 20;

}  // namespace

int main(int argc, char** argv) {
    using namespace rovurer;
    char** arguments = platform::arguments(&argc, argv);
    platform::prepare_output(wanted_pipe_bytes);
    platform::stream standard_output = platform::stream::output;
    platform::stream standard_error = platform::stream::error;
    output_buffer out(write_to_stream, &standard_output, output_buffer_bytes);
    output_buffer err(write_to_stream, &standard_error, 1 << 12);
    const int status = run_rovurer(argc, arguments, out, err);
    if (platform::stop_signal() != 0) {
        platform::end_by_signal(platform::stop_signal());  // the job stopped cleanly: now end as asked
    }
    return status;
}
