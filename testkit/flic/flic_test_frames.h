// Small pieces for FLIC tests: hand-made frames and headers, a picture
// with guard bytes round it, frames that hit the encoders' limits, and the
// comparison of a FLIC file's frames with the frames it was made from.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testkit/flic/flic_bytes.h"

namespace vex::testkit {

// A header of `frames` frames of w x h (speed 70).
FlicHeader flic_header(uint16_t frames, uint16_t w = 4, uint16_t h = 2, uint16_t magic = VEXFLIC_MAGIC_FLC);
// A frame chunk of one raw (FLI_COPY) picture of w x h pixels of value v.
ByteVec raw_frame(uint8_t v, uint32_t w = 4, uint32_t h = 2);
// A frame chunk whose one-row BYTE_RUN writes pixel 0 with v and the rest
// of a row of `width` with 0.
ByteVec marker_frame(uint8_t v, uint16_t width);
// The frame with its size word replaced.
ByteVec with_size(ByteVec frame, uint32_t size);

// A picture of w x h inside a larger block: 4 guard columns right of every
// row, 2 guard rows below and 64 guard bytes before and after.
class GuardedPicture {
public:
  static constexpr uint8_t kGuard = 0xCC;
  GuardedPicture(uint32_t w, uint32_t h, uint8_t fill = 0);
  uint8_t *pixels() { return block_.data() + 64; }
  uint32_t pitch() const { return pitch_; }
  uint32_t width() const { return w_; }
  uint32_t height() const { return h_; }
  std::vector<uint8_t> row(uint32_t y) const;
  bool guards_intact() const;

private:
  uint32_t w_, h_, pitch_;
  std::vector<uint8_t> block_;
};

// A frame of w x h (rows w apart) made from `base` (or zeros) by changes
// that hit the encoders' limits: long runs (over 127), long unchanged
// stretches (over 254 bytes), alternating values, single changed bytes at
// the row ends, and noise.
std::vector<uint8_t> edge_frame(std::mt19937 &rng, uint32_t w, uint32_t h, const std::vector<uint8_t> *base);

// Where a FLIC file's frames differ from source frames (packed RGB of
// src_w x src_h): frame i of the file must be source frame frames[i]
// (1-based) seen through a w x h window at (x, y), its width rounded up to
// 4; pixels outside the source are not compared unless zero_outside, where
// they must be colour 0; the rate too unless 0. "" when they agree, else
// the first difference.
struct FlicWindow {
  std::vector<int> frames;
  int x = 0, y = 0, w = 0, h = 0;
  int32_t rate = 0;
  bool zero_outside = false;
};
std::string flic_differs(const std::string &path, const FlicWindow &want, const std::vector<ByteVec> &src, int src_w,
                         int src_h);

} // namespace vex::testkit
