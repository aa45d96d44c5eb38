// The chunks of a stream decoded in order into PCM, a piece at a time, with
// the library's own coders: raw chunks as they are (padding included),
// Huffman-coded deltas through the table decoder of huff/, transform
// blocks through the codec's decoder, which carries its window overlap
// from chunk to chunk. Memory does not grow with a chunk or with the
// stream: bodies are read through a window of fixed size and a piece is at
// most one coded block or a few thousand sample frames.
//
// Chunk layouts: vexutil/csfile.h. Every chunk is checked against what is
// left of it before anything of it is used; a chunk that does not decode
// ends the stream there, and damage() says where and why.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "file/read_window.h"
#include "huff/huff_decoder.h"
#include "sound_chunks/chunk_scan.h"

struct AUDIODEC;

namespace vex::sound_chunks {

class ChunkDecoder {
public:
  // `stream` as the scan found it, its coding raw, Huffman or transform
  // (for raw chunks with the caller's bits and channels). The source stays
  // the caller's and must outlive the decoder.
  ChunkDecoder(const file::ByteSource &source, const StreamSummary &stream);
  ~ChunkDecoder();
  ChunkDecoder(const ChunkDecoder &) = delete;
  ChunkDecoder &operator=(const ChunkDecoder &) = delete;

  // False when memory for the window or the codec ran out (the reason
  // recorded).
  bool ready() const { return ready_; }
  // Up to `space` bytes of PCM into dest; fewer only at the end of the
  // chunks the scan counted, or where a chunk stops decoding (what it
  // decoded before that comes first).
  uint32_t read(uint8_t *dest, uint32_t space);
  // Back to the first chunk (damage() is kept).
  void rewind();
  // "" while every chunk decoded; else the first chunk that did not, by
  // number (from 1) and offset, and why.
  const std::string &damage() const { return damage_; }

private:
  bool produce();
  bool start_chunk();
  bool start_huffman();
  bool raw_piece();
  bool huffman_piece();
  bool transform_piece();
  bool fetch(uint64_t offset, uint64_t n, std::span<const uint8_t> &out);
  bool damaged(const char *format, ...) __attribute__((format(printf, 2, 3)));
  void next_chunk();

  const file::ByteSource &source_;
  StreamSummary stream_;
  ChunkWalk walk_;
  file::ReadWindow window_;
  bool ready_ = false;
  bool ended_ = false;
  std::string damage_;

  uint64_t next_offset_ = 0; // of the chunk after the current one
  uint64_t number_ = 0;      // of the current chunk, from 1
  bool in_chunk_ = false;
  ChunkHead chunk_;
  uint64_t at_ = 0;   // raw and transform: the next byte of the body
  uint64_t left_ = 0; // raw and transform: PCM bytes the chunk still gives

  // Huffman chunks.
  uint32_t frame_bytes_ = 0;
  uint64_t bit_ = 0;                   // the next bit, counted from the body's first
  uint64_t frames_left_ = 0;           // after the first
  std::array<uint32_t, 2> previous_{}; // each channel's last sample, modulo 2^bits
  std::unique_ptr<std::array<huff::Table8, 4>> tables_;

  AUDIODEC *codec_ = nullptr; // transform chunks

  std::vector<uint8_t> pending_; // PCM decoded and not yet read
  size_t pending_at_ = 0;
};

} // namespace vex::sound_chunks
