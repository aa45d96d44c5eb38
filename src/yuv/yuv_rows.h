// Row converters: one source row to 32-bit pixels. The plain converter is
// the reference; the SIMD one gives the same bytes, faster.
#pragma once

#include <cstdint>

namespace vex::yuv {

struct SourceRow {
  const uint8_t *luma;   // at the first source pixel
  const uint8_t *c1;     // chroma plane 1 at sample (source x >> 1)
  const uint8_t *c2;     // chroma plane 2, likewise
  const uint8_t *alpha;  // at the first source pixel, or null for zero alpha
  int32_t phase;         // source x & 1: pixel i uses chroma sample (phase + i) >> 1
  int32_t width;         // source pixels
};

struct RowFormat {
  bool double_width; // each pixel written twice across
  bool grey;         // luma only
  bool swap;         // red and blue exchanged
};

void convert_row_plain(const SourceRow &row, const RowFormat &format, uint32_t *out);
// Falls back to the plain converter where the processor has no SIMD path.
void convert_row_simd(const SourceRow &row, const RowFormat &format, uint32_t *out);
bool simd_available();

} // namespace vex::yuv
