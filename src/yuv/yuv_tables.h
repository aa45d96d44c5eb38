// Integer conversion tables from luma and chroma samples to colour terms.
// Every division truncates toward zero, as the fixed-point factors were
// chosen for (factor / 32768 scales a sample to 0..255 colour units).
#pragma once

#include <array>
#include <cstdint>

namespace vex::yuv {

struct Tables {
  std::array<int32_t, 256> yt; // luma:  (clamp(i - 16, 0, 219) * 38154) / 32768
  std::array<int32_t, 256> rv; // red from plane 1:   (52299 * (i - 128)) / 32768
  std::array<int32_t, 256> gv; // green from plane 1: (26639 * (128 - i)) / 32768
  std::array<int32_t, 256> gu; // green from plane 2: (12837 * (128 - i)) / 32768
  std::array<int32_t, 256> bu; // blue from plane 2:  (66101 * (i - 128)) / 32768
  std::array<uint32_t, 256> grey;  // 0x00GGGGGG; 0 up to 16, 255 from 235
};

// Built once per process, on first use.
const Tables &tables();

// clamp(yt[y] + term, 0, 255).
inline uint32_t channel(int32_t y_term, int32_t term) {
  const int32_t v = y_term + term;
  return v < 0 ? 0u : v > 255 ? 255u : static_cast<uint32_t>(v);
}

} // namespace vex::yuv
