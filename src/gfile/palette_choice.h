// Where the palette of 8-bit output comes from, and when a new one is due.
//
// Passed through: the source's own palette (no palette file, analysis mode
// 0, a source of at most 8 bits, a palette period of at least 32000).
// Analysed: a countdown of frames runs; when it reaches 0 a palette source
// (a second source over the same input, or over the palette file) reads
// ahead and GFileBestPalette builds the palette that serves the next run of
// frames. With a palette split, successive palettes alternate between two
// usable ranges, so that the frame on screen keeps its entries while the
// next palette is loaded into the other ones.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "gfile/graphics_source.h"
#include "palette/palette_tables.h"

namespace vex::gfile {

bool passes_palette_through(const GFILE &g);

// A new palette must be built before this frame is converted; counts the
// frame against the running palette otherwise.
bool palette_due(GFILE &g);

// Builds the palette for the frames from this one on into the output
// palette and sets the palette-built flag. True when the usable range moved
// or one of its entries changed (the remap table and the colour cache are
// then stale); nothing when the palette source cannot be opened ("Error
// opening palette graphics file." has gone to the callback) or the
// callback cancelled its open or the analysis (the source is then
// cancelled: state->cancelled, the reason "cancelled").
std::optional<bool> build_new_palette(GFILE &g);

// The caller's previously shown 8-bit frame, for the usage counts.
struct PreviousFrame {
  std::span<const uint8_t> pixels; // empty: none
  uint32_t pitch = 0, width = 0, height = 0;
};
// The caller's output that its source does not cover (counted as black).
struct UncoveredArea {
  uint32_t width = 0, height = 0; // at the right and bottom edges
  int32_t origin_x = 0, origin_y = 0; // signed crop origin
};

// GFileBestPalette over a palette source `p`.
int32_t best_palette(GFILE &p, palette::Palette palette, const PreviousFrame &previous, const UncoveredArea &uncovered);

} // namespace vex::gfile
