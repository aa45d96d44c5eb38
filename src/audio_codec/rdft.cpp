#include "audio_codec/rdft.h"

#include "audio_codec/rdft_avx2.h"
#include "util/cpu_clones.h"

#include <cmath>
#include <numbers>

// With GCC the transform stages are also built for AVX2 and the better
// one is picked when the library loads.
#define VEX_RDFT_CLONES VEX_GCC_AVX2_CLONES

namespace vex::audio_codec {
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
  for (uint32_t h = 1; h < m; h *= 2)
    for (uint32_t j = 0; j < h; ++j) {
      const double angle = std::numbers::pi * j / h;
      t.stage_re[h + j] = static_cast<float>(std::cos(angle));
      t.stage_im[h + j] = static_cast<float>(std::sin(angle));
    }
  for (uint32_t k = 0; k < n / 4; ++k) {
    const double angle = 2.0 * std::numbers::pi * k / n;
    t.split_re[k] = static_cast<float>(std::cos(angle));
    t.split_im[k] = static_cast<float>(std::sin(angle));
  }
  t.size = n;
}

// The two first radix-2 stages as one pass over groups of four (their
// factors are 1 and +-i).
template <bool Forward> void first_stages(float *re, float *im, uint32_t m) {
  if (m == 2) {
    const float r1 = re[1], i1 = im[1];
    re[1] = re[0] - r1;
    im[1] = im[0] - i1;
    re[0] += r1;
    im[0] += i1;
    return;
  }
  for (uint32_t b = 0; b < m; b += 4) {
    const float a0r = re[b] + re[b + 1], a0i = im[b] + im[b + 1];
    const float a1r = re[b] - re[b + 1], a1i = im[b] - im[b + 1];
    const float a2r = re[b + 2] + re[b + 3], a2i = im[b + 2] + im[b + 3];
    const float a3r = re[b + 2] - re[b + 3], a3i = im[b + 2] - im[b + 3];
    // a3 times e^{+-i pi/2}
    const float tr = Forward ? -a3i : a3i, ti = Forward ? a3r : -a3r;
    re[b] = a0r + a2r;
    im[b] = a0i + a2i;
    re[b + 2] = a0r - a2r;
    im[b + 2] = a0i - a2i;
    re[b + 1] = a1r + tr;
    im[b + 1] = a1i + ti;
    re[b + 3] = a1r - tr;
    im[b + 3] = a1i - ti;
  }
}

// One radix-2 stage of half-length h over all groups; the inner loop runs
// over contiguous arrays so that the compiler vectorises it.
template <bool Forward>
VEX_RDFT_CLONES void stage(float *__restrict re, float *__restrict im, uint32_t m, uint32_t h, const float *__restrict wr,
           const float *__restrict wi) {
  for (uint32_t base = 0; base < m; base += 2 * h) {
    float *__restrict lr = re + base;
    float *__restrict li = im + base;
    float *__restrict hr = re + base + h;
    float *__restrict hi = im + base + h;
    for (uint32_t j = 0; j < h; ++j) {
      const float c = wr[j], s = Forward ? wi[j] : -wi[j];
      const float tr = hr[j] * c - hi[j] * s;
      const float ti = hr[j] * s + hi[j] * c;
      hr[j] = lr[j] - tr;
      hi[j] = li[j] - ti;
      lr[j] += tr;
      li[j] += ti;
    }
  }
}

// Z[k] = sum_j z[j] e^{s 2 pi i j k / m} (s = +1 forward, -1 inverse) over
// re/im already in bit-reversed order; the result is in natural order.
template <bool Forward> void complex_transform(float *re, float *im, uint32_t m, const RdftTables &t) {
  first_stages<Forward>(re, im, m);
  for (uint32_t h = 4; h < m; h *= 2)
    stage<Forward>(re, im, m, h, t.stage_re + h, t.stage_im + h);
}

