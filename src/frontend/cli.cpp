#include "frontend/cli.h"

#include <cstring>

#include "frontend/arguments.h"
#include "frontend/dump.h"

namespace {

constexpr std::int64_t default_nb_digits = 50;

int report_write_error(const output_buffer& out, output_buffer& err) {
    err.append("rovurer: write error: ");
    err.append(std::strerror(out.error()));
    err.put('\n');
    err.flush();
    return exit_refused;
}

// Flushes `out`; a failed write turns any status into a reported error.
int finish(output_buffer& out, output_buffer& err, int status) {
    return out.flush() ? status : report_write_error(out, err);
}

}  // namespace

int run_rovurer(int argc, const char* const* argv, output_buffer& out, output_buffer& err) {
    if (argc < 4) {
        out.append(usage_text);
        out.put('\n');
        return finish(out, err, exit_refused);
    }
    const char* filename = argv[1];
    const std::int32_t base = parse_int32(argv[2]);
    const auto pos = parse_position(argv[3]);
    const std::int64_t nb_digits = argc > 4 ? parse_int64(argv[4]) : default_nb_digits;

    const dump_result result = pos ? dump_digits(out, filename, base, *pos, nb_digits) : dump_result::refused;
    switch (result) {
        case dump_result::refused:
            err.append(filename);
            err.append(": cannot display at this position\n");
            err.flush();
            return exit_refused;
        case dump_result::read_failed:
            // The digits already handed out still appear; nothing follows them.
            return finish(out, err, exit_read_failed);
        case dump_result::write_failed:
            return report_write_error(out, err);
        case dump_result::shown:
            break;
    }
    out.put('\n');
    return finish(out, err, exit_shown);
}
