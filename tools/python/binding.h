// The Python module's C++ half (vexutil._vexutil): thin classes over the
// public C interface. Each file registers one concept; the package in
// vexutil/ builds the user-facing API on top (Fractions, frame views,
// context managers, the imageio plugin).
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

namespace vexpy {

namespace py = pybind11;

// Raises vexutil.errors.<kind>(message, reason[, frame]) as a Python
// exception. The class lives in Python so that users can subclass and
// pickle it like any exception.
[[noreturn]] void raise_error(const char *kind, const std::string &message, const std::string &reason,
                              int64_t frame = -1);
// The calling thread's failure reason from the library ("" when none).
std::string last_reason();

struct OpenArguments; // open_options.cpp

void register_reader(py::module_ &m);
void register_sound(py::module_ &m);
void register_writer(py::module_ &m);
void register_options(py::module_ &m);

} // namespace vexpy
