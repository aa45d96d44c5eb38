// The 4x4 block video of a Korvane frame record. Blocks in raster order;
// each symbol v of the type tree starts a run of blocks of one type:
// type v & 3, run length kRunLength[(v >> 2) & 63], extra byte v >> 8.
//   0 mono:  a colour pair (low byte for 0 bits, high byte for 1 bits) and a
//            16-bit map, bit k = pixel k % 4 of row k / 4;
//   1 full:  per row two values of the full tree, the second's bytes are
//            pixels 0 and 1, the first's pixels 2 and 3. Version 4 files
//            first read a bit (1 = doubled: two values, each byte doubled
//            across, the first value fills rows 0-1, the second rows 2-3)
//            and, when 0, a second bit (1 = half height: two rows, each
//            written twice);
//   2 void:  unchanged;
//   3 solid: all 16 pixels take the extra byte.
// Runs continue across block rows. Only whole blocks are coded: the columns
// and rows past the last whole block of a width or height that is not a
// multiple of 4 are left as they were.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "formats/korvane/korvane_format.h"
#include "formats/korvane/korvane_tree.h"

namespace vex::formats::korvane {

struct Destination {
  uint8_t *top_left = nullptr;
  uint32_t blocks_per_row = 0;
  uint32_t block_rows = 0;
  size_t pitch = 0;         // bytes between destination rows
  uint32_t vertical = 0;    // 0, kInterlaced or kDoubled
  bool version4 = false;    // full blocks carry the doubled / half-height bits
};

// Decodes one frame's video. False when the data is corrupt (a run past the
// last block, an empty tree used, or more bits read than there are); what
// was decoded until then stays in the destination, and nothing outside the
// picture is written.
bool decode_video(const VideoTrees &trees, const uint8_t *data, uint32_t size, const Destination &dest);
// Whether decode_video would succeed on a picture of that many blocks,
// found by reading the data without writing anything: a reader checks the
// first frame this way before it allocates a picture the header asked for.
bool video_decodes(const VideoTrees &trees, const uint8_t *data, uint32_t size, uint32_t blocks_per_row,
                   uint32_t block_rows, bool version4);

} // namespace vex::formats::korvane
