// Building a new palette from a colour histogram: the part of palette
// analysis that follows the counting of frames.
//
// The system colours (unless the option is 2) go into entries 0-9 and
// 246-255, and the usable entries they cover are reserved: their colours
// get no box, and new colours go only into the entries between them. The
// histogram is then reduced to at most that many colours, which are placed
// into those entries against the previous frame's usage counts
// (palette_reduce.h, palette_place.h).
#pragma once

#include <cstdint>
#include <span>

#include "palette/palette_histogram.h"
#include "palette/palette_messages.h"
#include "palette/palette_place.h"
#include "palette/palette_tables.h"
#include "util/status.h"

namespace vex::palette {

enum class SystemColours : int32_t {
  kBuilt = 0,  // built palettes hold the system colours
  kAlways = 1, // passed-through palettes too (the same here)
  kNone = 2,   // no system colours
};

struct PaletteRequest {
  std::span<const uint32_t, kBucketCount> histogram;
  uint32_t first = 0;   // first usable entry
  uint32_t count = 256; // usable entries; first + count must not pass 256
  SystemColours system_colours = SystemColours::kBuilt;
  const UsageCounts *usage = nullptr; // null: no previous frame (all 0)
  Palette palette;                    // in: the current palette; out: the new one
  MessageFn talk;
};

struct PaletteOutcome {
  uint32_t colours = 0;       // colours the reduction made (0 for an empty histogram)
  uint32_t low = 0, high = 0; // usable entries held by system colours at each end
  bool cancelled = false;     // the callback stopped the reduction early
  Placement placement = Placement::kNone;
};

// kInvalidArgument (and nothing changed) when the usable range passes the
// end of the palette or the system-colours option is unknown. An empty
// histogram (after the reserved colours) leaves the palette as it is
// beyond the system colours, and says nothing.
util::Status build_palette(const PaletteRequest &request, PaletteOutcome &outcome);

} // namespace vex::palette
