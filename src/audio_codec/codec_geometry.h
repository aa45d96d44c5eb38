// Window geometry and band layout of the transform codec, shared by the
// encoder and the decoder.
#pragma once

#include <cstdint>

#include "audio_codec/codec_tables.h"

namespace vex::audio_codec {

constexpr uint32_t kMaxWindow = 4096; // interleaved 16-bit samples

struct CodecGeometry {
  uint32_t n;        // window length in interleaved samples: 512 .. 4096
  uint32_t overlap;  // n / 16, a power of two
  uint32_t bands;    // 0 .. 25
  uint32_t edge[kMaxBands + 1]; // band b covers bins edge[b] .. edge[b+1]-1; edge[bands] = n/2
};

// Frame length 512 below 22050 Hz, 1024 below 44100 Hz, else 2048, times
// the channel count (anything but 2 counts as mono). A stereo window is
// treated as one real sequence sampled at twice the rate.
CodecGeometry codec_geometry(uint32_t rate, uint32_t channels);

// Worst-case size of one coded block in bytes for a window of n values:
// two 29-bit numbers, 25 step codes, a 5-bit run header per group of 8 and
// 16 bits (15 of magnitude, 1 of sign) per coefficient, padded to words:
// 8544 bytes at 4096. Alternating widths cost a run header per group, so
// this is more than a block of full-width coefficients only (8232 bytes),
// and the encoder's output area must hold it.
constexpr uint32_t max_block_bytes(uint32_t n) {
  const uint32_t bits = 58 + 8 * kMaxBands + 5 * (n / 8) + 16 * (n - 2);
  return (bits + 31) / 32 * 4;
}

// 10^(code * 0.0664) in single precision; code 0 gives exactly 1.
float step_of_code(uint32_t code);

} // namespace vex::audio_codec
