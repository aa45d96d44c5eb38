// Drives the transform encoder and decoder over whole signals the way the
// compressed-sound writer and the movie readers do.
#pragma once

#include <cstdint>
#include <vector>

#include "audio_codec/codec_tables.h"
#include "testkit/audio_codec/test_signals.h"

namespace vex::testkit {

struct CodedBlock {
  std::vector<uint8_t> bytes;
  std::vector<int16_t> window; // the N samples the encoder transformed (padding included)
  float threshold[audio_codec::kMaxBands];
  float found[audio_codec::kMaxBands]; // the step searched for the band, before smoothing
  float step[audio_codec::kMaxBands];  // the step used
};

struct CodedStream {
  uint32_t n = 0, overlap = 0, bands = 0;
  uint32_t edge[audio_codec::kMaxBands + 1] = {};
  uint32_t pcm_bytes = 0; // sum of the bytes accounted
  std::vector<CodedBlock> blocks;
};

CodedStream encode_stream(const Pcm &pcm, uint32_t rate, uint32_t channels, uint32_t quality);

// Decodes every block in order and returns the first pcm_bytes / 2 samples.
Pcm decode_stream(const CodedStream &s, uint32_t rate, uint32_t channels);

// One block decoded by a fresh decoder: all N samples, no cross-fade.
Pcm decode_alone(const std::vector<uint8_t> &block, uint32_t rate, uint32_t channels);

} // namespace vex::testkit
