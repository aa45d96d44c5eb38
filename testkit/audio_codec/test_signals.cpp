#include "testkit/audio_codec/test_signals.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <stdexcept>

#include "testkit/util/temp_dir.h"

namespace vex::testkit {
namespace {

int16_t clamp16(double v) {
  const double r = std::lround(v);
  return static_cast<int16_t>(r < -32768 ? -32768 : r > 32767 ? 32767 : r);
}

Pcm spread_channels(const std::vector<double> &mono, uint32_t channels) {
  Pcm out(mono.size() * channels);
  for (size_t i = 0; i < mono.size(); ++i)
    for (uint32_t c = 0; c < channels; ++c)
      out[i * channels + c] = clamp16(c == 0 ? mono[i] : 0.7 * mono[i >= 37 ? i - 37 : 0]);
  return out;
}

uint32_t le(const uint8_t *p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

} // namespace

Pcm sine_sweep(uint32_t rate, uint32_t channels, uint32_t frames, double f0, double f1, double amplitude) {
  std::vector<double> m(frames);
  const double duration = static_cast<double>(frames) / rate;
  const double k = std::log(f1 / f0);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double phase = 2 * std::numbers::pi * f0 * duration / k * (std::exp(t / duration * k) - 1);
    m[i] = amplitude * std::sin(phase);
  }
  return spread_channels(m, channels);
}

Pcm white_noise(uint32_t channels, uint32_t frames, double amplitude, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-amplitude, amplitude);
  Pcm out(static_cast<size_t>(frames) * channels);
  for (auto &s : out)
    s = clamp16(u(gen));
  return out;
}

Pcm pink_noise(uint32_t channels, uint32_t frames, double amplitude, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  constexpr int kRows = 12;
  double rows[kRows] = {};
  double sum = 0;
  std::vector<double> m(frames);
  for (uint32_t i = 0; i < frames; ++i) {
    // Row r changes every 2^r samples: the number of trailing zeros picks it.
    const int r = i == 0 ? 0 : std::min(kRows - 1, __builtin_ctz(i));
    sum -= rows[r];
    rows[r] = u(gen);
    sum += rows[r];
    m[i] = amplitude * (sum + u(gen)) / (kRows + 1);
  }
  return spread_channels(m, channels);
}

Pcm click_train(uint32_t channels, uint32_t frames, uint32_t period, int16_t height) {
  Pcm out(static_cast<size_t>(frames) * channels, 0);
  for (uint32_t i = period / 2; i < frames; i += period)
    for (uint32_t c = 0; c < channels; ++c)
      out[static_cast<size_t>(i) * channels + c] = height;
  return out;
}

Pcm constant(uint32_t channels, uint32_t frames, int16_t value) {
  return Pcm(static_cast<size_t>(frames) * channels, value);
}

Pcm square(uint32_t channels, uint32_t frames, uint32_t period, int16_t lo, int16_t hi) {
  Pcm out(static_cast<size_t>(frames) * channels);
  for (uint32_t i = 0; i < frames; ++i)
    for (uint32_t c = 0; c < channels; ++c)
      out[static_cast<size_t>(i) * channels + c] = (i % period) < period / 2 ? hi : lo;
  return out;
}

Pcm read_wav16(const std::string &path, uint32_t *rate, uint32_t *channels) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    throw std::runtime_error("not a WAV file: " + path);
  size_t pos = 12;
  uint32_t bits = 0;
  while (pos + 8 <= b.size()) {
    const uint32_t size = le(&b[pos + 4], 4);
    const size_t body = pos + 8;
    const size_t avail = std::min<size_t>(size, b.size() - body);
    if (std::memcmp(&b[pos], "fmt ", 4) == 0 && avail >= 16) {
      *channels = le(&b[body + 2], 2);
      *rate = le(&b[body + 4], 4);
      bits = le(&b[body + 14], 2);
    } else if (std::memcmp(&b[pos], "data", 4) == 0) {
      if (bits != 16)
        throw std::runtime_error("WAV is not 16-bit: " + path);
      Pcm out(avail / 2);
      for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(le(&b[body + 2 * i], 2));
      return out;
    }
    pos = body + size + (size & 1);
  }
  throw std::runtime_error("WAV without data: " + path);
}

Pcm espeak_speech(const std::string &text, uint32_t rate, uint32_t channels) {
  TempDir dir;
  const std::string wav = dir.file("speech.wav");
  const std::string cmd = "espeak-ng -w '" + wav + "' '" + text + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0)
    throw std::runtime_error("espeak-ng failed or is not installed (Debian package espeak-ng)");
  uint32_t src_rate = 0, src_channels = 0;
  const Pcm src = read_wav16(wav, &src_rate, &src_channels);
  if (src_channels != 1 || src_rate == 0 || src.empty())
    throw std::runtime_error("unexpected espeak-ng output");
  const auto frames = static_cast<size_t>(static_cast<double>(src.size()) * rate / src_rate);
  std::vector<double> m(frames);
  for (size_t i = 0; i < frames; ++i) {
    const double p = static_cast<double>(i) * src_rate / rate;
    const auto j = static_cast<size_t>(p);
    const double f = p - static_cast<double>(j);
    const double a = src[std::min(j, src.size() - 1)], b = src[std::min(j + 1, src.size() - 1)];
    m[i] = a + (b - a) * f;
  }
  return spread_channels(m, channels);
}

} // namespace vex::testkit
