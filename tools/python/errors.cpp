#include "vexutil/util.h"

#include "binding.h"

namespace vexpy {

std::string last_reason() {
  const char *reason = VEXLastError();
  return reason != nullptr ? reason : "";
}

void raise_error(const char *kind, const std::string &message, const std::string &reason, int64_t frame) {
  const auto cls = py::module_::import("vexutil.errors").attr(kind);
  const py::object error = frame >= 0 ? cls(message, reason, frame) : cls(message, reason);
  PyErr_SetObject(cls.ptr(), error.ptr());
  throw py::error_already_set();
}

} // namespace vexpy
