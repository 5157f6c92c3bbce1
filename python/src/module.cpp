// rovurer._rovurer: the library's calls on digit files, for Python. The
// package rovurer (rovurer/__init__.py) re-exports them; rovurer.errors
// holds the exceptions they raise.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "calls.h"
#include "statistics.h"

namespace rovurer::python {

namespace {

// Calls on ranges shorter than this run on the calling thread, without a
// thread that watches for Ctrl-C: they end within a few milliseconds.
constexpr std::int64_t short_call = std::int64_t{1} << 22;

// The keywords' defaults, written once.
#define ROVURER_CALL_KEYWORDS \
    py::kw_only(), py::arg("threads") = py::none(), py::arg("kernels") = py::none(), py::arg("progress") = py::none()

call_keywords keywords_of(py::object threads, py::object kernels, py::object progress) {
    return {std::move(threads), std::move(kernels), std::move(progress)};
}

bool long_range(const rovurer::range& where) {
    return where.count > short_call;
}

open_file open_path(const std::string& path) {
    result<rovurer::file> opened = rovurer::file::open(path);
    if (!opened) {
        raise_error(opened.error(), path);
    }
    return open_file{std::move(opened).value(), path, false};
}

py::dict facts_of(const rovurer::header_facts& facts) {
    py::dict digits;
    for (const int base : {10, 16, 2}) {
        digits[py::int_(base)] = py::int_(py::str(facts.digits_text(base)));
    }
    py::dict shown;
    shown["word_count"] = facts.word_count;
    shown["lead_words"] = facts.lead_words;
    shown["data_bytes"] = facts.data_bytes;
    shown["data_words"] = facts.data_words;
    shown["digits"] = digits;
    return shown;
}

std::string read_digits(const open_file& self, std::int64_t pos, std::int64_t n, int base, call_keywords keywords) {
    if (n < 0) {
        throw py::value_error("n must be 0 or more, not " + std::to_string(n));
    }
    const rovurer::file& source = self.handle();
    const std::int64_t available = std::max<std::int64_t>(
        0, std::min<std::int64_t>(n, source.facts().digits(base) - std::max<std::int64_t>(pos, 1) + 1));
    std::string digits(static_cast<std::size_t>(available), '\0');
    call_options options(keywords);
    const rovurer::range where{base, pos, n};
    const result<std::int64_t> got = run_released<result<std::int64_t>>(
        options, long_range(where), [&] { return rovurer::read(source, where, digits, options.options()); });
    if (!got) {
        raise_error(got.error(), self.path);
    }
    digits.resize(static_cast<std::size_t>(*got));
    return digits;
}

py::array_t<std::uint8_t> read_array(const open_file& self, std::int64_t pos, const py::object& n, int base,
                                     py::object out, call_keywords keywords) {
    const rovurer::file& source = self.handle();
    std::int64_t count = count_of(n);
    py::array_t<std::uint8_t> values;
    if (!out.is_none()) {
        values = py::array_t<std::uint8_t>::ensure(out);
        if (!values || !out.is(values) || (values.flags() & py::array::c_style) == 0 || !values.writeable() ||
            values.ndim() != 1) {
            throw py::type_error("out must be a writable one-dimensional C-contiguous numpy array of uint8");
        }
        if (n.is_none()) {
            count = values.shape(0);
        } else if (count > values.shape(0)) {
            throw py::value_error("out holds " + std::to_string(values.shape(0)) +
                                  " values, fewer than n = " + std::to_string(count));
        }
    } else {
        const std::int64_t held = source.facts().digits(base) - std::max<std::int64_t>(pos, 1) + 1;
        count = std::max<std::int64_t>(0, std::min(count, held));
        values = py::array_t<std::uint8_t>(static_cast<py::ssize_t>(count));
    }
    // The digits' values straight into the array's memory.
    std::uint8_t* const memory = values.mutable_data();
    call_options options(keywords);
    const rovurer::range where{base, pos, count};
    const result<std::int64_t> got = run_released<result<std::int64_t>>(options, long_range(where), [&] {
        return rovurer::read_values(source, where, std::span<std::uint8_t>(memory, static_cast<std::size_t>(count)),
                                    options.options());
    });
    if (!got) {
        raise_error(got.error(), self.path);
    }
    if (!out.is_none()) {
        // out itself when the digits fill it, else a view of its first values
        // written: the length always says how many digits were read.
        if (*got == values.shape(0)) {
            return values;
        }
        return out[py::slice(0, static_cast<py::ssize_t>(*got), 1)].cast<py::array_t<std::uint8_t>>();
    }
    if (*got < count) {
        values.resize({static_cast<py::ssize_t>(*got)});
    }
    return values;
}

std::vector<std::uint64_t> find_positions(const open_file& self, const std::string& digits, int base, std::int64_t pos,
                                          const py::object& n, const py::object& max_count, call_keywords keywords,
                                          std::int64_t* next = nullptr) {
    const rovurer::file& source = self.handle();
    const rovurer::range where = range_of(base, pos, n);
    const std::int64_t most = max_count.is_none() ? rovurer::to_end : max_count.cast<std::int64_t>();
    call_options options(keywords);
    const result<found> matches = run_released<result<found>>(
        options, long_range(where), [&] { return rovurer::find(source, digits, where, most, options.options()); });
    if (!matches) {
        raise_error(matches.error(), self.path);
    }
    if (next != nullptr) {
        *next = matches->next;
    }
    return matches->positions;
}

// The matches of a string a page at a time, each page found as it is
// needed.
class match_pages {
public:
    match_pages(open_file self, std::string digits, rovurer::range where, std::int64_t page, call_keywords keywords)
        : self_(std::move(self)),
          digits_(std::move(digits)),
          where_(where),
          page_(page),
          keywords_(std::move(keywords)) {}

