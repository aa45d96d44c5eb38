#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio_codec/audio_codec.h"
#include "audio_codec/block_layout.h"
#include "util/record.h"

using namespace vex::audio_codec;

namespace {

// Step 4: coefficients times their band's step; bin 0 carries the two real
// values instead. The bands cover every bin (edge[0] = 0, edge[bands] =
// n/2), so y needs clearing only when there are none.
void dequantise(const AUDIODEC *d, const BlockContent &c, float *y) {
  if (d->bands == 0)
    std::fill(y, y + d->n, 0.0f);
  for (uint32_t b = 0; b < d->bands; ++b) {
    const float s = step_of_code(c.step_code[b]);
    for (uint32_t i = std::max(2u, 2 * d->edge[b]); i < 2 * d->edge[b + 1]; ++i)
      y[i] = static_cast<float>(c.q[i]) * s;
  }
  y[0] = c.x0;
  y[1] = c.x1;
}

// Step 6: round to nearest (halves to even) and clamp: adding and removing
// 1.5 * 2^23 leaves a float of magnitude below 2^22 rounded to an integer.
// The clamps keep NaN out (it becomes -32768). GCC does not turn the
// comparisons into vector code while floating-point traps are assumed, so
// the x86 loop spells them out: maxps and minps return their second operand
// when the first is NaN, exactly as the comparisons below.
void to_samples(const float *y, float scale, int16_t *out, uint32_t n) {
  constexpr float kRound = 12582912.0f;
  uint32_t i = 0;
#if defined(__SSE2__)
  const __m128 k = _mm_set1_ps(kRound), lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
  const __m128 sc = _mm_set1_ps(scale);
  const auto four = [&](uint32_t at) {
    __m128 v = _mm_mul_ps(_mm_loadu_ps(y + at), sc);
    v = _mm_min_ps(_mm_max_ps(v, lo), hi);
    return _mm_cvttps_epi32(_mm_sub_ps(_mm_add_ps(v, k), k));
  };
  for (; i + 8 <= n; i += 8)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packs_epi32(four(i), four(i + 4)));
#endif
  for (; i < n; ++i) {
    float v = y[i] * scale;
    v = v > -32768.0f ? v : -32768.0f; // NaN too
    v = v < 32767.0f ? v : 32767.0f;
    v = (v + kRound) - kRound;
    out[i] = static_cast<int16_t>(static_cast<int32_t>(v));
  }
}

// Step 7: a linear fade from the previous block's tail into this block;
// floor divisions by V, a power of two.
void cross_fade(AUDIODEC *d) {
  const uint32_t v = d->overlap;
  const int shift = std::countr_zero(v);
  for (uint32_t i = 0; i < v; ++i) {
    const int32_t from = static_cast<int32_t>(v - i) * d->tail[i];
    const int32_t to = static_cast<int32_t>(i) * d->output[i];
    d->output[i] = static_cast<int16_t>((from >> shift) + (to >> shift));
  }
}

} // namespace

extern "C" AUDIODEC *AudioDecOpen(uint32_t rate, uint32_t channels, uint32_t /*flag*/) {
  auto *d = vex::util::new_record<AUDIODEC>();
  if (!d)
    return nullptr;
  const CodecGeometry g = codec_geometry(rate, channels);
  d->n = g.n;
  d->output_scale = 2.0f / std::sqrt(static_cast<float>(g.n));
  d->overlap = g.overlap;
  d->first_block = 1;
  d->bands = g.bands;
  std::memcpy(d->edge, g.edge, sizeof d->edge);
  return d;
}

extern "C" int32_t AudioDecBlock(AUDIODEC *d, const int16_t **pcm, uint32_t *pcm_bytes, const uint8_t *block,
                                 uint32_t available, const uint8_t **next) {
  BlockContent c;
  bool complete = false;
  const uint32_t used = read_block(block, available, d->n, d->bands, c, &complete);
  float y[kMaxWindow];
  dequantise(d, c, y);
  rdft(d->n, -1, y, d->tables);
  to_samples(y, d->output_scale, d->output, d->n);
  if (d->first_block)
    d->first_block = 0;
  else
    cross_fade(d);
  std::memcpy(d->tail, d->output + (d->n - d->overlap), d->overlap * sizeof d->tail[0]);
  *pcm = d->output;
  *pcm_bytes = (d->n - d->overlap) * 2;
  *next = block + used;
  return complete ? 1 : 0;
}
