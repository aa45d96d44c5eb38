#include "testkit/audio_codec/codec_quality.h"

#include <algorithm>
#include <cmath>

#include "audio_codec/codec_masking.h"
#include "audio_codec/rdft.h"

namespace vex::testkit {

BandNoise band_noise(const CodedStream &s, uint32_t rate, uint32_t channels, uint32_t quality) {
  BandNoise r;
  audio_codec::RdftTables tables{};
  const float scale = 1.0f / std::sqrt(static_cast<float>(s.n));
  for (const auto &b : s.blocks) {
    const auto decoded = decode_alone(b.bytes, rate, channels);
    std::vector<float> e(s.n);
    for (uint32_t i = 0; i < s.n; ++i)
      e[i] = static_cast<float>(decoded[i] - b.window[i]);
    audio_codec::rdft(s.n, 1, e.data(), tables);
    for (uint32_t band = 0; band < s.bands; ++band) {
      if (!(b.threshold[band] > 0))
        continue; // nothing can be under a threshold of 0
      double noise = 0;
      for (uint32_t i = std::max(2u, 2 * s.edge[band]); i < 2 * s.edge[band + 1]; ++i)
        noise += double(e[i] * scale) * double(e[i] * scale);
      const bool searched = b.found[band] > audio_codec::start_step(band, quality);
      const bool raised = b.step[band] > b.found[band] * 1.08f;
      (searched && !raised ? r.searched : r.other).push_back(noise / b.threshold[band]);
    }
  }
  std::sort(r.searched.begin(), r.searched.end());
  std::sort(r.other.begin(), r.other.end());
  return r;
}

double quantile(const std::vector<double> &sorted, double q) {
  return sorted.empty() ? 0.0 : sorted[static_cast<size_t>(q * static_cast<double>(sorted.size() - 1))];
}

double snr_db(const std::vector<int16_t> &ref, const std::vector<int16_t> &got) {
  double sig = 0, err = 0;
  for (size_t i = 0; i < ref.size() && i < got.size(); ++i) {
    sig += double(ref[i]) * ref[i];
    err += double(ref[i] - got[i]) * (ref[i] - got[i]);
  }
  return 10 * std::log10((sig + 1) / (err + 1));
}

JoinJumps join_jumps(const std::vector<int16_t> &ref, const std::vector<int16_t> &got, uint32_t n, uint32_t overlap,
                     uint32_t channels) {
  JoinJumps j;
  const size_t hop = n - overlap;
  for (size_t i = channels; i < ref.size() && i < got.size(); ++i) {
    const double d = std::fabs(double(got[i] - ref[i]) - double(got[i - channels] - ref[i - channels]));
    const size_t in_block = i % hop;
    const bool near_join = i >= hop && (in_block < 2 * channels || in_block + 2 * channels >= hop ||
                                        (in_block >= overlap - 2 * channels && in_block < overlap + 2 * channels));
    double &top = near_join ? j.at_joins : j.elsewhere;
    top = std::max(top, d);
  }
  return j;
}

} // namespace vex::testkit
