// A byte source over a named file, for the readers that take one: closed
// (with the thread's reason recorded) when the file cannot be opened, as
// the sources hand it to their readers.
#pragma once

#include <string>

#include "file/byte_source.h"

namespace vex::testkit {

inline file::ByteSource source_of(const std::string &path) {
  file::ByteSource s;
  s.open(path.c_str());
  return s;
}

} // namespace vex::testkit
