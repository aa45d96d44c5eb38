// Comparing a lossy picture with its source: the peak signal-to-noise
// ratio over all bytes, the measure lossy round trips are bounded by (a
// per-pixel maximum depends on the encoder's and decoder's versions and
// code paths; the overall error does not move much).
#pragma once

#include <cstdint>
#include <vector>

namespace vex::testkit {

// 10 log10(255^2 / mean squared difference), in dB; 99 for equal inputs.
// Throws std::invalid_argument when the sizes differ or are 0.
double psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

} // namespace vex::testkit
