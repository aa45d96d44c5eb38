#include "common/chunk_stream.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "audio_codec/audio_codec.h"

namespace vex::tools {
namespace {

uint32_t le32(const uint8_t *p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Bytes per sample frame of a delta variant (bit 1 stereo, bit 2 16-bit).
uint32_t variant_frame(uint32_t v) { return ((v & 2) ? 2 : 1) * ((v & 4) ? 2 : 1); }

const char *variant_text(uint32_t v) {
  static const char *const kText[8] = {"", "8-bit mono", "", "8-bit stereo", "", "16-bit mono", "", "16-bit stereo"};
  return kText[v & 7];
}

// Whether the chunk body (behind its two words) is a run of coded blocks of
// the transform codec at this rate class and channel count: the blocks
// must end within the padding and decode to the count word, give or take
// one window.
bool blocks_tile(const uint8_t *body, uint32_t size, uint32_t pcm_bytes, uint32_t rate, uint32_t channels) {
  std::unique_ptr<AUDIODEC, void (*)(void *)> dec(AudioDecOpen(rate, channels, 1), AudioCodecFree);
  if (!dec)
    return false;
  const uint8_t *at = body, *end = body + size;
  uint64_t decoded = 0;
  uint32_t window = 0;
  while (end - at > 3) {
    const int16_t *pcm = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    if (AudioDecBlock(dec.get(), &pcm, &bytes, at, static_cast<uint32_t>(end - at), &next) != 1 || !next ||
        next <= at)
      return false;
    decoded += bytes;
    window = bytes;
    at = next;
  }
  return decoded >= pcm_bytes && decoded < uint64_t{pcm_bytes} + window + 1;
}

// Channels of a transform chunk, 0 when it is none.
uint32_t transform_channels(const std::vector<uint8_t> &bytes, const ChunkInfo &c, uint32_t rate) {
  const uint32_t rates[] = {rate, 8000, 11025, 16000, 22050, 32000, 44100, 48000};
  for (uint32_t r : rates)
    for (uint32_t ch : {1u, 2u})
      if (r != 0 && blocks_tile(&bytes[c.offset + 8], c.size - 8, c.pcm_bytes, r, ch))
        return ch;
  return 0;
}

} // namespace

bool is_chunk_stream_name(const std::string &name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos)
    return false;
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == kChunkExtension;
}

ChunkStreamInfo scan_chunk_stream(const std::vector<uint8_t> &bytes, bool raw, uint32_t rate) {
  ChunkStreamInfo s;
  size_t at = 0;
  bool all_huffman = true;
  uint32_t variant = 0;
  while (bytes.size() - at >= 8) {
    const uint32_t size = le32(&bytes[at]);
    if (size < 8 || size % 4 != 0 || size > bytes.size() - at)
      break;
    ChunkInfo c{static_cast<uint32_t>(at), size, le32(&bytes[at + 4]), 0};
    const uint32_t v = size > 8 ? bytes[at + 8] & 7u : 0u;
    const bool huffman_like = (v & 1) && c.pcm_bytes > 0 && c.pcm_bytes % variant_frame(v) == 0 &&
                              (variant == 0 || v == variant);
    if (huffman_like) {
      c.variant = v;
      variant = v;
    }
    all_huffman = all_huffman && huffman_like;
    s.chunks.push_back(c);
    at += size;
  }
  s.trailing = static_cast<uint32_t>(bytes.size() - at);
  s.coding = raw ? ChunkCoding::raw : all_huffman && !s.chunks.empty() ? ChunkCoding::huffman
                                                                         : ChunkCoding::transform_or_raw;
  // Coded blocks that fill the first chunk exactly make it a transform
  // stream, whatever its first byte looks like.
  if (!raw && !s.chunks.empty()) {
    s.transform_channels = transform_channels(bytes, s.chunks.front(), rate);
    if (s.transform_channels != 0)
      s.coding = ChunkCoding::transform;
  }
  for (ChunkInfo &c : s.chunks) {
    if (s.coding != ChunkCoding::huffman)
      c.variant = 0;
    if (s.coding == ChunkCoding::raw)
      c.pcm_bytes = c.size - 4;
    s.pcm_bytes += c.pcm_bytes;
    s.chunk_bytes += c.size;
  }
  return s;
}

void describe_chunk_stream(std::FILE *to, const ChunkStreamInfo &s, uint32_t rate, bool per_chunk) {
  // The sample rate is never recorded; Huffman chunks give width and
  // channels, transform chunks the channels (they are always 16-bit).
  std::fprintf(to, "  format   compressed sound chunks\n");
  uint32_t frame = 0; // bytes per sample frame, when known
  switch (s.coding) {
  case ChunkCoding::huffman: {
    const uint32_t v = s.chunks.front().variant;
    frame = variant_frame(v);
    std::fprintf(to, "  coding   Huffman-coded deltas, %s (variant %u)\n", variant_text(v), v);
    break;
  }
  case ChunkCoding::transform:
    frame = 2 * s.transform_channels;
    std::fprintf(to, "  coding   transform codec, 16-bit %s (the blocks decode at that channel count)\n",
                 s.transform_channels == 2 ? "stereo" : "mono");
    break;
  case ChunkCoding::transform_or_raw:
    std::fprintf(to, "  coding   unknown: neither Huffman-coded deltas nor coded blocks (raw PCM? give /X)\n");
    break;
  case ChunkCoding::raw:
    std::fprintf(to, "  coding   raw PCM (/X): width and channels unknown, padding counted as sound\n");
    break;
  }
  std::fprintf(to, "  chunks   %zu\n", s.chunks.size());
  if (s.coding == ChunkCoding::transform_or_raw) {
    std::fprintf(to, "  sound    unknown PCM bytes in %llu bytes of chunks\n",
                 static_cast<unsigned long long>(s.chunk_bytes));
    return;
  }
  const double ratio = s.chunk_bytes ? static_cast<double>(s.pcm_bytes) / static_cast<double>(s.chunk_bytes) : 0;
  std::fprintf(to, "  sound    %llu bytes of PCM in %llu bytes of chunks (ratio %.2f:1)\n",
               static_cast<unsigned long long>(s.pcm_bytes), static_cast<unsigned long long>(s.chunk_bytes), ratio);
  if (rate == 0)
    std::fprintf(to, "  rate     unknown: a chunk stream does not record it (give /R<Hz>)\n");
  else if (frame == 0)
    std::fprintf(to, "  rate     %u Hz (from /R); length unknown without the sample width\n", rate);
  else
    std::fprintf(to, "  rate     %u Hz (from /R): %llu sample frames, %.3f s\n", rate,
                 static_cast<unsigned long long>(s.pcm_bytes / frame), static_cast<double>(s.pcm_bytes) / frame / rate);
  if (s.trailing)
    std::fprintf(to, "  trailing %u bytes that are no whole chunk\n", s.trailing);
  if (!per_chunk)
    return;
  for (size_t i = 0; i < s.chunks.size(); ++i) {
    const ChunkInfo &c = s.chunks[i];
    std::fprintf(to, "  chunk %zu at %u: %u bytes, %u PCM bytes", i + 1, c.offset, c.size, c.pcm_bytes);
    if (c.variant)
      std::fprintf(to, ", variant %u (%s)", c.variant, variant_text(c.variant));
    std::fprintf(to, "\n");
  }
}

} // namespace vex::tools
