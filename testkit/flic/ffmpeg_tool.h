// The ffmpeg command-line tool as an independent decoder of FLIC files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/flic/flic_bytes.h"

namespace vex::testkit {

// Every frame of the file as packed red, green, blue bytes, in file order
// (no frames dropped or repeated). Throws std::runtime_error with a clear
// message when the tool is missing or fails.
std::vector<ByteVec> ffmpeg_decode_rgb(const std::string &path, uint32_t width, uint32_t height);

// Single-quoted for the shell.
std::string shell_quote(const std::string &s);

} // namespace vex::testkit
