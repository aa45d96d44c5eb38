#include "testkit/csfile/chunk_reader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>

#include "audio_codec/audio_codec.h"
#include "testkit/huff/huff_reader.h"

namespace vex::testkit {
namespace {

uint32_t word(std::span<const uint8_t> b, size_t at) {
  return b[at] | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

void fail(const std::string &what) { throw std::runtime_error("chunk stream: " + what); }

// Layout of a Huffman chunk's variant number.
struct Variant {
  uint32_t bits, channels;
};
Variant parse_variant(uint32_t v) {
  if ((v & 1) == 0)
    fail("variant " + std::to_string(v) + " has bit 0 clear");
  return {(v & 4) ? 16u : 8u, (v & 2) ? 2u : 1u};
}

} // namespace

ChunkReader::ChunkReader(const ChunkStreamFormat &format) : format_(format) {
  if (format_.bits != 8 && format_.bits != 16)
    fail("bits must be 8 or 16");
  if (format_.channels != 1 && format_.channels != 2)
    fail("channels must be 1 or 2");
  if (format_.kind == ChunkKind::transform && format_.bits != 16)
    fail("transform chunks carry 16-bit sound");
}

ChunkReader::~ChunkReader() { AudioCodecFree(decoder_); }

ChunkSummary ChunkReader::read(std::span<const uint8_t> bytes, std::vector<uint8_t> &pcm) {
  if (bytes.size() < 4)
    fail("no room for a size word");
  const uint32_t size = word(bytes, 0);
  if (size % 4 != 0)
    fail("size " + std::to_string(size) + " is not a multiple of 4");
  if (size < 8)
    fail("size " + std::to_string(size) + " holds no sound");
  if (size > bytes.size())
    fail("size " + std::to_string(size) + " runs past the stream");
  const auto chunk = bytes.first(size);
  switch (format_.kind) {
  case ChunkKind::raw: {
    pcm.insert(pcm.end(), chunk.begin() + 4, chunk.end());
    ChunkSummary s;
    s.size = size;
    s.pcm_bytes = size - 4;
    return s;
  }
  case ChunkKind::huffman: return read_huffman(chunk, pcm);
  default: return read_transform(chunk, pcm);
  }
}

ChunkSummary ChunkReader::read_huffman(std::span<const uint8_t> chunk, std::vector<uint8_t> &pcm) const {
  ChunkSummary s;
  s.size = static_cast<uint32_t>(chunk.size());
  s.pcm_bytes = word(chunk, 4);
  BitSource in(chunk.subspan(8));
  s.variant = in.bits(3);
  const Variant v = parse_variant(s.variant);
  if (v.bits != format_.bits || v.channels != format_.channels)
    fail("variant " + std::to_string(s.variant) + " does not match the stream's format");
  const uint32_t sample_bytes = v.bits / 8;
  const uint32_t frame_bytes = sample_bytes * v.channels;
  if (s.pcm_bytes == 0 || s.pcm_bytes % frame_bytes != 0)
    fail("PCM count " + std::to_string(s.pcm_bytes) + " is not a whole number of frames");

  // One table per byte of a frame; a chunk of one frame has none.
  std::array<std::optional<HuffTree>, 4> tables;
  for (uint32_t t = 0; t < frame_bytes; ++t)
    tables[t] = read_table8(in);

  // The first frame comes as plain bytes, last byte of the frame first.
  std::array<uint8_t, 4> frame{};
  for (uint32_t b = 0; b < frame_bytes; ++b)
    frame[frame_bytes - 1 - b] = static_cast<uint8_t>(in.bits(8));
  const size_t first_out = pcm.size();
  pcm.insert(pcm.end(), frame.begin(), frame.begin() + frame_bytes);

  // Each channel adds its delta (little-endian over its bytes) to its own
  // last sample, modulo 2^bits.
  const uint32_t modulus_mask = v.bits == 8 ? 0xFFu : 0xFFFFu;
  const uint32_t frames = s.pcm_bytes / frame_bytes;
  for (uint32_t i = 1; i < frames; ++i) {
    for (uint32_t t = 0; t < frame_bytes; ++t) {
      if (!tables[t])
        fail("a delta byte has no table");
      const uint32_t symbol = decode8(*tables[t], in);
      if (symbol > 0xFF)
        fail("symbol above 255");
      frame[t] = static_cast<uint8_t>(symbol);
    }
    const size_t previous = first_out + static_cast<size_t>(i - 1) * frame_bytes;
    for (uint32_t c = 0; c < v.channels; ++c) {
      uint32_t p = 0, d = 0;
      for (uint32_t k = 0; k < sample_bytes; ++k) {
        p |= uint32_t{pcm[previous + c * sample_bytes + k]} << (8 * k);
        d |= uint32_t{frame[c * sample_bytes + k]} << (8 * k);
      }
      const uint32_t sample = (p + d) & modulus_mask;
      for (uint32_t k = 0; k < sample_bytes; ++k)
        pcm.push_back(static_cast<uint8_t>(sample >> (8 * k)));
    }
  }
  if (in.overrun())
    fail("bit stream runs past the chunk");

  // Zero bits to the byte, then zero bytes to a multiple of 4.
  s.stream_bits = in.position();
  while (in.position() % 8 != 0)
    if (in.bit() != 0)
      fail("alignment bits are not zero");
  const size_t used = 8 + in.position() / 8;
  if (used > chunk.size() || chunk.size() - used >= 4)
    fail("padding of " + std::to_string(chunk.size() - used) + " bytes");
  if (std::any_of(chunk.begin() + static_cast<std::ptrdiff_t>(used), chunk.end(), [](uint8_t b) { return b != 0; }))
    fail("padding bytes are not zero");
  return s;
}

ChunkSummary ChunkReader::read_transform(std::span<const uint8_t> chunk, std::vector<uint8_t> &pcm) {
  ChunkSummary s;
  s.size = static_cast<uint32_t>(chunk.size());
  s.pcm_bytes = word(chunk, 4);
  if (!decoder_)
    decoder_ = AudioDecOpen(format_.rate, format_.channels, 1);
  if (!decoder_)
    fail("AudioDecOpen failed");
  std::vector<uint8_t> decoded;
  const uint8_t *at = chunk.data() + 8;
  const uint8_t *end = chunk.data() + chunk.size();
  while (at < end) {
    const int16_t *out = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    if (AudioDecBlock(decoder_, &out, &bytes, at, static_cast<uint32_t>(end - at), &next) != 1)
      fail("a coded block runs past the chunk");
    const auto *b = reinterpret_cast<const uint8_t *>(out);
    decoded.insert(decoded.end(), b, b + bytes);
    at = next;
    ++s.blocks;
  }
  if (decoded.size() < s.pcm_bytes)
    fail("PCM count " + std::to_string(s.pcm_bytes) + " exceeds the " + std::to_string(decoded.size()) +
         " bytes the blocks decode to");
  pcm.insert(pcm.end(), decoded.begin(), decoded.begin() + s.pcm_bytes);
  return s;
}

DecodedStream read_chunk_stream(std::span<const uint8_t> bytes, const ChunkStreamFormat &format) {
  DecodedStream d;
  ChunkReader reader(format);
  size_t at = 0;
  while (at < bytes.size()) {
    ChunkSummary s = reader.read(bytes.subspan(at), d.pcm);
    s.offset = static_cast<uint32_t>(at);
    d.chunks.push_back(s);
    at += s.size;
  }
  return d;
}

} // namespace vex::testkit
