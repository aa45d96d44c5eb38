// Decoders of the sub-chunks of a FLIC frame. Every decoder reads only
// inside the span it is given (the sub-chunk's body as its size declares
// it, cut at the end of the frame) and writes only inside the picture's width x height
// pixels or the 256-entry palette, whatever the data says.
#pragma once

#include <cstdint>
#include <span>

namespace vex::flic {

struct Picture {
  uint8_t *pixels; // top row first
  uint32_t pitch;  // bytes from one row to the next
  uint32_t width;
  uint32_t height;
};

using Bytes = std::span<const uint8_t>;

// Palette packets (COLOR_256, or COLOR_64 with six_bit components 0..63).
void decode_palette(Bytes data, uint8_t *palette, bool six_bit);
void decode_delta_flc(Bytes data, const Picture &pic);
void decode_delta_fli(Bytes data, const Picture &pic);
void decode_black(const Picture &pic);
void decode_byte_run(Bytes data, const Picture &pic);
void decode_copy(Bytes data, const Picture &pic);

// Decodes up to count sub-chunks of one frame's data in order; unknown
// types are passed over. True when a palette sub-chunk was decoded.
bool decode_frame(Bytes data, uint32_t count, const Picture &pic, uint8_t *palette);

} // namespace vex::flic
