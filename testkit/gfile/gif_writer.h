// GIF files for tests, written with giflib: pictures of any rectangle, with
// or without a local colour table, each with its control block (delay,
// disposal, transparent index).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit::gif {

using Rgb = std::array<uint8_t, 3>;

struct Picture {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> indices; // width x height, top row first
  std::vector<Rgb> local;       // empty: no local table
  int delay = 10;               // hundredths of a second
  int disposal = 0;
  int transparent = -1;
  bool interlace = false;
};

struct Animation {
  int width = 0, height = 0;
  std::vector<Rgb> global; // empty: no global table
  int background = 0;
  std::vector<Picture> pictures;
};

// Writes the file; throws std::runtime_error when giflib refuses.
void write_gif(const std::string &path, const Animation &a);

// A table of n colours that differ from one another, shifted by `seed`.
std::vector<Rgb> colours(size_t n, int seed);
// A picture of w x h whose indices cycle through `count` values from `first`.
Picture pattern(int left, int top, int w, int h, uint8_t first, uint8_t count);

} // namespace vex::testkit::gif
