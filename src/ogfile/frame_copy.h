// Copying a frame (rows top first) into a bottom-up picture of 8 or 24
// bits: 8-bit frames keep their indices at 8 bits or are expanded through
// the palette at 24; 32-bit frames give their blue, green and red bytes.
#pragma once

#include <cstdint>

namespace vex::ogfile {

struct FrameRows {
  const uint8_t *pixels;  // top row first
  int32_t width, height;
  int32_t pitch_pixels;   // between row starts
  bool true_colour;       // 4 bytes a pixel, blue, green, red, x
  const uint8_t *palette; // 256 x red, green, blue (8-bit frames)
};

struct Picture {
  uint8_t *last_row; // where the frame's top row goes
  int32_t pitch;     // bytes between rows; negative for bottom-up storage
  int32_t depth;     // 8 or 24
};

void copy_frame(const FrameRows &from, const Picture &to);

// The palette as a colour table: entry i = blue, green, red, 0.
void palette_to_table(const uint8_t *palette, uint8_t *table);

} // namespace vex::ogfile
