// Expected pixels straight from the conversion formulas, in double precision
// with explicit truncation: independent of the library's tables and SIMD.
#pragma once

#include <cmath>
#include <cstdint>

namespace vex::testkit {

inline int trunc_div(double num) { return static_cast<int>(std::trunc(num / 32768.0)); }

inline uint32_t clamp255(int v) { return v < 0 ? 0u : v > 255 ? 255u : static_cast<uint32_t>(v); }

// Plane 1 drives red and green, plane 2 green and blue.
inline uint32_t expected_colour(int y, int c1, int c2, bool swap = false) {
  const int luma = y < 16 ? 0 : y > 235 ? 219 : y - 16;
  const int yt = trunc_div(luma * 38154.0);
  const uint32_t r = clamp255(yt + trunc_div(52299.0 * (c1 - 128)));
  const uint32_t g = clamp255(yt + trunc_div(12837.0 * (128 - c2)) + trunc_div(26639.0 * (128 - c1)));
  const uint32_t b = clamp255(yt + trunc_div(66101.0 * (c2 - 128)));
  return swap ? b << 16 | g << 8 | r : r << 16 | g << 8 | b;
}

inline uint32_t expected_grey(int y) {
  const uint32_t g = y <= 16 ? 0u : y >= 235 ? 255u : static_cast<uint32_t>(255 * (y - 16) / 219);
  return g * 0x010101u;
}

} // namespace vex::testkit
