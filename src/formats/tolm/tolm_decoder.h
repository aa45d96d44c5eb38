// The Tolm frame decoder as the movie reader uses it.
//
// One call decodes the video data of one frame into caller-owned planes.
// The decoder keeps no state between calls and allocates nothing: every work
// area lives on the stack or in the nine caller-supplied bundle buffers.
//
// Plane layout of a frame buffer (padded luma width W, a multiple of 16, and
// padded height H): luma W x H at offset 0, chroma 1 (W/2 x H/2, pitch W/2)
// at W*H, chroma 2 at W*H + (W/2)*(H/2). Alpha planes are separate W x H
// buffers. Each plane is decoded over the picture size rounded up to 8
// (chroma: half the picture size, rounded up, then rounded up to 8).
//
// Bounds: the decoder never reads outside `data` nor writes outside the
// planes, the block map ((W/16) bytes per macroblock row, H/16 rows) or the
// bundle buffers, whatever the data says; what it had to cut, clamp or skip
// is reported as VEX_TOLM_FAULT_ bits (include/vexutil/formats.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vexutil/formats.h"

namespace vex::formats::tolm {

inline constexpr int kTolmBundleCount = 9;

struct TolmFrameArgs {
  uint8_t *target = nullptr;          // frame buffer to decode into
  const uint8_t *reference = nullptr; // previous frame; null: the target itself
  uint8_t *target_alpha = nullptr;
  const uint8_t *reference_alpha = nullptr;
  uint8_t *block_map = nullptr;       // may be null
  uint32_t width = 0, height = 0;     // decoded picture size
  uint32_t padded_width = 0, padded_height = 0; // W and H
  std::span<const uint8_t> data;      // the frame's video data
  void *const *bundles = nullptr;     // nine buffers sized by ExpandBundleSizes(W)
  uint32_t decoder_flags = 0;         // VEX_TOLM_DECODE_*
  uint32_t video_flags = 0;           // VEX_TOLM_VIDEO_*
  // A dry run: the frame is read as a decode would read it, faults and
  // all, and nothing is written (the targets and references are ignored).
  bool dry = false;
};

// Decodes one frame; returns 0 or VEX_TOLM_FAULT_ bits.
uint32_t TolmExpandFrame(const TolmFrameArgs &args);

// Byte sizes of the nine bundle buffers for padded luma width W.
void TolmBundleSizes(uint32_t sizes[kTolmBundleCount], uint32_t padded_width);

} // namespace vex::formats::tolm
