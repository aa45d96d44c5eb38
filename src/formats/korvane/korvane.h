// The Korvane movie reader (".kvn"): 8-bit palettised video in 4x4 blocks
// coded with four Huffman trees, a palette that changes per frame by delta,
// and up to seven sound tracks (raw PCM, delta-coded PCM, or blocks of the
// transform codec). Internal to the library: the graphics and sound sources
// call it through a KORVA handle.
//
// The file layout is described in korvane_format.h.
//
// Only whole 4x4 blocks are coded: with a side that is not a multiple of 4
// the last columns or rows of the destination are left as they were.
// Interlaced and doubled movies are reported at twice the stored height.
// The delta work area of the sound belongs to the handle, so two movies can
// be read at once.
#pragma once

#include <cstdint>
#include <memory>

#include "formats/korvane/korvane_format.h"

namespace vex::file {
class ByteSource;
}
namespace vex::formats::korvane {
struct Reader; // everything behind the public fields
// KorvaGetSound's mask bit of track 0 (track t: kTrackBit << t).
inline constexpr uint32_t kTrackBit = 0x2000;
} // namespace vex::formats::korvane

struct KORVA {
  // Read by the sources.
  uint32_t header[vex::formats::korvane::kHeaderWords];
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

// The movie from the start of `source`, which the reader keeps (a copy:
// the caller's stays usable). A source that is not open (the caller's open
// failed and recorded why) gives null. buffer_size 0 picks the default
// read-ahead; movies whose records fit in it (rounded up to 4096, at least
// 8192, times 5/4) are read into memory at open and the reader lets its
// copy of the file go (korvane_storage.h).
// Null, with the reason recorded, for a picture outside the library's
// limits (util/limits.h), no frames, vertical mode 6, a frame's sound above
// 16 MiB, or tables, trees or records that pass the end of the file.
KORVA *KorvaOpen(vex::file::ByteSource source, uint32_t buffer_size);
void KorvaClose(KORVA *k);

// Decodes the video of the current frame into the destination set by
// KorvaToBuffer. 0 when done; 1 when the frame is refused (no destination,
// a record whose chunks do not fit, a palette chunk that stops early, runs
// past the last block, an empty tree used, data that runs out; pixels
// already written stay, nothing outside the picture is touched).
uint32_t KorvaDoFrame(KORVA *k);
// The same judgement without a destination: 0 when KorvaDoFrame would
// decode the current frame whole, 1 (the reason recorded) when it would
// refuse it. Nothing is written; a caller checks the first frame this way
// before it allocates a picture of the size the header gives.
uint32_t KorvaCheckFrame(KORVA *k);

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
// (kTrackBit << track) is in the mask, into out, which must hold the
// track's largest decoded size (header word kHdrSoundSize + track). Bytes
// written; 0 without chunk, for a chunk that does not decode (one that
// claims more than it holds, or more than the track's largest size), or
// when the decoder cannot be opened; a compressed chunk whose decoded size
// is 0 or -1 returns it.
int32_t KorvaGetSound(KORVA *k, void *out, uint32_t track_mask);

