// Input names in the fixed fields of the graphics and the sound source's
// records.
#pragma once

#include <cstddef>
#include <string>

namespace vex::lists {

inline constexpr size_t kNameChars = 128; // a name field, terminator included

// Copies text into a fixed field of `size` bytes, cut to fit.
void copy_text(char *dest, size_t size, const char *text);
// The name with `extension` appended when it has none; empty when the
// result would not fit in kNameChars.
std::string with_extension(const char *name, const char *extension);

} // namespace vex::lists
