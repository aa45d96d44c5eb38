#include "testkit/palette/colour_reference.h"

#include <climits>
#include <cstdlib>

namespace vex::testref {

std::vector<uint32_t> histogram_bgr(const std::vector<std::vector<uint8_t>> &frames) {
  std::vector<uint32_t> h(1u << 18);
  for (const auto &f : frames)
    for (size_t p = 0; p + 2 < f.size(); p += 3)
      ++h[(f[p + 2] >> 2u) << 12 | (f[p + 1] >> 2u) << 6 | f[p] >> 2u];
  return h;
}

int nearest6(const uint8_t (*palette)[3], const uint8_t *bgr, int first, int count) {
  int best = INT_MAX, at = -1;
  for (int e = first; e < first + count; ++e) {
    const int dr = (bgr[2] >> 2) - (palette[e][0] >> 2), dg = (bgr[1] >> 2) - (palette[e][1] >> 2),
              db = (bgr[0] >> 2) - (palette[e][2] >> 2);
    if (dr * dr + dg * dg + db * db < best) {
      best = dr * dr + dg * dg + db * db;
      at = e;
    }
  }
  return at;
}

uint32_t remap(const uint8_t *rgb, const uint8_t (*palette)[3], uint32_t i, uint32_t first, uint32_t count) {
  const uint32_t start = i >= first && i < first + count ? i - first : 0;
  int64_t best = INT64_MAX;
  uint32_t want = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t j = first + (start + k) % count;
    int64_t d = 0;
    for (int c = 0; c < 3; ++c)
      d += (int64_t{rgb[c]} - palette[j][c]) * (int64_t{rgb[c]} - palette[j][c]);
    d = d * 256 + std::llabs(int64_t{i} - j);
    if (d < best) {
      best = d;
      want = j;
    }
  }
  return want;
}

} // namespace vex::testref