    std::uint64_t next() {
        while (at_ == positions_.size()) {
            if (done_) {
                throw py::stop_iteration();
            }
            std::int64_t resume = 0;
            positions_ = find_positions(
                self_, digits_, where_.base, where_.pos,
                where_.count == rovurer::to_end ? py::object(py::none()) : py::object(py::int_(where_.count)),
                py::int_(page_), keywords_, &resume);
            at_ = 0;
            if (resume == 0) {
                done_ = true;
            } else {
                where_ = where_.from(resume);
            }
        }
        return positions_[at_++];
    }

private:
    open_file self_;
    std::string digits_;
    rovurer::range where_;
    std::int64_t page_;
    call_keywords keywords_;
    std::vector<std::uint64_t> positions_;
    std::size_t at_ = 0;
    bool done_ = false;
};

py::array_t<std::uint64_t> count_digits(const open_file& self, int base, std::int64_t pos, const py::object& n,
                                        call_keywords keywords) {
    const rovurer::file& source = self.handle();
    const rovurer::range where = range_of(base, pos, n);
    call_options options(keywords);
    const result<digit_counts> counted = run_released<result<digit_counts>>(
        options, long_range(where), [&] { return rovurer::count(source, where, options.options()); });
    if (!counted) {
        raise_error(counted.error(), self.path);
    }
    py::array_t<std::uint64_t> counts(base);
    std::copy(counted->begin(), counted->begin() + base, counts.mutable_data());
    return counts;
}

py::dict compare_files(const open_file& first, const open_file& second, int base, std::int64_t pos, const py::object& n,
                       call_keywords keywords) {
    const rovurer::range where = range_of(base, pos, n);
    const rovurer::file& one = first.handle();
    const rovurer::file& other = second.handle();
    call_options options(keywords);
    const result<comparison> compared = run_released<result<comparison>>(
        options, long_range(where), [&] { return rovurer::compare(one, other, where, options.options()); });
    if (!compared) {
        raise_error(compared.error(), compared.error().file == 2 ? second.path : first.path);
    }
    py::dict answer;
    answer["equal"] = compared->difference == 0 && compared->ends_first == 0;
    answer["difference"] = compared->difference == 0 ? py::object(py::none()) : py::int_(compared->difference);
    answer["ends_first"] = compared->ends_first == 0 ? py::object(py::none()) : py::int_(compared->ends_first);
    answer["last_common"] = compared->ends_first == 0 ? py::object(py::none()) : py::int_(compared->last_common);
    answer["compared"] = compared->compared;
    return answer;
}

std::int64_t write_text_file(const open_file& self, const std::string& out_path, int base, std::int64_t pos,
                             const py::object& n, std::int64_t group, const py::object& per_line, bool labels,
                             call_keywords keywords) {
    const rovurer::file& source = self.handle();
    const rovurer::range where = range_of(base, pos, n);
    rovurer::layout shape;
    shape.group = group;
    shape.per_line = per_line.is_none() ? 0 : per_line.cast<std::int64_t>();
    shape.labels = labels;
    call_options options(keywords);
    const result<text_written> written = run_released<result<text_written>>(options, long_range(where), [&] {
        return rovurer::write_text(source, where, shape, rovurer::text_output::file(out_path), options.options());
    });
    if (!written) {
        raise_error(written.error(), written.error().file == 2 ? out_path : self.path);
    }
    return written->digits;
}

py::dict pack_file(const std::string& text, const std::string& out, int base, bool force, call_keywords keywords) {
    call_options options(keywords);
    rovurer::pack_options packing;
    packing.replace = force;
    packing.threads = options.threads();
    packing.stop = options.stop().get_token();
    packing.progress = options.progress_callback();
    const result<packed> made =
        run_released<result<packed>>(options, true, [&] { return rovurer::pack(text, out, base, packing); });
    if (!made) {
        raise_error(made.error(), made.error().file == 2 ? out : text);
    }
    py::dict answer;
    answer["word_count"] = made->word_count;
    answer["lead_words"] = made->lead_words;
    answer["digits"] = made->digits;
    answer["padding"] = made->padding;
    return answer;
}

}  // namespace

}  // namespace rovurer::python

