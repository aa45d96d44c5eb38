// The Huffman delta variants of a compressed-sound chunk: each channel's
// samples become deltas from that channel's previous decoded sample, and
// every byte of a frame's deltas (in the frame's own little-endian order:
// left low, left high, right low, right high) is a symbol of its own 8-bit
// Huffman table, so a frame of k bytes uses k tables.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "csfile/cs_delta_tables.h"
#include "csfile/pcm_source.h"
#include "vexutil/file.h"
#include "vexutil/huff.h"

namespace vex::csfile {

// 3 bits: bit 0 always set, bit 1 stereo, bit 2 16-bit.
constexpr uint32_t delta_variant(const PcmFormat &f) {
  return 1u | (f.channels == 2 ? 2u : 0u) | (f.bits == 16 ? 4u : 0u);
}

// The delta symbols of every frame after the first, frame_bytes per frame
// in table order. Samples are taken modulo 2^bits; a masked delta is kept
// only while the sample it decodes to (unsigned for 8-bit, signed for
// 16-bit) stays within the threshold of the source sample.
void delta_symbols(std::span<const uint8_t> pcm, const PcmFormat &f, const DeltaLimits &limits,
                   std::vector<uint8_t> &symbols);

// Work space of the delta coder, kept from chunk to chunk.
struct DeltaScratch {
  std::vector<uint8_t> symbols; // the deltas' bytes
  std::vector<uint8_t> coded;   // their codes
};

// Writes the bit stream of a Huffman chunk for whole frames of pcm: the
// variant, the tables (tables[0 .. frame_bytes - 1], each an 8-bit HUFF
// whose output is `out`), the first frame, the deltas' codes, then byte
// alignment.
void write_delta_stream(VEXFILE *out, std::span<HUFF *const> tables, std::span<const uint8_t> pcm,
                        const PcmFormat &f, const DeltaLimits &limits, DeltaScratch &scratch);

} // namespace vex::csfile
