#include "palette/colour_match.h"

#include <cstdlib>

#include "palette/palette_tables.h"

namespace vex::palette {

std::array<uint8_t, 256> build_remap(const uint8_t (*source)[3], const uint8_t (*output)[3], UsableRange r) {
  std::array<uint8_t, 256> remap{};
  for (uint32_t i = 0; i < 256; ++i) {
    const int32_t red = source[i][0], green = source[i][1], blue = source[i][2];
    const uint32_t start = i >= r.first && i - r.first < r.count ? i - r.first : 0;
    int64_t best = INT64_MAX;
    uint32_t winner = r.first + start;
    for (uint32_t k = 0; k < r.count; ++k) {
      const uint32_t j = r.first + (start + k) % r.count;
      const int32_t dr = red - output[j][0], dg = green - output[j][1], db = blue - output[j][2];
      const int64_t d = int64_t{dr * dr + dg * dg + db * db} * 256 + std::abs(static_cast<int32_t>(i - j));
      if (d < best) {
        best = d;
        winner = j;
        if (d == 0)
          break;
      }
    }
    remap[i] = static_cast<uint8_t>(winner);
  }
  return remap;
}

uint8_t NearestColour::search(uint32_t r6, uint32_t g6, uint32_t b6) const {
  uint32_t best = UINT32_MAX, winner = 0;
  for (uint32_t k = 0; k < range_.count; ++k) {
    const uint8_t *e = palette_[range_.first + k];
    const uint32_t d = kSquaredDifference[r6 * 64 + (e[0] >> 2u)] + kSquaredDifference[g6 * 64 + (e[1] >> 2u)] +
                       kSquaredDifference[b6 * 64 + (e[2] >> 2u)];
    if (d < best) {
      best = d;
      winner = k;
      if (d == 0)
        break;
    }
  }
  return static_cast<uint8_t>(range_.first + winner);
}

} // namespace vex::palette
