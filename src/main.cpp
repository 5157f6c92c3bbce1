// rovurer: shows a run of digits of a digit file.
#include <unistd.h>

#include "cli.h"

int main(int argc, char** argv) {
    int standard_output = STDOUT_FILENO;
    int standard_error = STDERR_FILENO;
    output_buffer out(write_to_descriptor, &standard_output, 1 << 18);
    output_buffer err(write_to_descriptor, &standard_error, 1 << 12);
    return run_rovurer(argc, argv, out, err);
}
