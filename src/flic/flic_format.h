// Layout of FLIC files shared by the reader, the writer and the chunk
// scanner: header field offsets, chunk header sizes, little-endian access.
#pragma once

#include <cstdint>

#include "util/bytes.h"
#include "vexutil/flic.h"

namespace vex::flic {

// Byte offsets of the 128-byte file header fields.
namespace hdr {
constexpr uint32_t file_size = 0;  // 4
constexpr uint32_t magic = 4;      // 2
constexpr uint32_t frames = 6;     // 2, ring frame not counted
constexpr uint32_t width = 8;      // 2
constexpr uint32_t height = 10;    // 2
constexpr uint32_t depth = 12;     // 2, bits per pixel
constexpr uint32_t flags = 14;     // 2
constexpr uint32_t speed = 16;     // 4: ms per frame (FLC), 1/70 s ticks (FLI)
constexpr uint32_t creator = 26;   // 4: this library's exact rate (negative, 10 us units)
constexpr uint32_t aspect_x = 38;  // 2
constexpr uint32_t aspect_y = 40;  // 2
constexpr uint32_t frame1 = 80;    // 4, FLC only
constexpr uint32_t frame2 = 84;    // 4
} // namespace hdr

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
