// Compressed-sound chunk streams as files (extension ".vcs"): a stream is
// the chunks one after another, nothing else, so what a chunk does not say
// (the sample rate, and for raw chunks everything about the PCM) cannot be
// read from the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vex::tools {

inline constexpr const char *kChunkExtension = ".vcs";
bool is_chunk_stream_name(const std::string &name);

enum class ChunkCoding { huffman, transform, transform_or_raw, raw };

struct ChunkInfo {
  uint32_t offset = 0, size = 0;
  uint32_t pcm_bytes = 0; // the count word; raw chunks: size - 4, padding included
  uint32_t variant = 0;   // Huffman chunks: 1, 3, 5 or 7; else 0
};

struct ChunkStreamInfo {
  std::vector<ChunkInfo> chunks;
  ChunkCoding coding = ChunkCoding::transform_or_raw;
  uint32_t trailing = 0;   // bytes after the last whole chunk
  uint64_t pcm_bytes = 0;  // sum over the chunks
  uint64_t chunk_bytes = 0;
  uint32_t transform_channels = 0; // transform streams: the channel count the blocks decode at
};

// Walks the chunks of a stream. With raw set the chunks are taken as raw
// PCM. Otherwise a stream whose first chunk is a run of the transform
// codec's blocks (tried at `rate`, or at the common rates when 0, mono and
// stereo) is transform-coded; one whose every chunk carries a valid delta
// variant and a count of whole frames of it is Huffman-coded; anything else
// is unknown (raw PCM looks like anything).
ChunkStreamInfo scan_chunk_stream(const std::vector<uint8_t> &bytes, bool raw, uint32_t rate);

// The vexinfo description; rate 0 when not known.
void describe_chunk_stream(std::FILE *to, const ChunkStreamInfo &s, uint32_t rate, bool per_chunk);

} // namespace vex::tools
