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

// The text of a list file whose entries can only name files of the
// working folder: the switches /S, /E and /L with a number keep their
// slash, every other '/' becomes '_'. False (no input worth running) when
// the text holds "..".
inline bool confined_list(const uint8_t *data, size_t size, std::string &text) {
  text.assign(reinterpret_cast<const char *>(data), size);
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? static_cast<char>(text[i + 1] | 0x20) : 0;
    const char after = i + 2 < text.size() ? text[i + 2] : 0;
    const bool is_switch = (next == 's' || next == 'e' || next == 'l') && (after == '-' || (after >= '0' && after <= '9'));
    if (text[i] == '/' && !is_switch)
      text[i] = '_';
  }
  return text.find("..") == std::string::npos;
}

} // namespace vex::fuzz
