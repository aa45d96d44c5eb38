// Delta coding of one chunk's samples and its Huffman bit stream.
#include "csfile/cs_delta_coder.h"

#include <cstdlib>

#include "huff/huff_batch.h"

namespace vex::csfile {
namespace {

// Sample access by width: the raw value modulo 2^bits, and the value a
// decoder reads it as (unsigned 8-bit, signed 16-bit).
struct Eight {
  static constexpr uint32_t kModMask = 0xFF;
  static constexpr uint32_t kBytes = 1;
  static uint32_t load(const uint8_t *p) { return p[0]; }
  static void store(uint8_t *p, uint32_t v) { p[0] = static_cast<uint8_t>(v); }
  static int32_t value(uint32_t raw) { return static_cast<int32_t>(raw); }
};

struct Sixteen {
  static constexpr uint32_t kModMask = 0xFFFF;
  static constexpr uint32_t kBytes = 2;
  static uint32_t load(const uint8_t *p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }
  static void store(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
  static int32_t value(uint32_t raw) { return static_cast<int16_t>(static_cast<uint16_t>(raw)); }
};

// Exact deltas: every masked bit is kept (qualities 0-9).
template <class W, uint32_t Channels> void exact_deltas(const uint8_t *pcm, uint32_t frames, uint8_t *out) {
  constexpr uint32_t kFrame = W::kBytes * Channels;
  uint32_t p[Channels];
  for (uint32_t c = 0; c < Channels; ++c)
    p[c] = W::load(pcm + c * W::kBytes);
  for (uint32_t i = 1; i < frames; ++i) {
    const uint8_t *in = pcm + i * kFrame;
    uint8_t *sym = out + (i - 1) * kFrame;
    for (uint32_t c = 0; c < Channels; ++c) {
      const uint32_t s = W::load(in + c * W::kBytes);
      W::store(sym + c * W::kBytes, (s - p[c]) & W::kModMask);
      p[c] = s;
    }
  }
}

// Masked deltas: the predictor follows what the decoder reconstructs.
template <class W, uint32_t Channels>
void masked_deltas(const uint8_t *pcm, uint32_t frames, const DeltaLimits &lim, uint8_t *out) {
  constexpr uint32_t kFrame = W::kBytes * Channels;
  const auto threshold = static_cast<int32_t>(lim.threshold);
  uint32_t p[Channels];
  for (uint32_t c = 0; c < Channels; ++c)
    p[c] = W::load(pcm + c * W::kBytes);
  for (uint32_t i = 1; i < frames; ++i) {
    const uint8_t *in = pcm + i * kFrame;
    uint8_t *sym = out + (i - 1) * kFrame;
    for (uint32_t c = 0; c < Channels; ++c) {
      const uint32_t s = W::load(in + c * W::kBytes);
      const uint32_t exact = (s - p[c]) & W::kModMask;
      const uint32_t masked = exact & lim.mask;
      const uint32_t r = (p[c] + masked) & W::kModMask;
      const uint32_t delta = std::abs(W::value(r) - W::value(s)) > threshold ? exact : masked;
      W::store(sym + c * W::kBytes, delta);
      p[c] = (p[c] + delta) & W::kModMask;
    }
  }
}

template <class W, uint32_t Channels>
void deltas(const uint8_t *pcm, uint32_t frames, const DeltaLimits &lim, uint8_t *out) {
  if (lim.mask == W::kModMask)
    exact_deltas<W, Channels>(pcm, frames, out);
  else
    masked_deltas<W, Channels>(pcm, frames, lim, out);
}

} // namespace

void delta_symbols(std::span<const uint8_t> pcm, const PcmFormat &f, const DeltaLimits &limits,
                   std::vector<uint8_t> &symbols) {
  const uint32_t fb = f.frame_bytes();
  const auto frames = static_cast<uint32_t>(pcm.size() / fb);
  symbols.resize(frames > 1 ? static_cast<size_t>(frames - 1) * fb : 0);
  if (frames < 2)
    return;
  uint8_t *out = symbols.data();
  switch (delta_variant(f)) {
  case 1: deltas<Eight, 1>(pcm.data(), frames, limits, out); break;
  case 3: deltas<Eight, 2>(pcm.data(), frames, limits, out); break;
  case 5: deltas<Sixteen, 1>(pcm.data(), frames, limits, out); break;
  default: deltas<Sixteen, 2>(pcm.data(), frames, limits, out); break;
  }
}

void write_delta_stream(VEXFILE *out, std::span<HUFF *const> tables, std::span<const uint8_t> pcm,
                        const PcmFormat &f, const DeltaLimits &limits, DeltaScratch &scratch) {
  const uint32_t fb = f.frame_bytes();
  const std::vector<uint8_t> &symbols = scratch.symbols;
  delta_symbols(pcm, f, limits, scratch.symbols);

  // First pass: the statistics of each table.
  const auto used = tables.first(fb);
  for (HUFF *t : used)
    HuffInitStats(t);
  huff::add_stats(used, symbols);

  // Second pass: variant, tables, the first frame as plain bytes (its bytes
  // in reverse order: right before left, high before low), the codes.
  VEXFilePutBits(out, delta_variant(f), 3);
  for (HUFF *t : used)
    HuffStartEncode(t);
  for (uint32_t b = fb; b-- > 0;)
    VEXFilePut8(out, pcm[b]);
  huff::encode(used, symbols, scratch.coded);
  VEXFileByteAlign(out);
}

} // namespace vex::csfile
