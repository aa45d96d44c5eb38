#include "formats/korvane/korvane_palette.h"

#include <algorithm>
#include <cstring>

namespace vex::formats::korvane {

uint32_t palette_chunk_length(const uint8_t *p, uint32_t left) {
  if (left == 0)
    return 0;
  const uint32_t n = p[0] * 4u;
  return n <= left ? n : 0;
}

bool apply_palette_delta(const uint8_t *chunk, uint32_t length, uint8_t *palette) {
  uint8_t old[768];
  std::memcpy(old, palette, sizeof old);
  uint32_t at = 1; // after the length byte
  uint32_t c = 0;
  while (c < 256) {
    if (at >= length)
      return false;
    const uint32_t b = chunk[at++];
    if (b >= 0x80) {
      c += (b & 0x7F) + 1; // the new palette started as a copy of the old
    } else if (b >= 0x40) {
      if (at >= length)
        return false;
      const uint32_t s = chunk[at++];
      // A copy that would run past the last entry stops there.
      const uint32_t n = std::min({(b & 0x3F) + 1, 256 - c, 256 - s});
      std::memcpy(palette + 3 * c, old + 3 * s, 3 * n);
      c += (b & 0x3F) + 1;
    } else {
      if (length - at < 2)
        return false;
      palette[3 * c] = widen6(b);
      palette[3 * c + 1] = widen6(chunk[at]);
      palette[3 * c + 2] = widen6(chunk[at + 1]);
      at += 2;
      ++c;
    }
  }
  return true;
}

} // namespace vex::formats::korvane
