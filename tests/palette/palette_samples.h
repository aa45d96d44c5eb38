// Histograms, palettes and usage counts for the palette tests: random ones
// of chosen shapes, and a message recorder that can cancel at a chosen call.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "palette/palette_tables.h"

namespace vex::palette::test {

// The sanitizer build runs unoptimised: the reference, which walks every
// bucket for every candidate, gets smaller cases there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

enum class Weights {
  kFlat,   // 1-4 pixels per bucket
  kSkewed, // a heavy tail: 1 to 2^24, log-uniform
  kHuge,   // near 2^32, so error sums pass 2^64 and wrap
  kEqual,  // every bucket 7: many equal means and errors
};

enum class Spread {
  kUniform,   // anywhere in the colour cube
  kClustered, // a few tight clusters, as a picture's colours are
  kLine,      // along one axis: many candidate splits tie
};

inline std::vector<uint32_t> random_histogram(uint32_t seed, size_t buckets, Weights w, Spread s) {
  std::mt19937 gen(seed);
  std::vector<uint32_t> h(kBucketCount, 0);
  std::uniform_int_distribution<uint32_t> any(0, kBucketCount - 1), c6(0, 63), small(0, 5);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<uint32_t> centres;
  for (int i = 0; i < 6; ++i)
    centres.push_back(any(gen));
  const uint32_t axis = seed % 3, fixed = any(gen);
  size_t made = 0, tries = 0;
  while (made < buckets && tries++ < buckets * 50 + 1000) {
    uint32_t b = 0;
    if (s == Spread::kUniform || buckets > 60000) {
      b = any(gen);
    } else if (s == Spread::kClustered) {
      const uint32_t c = centres[gen() % centres.size()];
      auto jitter = [&](uint32_t v) { return std::min<uint32_t>(63, v + small(gen)); };
      b = bucket_of6(jitter(red6(c)), jitter(green6(c)), jitter(blue6(c)));
    } else {
      const uint32_t v = c6(gen), shift = axis == 0 ? 12 : axis == 1 ? 6 : 0;
      b = (fixed & ~(63u << shift)) | v << shift;
      if (made >= 64)
        b = any(gen);
    }
    if (h[b] != 0)
      continue;
    switch (w) {
    case Weights::kFlat: h[b] = 1 + gen() % 4; break;
    case Weights::kSkewed: h[b] = static_cast<uint32_t>(std::exp2(unit(gen) * 24)); break;
    case Weights::kHuge: h[b] = 0xFFFFFFFFu - gen() % 1000; break;
    case Weights::kEqual: h[b] = 7; break;
    }
    ++made;
  }
  return h;
}

inline std::vector<uint8_t> random_palette(std::mt19937 &gen) {
  std::vector<uint8_t> p(kPaletteBytes);
  for (auto &v : p)
    v = static_cast<uint8_t>(gen());
  return p;
}

// Records every message; answers true to call number `cancel_at` (0-based;
// -1: never).
struct Recorder {
  std::vector<std::pair<std::string, int32_t>> heard;
  int cancel_at = -1;

  int32_t operator()(const char *text, int32_t level) {
    heard.emplace_back(text, level);
    return static_cast<int>(heard.size()) - 1 == cancel_at ? 1 : 0;
  }
};

} // namespace vex::palette::test
