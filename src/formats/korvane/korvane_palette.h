// The palette chunk of a Korvane frame record: its first byte times 4 is
// the chunk's length (that byte included); then, for palette index c from 0
// while c < 256, one of
//   b >= 0x80: keep (b & 0x7F) + 1 entries from c on;
//   0x40 <= b < 0x80, s: copy (b & 0x3F) + 1 entries of the palette as it
//     was before this chunk, from index s, to c on;
//   b < 0x40, g, b2: one entry of 6-bit red, green, blue, widened to 8 bits
//     as 4 v + (v >> 4).
#pragma once

#include <cstdint>

namespace vex::formats::korvane {

// Length of the palette chunk at p (at most `left` bytes available), or 0
// when it claims more than that or nothing at all.
uint32_t palette_chunk_length(const uint8_t *p, uint32_t left);

// Applies the chunk (its full length, length byte included) to the palette
// (256 R, G, B). False when the chunk ends before entry 255 is reached; the
// entries up to there are applied.
bool apply_palette_delta(const uint8_t *chunk, uint32_t length, uint8_t *palette);

inline uint8_t widen6(uint32_t v) { return static_cast<uint8_t>(4 * (v & 63) + ((v & 63) >> 4)); }

} // namespace vex::formats::korvane
