// The chunk layout of a FLIC file, for tools that describe files and for
// feeding other decoders one frame chunk at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "vexutil/flic.h"

namespace vex::flic {

struct ChunkInfo {
  uint32_t type;
  uint32_t size; // as stored, header included
};

struct FrameInfo {
  uint32_t offset;          // file position of the frame chunk
  uint32_t size;            // as stored, header included
  uint32_t type;            // 0xF1FA for frames
  uint32_t declared_chunks; // sub-chunk count of the header
  std::vector<ChunkInfo> chunks; // those whose headers lie inside the frame data
  bool ring;                // the frame after the counted ones
  bool truncated;           // the file ends inside the frame
};

// Walks the frame chunks from frame 1: the counted frames and, when a frame
// chunk follows them, the ring frame. Stops at the end of the file. The
// handle is rewound afterwards (the next decode gives frame 1).
std::vector<FrameInfo> scan_frames(VEXFLIC *h);

// The magic of the open file (0xAF11 or 0xAF12), which the handle does not
// keep; the read position is left where it was.
uint32_t file_magic(VEXFLIC *h);
// Name of a sub-chunk type as the format calls it ("BYTE_RUN"), or null.
const char *chunk_name(uint32_t type);

} // namespace vex::flic
