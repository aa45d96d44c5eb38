#include "ogfile/frame_copy.h"

#include <cstddef>
#include <cstring>

#include "util/cpu_clones.h"

namespace vex::ogfile {

namespace {

void expand_row(const uint8_t *src, uint8_t *dst, int32_t width, const uint8_t *palette) {
  for (int32_t x = 0; x < width; ++x) {
    const uint8_t *rgb = palette + src[x] * 3;
    dst[x * 3] = rgb[2];
    dst[x * 3 + 1] = rgb[1];
    dst[x * 3 + 2] = rgb[0];
  }
}

// Byte by byte: the compiler turns this into shuffles, which a 3-byte
// memcpy per pixel keeps it from. Built for AVX2 as well; the loader picks.
VEX_AVX2_CLONES void colour_row(const uint8_t *__restrict src, uint8_t *__restrict dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    dst[x * 3] = src[x * 4];
    dst[x * 3 + 1] = src[x * 4 + 1];
    dst[x * 3 + 2] = src[x * 4 + 2];
  }
}

} // namespace

void copy_frame(const FrameRows &from, const Picture &to) {
  const ptrdiff_t src_pitch = static_cast<ptrdiff_t>(from.pitch_pixels) * (from.true_colour ? 4 : 1);
  for (int32_t y = 0; y < from.height; ++y) {
    const uint8_t *src = from.pixels + y * src_pitch;
    uint8_t *dst = to.last_row + static_cast<ptrdiff_t>(y) * to.pitch;
    if (from.true_colour)
      colour_row(src, dst, from.width);
    else if (to.depth == 24)
      expand_row(src, dst, from.width, from.palette);
    else
      std::memcpy(dst, src, static_cast<size_t>(from.width));
  }
}

void palette_to_table(const uint8_t *palette, uint8_t *table) {
  for (int i = 0; i < 256; ++i) {
    table[i * 4] = palette[i * 3 + 2];
    table[i * 4 + 1] = palette[i * 3 + 1];
    table[i * 4 + 2] = palette[i * 3];
    table[i * 4 + 3] = 0;
  }
}

} // namespace vex::ogfile
