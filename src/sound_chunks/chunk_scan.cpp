#include "sound_chunks/chunk_scan.h"

#include <algorithm>
#include <memory>

#include "audio_codec/audio_codec.h"
#include "util/bytes.h"
#include "util/status.h"

namespace vex::sound_chunks {
namespace {

// The read window: several codec blocks' worth, so that walking a body
// refills it seldom.
constexpr size_t kWindow = 64 * 1024;
// What one codec block is offered. No block reads past its worst-case
// size, so a block that is not complete within this is not complete
// within anything longer either.
constexpr uint32_t kBlockRoom = 2 * audio_codec::max_block_bytes(audio_codec::kMaxWindow);
static_assert(kBlockRoom <= kWindow);

struct DecoderFree {
  void operator()(AUDIODEC *d) const { AudioCodecFree(d); }
};

} // namespace

uint32_t huffman_variant(const ChunkHead &c) {
  const uint32_t v = c.size > 8 ? c.lead & 7u : 0u;
  return (v & 1) && c.count > 0 && c.count % variant_frame(v) == 0 ? v : 0;
}

ChunkWalk::ChunkWalk(const file::ByteSource &source) : source_(source), window_(source) {
  ready_ = window_.set_window(kWindow);
}

bool ChunkWalk::fetch(uint64_t offset, size_t n, std::span<const uint8_t> &out) {
  if (window_.fetch(offset, n, out))
    return true;
  // Callers ask only for bytes within the source's size: a short read is
  // the system's refusal (or memory for a spill running out).
  if (!failed_ && util::last_status() != util::Status::kOutOfMemory)
    util::fail(util::Status::kReadFailed, "%zu bytes at %llu of %s cannot be read", n,
               static_cast<unsigned long long>(offset), source_.name().c_str());
  failed_ = true;
  return false;
}

bool ChunkWalk::chunk_at(uint64_t offset, ChunkHead &c) {
  const uint64_t size = source_.size();
  if (offset > size || size - offset < 8)
    return false;
  const uint64_t left = size - offset;
  std::span<const uint8_t> words;
  if (!fetch(offset, left > 8 ? 9 : 8, words))
    return false;
  const uint32_t chunk = util::le32(words.data());
  if (chunk < 8 || chunk % 4 != 0 || chunk > left)
    return false;
  c = {offset, chunk, util::le32(words.data() + 4), chunk > 8 ? words[8] : 0u};
  return true;
}

// The blocks must end within the padding and decode to the count word,
// give or take one window (the last block's lead-out). Every block gives
// the same number of bytes, so the decoded total only grows by steps of
// that: once past count + one window it can never come back.
bool ChunkWalk::blocks_tile(const ChunkHead &c, uint32_t rate, uint32_t channels) {
  std::unique_ptr<AUDIODEC, DecoderFree> dec(AudioDecOpen(rate, channels, 1));
  if (!dec)
    return false;
  uint64_t at = c.offset + 8;
  const uint64_t end = c.offset + c.size;
  uint64_t decoded = 0;
  uint32_t window = 0;
  while (end - at > 3) {
    const auto room = static_cast<uint32_t>(std::min<uint64_t>(end - at, kBlockRoom));
    std::span<const uint8_t> bytes;
    if (!fetch(at, room, bytes))
      return false;
    const int16_t *pcm = nullptr;
    const uint8_t *next = nullptr;
    if (AudioDecBlock(dec.get(), &pcm, &window, bytes.data(), room, &next) != 1 || !next || next <= bytes.data())
      return false;
    decoded += window;
    if (decoded > uint64_t{c.count} + window)
      return false;
    at += static_cast<uint64_t>(next - bytes.data());
  }
  return window != 0 && decoded >= c.count;
}

ChunkWalk::TransformFit ChunkWalk::transform_fit(const ChunkHead &c, uint32_t rate) {
  const uint32_t rates[] = {rate, 8000, 11025, 16000, 22050, 32000, 44100, 48000};
  for (uint32_t r : rates)
    for (uint32_t ch : {1u, 2u})
      if (r != 0 && !failed_ && blocks_tile(c, r, ch))
        return {r, ch};
  return {};
}

bool scan_stream(ChunkWalk &walk, bool raw, uint32_t rate, StreamSummary &out) {
  ChunkHead first, c;
  uint64_t at = 0, counts = 0;
  bool all_huffman = true;
  while (walk.chunk_at(at, c)) {
    if (out.chunk_count == 0)
      first = c;
    const uint32_t v = huffman_variant(c);
    all_huffman = all_huffman && v != 0 && v == huffman_variant(first);
    ++out.chunk_count;
    out.chunk_bytes += c.size;
    counts += c.count;
    at += c.size;
  }
  if (walk.failed())
    return false;
  out.trailing = walk.size() - at; // from the first byte that starts no whole chunk
  out.pcm_bytes = raw ? out.chunk_bytes - 4 * out.chunk_count : counts;
  if (raw || out.chunk_count == 0) {
    out.coding = raw ? Coding::raw : Coding::unknown;
    return true;
  }
  // Coded blocks that fill the first chunk make it a transform stream,
  // whatever its first byte looks like.
  if (const ChunkWalk::TransformFit fit = walk.transform_fit(first, rate); fit.channels != 0) {
    out.coding = Coding::transform;
    out.channels = fit.channels;
    out.rate = fit.rate;
    out.bits = 16;
  } else if (all_huffman) {
    out.coding = Coding::huffman;
    out.variant = huffman_variant(first);
    out.channels = out.variant & 2 ? 2 : 1;
    out.bits = out.variant & 4 ? 16 : 8;
  } else {
    out.coding = Coding::unknown;
  }
  return !walk.failed();
}

} // namespace vex::sound_chunks
