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
// The widest converter the processor has (AVX2, else SSE2, else plain),
// capped by set_simd_level.
void convert_row_simd(const SourceRow &row, const RowFormat &format, uint32_t *out);
bool simd_available();

// 0 plain only, 1 up to SSE2, 2 up to AVX2 (the default is the most the
// processor has). Tests use it to run every path on one machine.
void set_simd_level(int level);

// Two rows that share their chroma row (the second may be null): chroma
// terms are computed once for both.
void convert_row_pair_simd(const SourceRow &row, const SourceRow &second, const RowFormat &format, uint32_t *out,
                           uint32_t *second_out);

// Whole 32-pixel groups of a row (and optionally a second row with the same
// chroma) that starts on an even chroma phase; returns the source pixels done.
bool avx2_available();
int32_t convert_groups_avx2(const SourceRow &row, const SourceRow *second, const RowFormat &format, uint32_t *out,
                            uint32_t *second_out);

} // namespace vex::yuv