PYBIND11_MODULE(_rovurer, module) {
    using namespace rovurer::python;
    module.doc() = "The rovurer library's calls on binary digit files (see the package rovurer).";
    module.attr("__version__") = ROVURER_VERSION_STRING;

    py::class_<open_file> file_class(module, "File", R"(A digit file, opened once.

Every call reads the file as it was opened, whatever becomes of its name.
Positions count from 1, the first digit after the point. Use it as a
context manager, or call close(). Calls take the keywords threads (None:
every processor), kernels (a kernel set's name) and progress (a callable
progress(done, total), or True for a tqdm bar); Ctrl-C stops a long call.)");
    file_class
        .def_property_readonly(
            "path", [](const open_file& self) { return self.path; }, "The path it was opened at.")
        .def_property_readonly(
            "facts", [](const open_file& self) { return facts_of(self.handle().facts()); },
            R"(What the header says: word_count, lead_words, data_bytes, data_words, and
digits, the digits from position 1 in each base ({10: ..., 16: ..., 2: ...}).)")
        .def_property_readonly("closed", [](const open_file& self) { return self.closed; })
        .def(
            "close", [](open_file& self) { self.closed = true; },
            "Closes it: later calls raise ValueError. The file itself closes once no call uses it.")
        .def("__enter__", [](open_file& self) -> open_file& { return self; })
        .def("__exit__", [](open_file& self, const py::args&) { self.closed = true; })
        .def("__repr__",
             [](const open_file& self) {
                 return "<rovurer.File " + py::repr(py::str(self.path)).cast<std::string>() +
                        (self.closed ? " (closed)>" : ">");
             })
        .def(
            "digits",
            [](const open_file& self, std::int64_t pos, std::int64_t n, int base, py::object threads,
               py::object kernels, py::object progress) {
                return read_digits(self, pos, n, base, keywords_of(threads, kernels, progress));
            },
            py::arg("pos") = 1, py::arg("n") = 50, py::arg("base") = 10, ROVURER_CALL_KEYWORDS,
            R"(The n digits from position pos in base 10, 16 or 2, as a str ('0'-'9',
'A'-'F'): fewer where the data ends.)")
        .def(
            "array",
            [](const open_file& self, std::int64_t pos, py::object n, int base, py::object out, py::object threads,
               py::object kernels, py::object progress) {
                return read_array(self, pos, n, base, std::move(out), keywords_of(threads, kernels, progress));
            },
            py::arg("pos") = 1, py::arg("n") = py::none(), py::arg("base") = 10, py::arg("out") = py::none(),
            ROVURER_CALL_KEYWORDS,
            R"(The digits from position pos as a numpy array of uint8 values 0 to 15,
written by the library straight into the array's memory: n of them (None:
to the end of the data, or as many as out holds), fewer where the data
ends. With out (a writable one-dimensional uint8 array, of n values or
more), fills it from its start and returns it, or the view of its first
values when fewer were written; the rest of out is left as it was.)")
        .def(
            "find",
            [](const open_file& self, const std::string& digits, int base, std::int64_t pos, py::object n,
               py::object max_count, py::object threads, py::object kernels, py::object progress) {
                return find_positions(self, digits, base, pos, n, max_count, keywords_of(threads, kernels, progress));
            },
            py::arg("digits"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            py::arg("max_count") = py::none(), ROVURER_CALL_KEYWORDS,
            R"(The positions of every occurrence of digits (a str of the base's digits)
that lies whole in the range, overlapping ones included, in increasing
order, as a list of ints; at most max_count of them.)")
        .def(
            "finditer",
            [](const open_file& self, std::string digits, int base, std::int64_t pos, py::object n, std::int64_t page,
               py::object threads, py::object kernels, py::object progress) {
                if (page < 1) {
                    throw py::value_error("page must be 1 or more");
                }
                return match_pages(self, std::move(digits), range_of(base, pos, n), page,
                                   keywords_of(threads, kernels, progress));
            },
            py::arg("digits"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            py::arg("page") = 10000, ROVURER_CALL_KEYWORDS,
            R"(The positions find gives, one at a time: found a page of `page` at a time,
each page when the one before is used up.)")
        .def(
            "count",
            [](const open_file& self, int base, std::int64_t pos, py::object n, py::object threads, py::object kernels,
               py::object progress) {
                return count_digits(self, base, pos, n, keywords_of(threads, kernels, progress));
            },
            py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(), ROVURER_CALL_KEYWORDS,
            R"(How often each digit occurs in the range: a numpy array of uint64, one
count a digit of the base (index 10 is 'A').)")
        .def(
            "text",
            [](const open_file& self, const std::string& out_path, int base, std::int64_t pos, py::object n,
               std::int64_t group, py::object per_line, bool labels, py::object threads, py::object kernels,
               py::object progress) {
                return write_text_file(self, out_path, base, pos, n, group, per_line, labels,
                                       keywords_of(threads, kernels, progress));
            },
            py::arg("out_path"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
            py::arg("group") = 10, py::arg("per_line") = py::none(), py::arg("labels") = true, ROVURER_CALL_KEYWORDS,
            R"(Writes the range's digits to a new file at out_path (one there is
replaced) as the command line's dump lays them out: groups of `group`
digits, per_line digits a line with the position of its last digit unless
labels is False; written in place on threads. Returns the digits written.)");

    py::class_<match_pages>(module, "Matches", "The positions of finditer, found a page at a time.")
        .def("__iter__", [](match_pages& self) -> match_pages& { return self; })
        .def("__next__", &match_pages::next);

    module.def(
        "open", [](const std::string& path) { return open_path(path); }, py::arg("path"),
        R"(Opens the digit file at path, reading only its header. Raises
FileNotFoundError (and the other OSErrors) when it cannot be opened, and
rovurer.NotADigitFileError when it is not a digit file.)");
    module.def(
        "compare",
        [](const open_file& first, const open_file& second, int base, std::int64_t pos, py::object n,
           py::object threads, py::object kernels, py::object progress) {
            return compare_files(first, second, base, pos, n, keywords_of(threads, kernels, progress));
        },
        py::arg("first"), py::arg("second"), py::arg("base") = 10, py::arg("pos") = 1, py::arg("n") = py::none(),
        ROVURER_CALL_KEYWORDS,
        R"(Compares two files' digits over the range: a dict with equal (bool),
difference (the first position that differs, or None), ends_first (1 or 2
when that file's data ends within the range and the other's goes on, or
None), last_common (with ends_first: the last position both hold) and
compared (the digits compared).)");
    module.def(
        "pack",
        [](const std::string& text, const std::string& out, int base, bool force, py::object threads,
           py::object progress) {
            return pack_file(text, out, base, force, keywords_of(threads, py::none(), progress));
        },
        py::arg("text"), py::arg("out"), py::arg("base"), py::arg("force") = false, py::kw_only(),
        py::arg("threads") = py::none(), py::arg("progress") = py::none(),
        R"(Packs the digits of the text file at `text` into a new digit file at out,
written beside it and renamed, so that it appears whole or not at all; an
existing out is replaced only with force. Returns a dict: word_count,
lead_words, digits, padding.)");
    module.def(
        "kernel_sets",
        [] {
            std::vector<std::string> names;
            for (const std::string_view name : rovurer::kernel_sets()) {
                names.emplace_back(name);
            }
            return names;
        },
        "The kernel sets this CPU runs, the fastest last.");
    module.def(
        "active_kernel_set", [] { return std::string(rovurer::active_kernel_set()); },
        "The kernel set of calls that name none.");
    add_statistics(module, file_class);
}