// From the complex spectrum Z of z[j] = x[2j] + i x[2j+1] to the real
// spectrum: with E = (Z[k] + conj Z[m-k]) / 2 and O = (Z[k] - conj Z[m-k]) / 2i
// (the spectra of the even and odd samples), X[k] = E + W^k O and
// X[m-k] = conj(E - W^k O), W = e^{2 pi i / n}. Done here for k < upto
// (and the partners m - k), the rest by the 256-bit split.
VEX_RDFT_CLONES void split_forward(const float *__restrict re, const float *__restrict im, float *__restrict a, uint32_t m,
                                   const RdftTables &t, uint32_t upto) {
  a[0] = re[0] + im[0];
  a[1] = re[0] - im[0];
  // Two passes so that both vectorise: the arithmetic over contiguous
  // arrays (the conjugate partners read backwards), then the interleaving.
  alignas(32) float lo_r[kRdftMaxSize / 4], lo_i[kRdftMaxSize / 4], hi_r[kRdftMaxSize / 4], hi_i[kRdftMaxSize / 4];
  const float *__restrict wr = t.split_re;
  const float *__restrict wi = t.split_im;
  const uint32_t half = m / 2;
  for (uint32_t k = 1; k < upto; ++k) {
    const float pr = re[k], pi = im[k], qr = re[m - k], qi = im[m - k];
    const float er = 0.5f * (pr + qr), ei = 0.5f * (pi - qi);
    const float or_ = 0.5f * (pi + qi), oi = -0.5f * (pr - qr);
    const float tr = wr[k] * or_ - wi[k] * oi, ti = wr[k] * oi + wi[k] * or_;
    lo_r[k] = er + tr;
    lo_i[k] = ei + ti;
    hi_r[k] = er - tr;
    hi_i[k] = ti - ei;
  }
  for (uint32_t k = 1; k < upto; ++k) {
    a[2 * k] = lo_r[k];
    a[2 * k + 1] = lo_i[k];
  }
  for (uint32_t k = 1; k < upto; ++k) {
    a[2 * (m - k)] = hi_r[k];
    a[2 * (m - k) + 1] = hi_i[k];
  }
  // k = m/2: W^k = i and the value stays as it is.
  a[m] = re[half];
  a[m + 1] = im[half];
}

// The reverse of split_forward: E = (X[k] + conj X[m-k]) / 2,
// O = (X[k] - conj X[m-k]) conj(W^k) / 2, Z[k] = E + iO; the unscaled inverse
// complex transform of Z then yields m x = (n/2) x. Z goes to re/im in
// bit-reversed order.
VEX_RDFT_CLONES void split_inverse(const float *__restrict a, float *__restrict re, float *__restrict im, uint32_t m,
                                   const RdftTables &t) {
  const uint16_t *rev = t.bitrev;
  re[0] = 0.5f * (a[0] + a[1]);
  im[0] = 0.5f * (a[0] - a[1]);
  for (uint32_t k = 1; k < m / 2; ++k) {
    const float pr = a[2 * k], pi = a[2 * k + 1], qr = a[2 * (m - k)], qi = a[2 * (m - k) + 1];
    const float er = 0.5f * (pr + qr), ei = 0.5f * (pi - qi);
    const float dr = 0.5f * (pr - qr), di = 0.5f * (pi + qi);
    const float wr = t.split_re[k], wi = -t.split_im[k];
    const float or_ = dr * wr - di * wi, oi = dr * wi + di * wr;
    // Z[k] = E + iO, Z[m-k] = conj E + i conj O.
    re[rev[k]] = er - oi;
    im[rev[k]] = ei + or_;
    re[rev[m - k]] = er + oi;
    im[rev[m - k]] = -ei + or_;
  }
  re[rev[m / 2]] = a[m];
  im[rev[m / 2]] = a[m + 1];
}

} // namespace

bool rdft_size_ok(uint32_t n) { return n >= 4 && n <= kRdftMaxSize && (n & (n - 1)) == 0; }

void rdft(uint32_t n, int sign, float *a, RdftTables &tables, RdftPath path) {
  if (!rdft_size_ok(n))
    return;
  if (tables.size != n)
    build_tables(n, tables);
  const uint32_t m = n / 2;
  static const bool wide = rdft_avx2_available();
  const bool use_wide = wide && path == RdftPath::best && m >= 64;
  alignas(32) float re[kRdftMaxSize / 2];
  alignas(32) float im[kRdftMaxSize / 2];
  if (sign > 0) {
    if (use_wide) {
      rdft_forward_avx2(a, re, im, m, tables);
      split_forward(re, im, a, m, tables, 8);
    } else {
      for (uint32_t i = 0; i < m; ++i) {
        const uint32_t r = tables.bitrev[i];
        re[i] = a[2 * r];
        im[i] = a[2 * r + 1];
      }
      complex_transform<true>(re, im, m, tables);
      split_forward(re, im, a, m, tables, m / 2);
    }
  } else if (use_wide) {
    rdft_inverse_avx2(a, re, im, m, tables);
  } else {
    split_inverse(a, re, im, m, tables);
    complex_transform<false>(re, im, m, tables);
    for (uint32_t i = 0; i < m; ++i) {
      a[2 * i] = re[i];
      a[2 * i + 1] = im[i];
    }
  }
}

} // namespace vex::audio_codec
