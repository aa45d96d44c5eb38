// Where the palette of 8-bit output comes from, and when a new one is due.
//
// Interim: until the palette countdown and the palette source arrive, the
// analysed path builds one palette from the first delivered frame and
// keeps it for the whole source. palette_due() and build_new_palette()
// are the two places that change when they do.
#pragma once

#include <optional>

#include "gfile/graphics_source.h"

namespace vex::gfile {

// The source's own palettes are passed through: no palette file, analysis
// mode 0, a source of at most 8 bits and a palette period of at least
// 32000.
bool passes_palette_through(const GFILE &g);

// A new palette must be built before this frame is converted.
bool palette_due(const GFILE &g);

// Builds it into the output palette from the visible window of the current
// frame, or from the first frame of the palette file when there is one;
// sets the palette-built flag. True when an entry of the usable range
// changed (the remap table and the colour cache are then stale); nothing
// when the palette file cannot be opened ("Error opening palette graphics
// file." has gone to the callback).
std::optional<bool> build_new_palette(GFILE &g);

} // namespace vex::gfile
