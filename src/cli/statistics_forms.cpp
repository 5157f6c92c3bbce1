// The statistics forms: one call of the library each, its answer printed
// as a small table, as lines, or as JSON.
#include "cli/statistics_forms.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/names.h"
#include "cli/plan.h"
#include "platform/platform.h"

namespace rovurer {

namespace {

constexpr std::string_view digit_characters = "0123456789ABCDEF";

// Rows of cells, aligned: the first column to the left, the others to the
// right, two spaces apart.
std::string aligned(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const std::vector<std::string>& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t k = 0; k < row.size(); ++k) {
            widths[k] = std::max(widths[k], row[k].size());
        }
    }
    std::string text;
    for (const std::vector<std::string>& row : rows) {
        std::string line;
        for (std::size_t k = 0; k < row.size(); ++k) {
            const std::string pad(widths[k] - row[k].size(), ' ');
            line += k == 0 ? row[k] + pad : "  " + pad + row[k];
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        text += line + '\n';
    }
    return text;
}

std::string fixed(double value, const char* format) {
    char text[64];
    (void)std::snprintf(text, sizeof text, format, value);
    return text;
}

std::vector<std::string> test_row(const std::string& name, const chi_square_test& test) {
    if (test.too_short) {
        return {name, "too short", std::to_string(test.df), "-"};
    }
    const double p = test.p_value;
    return {name, fixed(test.statistic, "%.4f"), std::to_string(test.df),
            p >= 0.0001 || p == 0 ? fixed(p, "%.4f") : fixed(p, "%.3e")};
}

std::string walk_line(const walk_extent& walk) {
    return "walk: " + std::to_string(walk.steps) + " steps, ends at (" + std::to_string(walk.x) + ", " +
           std::to_string(walk.y) + "); x from " + std::to_string(walk.min_x) + " to " + std::to_string(walk.max_x) +
           ", y from " + std::to_string(walk.min_y) + " to " + std::to_string(walk.max_y) + "\n";
}

// --stats: the answer, or with --shard and --json, the answer and the
// state that --merge reads.
int run_stats(const command_line& command, const file& source, const range& where, console& io,
              const scan_options& options, call_progress& progress) {
    const result<statistics_state> gathered = gather_statistics(source, where, options);
    progress.stop();
    if (!gathered) {
        return end_with_error(command, io, command.operands[0], gathered.error());
    }
    const digit_statistics answer = summarize(*gathered);
    if (!command.json) {
        io.out.append(statistics_table(answer));
    } else if (command.shard != 0) {
        std::string object = to_json(answer);
        object.pop_back();
        io.out.append(object + ",\"merge\":" + to_json(*gathered) + "}\n");
    } else {
        io.out.append(to_json(answer) + "\n");
    }
    return finish(io, exit_shown, command.trouble_status);
}

int run_missing(const command_line& command, const file& source, const range& where, console& io,
                const scan_options& options, call_progress& progress) {
    const auto length = static_cast<int>(command.missing_length);
    if (command.first) {
        const result<text_written> written =
            write_first_positions(source, where, length, command.json, io.out.text_target(), options);
        progress.stop();
        if (!written) {
            return end_with_error(command, io, command.operands[0], written.error());
        }
        return finish(io, exit_shown, command.trouble_status);
    }
    const result<strings_state> gathered = gather_strings(source, where, length, options);
    progress.stop();
    if (!gathered) {
        return end_with_error(command, io, command.operands[0], gathered.error());
    }
    const missing_strings answer = summarize(*gathered);
    if (!command.json) {
        io.out.append(missing_table(answer));
    } else if (command.shard != 0) {
        std::string object = to_json(answer);
        object.pop_back();
        io.out.append(object + ",\"merge\":" + to_json(*gathered) + "}\n");
    } else {
        io.out.append(to_json(answer) + "\n");
    }
    return finish(io, exit_shown, command.trouble_status);
}

// --walk: the picture, then what the walk did; the picture's file named in
// the errors of making and writing it.
int run_walk(const command_line& command, const file& source, const range& where, console& io,
             const scan_options& options, call_progress& progress) {
    const result<walk_extent> walked =
        write_walk_svg(source, where, text_output::file(command.walk_path), 20000, options);
    progress.stop();
    if (!walked) {
        const error& failure = walked.error();
        if (failure.code == errc::cannot_create && platform::stop_signal() == 0) {
            return report(io, "rovurer: " + shown_name(command.walk_path) + ": " + failure.message,
                          command.trouble_status);
        }
        if (failure.code == errc::write_failed && platform::stop_signal() == 0) {
            return report(
                io,
                "rovurer: " + shown_name(command.walk_path) + ": write error: " + std::strerror(failure.system_error),
                command.trouble_status);
        }
        return end_with_error(command, io, command.operands[0], failure);
    }
    io.out.append(walk_line(*walked));
    return finish(io, exit_shown, command.trouble_status);
}

}  // namespace

