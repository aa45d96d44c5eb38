// Delta masks and error thresholds of the Huffman delta variants, by
// quality. The tens digit d picks the mask and the threshold row; the units
// digit u moves the threshold a tenth of the way towards the next row per
// step: T[d] + (T[d + 1] - T[d]) * u / 10 (integer division).
#pragma once

#include <array>
#include <cstdint>

namespace vex::csfile {

struct DeltaRow {
  uint32_t mask8, threshold8, mask16, threshold16;
};

// Row 10 only completes the threshold interpolation of row 9.
inline constexpr std::array<DeltaRow, 11> kDeltaRows{{
    // mask8  T8  mask16  T16
    {0xFF, 0, 0xFFFF, 0},
    {0xFE, 1, 0xFFFC, 4},
    {0xFE, 2, 0xFFF8, 8},
    {0xFC, 2, 0xFFF0, 16},
    {0xFC, 3, 0xFFC0, 64},
    {0xF8, 6, 0xFF80, 128},
    {0xF8, 8, 0xFF00, 256},
    {0xF0, 12, 0xFE00, 512},
    {0xF0, 16, 0xFC00, 1024},
    {0xE0, 24, 0xF800, 2048},
    {0x00, 32, 0x0000, 3072},
}};

struct DeltaLimits {
  uint32_t mask;      // bits of a delta that are kept
  uint32_t threshold; // largest error a masked delta may leave
};

// quality 0-99 (larger counts as 99), bits 8 or 16.
constexpr DeltaLimits delta_limits(uint32_t quality, uint32_t bits) {
  const uint32_t q = quality > 99 ? 99 : quality;
  const DeltaRow &row = kDeltaRows[q / 10];
  const DeltaRow &next = kDeltaRows[q / 10 + 1];
  const uint32_t u = q % 10;
  if (bits == 8)
    return {row.mask8, row.threshold8 + (next.threshold8 - row.threshold8) * u / 10};
  return {row.mask16, row.threshold16 + (next.threshold16 - row.threshold16) * u / 10};
}

} // namespace vex::csfile
