// Sound chunks of Korvane frame records. A chunk is a 32-bit length L (the
// length word included) and a body: PCM for an uncompressed track; for a
// compressed one a 32-bit decoded size D (0 or -1: nothing) and the coded
// data.
//
// Delta-coded data, one bit stream: a data-present bit (0 = nothing), a
// stereo bit, a 16-bit bit; per delta stream one unused bit and a byte tree
// (8-bit mono: one stream; 16-bit mono: low, high; 8-bit stereo: left,
// right; 16-bit stereo: left low, left high, right low, right high); the
// starting samples (stereo: right first; 16-bit values high byte first),
// which are the first output; then per sample, left before right, the
// deltas: 8-bit samples wrap, 16-bit samples add the low-byte delta plus
// 256 times the high-byte delta, modulo 65536.
#pragma once

#include <array>
#include <cstdint>

#include "formats/korvane/korvane_tree.h"

namespace vex::formats::korvane {

// Trees of one delta-coded chunk, kept between calls to save allocations.
struct DeltaWork {
  std::array<Tree, 4> trees;
};

// Decodes `decoded` bytes from the coded data [data, data + size) into out.
// Returns the bytes written: 0 when the data-present bit is clear, and 0
// (refused) when the data is malformed or runs short. A count that ends
// inside a sample frame gives that frame's leading bytes as decoded;
// nothing at or past out + decoded is written.
uint32_t decode_delta_sound(DeltaWork &work, const uint8_t *data, uint32_t size, uint32_t decoded, uint8_t *out);

} // namespace vex::formats::korvane
