// vexutil._vexutil: the graphics source, the sound source and the output
// writer of libvexutil.so for Python. Every call that decodes or writes
// runs with the GIL released; a handle is used by one thread at a time
// (the Python classes above it say so), as the library asks.
#include "binding.h"
#include "vexutil/version.h"

PYBIND11_MODULE(_vexutil, m) {
  m.doc() = "libvexutil's sources and writer (use the vexutil package, not this module)";
  m.attr("LIBRARY_VERSION") = VEXUTIL_VERSION_STRING;
  vexpy::register_options(m);
  vexpy::register_reader(m);
  vexpy::register_sound(m);
  vexpy::register_writer(m);
}
