// The fuzz input as a file, for readers that take a name: one private
// file per process, rewritten for each input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace vex::fuzz {

inline const std::string &input_file(const char *extension) {
  static const std::string name = "/tmp/vex-fuzz-" + std::to_string(getpid()) + extension;
  return name;
}

inline bool write_input(const std::string &name, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(name.c_str(), "wb");
  if (!f)
    return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

} // namespace vex::fuzz
