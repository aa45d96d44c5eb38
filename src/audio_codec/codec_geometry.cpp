#include "audio_codec/codec_geometry.h"

#include <array>
#include <cmath>

namespace vex::audio_codec {

CodecGeometry codec_geometry(uint32_t rate, uint32_t channels) {
  CodecGeometry g{};
  const uint32_t c = channels == 2 ? 2 : 1;
  const uint32_t frame = rate < 22050 ? 512 : rate < 44100 ? 1024 : 2048;
  g.n = frame * c;
  g.overlap = g.n / 16;
  const uint64_t h = (uint64_t{rate} * c + 1) / 2; // half the sampling rate of the sequence
  while (g.bands < kMaxBands && kBandHz[g.bands] < h)
    ++g.bands;
  const uint64_t bins = g.n / 2;
  for (uint32_t b = 0; b < g.bands; ++b)
    g.edge[b] = static_cast<uint32_t>(kBandHz[b] * bins / h);
  g.edge[g.bands] = g.n / 2;
  return g;
}

float step_of_code(uint32_t code) {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (uint32_t i = 0; i < t.size(); ++i)
      t[i] = std::pow(10.0f, static_cast<float>(i) * kStepCodeToExponent);
    t[0] = 1.0f;
    return t;
  }();
  return table[code & 255u];
}

} // namespace vex::audio_codec
