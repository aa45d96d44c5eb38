// Pattern animations through the library's own FLIC writer and reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/pattern.h"

namespace vex::testkit {

// Writes every frame with its palette through VEXOFlicCreate/PutNext/Close;
// the final file size, or 0 when any step failed.
uint32_t write_flc(const PatternAnimation &anim, int32_t rate, const std::string &path);

// Decodes frames 1..n (n = the file's frame count) with VEXFlicGetNext and
// returns each as packed red, green, blue through the palette of the time;
// empty when the file does not open or a frame fails.
std::vector<ByteVec> read_flic_rgb(const std::string &path);

} // namespace vex::testkit
