// The bytes of small chunks worked out by hand from the chunk layout, the
// bit order of the buffered file and the table layout of the Huffman
// encoder; and the CSFILE record's layout as C sees it.
#include <gtest/gtest.h>

#include <cstddef>

#include "cs_writer_harness.h"


namespace {

using Bytes = std::vector<uint8_t>;
using vex::csfile::CsOptions;

// One put of the whole source, Huffman variants at quality 0.
Bytes one_chunk(Bytes pcm, uint32_t bits, uint32_t channels, uint32_t prefix = 0, bool raw = false) {
  CsOptions o;
  o.raw_storage = raw;
  const auto n = static_cast<uint32_t>(pcm.size());
  return write_stream(memory_source(std::move(pcm), 11025, bits, channels), o, fixed_count(n), 1, prefix).bytes;
}

TEST(CsChunkBytes, RawChunkOfOneEightBitSampleIsEightBytes) {
  // Size word, the sample, three zero bytes.
  EXPECT_EQ(one_chunk({0x5A}, 8, 1, 0, true), (Bytes{8, 0, 0, 0, 0x5A, 0, 0, 0}));
}

// A chunk of a single frame: the variant, one table bit 0 per table (no
// statistics), the frame's bytes through the byte write at a bit offset,
// then alignment. Each byte b written at bit offset k emits
// (b << k | held) & 255 and holds b >> (8 - k).
TEST(CsChunkBytes, SingleFrameChunksHoldVariantEmptyTablesAndTheFrame) {
  // 8-bit mono 0x5A: bits 1,0,0 + one 0 -> k 4, held 0x1; 0x5A -> A1, held 05.
  EXPECT_EQ(one_chunk({0x5A}, 8, 1), (Bytes{12, 0, 0, 0, 1, 0, 0, 0, 0xA1, 0x05, 0, 0}));
  // 8-bit stereo L 0x11 R 0x22: bits 1,1,0 + two 0 -> k 5, held 0x3; right
  // first: 0x22 -> 43 (held 04), 0x11 -> 24 (held 02), alignment 02.
  EXPECT_EQ(one_chunk({0x11, 0x22}, 8, 2), (Bytes{12, 0, 0, 0, 2, 0, 0, 0, 0x43, 0x24, 0x02, 0}));
  // 16-bit mono 0x1234: bits 1,0,1 + two 0 -> k 5, held 0x5; high byte
  // first: 0x12 -> 45 (held 02), 0x34 -> 82 (held 06), alignment 06.
  EXPECT_EQ(one_chunk({0x34, 0x12}, 16, 1), (Bytes{12, 0, 0, 0, 2, 0, 0, 0, 0x45, 0x82, 0x06, 0}));
  // 16-bit stereo L 0x1234 R 0xABCD: bits 1,1,1 + four 0 -> k 7, held 0x07;
  // right high AB -> 87, right low CD -> D5, left high 12 -> 66, left low
  // 34 -> 09, alignment 1A; 13 bytes padded to 16.
  EXPECT_EQ(one_chunk({0x34, 0x12, 0xCD, 0xAB}, 16, 2),
            (Bytes{16, 0, 0, 0, 4, 0, 0, 0, 0x87, 0xD5, 0x66, 0x09, 0x1A, 0, 0, 0}));
}

TEST(CsChunkBytes, DeltaTablesAndCodesFollowTheFirstFrame) {
  // 8-bit mono 0x80, 0x81: the one delta 1 gives a one-leaf table (bit 1,
  // leaf bit 0, symbol 0x01 as a byte, closing 0) and codes of 0 bits.
  // Bits 1,0,0,1,0 hold 0x09 at k 5; 0x01 -> 29; closing 0 -> k 6; first
  // sample 0x80 -> 00 (held 20); alignment 20.
  EXPECT_EQ(one_chunk({0x80, 0x81}, 8, 1), (Bytes{12, 0, 0, 0, 2, 0, 0, 0, 0x29, 0x00, 0x20, 0}));

  // 16-bit stereo, frames (L 0x0100, R 0x0000) and (L 0x0103, R 0xFFFF):
  // deltas L 0x0003, R 0xFFFF, so tables left low {03}, left high {00},
  // right low {FF}, right high {FF}, all single leaves:
  //   111 | 1 0 03 0 -> 6F, k 6 | 1 0 -> 40, 00 byte, 0 -> k 1
  //   1 0 FF -> FA (held 07), 0 -> k 4 | 1 0 FF -> D7 (held 3F), 0 -> k 7
  //   first frame R high 00 -> 3F, R low 00 -> 00, L high 01 -> 80, L low 00 -> 00
  //   alignment 00: 10 bytes, chunk of 18 padded to 20.
  EXPECT_EQ(one_chunk({0x00, 0x01, 0x00, 0x00, 0x03, 0x01, 0xFF, 0xFF}, 16, 2),
            (Bytes{20, 0, 0, 0, 8, 0, 0, 0, 0x6F, 0x40, 0x00, 0xFA, 0xD7, 0x3F, 0x00, 0x80, 0x00, 0x00, 0, 0}));
}

TEST(CsChunkBytes, PaddingCountsFromTheChunkStartNotTheFile) {
  for (uint32_t prefix : {1u, 2u, 3u, 5u}) {
    SCOPED_TRACE(prefix);
    EXPECT_EQ(one_chunk({0x5A}, 8, 1, prefix), (Bytes{12, 0, 0, 0, 1, 0, 0, 0, 0xA1, 0x05, 0, 0}));
    EXPECT_EQ(one_chunk({0x5A, 0x5B}, 8, 1, prefix, true), (Bytes{8, 0, 0, 0, 0x5A, 0x5B, 0, 0}));
  }
}

} // namespace
