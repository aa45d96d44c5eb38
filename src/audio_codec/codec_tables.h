// Constants of the transform codec: critical bands, spreading between bands,
// threshold of hearing per band and the run lengths of coefficient groups.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vex::audio_codec {

constexpr uint32_t kMaxBands = 25;
constexpr uint32_t kMaxBins = 2048; // half the largest window

// Lower edge of each critical band in Hz.
constexpr std::array<uint32_t, kMaxBands> kBandHz = {0,    100,  200,  300,  400,  510,  630,  770,  920,
                                                     1080, 1270, 1480, 1720, 2000, 2320, 2700, 3150, 3700,
                                                     4400, 5300, 6400, 7700, 9500, 12000, 15500};

// Spreading s(d) of energy from band i to band i + d, for d = -3 .. 7; zero
// elsewhere.
constexpr int kSpreadLow = -3;
constexpr std::array<float, 11> kSpread = {3.80000006e-06f, 0.00104969996f, 0.134770095f, 1.0f,
                                           0.0787499994f,   0.0146941002f,  0.00524949981f, 0.000527299999f,
                                           5.07000004e-05f, 4.80000017e-06f, 4.00000005e-07f};

inline float spread(int d) {
  const int i = d - kSpreadLow;
  return i >= 0 && i < static_cast<int>(kSpread.size()) ? kSpread[static_cast<std::size_t>(i)] : 0.0f;
}

// Threshold of hearing per band in dB (as a power ratio 10^(dB/10)).
constexpr std::array<int, kMaxBands> kHearingDb = {60, 30, 26, 24, 18, 12, 10, 8, 7, 5, 4, 3, 2,
                                                   1,  1,  1,  2,  4,  8,  10, 15, 17, 19, 20, 30};

// Run lengths in groups of 8 coefficients, indexed by the 4-bit run code.
constexpr std::array<uint32_t, 16> kRunGroups = {2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32, 64};

// Step codes are in units of 0.664 dB: step = 10^(code * 0.0664).
constexpr float kStepCodeToExponent = 0.0664f;
constexpr double kDbToStepCode = 1.506024096385542;

} // namespace vex::audio_codec
