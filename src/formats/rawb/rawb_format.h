// The raw frame file (".raw") as the reader and the testkit's writer both
// see it.
//
// Layout (little-endian):
//   offset 0   "RAWB"
//   offset 4   frame count (u32)
//   offset 8   width (u32), offset 12 height (u32)
//   offset 16  speed (s32): s <= 0 is -s milliseconds per frame,
//              s > 0 is s units of 10 us per frame
//   offset 20  frame records back to back. A record is a 32-bit tag:
//              tag 0 is followed by a palette of 256 x red, green, blue
//              and another tag (any number of times); tag 1 is followed by
//              width x height bytes of 8-bit pixels, rows top first and
//              not padded, which ends the record.
#pragma once

#include <array>
#include <cstdint>

namespace vex::formats::rawb {

inline constexpr std::array<uint8_t, 4> kMagic = {'R', 'A', 'W', 'B'};
inline constexpr uint32_t kHeaderBytes = 20;
inline constexpr uint32_t kTagPalette = 0;
inline constexpr uint32_t kTagPixels = 1;
inline constexpr uint32_t kTagBytes = 4;
inline constexpr uint32_t kPaletteBytes = 256 * 3;

} // namespace vex::formats::rawb
