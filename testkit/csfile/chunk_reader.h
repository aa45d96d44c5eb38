// An independent reader of compressed-sound chunk streams, written from
// the chunk layout alone: its own parsing of the frame words, bit reading
// and table reading through the testkit's Huffman reader, delta
// reconstruction, and transform blocks through the library's decoder.
// Throws std::runtime_error on anything malformed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct AUDIODEC;

namespace vex::testkit {

enum class ChunkKind { raw, huffman, transform };

struct ChunkStreamFormat {
  ChunkKind kind = ChunkKind::huffman;
  uint32_t rate = 22050, bits = 16, channels = 1;
};

struct ChunkSummary {
  uint32_t offset = 0;    // of the chunk in the stream
  uint32_t size = 0;      // the size word
  uint32_t pcm_bytes = 0; // the PCM count word; raw chunks: size - 4 (padding included)
  uint32_t variant = 0;   // Huffman chunks: the 3-bit variant
  uint32_t blocks = 0;    // transform chunks: coded blocks
  uint64_t stream_bits = 0; // Huffman chunks: bits of the bit stream before the alignment
};

class ChunkReader {
public:
  explicit ChunkReader(const ChunkStreamFormat &format);
  ~ChunkReader();
  ChunkReader(const ChunkReader &) = delete;
  ChunkReader &operator=(const ChunkReader &) = delete;

  // Decodes the chunk at the start of bytes (more may follow) and appends
  // its PCM (little-endian, the stream's format) to pcm.
  ChunkSummary read(std::span<const uint8_t> bytes, std::vector<uint8_t> &pcm);

private:
  ChunkSummary read_huffman(std::span<const uint8_t> chunk, std::vector<uint8_t> &pcm) const;
  ChunkSummary read_transform(std::span<const uint8_t> chunk, std::vector<uint8_t> &pcm);

  ChunkStreamFormat format_;
  AUDIODEC *decoder_ = nullptr; // transform streams: kept across chunks
};

struct DecodedStream {
  std::vector<uint8_t> pcm;
  std::vector<ChunkSummary> chunks;
};

// Every chunk of a stream that holds nothing else.
DecodedStream read_chunk_stream(std::span<const uint8_t> bytes, const ChunkStreamFormat &format);

} // namespace vex::testkit
