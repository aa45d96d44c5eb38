// Reading a chunk stream back (CSFileScan, and the sound source's reader of
// chunk streams): the frame words of its chunks one at a time, and the
// coding of the stream as a whole. Every size is
// checked against what is left of the source before anything behind it
// is read; the source is read through a window of fixed size, so memory
// does not grow with the stream.
#pragma once

#include <cstdint>
#include <vector>

#include "audio_codec/audio_codec.h"
#include "file/byte_source.h"
#include "file/read_window.h"

namespace vex::sound_chunks {

// The read window, of the scan and of the decoder: several codec blocks'
// worth, so that walking a body refills it seldom; a Huffman piece decodes
// from one fetch of it.
inline constexpr size_t kWindow = 64 * 1024;
// What one codec block is offered. No block reads past its worst-case
// size, so a block that is not complete within this is not complete
// within anything longer either.
inline constexpr uint32_t kBlockRoom = 2 * audio_codec::max_block_bytes(audio_codec::kMaxWindow);
static_assert(kBlockRoom <= kWindow);

// How a stream's chunks are coded (the values of CSSCAN_UNKNOWN ...
// CSSCAN_RAW).
enum class Coding : int32_t { unknown = 0, huffman = 1, transform = 2, raw = 3 };

// What the scan found; the fields of CSSCAN but `state`, and the rate.
struct StreamSummary {
  Coding coding = Coding::unknown;
  uint32_t channels = 0; // 1 or 2 when the coding tells, else 0
  uint32_t bits = 0;     // 8 or 16 when the coding tells, else 0
  uint32_t variant = 0;  // Huffman: the variant of every chunk
  uint32_t rate = 0;     // transform: the rate the blocks decode at; else 0
  uint64_t chunk_count = 0, chunk_bytes = 0, pcm_bytes = 0, trailing = 0;
};

// The frame words of one whole chunk.
struct ChunkHead {
  uint64_t offset = 0;
  uint32_t size = 0;  // the size word: 8 or more, a multiple of 4, within the source
  uint32_t count = 0; // the second word (Huffman and transform: the PCM bytes)
  uint32_t lead = 0;  // the first byte of the body (a Huffman chunk's variant in bits 0-2); 0 for none
};

class ChunkWalk {
public:
  // The source stays the caller's and must outlive the walk.
  explicit ChunkWalk(const file::ByteSource &source);
  // False when the read window cannot be had (the reason recorded).
  bool ready() const { return ready_; }
  uint64_t size() const { return source_.size(); }

  // The chunk at `offset` when a whole one starts there; false at the end
  // of the chunks, and also when the source refused a read (failed()).
  bool chunk_at(uint64_t offset, ChunkHead &c);
  // The rate and channel count at which the chunk's body is a run of coded
  // blocks of the transform codec that decodes to its count, trying `rate`
  // (0: not known) and then the common rates; channels 0 when none fits.
  // Where the layout found at a common rate is that of both mono at one
  // rate and stereo at another, the decoded sound decides.
  struct TransformFit {
    uint32_t rate = 0, channels = 0;
  };
  TransformFit transform_fit(const ChunkHead &c, uint32_t rate);
  // A read the system refused has happened (recorded as the thread's reason).
  bool failed() const { return failed_; }

private:
  // The decoded samples go to `samples` (up to a bound) when given.
  bool blocks_tile(const ChunkHead &c, uint32_t rate, uint32_t channels, std::vector<int16_t> *samples = nullptr);
  bool fetch(uint64_t offset, size_t n, std::span<const uint8_t> &out);

  const file::ByteSource &source_;
  file::ReadWindow window_;
  bool ready_ = false;
  bool failed_ = false;
};

// Walks every chunk and fills the summary; false when the source refused
// a read.
bool scan_stream(ChunkWalk &walk, bool raw, uint32_t rate, StreamSummary &out);

// The variant a chunk carries when it may be a Huffman chunk (an odd
// variant and a nonzero count of whole frames of it), else 0.
uint32_t huffman_variant(const ChunkHead &c);
// Bytes per sample frame of a delta variant (bit 1 stereo, bit 2 16-bit).
inline uint32_t variant_frame(uint32_t v) { return ((v & 2) ? 2 : 1) * ((v & 4) ? 2 : 1); }

} // namespace vex::sound_chunks
