#include "lists/input_name.h"

#include <cstring>

#include "vexutil/util.h"

namespace vex::lists {

void copy_text(char *dest, size_t size, const char *text) {
  const size_t n = strnlen(text, size - 1);
  std::memcpy(dest, text, n);
  dest[n] = '\0';
}

std::string with_extension(const char *name, const char *extension) {
  std::string out(name ? name : "");
  if (!HasExtension(out.c_str()))
    out += extension;
  return out.size() < kNameChars ? out : std::string();
}

} // namespace vex::lists
