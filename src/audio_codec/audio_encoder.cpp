#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio_codec/audio_codec.h"
#include "audio_codec/block_layout.h"
#include "audio_codec/codec_masking.h"
#include "util/record.h"

using namespace vex::audio_codec;

namespace {

constexpr uint32_t kMaxQuality = 99;

uint32_t step_code(float step) {
  const float level_db = 10.0f * std::log10(step);
  if (!(level_db >= 0.0f))
    return 0;
  const long code = std::lround(level_db * kDbToStepCode);
  return code > 255 ? 255u : static_cast<uint32_t>(code);
}

// Steps 1-2: how many samples of the window are real, and the window padded
// with the last real sample (or silence when there is none). The padding is
// written into the input buffer too, so that the overlap kept for the next
// window continues the padding.
uint32_t fill_window(AUDIOENC *e, uint32_t placed) {
  const uint32_t capacity = e->first_window ? e->n * 2 : (e->n - e->overlap) * 2;
  placed = std::min(placed, capacity);
  e->received += placed;
  const uint32_t valid = placed / 2 + (e->first_window ? 0 : e->overlap);
  e->first_window = 0;
  const int16_t pad = valid > 0 ? e->input[valid - 1] : int16_t{0};
  std::fill(e->input + valid, e->input + e->n, pad);
  return valid;
}

// Steps 10-12: one step per band, smoothed across windows, as 8-bit codes.
void choose_steps(AUDIOENC *e, uint32_t quality, const float *x, const float *threshold, BlockContent &c) {
  for (uint32_t b = 0; b < e->bands; ++b) {
    const uint32_t first = 2 * e->edge[b];
    const uint32_t count = 2 * (e->edge[b + 1] - e->edge[b]);
    const float found = search_step(x + first, count, threshold[b], start_step(b, quality));
    e->last_found[b] = found;
    const float used = std::max(found, e->previous_step[b]);
    e->previous_step[b] = 0.8f * found;
    c.step_code[b] = static_cast<uint8_t>(step_code(used));
  }
}

// Step 13.
void quantise_bands(AUDIOENC *e, const float *x, BlockContent &c) {
  std::fill(c.q, c.q + e->n, int16_t{0});
  for (uint32_t b = 0; b < e->bands; ++b) {
    const float s = step_of_code(c.step_code[b]);
    e->last_step[b] = s;
    for (uint32_t i = 2 * e->edge[b]; i < 2 * e->edge[b + 1]; ++i)
      c.q[i] = quantise(x[i], s);
  }
}

} // namespace

extern "C" AUDIOENC *AudioEncOpen(uint32_t rate, uint32_t channels) {
  auto *e = vex::util::new_record<AUDIOENC>();
  if (!e)
    return nullptr;
  const CodecGeometry g = codec_geometry(rate, channels);
  e->n = g.n;
  e->channels = channels == 2 ? 2 : 1;
  e->forward_scale = 1.0f / std::sqrt(static_cast<float>(g.n));
  e->overlap = g.overlap;
  e->first_window = 1;
  e->bands = g.bands;
  std::memcpy(e->edge, g.edge, sizeof e->edge);
  band_normalisers(e->bands, e->normaliser);
  return e;
}

extern "C" void AudioEncInput(AUDIOENC *e, void **where, uint32_t *bytes) {
  if (e->first_window) {
    *where = e->input;
    *bytes = e->n * 2;
  } else {
    *where = e->input + e->overlap;
    *bytes = (e->n - e->overlap) * 2;
  }
}

extern "C" void AudioEncBlock(AUDIOENC *e, uint32_t quality, uint32_t placed, const uint8_t **block, uint32_t *size,
                              uint32_t *accounted) {
  quality = std::min(quality, kMaxQuality);
  fill_window(e, placed);
  float x[kMaxWindow];
  for (uint32_t i = 0; i < e->n; ++i)
    x[i] = static_cast<float>(e->input[i]);
  rdft(e->n, 1, x, e->tables);
  for (uint32_t i = 0; i < e->n; ++i)
    x[i] *= e->forward_scale;

  BlockContent c;
  c.x0 = x[0];
  c.x1 = x[1];
  x[0] = x[1] = 1.0f;
  masking_threshold(x, e->n, e->bands, e->edge, e->normaliser, e->last_threshold);
  choose_steps(e, quality, x, e->last_threshold, c);
  quantise_bands(e, x, c);
  *size = write_block(c, e->n, e->bands, e->output);
  *block = e->output;

  std::memmove(e->input, e->input + (e->n - e->overlap), e->overlap * sizeof e->input[0]);
  *accounted = std::min((e->n - e->overlap) * 2, e->received - e->consumed);
  e->consumed += *accounted;
}

extern "C" void AudioCodecFree(void *record) { vexfree(record); }
