// Layout of FLIC files shared by the reader, the writer and the chunk
// scanner: header field offsets, chunk header sizes, little-endian access.
#pragma once

#include <cstdint>

#include "util/bytes.h"
#include "vexutil/flic.h"

namespace vex::flic {

// Byte offsets of the 128-byte file header fields.
constexpr uint32_t kHdrFileSize = 0;  // 4
constexpr uint32_t kHdrMagic = 4;      // 2
constexpr uint32_t kHdrFrames = 6;     // 2, ring frame not counted
constexpr uint32_t kHdrWidth = 8;      // 2
constexpr uint32_t kHdrHeight = 10;    // 2
constexpr uint32_t kHdrDepth = 12;     // 2, bits per pixel
constexpr uint32_t kHdrFlags = 14;     // 2
constexpr uint32_t kHdrSpeed = 16;     // 4: ms per frame (FLC), 1/70 s ticks (FLI)
constexpr uint32_t kHdrCreator = 26;   // 4: this library's exact rate (negative, 10 us units)
constexpr uint32_t kHdrAspectX = 38;  // 2
constexpr uint32_t kHdrAspectY = 40;  // 2
constexpr uint32_t kHdrFrame1 = 80;    // 4, FLC only
constexpr uint32_t kHdrFrame2 = 84;    // 4

constexpr uint32_t kHeaderSize = VEXFLIC_HEADER_SIZE;
constexpr uint32_t kFrameHeaderSize = 16; // size 4, type 2, sub-chunk count 2, reserved 8
constexpr uint32_t kChunkHeaderSize = 6;  // size 4, type 2
constexpr uint32_t kPaletteBytes = 768;
constexpr int32_t kFileBufferSize = 64000;

// Largest side the 16-bit header fields can hold.
constexpr uint32_t kMaxSide = 0xFFFF;

using util::le16;
using util::le32;
using util::put_le16;
using util::put_le32;

} // namespace vex::flic
