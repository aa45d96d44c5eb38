// The Korvane movie reader (".kvn"): 8-bit palettised video in 4x4 blocks
// coded with four Huffman trees, a palette that changes per frame by delta,
// and up to seven sound tracks (raw PCM, delta-coded PCM, or blocks of the
// transform codec). Internal to the library: the graphics and sound sources
// call it through a KORVA handle.
//
// File layout (little-endian):
//   header, 26 32-bit words (see kHdr* below);
//   frame-size table, (frames + ring) words: bits 2-31 the record size in
//     bytes, bits 0-1 flags;
//   frame-type table, one byte per frame: bit 0 = palette chunk, bit k
//     (1..7) = a chunk for sound track k - 1;
//   the packed tree block (header word 13 bytes);
//   the frame records back to back.
#pragma once

#include <cstdint>
#include <memory>

#include "vexutil/api.h"

namespace vex::formats::korvane {
struct Reader; // everything behind the public fields
}

extern "C" {

constexpr uint32_t KORVA_HEADER_WORDS = 26;
constexpr uint32_t KORVA_TRACKS = 7;
constexpr uint32_t KORVA_BY_HANDLE = 0x1000; // the first argument is an open descriptor
constexpr uint32_t KORVA_TRACK_BIT = 0x2000; // KorvaGetSound mask bit of track 0

// Header words.
enum : uint32_t {
  kHdrMagic = 0,
  kHdrWidth = 1,
  kHdrHeight = 2, // the stored height; the reported height doubles with a vertical mode
  kHdrFrames = 3,
  kHdrSpeed = 4,       // >0 ms per frame, <0 minus the period in 10 us units, 0 unspecified
  kHdrFlags = 5,       // bit 0 ring frame; bits 1-2 vertical mode (2 interlaced, 4 doubled)
  kHdrSoundSize = 6,   // 7 words: largest decoded sound of one frame, per track
  kHdrTreeBytes = 13,  // size of the packed tree block
  kHdrTreeSizes = 14,  // 4 words: unpacked sizes (informative, not trusted)
  kHdrSoundFormat = 18 // 7 words: sound format per track
};

// Sound format word.
constexpr uint32_t KORVA_RATE_MASK = 0x00FFFFFF;
constexpr uint32_t KORVA_TRANSFORM = 1u << 27;
constexpr uint32_t KORVA_STEREO = 1u << 28;
constexpr uint32_t KORVA_16BIT = 1u << 29;
constexpr uint32_t KORVA_COMPRESSED = 1u << 31;

// Vertical modes (header flags & 6).
constexpr uint32_t KORVA_INTERLACED = 2;
constexpr uint32_t KORVA_DOUBLED = 4;

struct KORVA {
  // Read by the sources.
  uint32_t header[KORVA_HEADER_WORDS];
  uint32_t width;      // pixels
  uint32_t height;     // reported height: twice the stored one with a vertical mode
  uint32_t frames;     // without the ring frame
  uint32_t period;     // frame period in 10 us units (0 unspecified)
  uint32_t frame;      // current frame, 0-based; == frames while on the ring frame
  uint32_t frame_size; // byte size of the current frame record
  uint8_t palette[768];    // current palette, R, G, B, 8 bits each
  uint8_t palette_changed; // the last move applied a palette chunk
  uint8_t frame_bad;       // the current record's chunks do not fit in it
  std::unique_ptr<vex::formats::korvane::Reader> reader;
};

// `source` is a file name, or with flags KORVA_BY_HANDLE an open descriptor
// (pass korva_handle_arg(fd)) positioned at the movie's start: its position
// becomes the base offset, it is never closed, and its position is left
// alone. buffer_size 0 picks the default read-ahead. Null on failure.
KORVA *KorvaOpen(const void *source, uint32_t flags, uint32_t buffer_size);
void KorvaClose(KORVA *k);

// Decodes the video of the current frame into the destination set by
// KorvaToBuffer. 0 when done; 1 when the frame is refused (no destination,
// a corrupt record, or data that does not decode; pixels already written
// stay, nothing outside the destination is touched).
uint32_t KorvaDoFrame(KORVA *k);

// Moves to the next record and parses it. After the last frame: the ring
// frame when the file has one (then frame 1, the second), else frame 0.
// 0 when the record could not be read.
uint32_t KorvaNextFrame(KORVA *k);

// Positions on a frame, 1-based (0 is the first frame as well); the current
// frame does nothing. 0 when the frame does not exist or cannot be read.
uint32_t KorvaGoto(KORVA *k, uint32_t frame);

// Destination of KorvaDoFrame: 8-bit palette indices, the picture's top-left
// pixel at buffer + top * pitch + left. The picture must fit in pitch x
// height bytes. A null buffer releases the description. Flags must be 0.
// 1 when set, 0 when refused.
uint32_t KorvaToBuffer(KORVA *k, uint32_t left, uint32_t top, uint32_t pitch, uint32_t height, uint8_t *buffer,
                       uint32_t flags);

// The current frame's sound of the lowest track whose bit
// (KORVA_TRACK_BIT << track) is in the mask, into out, which must hold the
// track's largest decoded size (header word kHdrSoundSize + track). Bytes
// written; 0 without chunk, for a chunk that does not decode, or when the
// decoder cannot be opened; a compressed chunk whose decoded size is 0 or -1
// returns it.
int32_t KorvaGetSound(KORVA *k, void *out, uint32_t track_mask);

} // extern "C"

inline const void *korva_handle_arg(int fd) { return reinterpret_cast<const void *>(static_cast<intptr_t>(fd)); }
