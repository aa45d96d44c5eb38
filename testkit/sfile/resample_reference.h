// The sound source's resampler and output conversions written out step by
// step from the rules, over all the source frames at once: the oracle the
// library's streaming conversion is checked against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vex::testkit {

// One source frame as 16-bit values, the way the source reads them.
struct SoundFrame {
  int32_t left = 0, right = 0;
};

// Frames of 8/16-bit mono/stereo PCM bytes.
std::vector<SoundFrame> frames_of(const std::vector<uint8_t> &pcm, uint32_t bits, uint32_t channels);

// What the source delivers for `in` at in_rate, asked for out_rate,
// out_bits and out_channels.
std::vector<uint8_t> reference_output(const std::vector<SoundFrame> &in, uint32_t in_rate, uint32_t out_rate,
                                      uint32_t out_bits, uint32_t out_channels);

} // namespace vex::testkit
