// Counting colours for palette building.
//
// The histogram holds one unsigned 32-bit counter per 6-bit colour bucket
// (palette_tables.h); counters wrap modulo 2^32 like the rest of the
// format's counters. Pixels are reduced to 6 bits per channel:
//   8 and 4 bits: through the palette, each component's top 6 bits;
//   16 bits (5-5-5, red in bits 10-14, bit 15 ignored): the 5 bits become
//     the top 5 of the 6;
//   24 bits (blue, green, red bytes) and 32 bits (blue, green, red, any):
//     the top 6 bits of each component.
// 4-bit rows hold two pixels per byte, the low nibble first.
//
// The usage counts say how many pixels of the previously delivered 8-bit
// frame show each palette index; palette placement keeps the entries that
// many pixels show as close to their old colour as it can.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "palette/palette_tables.h"

namespace vex::palette {

using Histogram = std::span<uint32_t, kBucketCount>;
using UsageCounts = std::array<uint32_t, kPaletteEntries>;

// A zeroed histogram's storage (1 MB).
std::vector<uint32_t> make_histogram();

// One row each; the pixel count is what the row holds (row.size() / bytes
// per pixel), except for 4-bit rows, which say how many pixels they hold
// (at most 2 x row.size(); more is clipped to that).
void count_row4(Histogram h, std::span<const uint8_t> row, uint32_t pixels, ConstPalette palette);
void count_row8(Histogram h, std::span<const uint8_t> row, ConstPalette palette);
void count_row16(Histogram h, std::span<const uint8_t> row);
void count_row24(Histogram h, std::span<const uint8_t> row);
void count_row32(Histogram h, std::span<const uint8_t> row);

// The visible window of a source frame: `height` rows of `width` pixels,
// the first at `first_row`, each `pitch` bytes after the previous one (the
// pitch is negative for frames stored bottom-up). depth is 4, 8, 16, 24 or
// 32; palette is needed for 4 and 8. The window lies in the source's own
// frame buffer, which the source sized for it.
struct PixelWindow {
  const uint8_t *first_row = nullptr;
  ptrdiff_t pitch = 0;
  uint32_t width = 0, height = 0;
  uint32_t depth = 0;
  const uint8_t *palette = nullptr;
};
// False (nothing counted) for an unknown depth or a missing palette.
bool count_window(Histogram h, const PixelWindow &w);

// The black that stands for the parts of the output the source does not
// cover: (visible width + uncovered width + |origin x|) x uncovered height
// + (uncovered width + |origin y|) x visible height pixels, added to bucket
// 0. The product is taken in 64 bits and wraps into the counter.
void add_uncovered_black(Histogram h, uint32_t visible_width, uint32_t visible_height, uint32_t uncovered_width,
                         uint32_t uncovered_height, int32_t origin_x, int32_t origin_y);

// The previous output frame seen from a source with signed crop origin
// (origin_x, origin_y) and uncovered size: the indices of width x height
// pixels, rows `pitch` apart, starting at row -origin_y when origin_y is
// negative (row 0 otherwise); plus (|origin x| + uncovered width) x height
// + (width + uncovered width) x (|origin y| + uncovered height) to index 0.
// Rows or pixels that would lie past the end of `frame` are not read.
UsageCounts count_usage(std::span<const uint8_t> frame, uint32_t pitch, uint32_t width, uint32_t height,
                        int32_t origin_x, int32_t origin_y, uint32_t uncovered_width, uint32_t uncovered_height);

} // namespace vex::palette
