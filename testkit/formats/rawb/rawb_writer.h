// The testkit's raw frame file writer: a header and one record per frame,
// each with an optional palette (or several) before its pixels.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vex::testkit::rawb {

using Palette = std::array<uint8_t, 768>; // 256 x red, green, blue

struct Frame {
  std::vector<uint8_t> pixels;   // width x height, rows top first, not padded
  std::vector<Palette> palettes; // written before the pixels, in order
};

struct Layout {
  uint32_t width = 0, height = 0;
  int32_t speed = -66;                 // as stored in the file
  std::optional<uint32_t> frame_count; // the header's count; frames.size() when unset
};

// The whole file. Pixels of a frame must hold width x height bytes.
std::vector<uint8_t> rawb_bytes(const Layout &layout, const std::vector<Frame> &frames);
// `count` frames of random pixels with random palettes on the first and
// third frames (two on the third: the second one counts), none on the others.
std::vector<Frame> random_frames(uint32_t width, uint32_t height, size_t count, std::mt19937 &rng);
// Writes rawb_bytes to `path`; throws std::runtime_error when it cannot.
void write_rawb(const std::string &path, const Layout &layout, const std::vector<Frame> &frames);

} // namespace vex::testkit::rawb
