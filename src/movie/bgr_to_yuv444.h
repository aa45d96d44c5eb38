// 24-bit bitmap rows (blue, green, red; bottom-up, as the AVI writer keeps
// them) into full-range 4:4:4 planes (JPEG's YCbCr, top row first), the
// layout a Motion JPEG encoder takes from RGB frames without losing colour:
//   Y  =  0.299 R + 0.587 G + 0.114 B
//   Cb = -0.168736 R - 0.331264 G + 0.5 B + 128
//   Cr =  0.5 R - 0.418688 G - 0.081312 B + 128
// in 16-bit fixed point, rounded to nearest (halves of Cb and Cr down, so
// that pure blue and pure red stay within 255).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vex::movie {

// rows: the bitmap's first row in memory (the picture's bottom row),
// `pitch` bytes apart. planes/linesize: Y, Cb, Cr of width x height.
void bgr_to_yuv444(const uint8_t *rows, ptrdiff_t pitch, int width, int height, uint8_t *const planes[3],
                   const int linesize[3]);

} // namespace vex::movie
