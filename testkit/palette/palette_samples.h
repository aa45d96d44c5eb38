// Histograms, palettes, colours and usage counts for the palette tests:
// random ones of chosen shapes, with ties made likely where asked.
#pragma once

#include <algorithm>
#include <array>
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

enum class Usage { kZero, kSparse, kSkewed, kEqual, kDense };

inline std::array<uint32_t, kPaletteEntries> random_usage(std::mt19937 &gen, Usage u) {
  std::array<uint32_t, kPaletteEntries> c{};
  for (auto &v : c) {
    switch (u) {
    case Usage::kZero: v = 0; break;
    case Usage::kSparse: v = gen() % 4 == 0 ? gen() % 5000 : 0; break;
    case Usage::kSkewed: v = static_cast<uint32_t>(std::exp2((gen() % 3200) / 100.0)); break;
    case Usage::kEqual: v = 100; break;
    case Usage::kDense: v = gen() % 3 == 0 ? 0 : gen() % 100000; break;
    }
  }
  return c;
}

// kind 0: all black; 1: random; 2: repeated entries from a small set of
// colours, so that equal costs and distances are common.
inline std::vector<uint8_t> make_palette(std::mt19937 &gen, int kind) {
  std::vector<uint8_t> p(kPaletteBytes, 0);
  for (size_t i = 0; kind != 0 && i < p.size(); ++i)
    p[i] = static_cast<uint8_t>(kind == 1 ? gen() : (gen() % 3) * 60);
  return p;
}

// m colours, random or (coarse) from 27 colours.
inline std::vector<Rgb> make_colours(std::mt19937 &gen, size_t m, bool coarse) {
  std::vector<Rgb> c(m);
  for (auto &x : c)
    x = coarse ? Rgb{uint8_t((gen() % 3) * 60), uint8_t((gen() % 3) * 60), uint8_t((gen() % 3) * 60)}
               : Rgb{uint8_t(gen()), uint8_t(gen()), uint8_t(gen())};
  return c;
}

} // namespace vex::palette::test
