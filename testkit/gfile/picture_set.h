// Real pictures for the palette tests and benchmarks, decoded by the ffmpeg
// tool: the photos that Debian's python3-skimage installs (not part of this
// repository; found where the package puts them, or under
// VEXUTIL_PHOTO_DIR), frames of a real movie shipped by python3-imageio,
// and frames of the tool's own test sources, which are always there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "palette/palette_histogram.h"

namespace vex::testkit {

struct Picture {
  std::string name;
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb; // top-down, red, green, blue per pixel
};

// The folder holding the photos, when it is there.
std::optional<std::string> photo_dir();
// The photos used by the tests and benchmarks, by file name.
const std::vector<std::string> &photo_names();
// Decodes a still picture (PNG, JPEG) to RGB; throws when it cannot.
Picture load_picture(const std::string &path);
// The movie file, when it is there.
std::optional<std::string> movie_file();
// `count` frames of a movie, `step` frames apart from the first.
std::vector<Picture> movie_frames(const std::string &path, uint32_t count, uint32_t step);
// One frame of an ffmpeg test source ("mandelbrot", "testsrc2", ...).
Picture test_source_frame(const std::string &source, uint32_t width, uint32_t height);

// The picture's 6-bit histogram (2^18 counters).
std::vector<uint32_t> picture_histogram(const Picture &p);
// Nearest palette entry (8-bit Euclidean distance, lowest entry on ties)
// for every pixel: the picture as 8-bit indices.
std::vector<uint8_t> map_to_palette(const Picture &p, const uint8_t *palette, uint32_t entries);
// Back to RGB through the palette.
std::vector<uint8_t> indices_to_rgb(const std::vector<uint8_t> &indices, const uint8_t *palette);

} // namespace vex::testkit
