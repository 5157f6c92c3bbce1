// The statistics' calls (rovurer/stats.h) on rovurer.File, and the states
// of parts that merge, for a job spread over many machines.
#pragma once

#include <pybind11/pybind11.h>

#include "calls.h"

namespace rovurer::python {

void add_statistics(py::module_& module, py::class_<open_file>& file_class);

}  // namespace rovurer::python
