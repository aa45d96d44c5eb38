// Palette chunks for the testkit's Korvane writer: keep runs of unchanged
// entries, copies of runs found elsewhere in the old palette, and explicit
// 6-bit entries. A key chunk spells out all 256 entries so that it decodes
// after a seek whatever palette the reader held.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vex::testkit::korvane {

using Palette768 = std::array<uint8_t, 768>;

struct PaletteCounts {
  uint32_t keeps = 0, copies = 0, entries = 0;
};

// The palette a reader can hold for `p`: components cut to 6 bits and
// widened back as 4 v + (v >> 4).
Palette768 representable(const Palette768 &p);

// The chunk (length byte, operations, zero padding to a multiple of 4)
// that turns `old` into representable(target).
std::vector<uint8_t> palette_chunk(const Palette768 &target, const Palette768 &old, bool key, PaletteCounts &counts);

} // namespace vex::testkit::korvane
