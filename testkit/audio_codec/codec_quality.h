// Measurements of a decoded signal against the original, for the codec
// round-trip tests.
#pragma once

#include <cstdint>
#include <vector>

#include "testkit/audio_codec/codec_driver.h"

namespace vex::testkit {

// Noise of one band of one block against the threshold the encoder
// computed for it, sorted by how the band's step came about.
struct BandNoise {
  // The search found a step and smoothing did not raise it (beyond the
  // 0.33 dB of step-code rounding): noise / threshold.
  std::vector<double> searched;
  // Smoothing from the block before, or a start value that no candidate
  // improved, set the step: noise / threshold.
  std::vector<double> other;
};

// Per block: the block decoded on its own (no cross-fade) against the
// window the encoder transformed, both transformed and scaled as the
// encoder does; per band the error energy over the band's coefficients
// (bin 0 excluded: it is sent as two numbers of its own). Both lists sorted.
BandNoise band_noise(const CodedStream &s, uint32_t rate, uint32_t channels, uint32_t quality);

double quantile(const std::vector<double> &sorted, double q);

// Signal-to-noise ratio in dB.
double snr_db(const std::vector<int16_t> &ref, const std::vector<int16_t> &got);

// The largest jump of the error (per channel, sample to sample) near the
// block joins, and the largest elsewhere. A join that does not fit makes the
// first much larger than the second.
struct JoinJumps {
  double at_joins = 0, elsewhere = 0;
};
JoinJumps join_jumps(const std::vector<int16_t> &ref, const std::vector<int16_t> &got, uint32_t n, uint32_t overlap,
                     uint32_t channels);

} // namespace vex::testkit
