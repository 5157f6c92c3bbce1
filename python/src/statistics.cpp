#include "statistics.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "rovurer/stats.h"

namespace rovurer::python {

namespace {

#define ROVURER_CALL_KEYWORDS \
    py::kw_only(), py::arg("threads") = py::none(), py::arg("kernels") = py::none(), py::arg("progress") = py::none()

constexpr std::int64_t short_call = std::int64_t{1} << 22;

// A call's keywords and, for a job in parts, its part (index, count).
struct statistics_call {
    call_options options;
    statistics_call(py::object threads, py::object kernels, py::object progress, const py::object& part = py::none())
        : options(call_keywords{std::move(threads), std::move(kernels), std::move(progress)}) {
        if (!part.is_none()) {
            const auto pair = part.cast<std::pair<std::int64_t, std::int64_t>>();
            if (pair.first < 1 || pair.second < pair.first) {
                throw py::value_error("part must be (index, count) with 1 <= index <= count");
            }
            options.options().part = {pair.first, pair.second};
        }
    }
};

py::object parsed_json(const std::string& text) {
    return py::module_::import("json").attr("loads")(text);
}

// The text of a line call, a line at a time to `take`, as it is written:
// no more than a line is held.
class line_reader {
public:
    template <typename Take>
    rovurer::text_output output(Take take) {
        return rovurer::text_output::to([this, take](std::string_view piece) {
            for (const char c : piece) {
                if (c == '\n') {
                    take(std::string_view(line_));
                    line_.clear();
                } else {
                    line_ += c;
                }
            }
            return 0;
        });
    }

private:
    std::string line_;
};

std::uint64_t number_at(std::string_view text) {
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

const rovurer::file& handle_of(const open_file& self) {
    return self.handle();
}

template <typename T>
T checked(const result<T>& answer, const open_file& self) {
    if (!answer) {
        raise_error(answer.error(), self.path);
    }
    return *answer;
}

py::object summary_of(const statistics_state& state) {
    return parsed_json(to_json(summarize(state)));
}

py::object summary_of(const strings_state& state) {
    return parsed_json(to_json(summarize(state)));
}

}  // namespace

void add_statistics(py::module_& module, py::class_<open_file>& file_class) {
    py::class_<statistics_state>(module, "StatisticsState", R"(What a part of a range leaves for its statistics:
every count, and the digits at its edges. merge() takes the part that
follows; summary() gives the statistics. It pickles (as its JSON), so a
task on another machine can return it.)")
        .def_readonly("base", &statistics_state::base)
        .def_readonly("pos", &statistics_state::pos, "The position of its first digit.")
        .def_readonly("digits", &statistics_state::digits)
        .def(
            "merge",
            [](statistics_state& self, const statistics_state& next) {
                if (!merge(self, next)) {
                    raise_error(error{errc::bad_part, "the part does not follow: it starts at position " +
                                                          std::to_string(next.pos) + ", not " +
                                                          std::to_string(self.pos + self.digits)});
                }
                return self;
            },
            py::arg("next"),
            "Takes in the part that follows this one (and returns this one); PartError when it does not follow.")
        .def(
            "summary", [](const statistics_state& self) { return summary_of(self); },
            "The statistics, as File.stats gives them.")
        .def("to_json", [](const statistics_state& self) { return to_json(self); })
        .def_static(
            "from_json",
            [](const std::string& text) {
                result<statistics_state> read = read_statistics_state(text);
                if (!read) {
                    raise_error(read.error());
                }
                return std::move(read).value();
            },
            py::arg("text"), "A state from its JSON (or the JSON of rovurer --stats --json --shard).")
        .def(py::pickle([](const statistics_state& self) { return to_json(self); },
                        [](const std::string& text) {
                            result<statistics_state> read = read_statistics_state(text);
                            if (!read) {
                                raise_error(read.error());
                            }
                            return std::move(read).value();
                        }));

    py::class_<strings_state>(module, "StringsState", R"(What a part of a range leaves for missing(): a bit
for each string of the length that occurs in it, and the digits at its
edges. merge() takes the part that follows; summary() gives the answer.)")
        .def_readonly("base", &strings_state::base)
        .def_readonly("length", &strings_state::length)
        .def_readonly("pos", &strings_state::pos)
        .def_readonly("digits", &strings_state::digits)
        .def(
            "merge",
            [](strings_state& self, const strings_state& next) {
                if (!merge(self, next)) {
                    raise_error(error{errc::bad_part, "the part does not follow: it starts at position " +
                                                          std::to_string(next.pos) + ", not " +
                                                          std::to_string(self.pos + self.digits)});
                }
                return self;
            },
            py::arg("next"))
        .def("summary", [](const strings_state& self) { return summary_of(self); })
        .def("to_json", [](const strings_state& self) { return to_json(self); })
        .def_static(
            "from_json",
            [](const std::string& text) {
                result<strings_state> read = read_strings_state(text);
                if (!read) {
                    raise_error(read.error());
                }
                return std::move(read).value();
            },
            py::arg("text"))
        .def(py::pickle([](const strings_state& self) { return to_json(self); },
                        [](const std::string& text) {
                            result<strings_state> read = read_strings_state(text);
                            if (!read) {
                                raise_error(read.error());
                            }
                            return std::move(read).value();
                        }));

    file_class
        .def(
            "stats",
            [](const open_file& self, int base, std::int64_t pos, py::object n, py::object threads, py::object kernels,
               py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                const auto answer = run_released<result<digit_statistics>>(call.options, where.count > short_call, [&] {
                    return rovurer::statistics(source, where, call.options.options());
                });
                return parsed_json(to_json(checked(answer, self)));
            },
            py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(), ROVURER_CALL_KEYWORDS,
            R"(The statistics of the range, as a dict with the names of rovurer --stats
--json: counts, chi_square, p_value, df, serial2, serial3, poker, gaps,
longest_runs, walk. A test too short for the range has None for its
statistic and p_value.)")
        .def(
            "gather_statistics",
            [](const open_file& self, int base, std::int64_t pos, py::object n, py::object part, py::object threads,
               py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress), part);
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                const auto state = run_released<result<statistics_state>>(call.options, where.count > short_call, [&] {
                    return rovurer::gather_statistics(source, where, call.options.options());
                });
                return checked(state, self);
            },
            py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(), py::arg("part") = py::none(),
            ROVURER_CALL_KEYWORDS,
            R"(The StatisticsState of the range, or of its part (index, count), for a
job in pieces: the states of pieces that follow one another merge.)")
        .def(
            "blocks",
            [](const open_file& self, std::int64_t block, int base, std::int64_t pos, py::object n, py::object threads,
               py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                std::vector<std::int64_t> positions;
                std::vector<std::int64_t> digits;
                std::vector<std::uint64_t> counts;
                std::vector<double> chi_squares;
                line_reader lines;
                const auto output = lines.output([&](std::string_view line) {
                    // POS,DIGITS,C0,...,CHI_SQUARE
                    std::size_t at = 0;
                    int field = 0;
                    while (at <= line.size()) {
                        const std::size_t comma = std::min(line.find(',', at), line.size());
                        const std::string_view value = line.substr(at, comma - at);
                        if (field == 0) {
                            positions.push_back(static_cast<std::int64_t>(number_at(value)));
                        } else if (field == 1) {
                            digits.push_back(static_cast<std::int64_t>(number_at(value)));
                        } else if (field <= base + 1) {
                            counts.push_back(number_at(value));
                        } else {
                            chi_squares.push_back(std::stod(std::string(value)));
                        }
                        ++field;
                        at = comma + 1;
                    }
                });
                const auto written = run_released<result<text_written>>(call.options, where.count > short_call, [&] {
                    return rovurer::write_blocks(source, where, block, false, output, call.options.options());
                });
                checked(written, self);
                py::dict answer;
                answer["pos"] = py::array_t<std::int64_t>(static_cast<py::ssize_t>(positions.size()), positions.data());
                answer["digits"] = py::array_t<std::int64_t>(static_cast<py::ssize_t>(digits.size()), digits.data());
                py::array_t<std::uint64_t> table(
                    {static_cast<py::ssize_t>(positions.size()), static_cast<py::ssize_t>(base)});
                std::copy(counts.begin(), counts.end(), table.mutable_data());
                answer["counts"] = table;
                answer["chi_square"] =
                    py::array_t<double>(static_cast<py::ssize_t>(chi_squares.size()), chi_squares.data());
                return answer;
            },
            py::arg("block"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            ROVURER_CALL_KEYWORDS,
            R"(Counts per block of `block` digits from the range's first (the last may
be shorter), as a dict of numpy arrays: pos and digits (one a block),
counts (blocks by base) and chi_square (each block's, against equal
counts, to four decimals).)")
        .def(
            "runs",
            [](const open_file& self, std::int64_t least, int base, std::int64_t pos, py::object n,
               py::object max_count, py::object threads, py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                const std::int64_t most = max_count.is_none() ? rovurer::to_end : max_count.cast<std::int64_t>();
                std::vector<std::tuple<std::uint64_t, std::string, std::uint64_t>> runs;
                line_reader lines;
                const auto output = lines.output([&](std::string_view line) {
                    // POS DIGIT LENGTH
                    const std::size_t first = line.find(' ');
                    const std::size_t second = line.find(' ', first + 1);
                    runs.emplace_back(number_at(line.substr(0, first)),
                                      std::string(line.substr(first + 1, second - first - 1)),
                                      number_at(line.substr(second + 1)));
                });
                const auto written = run_released<result<text_written>>(call.options, where.count > short_call, [&] {
                    return rovurer::write_runs(source, where, least, most, false, output, call.options.options());
                });
                checked(written, self);
                return runs;
            },
            py::arg("least"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            py::arg("max_count") = py::none(), ROVURER_CALL_KEYWORDS,
            R"(Every run of `least` or more equal digits that starts in the range, in
order, as (pos, digit, length) tuples; at most max_count. A run is followed
to its end, past the range's.)")
        .def(
            "missing",
            [](const open_file& self, int length, int base, std::int64_t pos, py::object n, py::object threads,
               py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                const auto state = run_released<result<strings_state>>(call.options, where.count > short_call, [&] {
                    return rovurer::gather_strings(source, where, length, call.options.options());
                });
                return summary_of(checked(state, self));
            },
            py::arg("length"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            ROVURER_CALL_KEYWORDS,
            R"(How many distinct strings of each length 1 to `length` occur in the range
(distinct, a list), and the smallest number, in the base without leading
zeros, that does not occur as a string (smallest_missing, a str; None when
every number of up to `length` digits occurs).)")
        .def(
            "gather_strings",
            [](const open_file& self, int length, int base, std::int64_t pos, py::object n, py::object part,
               py::object threads, py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress), part);
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                const auto state = run_released<result<strings_state>>(call.options, where.count > short_call, [&] {
                    return rovurer::gather_strings(source, where, length, call.options.options());
                });
                return checked(state, self);
            },
            py::arg("length"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            py::arg("part") = py::none(), ROVURER_CALL_KEYWORDS,
            "The StringsState of the range, or of its part (index, count), for a job in pieces.")
        .def(
            "first_positions",
            [](const open_file& self, int length, int base, std::int64_t pos, py::object n, py::object threads,
               py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                std::vector<std::uint64_t> first;
                line_reader lines;
                const auto output = lines.output(
                    [&](std::string_view line) { first.push_back(number_at(line.substr(line.find(' ') + 1))); });
                const auto written = run_released<result<text_written>>(call.options, where.count > short_call, [&] {
                    return rovurer::write_first_positions(source, where, length, false, output, call.options.options());
                });
                checked(written, self);
                return py::array_t<std::uint64_t>(static_cast<py::ssize_t>(first.size()), first.data());
            },
            py::arg("length"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            ROVURER_CALL_KEYWORDS,
            R"(The first position of every string of `length` digits, as a numpy array
of uint64 indexed by the string's value (0 where it does not occur).)")
        .def(
            "self_locating",
            [](const open_file& self, int base, std::int64_t pos, py::object n, py::object threads, py::object kernels,
               py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                std::vector<std::uint64_t> positions;
                line_reader lines;
                const auto output = lines.output([&](std::string_view line) { positions.push_back(number_at(line)); });
                const auto written = run_released<result<text_written>>(call.options, where.count > short_call, [&] {
                    return rovurer::write_self_locating(source, where, false, output, call.options.options());
                });
                checked(written, self);
                return positions;
            },
            py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(), ROVURER_CALL_KEYWORDS,
            "Every position p of the range where the digits from p spell p in the base, as a list of ints.")
        .def(
            "walk",
            [](const open_file& self, int base, std::int64_t pos, py::object n, py::object svg, int points,
               py::object threads, py::object kernels, py::object progress) {
                statistics_call call(std::move(threads), std::move(kernels), std::move(progress));
                const rovurer::range where = range_of(base, pos, n);
                const rovurer::file& source = handle_of(self);
                std::string picture;
                const rovurer::text_output to = svg.is_none() ? rovurer::text_output::to([&](std::string_view piece) {
                    picture.append(piece);
                    return 0;
                })
                                                              : rovurer::text_output::file(svg.cast<std::string>());
                const auto walked = run_released<result<walk_extent>>(call.options, where.count > short_call, [&] {
                    return rovurer::write_walk_svg(source, where, to, points, call.options.options());
                });
                if (!walked) {
                    raise_error(walked.error(), walked.error().file == 2 ? svg.cast<std::string>() : self.path);
                }
                py::dict answer;
                answer["steps"] = walked->steps;
                answer["x"] = walked->x;
                answer["y"] = walked->y;
                answer["min_x"] = walked->min_x;
                answer["max_x"] = walked->max_x;
                answer["min_y"] = walked->min_y;
                answer["max_y"] = walked->max_y;
                if (svg.is_none()) {
                    answer["svg"] = picture;
                }
                return answer;
            },
            py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(), py::arg("svg") = py::none(),
            py::arg("points") = 20000, ROVURER_CALL_KEYWORDS,
            R"(The digits as a walk in the plane (a step a base-4 digit; see
doc/statistics.md): a dict of its steps, its end (x, y) and its extremes,
with the SVG picture of it under 'svg', or written to the file `svg`.)");

    module.def("chi_square_p_value", &rovurer::chi_square_p_value, py::arg("statistic"), py::arg("df"),
               "P(a chi-square variable with df degrees of freedom >= statistic).");
}

}  // namespace rovurer::python
