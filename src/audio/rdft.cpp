#include "audio/rdft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace vex::audio {
namespace {

uint32_t log2_of(uint32_t n) {
  uint32_t l = 0;
  while ((1u << l) < n)
    ++l;
  return l;
}

// Angles are computed in double so that every factor is the correctly
// rounded float of the exact value.
void build_tables(uint32_t n, RdftTables &t) {
  const uint32_t m = n / 2; // complex points
  const uint32_t bits = log2_of(m);
  for (uint32_t i = 0; i < m; ++i) {
    uint32_t r = 0;
    for (uint32_t b = 0; b < bits; ++b)
      r |= ((i >> b) & 1u) << (bits - 1 - b);
    t.bitrev[i] = static_cast<uint16_t>(r);
  }
  t.stage[0] = t.stage[1] = 0.0f;
  for (uint32_t h = 1; h < m; h *= 2)
    for (uint32_t j = 0; j < h; ++j) {
      const double angle = std::numbers::pi * j / h;
      t.stage[2 * (h + j)] = static_cast<float>(std::cos(angle));
      t.stage[2 * (h + j) + 1] = static_cast<float>(std::sin(angle));
    }
  for (uint32_t k = 0; k < n / 4; ++k) {
    const double angle = 2.0 * std::numbers::pi * k / n;
    t.split[2 * k] = static_cast<float>(std::cos(angle));
    t.split[2 * k + 1] = static_cast<float>(std::sin(angle));
  }
  t.size = n;
}

// In-place complex transform of m points stored as interleaved floats:
// Z[k] = sum_j z[j] e^{s 2 pi i j k / m}, s = +1 (Forward) or -1.
template <bool Forward> void complex_transform(float *a, uint32_t m, const RdftTables &t) {
  for (uint32_t i = 0; i < m; ++i) {
    const uint32_t r = t.bitrev[i];
    if (r > i) {
      std::swap(a[2 * i], a[2 * r]);
      std::swap(a[2 * i + 1], a[2 * r + 1]);
    }
  }
  // Length-2 stage: no multiplications.
  for (uint32_t i = 0; i < 2 * m; i += 4) {
    const float xr = a[i + 2], xi = a[i + 3];
    a[i + 2] = a[i] - xr;
    a[i + 3] = a[i + 1] - xi;
    a[i] += xr;
    a[i + 1] += xi;
  }
  for (uint32_t h = 2; h < m; h *= 2) {
    const float *w = t.stage + 2 * h;
    for (uint32_t base = 0; base < m; base += 2 * h) {
      float *lo = a + 2 * base;
      float *hi = lo + 2 * h;
      for (uint32_t j = 0; j < h; ++j) {
        const float wr = w[2 * j];
        const float wi = Forward ? w[2 * j + 1] : -w[2 * j + 1];
        const float br = hi[2 * j], bi = hi[2 * j + 1];
        const float tr = br * wr - bi * wi;
        const float ti = br * wi + bi * wr;
        hi[2 * j] = lo[2 * j] - tr;
        hi[2 * j + 1] = lo[2 * j + 1] - ti;
        lo[2 * j] += tr;
        lo[2 * j + 1] += ti;
      }
    }
  }
}

// From the complex spectrum Z of z[j] = a[2j] + i a[2j+1] to the real
// spectrum: with E = (Z[k] + conj Z[m-k]) / 2 and O = (Z[k] - conj Z[m-k]) / 2i
// (the spectra of the even and odd samples), X[k] = E + W^k O and
// X[m-k] = conj(E - W^k O), W = e^{2 pi i / n}.
void split_forward(float *a, uint32_t m, const RdftTables &t) {
  const float z0r = a[0], z0i = a[1];
  a[0] = z0r + z0i;
  a[1] = z0r - z0i;
  for (uint32_t k = 1; k < m / 2; ++k) {
    float *p = a + 2 * k;
    float *q = a + 2 * (m - k);
    const float er = 0.5f * (p[0] + q[0]), ei = 0.5f * (p[1] - q[1]);
    const float or_ = 0.5f * (p[1] + q[1]), oi = -0.5f * (p[0] - q[0]);
    const float wr = t.split[2 * k], wi = t.split[2 * k + 1];
    const float tr = wr * or_ - wi * oi, ti = wr * oi + wi * or_;
    p[0] = er + tr;
    p[1] = ei + ti;
    q[0] = er - tr;
    q[1] = -(ei - ti);
  }
  // k = m/2: W^k = i and the value stays as it is.
}

// The reverse of split_forward: E = (X[k] + conj X[m-k]) / 2,
// O = (X[k] - conj X[m-k]) conj(W^k) / 2, Z[k] = E + iO; the unscaled inverse
// complex transform of Z then yields m x = (n/2) x.
void split_inverse(float *a, uint32_t m, const RdftTables &t) {
  const float r0 = a[0], rm = a[1];
  a[0] = 0.5f * (r0 + rm);
  a[1] = 0.5f * (r0 - rm);
  for (uint32_t k = 1; k < m / 2; ++k) {
    float *p = a + 2 * k;
    float *q = a + 2 * (m - k);
    const float er = 0.5f * (p[0] + q[0]), ei = 0.5f * (p[1] - q[1]);
    const float dr = 0.5f * (p[0] - q[0]), di = 0.5f * (p[1] + q[1]);
    const float wr = t.split[2 * k], wi = -t.split[2 * k + 1];
    const float or_ = dr * wr - di * wi, oi = dr * wi + di * wr;
    // Z[k] = E + iO, Z[m-k] = conj E + i conj O.
    p[0] = er - oi;
    p[1] = ei + or_;
    q[0] = er + oi;
    q[1] = -ei + or_;
  }
}

} // namespace

bool rdft_size_ok(uint32_t n) { return n >= 4 && n <= kRdftMaxSize && (n & (n - 1)) == 0; }

void rdft(uint32_t n, int sign, float *a, RdftTables &tables) {
  if (!rdft_size_ok(n))
    return;
  if (tables.size != n)
    build_tables(n, tables);
  const uint32_t m = n / 2;
  if (sign > 0) {
    complex_transform<true>(a, m, tables);
    split_forward(a, m, tables);
  } else {
    split_inverse(a, m, tables);
    complex_transform<false>(a, m, tables);
  }
}

} // namespace vex::audio
