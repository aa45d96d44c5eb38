// A test-pattern animation: moving shapes over a scrolling background,
// palette cycling, noise, still stretches and a single-colour frame, at any
// size (odd widths included). Every frame is a pure function of its index,
// so tests, benchmarks and the sample files draw the same pictures.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vex::testkit {

using Palette = std::array<uint8_t, 768>;

struct Frame8 {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels; // width x height, rows exactly width apart
  Palette palette{};
};

struct PatternOptions {
  uint32_t width = 320;
  uint32_t height = 200;
  uint32_t frames = 24;
  uint32_t seed = 1;
  bool shapes = true;     // a rectangle and a disc that move
  bool scroll = true;     // diagonal stripes that move 3 pixels a frame
  bool cycle = false;     // a band of colours 200..231 whose entries rotate each frame
  bool noise = false;     // a block of random pixels redrawn each frame
  bool noise_full = false;// every pixel random (whole-picture noise)
  bool stills = false;    // frames 8-11, 20-23, ... repeat the frame before them
  bool solid = false;     // frame 1 (the second) is a single colour
  uint8_t solid_colour = 0;
  bool six_bit = false;   // palette components representable in 0..63 (x 255/63)
};

class PatternAnimation {
public:
  explicit PatternAnimation(const PatternOptions &o) : o_(o) {}
  const PatternOptions &options() const { return o_; }
  uint32_t frames() const { return o_.frames; }
  Frame8 frame(uint32_t i) const;

private:
  PatternOptions o_;
};

// Spreads a 6-bit component over 0..255 as FLI readers do: 63 -> 255.
inline uint8_t expand6(uint8_t v) { return static_cast<uint8_t>(v << 2 | v >> 4); }

// Red, green, blue bytes of a picture through its palette (rows pitch apart
// in the source, packed in the result).
std::vector<uint8_t> to_rgb(const uint8_t *pixels, uint32_t width, uint32_t height, uint32_t pitch,
                            const uint8_t *palette);

} // namespace vex::testkit
