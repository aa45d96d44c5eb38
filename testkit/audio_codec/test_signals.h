// 16-bit PCM test signals. Multi-channel signals are interleaved, left first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit {

using Pcm = std::vector<int16_t>;

// Logarithmic sweep from f0 to f1 Hz over `frames` sample frames.
Pcm sine_sweep(uint32_t rate, uint32_t channels, uint32_t frames, double f0, double f1, double amplitude);
// Uniform white noise, and pink noise (-3 dB per octave) from summed
// random generators updated at octave-spaced intervals.
Pcm white_noise(uint32_t channels, uint32_t frames, double amplitude, uint32_t seed);
Pcm pink_noise(uint32_t channels, uint32_t frames, double amplitude, uint32_t seed);
// Single-sample clicks of the given height every `period` frames over silence.
Pcm click_train(uint32_t channels, uint32_t frames, uint32_t period, int16_t height);
// Constant value.
Pcm constant(uint32_t channels, uint32_t frames, int16_t value);
// Square wave of the given period in frames, full swing between lo and hi.
Pcm square(uint32_t channels, uint32_t frames, uint32_t period, int16_t lo, int16_t hi);

// Speech from espeak-ng (which must be installed: throws std::runtime_error
// with a clear message otherwise), resampled by linear interpolation to the
// rate; stereo puts a delayed, quieter copy on the right.
Pcm espeak_speech(const std::string &text, uint32_t rate, uint32_t channels);

// Reads a 16-bit PCM WAV file (throws std::runtime_error otherwise).
Pcm read_wav16(const std::string &path, uint32_t *rate, uint32_t *channels);

} // namespace vex::testkit
