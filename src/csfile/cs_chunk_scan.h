// Reading a chunk stream back (CSFileScan): the frame words of its chunks
// one at a time, and the coding of the stream as a whole. Every size is
// checked against what is left of the source before anything behind it
// is read; the source is read through a window of fixed size, so memory
// does not grow with the stream.
#pragma once

#include <cstdint>
#include <vector>

#include "file/byte_source.h"
#include "file/read_window.h"
#include "vexutil/csfile.h"

namespace vex::csfile {

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
  // The channel count at which the chunk's body is a run of coded blocks of
  // the transform codec that decodes to its count, trying `rate` (0: not
  // known) and then the common rates; 0 when none fits. Where the layout
  // found is that of both mono at one common rate and stereo at another,
  // the decoded sound decides.
  uint32_t transform_channels(const ChunkHead &c, uint32_t rate);
  // A read the system refused has happened (recorded as the thread's reason).
  bool failed() const { return failed_; }

private:
  // Also the first decoded samples into `samples` when it is given.
  bool blocks_tile(const ChunkHead &c, uint32_t rate, uint32_t channels, std::vector<int16_t> *samples = nullptr);
  bool fetch(uint64_t offset, size_t n, std::span<const uint8_t> &out);

  const file::ByteSource &source_;
  file::ReadWindow window_;
  bool ready_ = false;
  bool failed_ = false;
};

// Walks every chunk and fills the record's summary (every field but
// state); false when the source refused a read.
bool scan_stream(ChunkWalk &walk, bool raw, uint32_t rate, CSSCAN &out);

// A chunk as the stream's coding shows it.
CSCHUNK chunk_view(const ChunkHead &c, const CSSCAN &stream);

} // namespace vex::csfile
