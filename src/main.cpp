// rovurer: shows a run of digits of a digit file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"

namespace {

// Output goes out in writes of up to this many bytes.
constexpr std::size_t output_buffer_bytes = std::size_t{256} << 10;

// A pipe of 1 MiB (the usual unprivileged maximum) holds four full writes, so
// the tool and the reader take turns far less often than with the default
// 64 KiB. Only ever grows the pipe; a refusal changes nothing.
void enlarge_output_pipe(int descriptor) {
#ifdef F_SETPIPE_SZ
    constexpr int wanted_pipe_bytes = 1 << 20;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISFIFO(status.st_mode) &&
        fcntl(descriptor, F_GETPIPE_SZ) < wanted_pipe_bytes) {
        fcntl(descriptor, F_SETPIPE_SZ, wanted_pipe_bytes);
    }
#else
    (void)descriptor;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    int standard_output = STDOUT_FILENO;
    int standard_error = STDERR_FILENO;
    enlarge_output_pipe(standard_output);
    output_buffer out(write_to_descriptor, &standard_output, output_buffer_bytes);
    output_buffer err(write_to_descriptor, &standard_error, 1 << 12);
    return run_rovurer(argc, argv, out, err);
}