std::string statistics_table(const digit_statistics& answer) {
    std::string text = std::to_string(answer.digits) + " base-" + std::to_string(answer.base) +
                       " digits from position " + std::to_string(answer.pos) + "\n\n";
    std::vector<std::vector<std::string>> digits = {{"digit", "count", "longest_run", "at_position"}};
    for (std::size_t d = 0; d < static_cast<std::size_t>(answer.base); ++d) {
        const longest_run& run = answer.longest_runs[d];
        digits.push_back({std::string(1, digit_characters[d]), std::to_string(answer.counts[d]),
                          std::to_string(run.length), run.length > 0 ? std::to_string(run.pos) : "-"});
    }
    text += aligned(digits) + "\n";
    std::vector<std::vector<std::string>> tests = {{"test", "statistic", "df", "p_value"}};
    tests.push_back(test_row("frequency", answer.frequency));
    tests.push_back(test_row("serial2", answer.serial2));
    tests.push_back(test_row("serial3", answer.serial3));
    tests.push_back(test_row("poker", answer.poker));
    for (std::size_t d = 0; d < answer.gaps.size(); ++d) {
        tests.push_back(test_row(std::string("gap ") + digit_characters[d], answer.gaps[d]));
    }
    text += aligned(tests) + "\n" + walk_line(answer.walk);
    return text;
}

std::string missing_table(const missing_strings& answer) {
    std::vector<std::vector<std::string>> rows = {{"length", "distinct"}};
    for (std::size_t k = 0; k < answer.distinct.size(); ++k) {
        rows.push_back({std::to_string(k + 1), std::to_string(answer.distinct[k])});
    }
    return aligned(rows) + "smallest missing: " +
           (answer.smallest_missing.empty() ? "none of " + std::to_string(answer.distinct.size()) + " digits or fewer"
                                            : answer.smallest_missing) +
           "\n";
}

int run_statistics_form(const command_line& command, const file& source, const range& where, console& io) {
    call_progress progress(progress_of(command));
    const scan_options options = call_options(command, io, progress);
    const auto lines = [&](const result<text_written>& written) {
        progress.stop();
        if (!written) {
            return end_with_error(command, io, command.operands[0], written.error());
        }
        return finish(io, exit_shown, command.trouble_status);
    };
    switch (command.form) {
        case command_form::blocks:
            return lines(write_blocks(source, where, command.block, command.json, io.out.text_target(), options));
        case command_form::runs:
            return lines(write_runs(source, where, command.run_least,
                                    command.max_count < 0 ? to_end : command.max_count, command.json,
                                    io.out.text_target(), options));
        case command_form::self_locating:
            return lines(write_self_locating(source, where, command.json, io.out.text_target(), options));
        case command_form::missing:
            return run_missing(command, source, where, io, options, progress);
        case command_form::walk:
            return run_walk(command, source, where, io, options, progress);
        default:
            return run_stats(command, source, where, io, options, progress);
    }
}

}  // namespace rovurer
