// The complex transform of rdft.cpp in 256-bit registers with fused
// multiply-adds, for 64 points and more.
//
// Both directions gather the first pass's input in bit-reversed order (the
// forward one straight from the interleaved samples, the inverse one from
// the split's output in natural order). The first six radix-2 stages run in
// one pass over blocks of 64 points held in sixteen registers (eight rows of eight real parts, eight of
// imaginary parts; row g holds points 8g .. 8g+7). The stages of
// half-lengths 8, 16 and 32 pair whole rows, so they are plain vertical
// butterflies; the stages of half-lengths 1, 2 and 4 pair points within a
// row, so the block is transposed (row p then holds point p of every
// original row) for them and transposed back. The later stages go two at a
// time (half-lengths h and 2h over groups of 4h points), eight points per
// step, with a last single stage when their number is odd.
//
// The factors are those of the plain stages (the same table entries, the
// exact +-i of the second stage); the fused multiply-adds round once instead
// of twice, so the results differ from the plain path's by a few units in
// the last place. The splits of the real transform work eight bins at a
// time the same way.
#include "audio_codec/rdft_avx2.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <bit>
#include <cmath>

#define VEX_AVX2_FMA __attribute__((target("avx2,fma")))

namespace vex::audio_codec {
namespace {

struct Complex8 {
  __m256 re, im;
};

// Forward transforms take the tables' factors e^{+i a}, inverse ones their
// conjugates: the imaginary parts are negated by flipping the sign bit.
template <bool Forward> VEX_AVX2_FMA __m256 factor_im(__m256 wi) {
  if constexpr (Forward)
    return wi;
  else
    return _mm256_xor_ps(wi, _mm256_set1_ps(-0.0f));
}

// lo, hi <- lo + w hi, lo - w hi
VEX_AVX2_FMA inline void butterfly(Complex8 &lo, Complex8 &hi, __m256 wr, __m256 wi) {
  const __m256 tr = _mm256_fmsub_ps(hi.re, wr, _mm256_mul_ps(hi.im, wi));
  const __m256 ti = _mm256_fmadd_ps(hi.re, wi, _mm256_mul_ps(hi.im, wr));
  hi.re = _mm256_sub_ps(lo.re, tr);
  hi.im = _mm256_sub_ps(lo.im, ti);
  lo.re = _mm256_add_ps(lo.re, tr);
  lo.im = _mm256_add_ps(lo.im, ti);
}

// lo, hi <- lo + w hi, lo - w hi with w = +i (forward) or -i (inverse):
// exact, as in the plain first stages.
template <bool Forward> VEX_AVX2_FMA inline void butterfly_i(Complex8 &lo, Complex8 &hi) {
  const __m256 zero = _mm256_setzero_ps();
  const __m256 tr = Forward ? _mm256_sub_ps(zero, hi.im) : hi.im;
  const __m256 ti = Forward ? hi.re : _mm256_sub_ps(zero, hi.re);
  hi.re = _mm256_sub_ps(lo.re, tr);
  hi.im = _mm256_sub_ps(lo.im, ti);
  lo.re = _mm256_add_ps(lo.re, tr);
  lo.im = _mm256_add_ps(lo.im, ti);
}

// lo, hi <- lo + hi, lo - hi (factor 1)
VEX_AVX2_FMA inline void butterfly(Complex8 &lo, Complex8 &hi) {
  const Complex8 l = lo;
  lo.re = _mm256_add_ps(l.re, hi.re);
  lo.im = _mm256_add_ps(l.im, hi.im);
  hi.re = _mm256_sub_ps(l.re, hi.re);
  hi.im = _mm256_sub_ps(l.im, hi.im);
}

// Eight rows of eight floats transposed in registers.
VEX_AVX2_FMA inline void transpose8(__m256 (&r)[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
  const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
  r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
  r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
  r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
  r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
  r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// The three stages of half-lengths 1, 2, 4 over rows: rows p and p + h are
// paired with the factor of index p mod h (the same for every lane).
template <bool Forward> VEX_AVX2_FMA inline void stages_within_rows(Complex8 (&v)[8], const RdftTables &t) {
  for (int p = 0; p < 8; p += 2)
    butterfly(v[p], v[p + 1]);
  for (int p = 0; p < 8; p += 4) {
    butterfly(v[p], v[p + 2]);
    butterfly_i<Forward>(v[p + 1], v[p + 3]);
  }
  butterfly(v[0], v[4]);
  for (int j = 1; j < 4; ++j)
    butterfly(v[j], v[j + 4], _mm256_set1_ps(t.stage_re[4 + j]),
              factor_im<Forward>(_mm256_set1_ps(t.stage_im[4 + j])));
}

// The three stages of half-lengths 8, 16, 32 over rows of natural order:
// rows g and g + h/8 are paired, lane p taking factor (g mod h/8) * 8 + p.
template <bool Forward> VEX_AVX2_FMA inline void stages_across_rows(Complex8 (&v)[8], const RdftTables &t) {
  for (int span = 1; span < 8; span *= 2) {
    const uint32_t h = 8u * static_cast<uint32_t>(span);
    for (int g = 0; g < 8; ++g) {
      if (g & span)
        continue;
      const uint32_t j = h + 8u * static_cast<uint32_t>(g % span);
      butterfly(v[g], v[g + span], _mm256_loadu_ps(t.stage_re + j), factor_im<Forward>(_mm256_loadu_ps(t.stage_im + j)));
    }
  }
}

// The six stages of one block whose rows are already transposed (row p
// holds point p of the block's eight rows of eight, lane l taking row
// order[l]); the block is stored in natural order at re/im + b.
template <bool Forward>
VEX_AVX2_FMA inline void six_stages(__m256 (&r)[8], __m256 (&i)[8], const int (&order)[8], float *re, float *im,
                                    uint32_t b, const RdftTables &t) {
  Complex8 v[8];
  for (int p = 0; p < 8; ++p)
    v[p] = {r[p], i[p]};
  stages_within_rows<Forward>(v, t);
  for (int p = 0; p < 8; ++p) {
    r[p] = v[p].re;
    i[p] = v[p].im;
  }
  transpose8(r);
  transpose8(i);
  for (int l = 0; l < 8; ++l)
    v[order[l]] = {r[l], i[l]};
  stages_across_rows<Forward>(v, t);
  for (int g = 0; g < 8; ++g) {
    _mm256_store_ps(re + b + 8 * g, v[g].re);
    _mm256_store_ps(im + b + 8 * g, v[g].im);
  }
}

constexpr int kReversed[8] = {0, 4, 2, 6, 1, 5, 3, 7}; // three-bit reversal

// The same from points in natural order (point k's parts at xr[k * s] and
// xi[k * s]), taking the bit reversal on the way in. Point 8g + p of block b
// comes from rev(b + 8g + p) = rev3(p) m/8 + rev3(g) m/64 + rev(b); with
// lane l standing for g = rev3(l), row p of the transposed block is eight
// points m/64 apart from rev3(p) m/8 + rev(b): one gather for its real
// parts, one for its imaginary parts.
template <bool Forward>
VEX_AVX2_FMA void first_six_stages_gathered(const float *xr, const float *xi, uint32_t s, float *re, float *im,
                                            uint32_t m, const RdftTables &t) {
  const __m256i lanes = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                           _mm256_set1_epi32(static_cast<int>(s * (m / 64))));
  for (uint32_t b = 0; b < m; b += 64) {
    __m256 r[8], i[8];
    for (int p = 0; p < 8; ++p) {
      const uint32_t k = s * (static_cast<uint32_t>(kReversed[p]) * (m / 8) + t.bitrev[b]);
      r[p] = _mm256_i32gather_ps(xr + k, lanes, 4);
      i[p] = _mm256_i32gather_ps(xi + k, lanes, 4);
    }
    six_stages<Forward>(r, i, kReversed, re, im, b, t);
  }
}

// The same without gathers, for m >= 256 (four columns or more below).
// The points form a matrix of 64 rows t and c = m/64 columns u (point
// t c + u); block b takes column u = rev(b) (so b = rev(u)), and row p of
// its transposed block holds rows 8 rev3(p) .. 8 rev3(p) + 7 of that
// column. A first pass reads the matrix in tiles of eight rows by eight
// columns with plain loads, transposes each tile in registers (a column of
// the tile becomes a vector of eight rows) and stores the vectors where
// the block pass then loads them, row p of block b at b + 8p; the block
// pass works in place. Interleaved points (s = 2) need no deinterleaving
// of their own: eight rows of four interleaved points transpose into the
// real and the imaginary parts of four columns.
template <bool Forward>
VEX_AVX2_FMA void first_six_stages_tiled(const float *xr, const float *xi, uint32_t s, float *re, float *im,
                                         uint32_t m, const RdftTables &t) {
  const uint32_t cols = m / 64;
  for (uint32_t a = 0; a < 8; ++a) {
    const uint32_t row = 8 * static_cast<uint32_t>(kReversed[a]);
    if (cols == 4) {
      // Tiles of eight rows by four columns: a row of four points is one
      // register either way (interleaved, or its real then its imaginary
      // parts).
      __m256 v[8];
      for (uint32_t l = 0; l < 8; ++l) {
        const uint32_t k = s * (8 * a + l) * cols;
        v[l] = s == 2 ? _mm256_loadu_ps(xr + k) : _mm256_loadu2_m128(xi + k, xr + k);
      }
      transpose8(v);
      for (uint32_t q = 0; q < 4; ++q) {
        _mm256_store_ps(re + t.bitrev[q] + row, s == 2 ? v[2 * q] : v[q]);
        _mm256_store_ps(im + t.bitrev[q] + row, s == 2 ? v[2 * q + 1] : v[q + 4]);
      }
      continue;
    }
    for (uint32_t u0 = 0; u0 < cols; u0 += 8) {
      __m256 v[8], w[8];
      for (uint32_t l = 0; l < 8; ++l) {
        const uint32_t k = s * ((8 * a + l) * cols + u0);
        v[l] = _mm256_loadu_ps(xr + k);
        w[l] = s == 2 ? _mm256_loadu_ps(xr + k + 8) : _mm256_loadu_ps(xi + k);
      }
      transpose8(v);
      transpose8(w);
      if (s == 2) {
        for (uint32_t q = 0; q < 4; ++q) {
          const uint32_t lo = t.bitrev[u0 + q] + row, hi = t.bitrev[u0 + 4 + q] + row;
          _mm256_store_ps(re + lo, v[2 * q]);
          _mm256_store_ps(im + lo, v[2 * q + 1]);
          _mm256_store_ps(re + hi, w[2 * q]);
          _mm256_store_ps(im + hi, w[2 * q + 1]);
        }
      } else {
        for (uint32_t q = 0; q < 8; ++q) {
          _mm256_store_ps(re + t.bitrev[u0 + q] + row, v[q]);
          _mm256_store_ps(im + t.bitrev[u0 + q] + row, w[q]);
        }
      }
    }
  }
  for (uint32_t b = 0; b < m; b += 64) {
    __m256 r[8], i[8];
    for (int p = 0; p < 8; ++p) {
      r[p] = _mm256_load_ps(re + b + 8 * p);
      i[p] = _mm256_load_ps(im + b + 8 * p);
    }
    six_stages<Forward>(r, i, kReversed, re, im, b, t);
  }
}

// The gathers where the matrix has fewer than four columns, the tiles
// from there on.
template <bool Forward>
VEX_AVX2_FMA void first_six_stages(const float *xr, const float *xi, uint32_t s, float *re, float *im, uint32_t m,
                                   const RdftTables &t) {
  if (m >= 256)
    first_six_stages_tiled<Forward>(xr, xi, s, re, im, m, t);
  else
    first_six_stages_gathered<Forward>(xr, xi, s, re, im, m, t);
}

VEX_AVX2_FMA inline Complex8 load(const float *re, const float *im, uint32_t k) {
  return {_mm256_load_ps(re + k), _mm256_load_ps(im + k)};
}

VEX_AVX2_FMA inline void store(float *re, float *im, uint32_t k, const Complex8 &v) {
  _mm256_store_ps(re + k, v.re);
  _mm256_store_ps(im + k, v.im);
}

// Stores eight points at k: in place, or interleaved into out when the
// pass is the transform's last.
VEX_AVX2_FMA inline void store_eight(float *re, float *im, float *out, uint32_t k, const Complex8 &v);

// Half-lengths h and 2h (h >= 8) in one pass over groups of 4h points:
// quarters 0-1 and 2-3 with factor j, then 0-2 with factor j and 1-3 with
// factor j + h of the longer stage.
template <bool Forward>
VEX_AVX2_FMA void two_stages(float *re, float *im, uint32_t m, uint32_t h, const RdftTables &t, float *out = nullptr) {
  for (uint32_t base = 0; base < m; base += 4 * h)
    for (uint32_t j = 0; j < h; j += 8) {
      const uint32_t k = base + j;
      Complex8 q0 = load(re, im, k), q1 = load(re, im, k + h), q2 = load(re, im, k + 2 * h),
               q3 = load(re, im, k + 3 * h);
      const __m256 w1r = _mm256_loadu_ps(t.stage_re + h + j);
      const __m256 w1i = factor_im<Forward>(_mm256_loadu_ps(t.stage_im + h + j));
      butterfly(q0, q1, w1r, w1i);
      butterfly(q2, q3, w1r, w1i);
      butterfly(q0, q2, _mm256_loadu_ps(t.stage_re + 2 * h + j),
                factor_im<Forward>(_mm256_loadu_ps(t.stage_im + 2 * h + j)));
      butterfly(q1, q3, _mm256_loadu_ps(t.stage_re + 3 * h + j),
                factor_im<Forward>(_mm256_loadu_ps(t.stage_im + 3 * h + j)));
      store_eight(re, im, out, k, q0);
      store_eight(re, im, out, k + h, q1);
      store_eight(re, im, out, k + 2 * h, q2);
      store_eight(re, im, out, k + 3 * h, q3);
    }
}

template <bool Forward>
VEX_AVX2_FMA void one_stage(float *re, float *im, uint32_t m, uint32_t h, const RdftTables &t, float *out = nullptr) {
  for (uint32_t base = 0; base < m; base += 2 * h)
    for (uint32_t j = 0; j < h; j += 8) {
      Complex8 lo = load(re, im, base + j), hi = load(re, im, base + j + h);
      butterfly(lo, hi, _mm256_loadu_ps(t.stage_re + h + j), factor_im<Forward>(_mm256_loadu_ps(t.stage_im + h + j)));
      store_eight(re, im, out, base + j, lo);
      store_eight(re, im, out, base + j + h, hi);
    }
}

VEX_AVX2_FMA inline __m256 reversed(__m256 v) {
  return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// Eight complex values from interleaved order at x to separate parts.
VEX_AVX2_FMA inline void load_interleaved(const float *x, __m256 &r, __m256 &i) {
  const __m256 v0 = _mm256_loadu_ps(x), v1 = _mm256_loadu_ps(x + 8);
  // per 128-bit half: r0 r1 r4 r5 | r2 r3 r6 r7, then the middle quarters exchanged
  r = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(v0, v1, 0x88)), 0xD8));
  i = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(v0, v1, 0xDD)), 0xD8));
}

// Eight complex values from separate parts to interleaved order at x.
VEX_AVX2_FMA inline void store_interleaved(float *x, __m256 r, __m256 i) {
  const __m256 lo = _mm256_unpacklo_ps(r, i), hi = _mm256_unpackhi_ps(r, i);
  _mm256_storeu_ps(x, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(x + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

VEX_AVX2_FMA inline void store_eight(float *re, float *im, float *out, uint32_t k, const Complex8 &v) {
  if (out)
    store_interleaved(out + 2 * k, v.re, v.im);
  else
    store(re, im, k, v);
}

// The split of rdft.cpp's split_forward for the eight bins from k, given
// p = Z[k .. k+7] and q = Z[m-k], Z[m-k-1], ... (the partners, lane i
// holding Z[m-k-i]); X[m - k - 7 .. m - k] is reversed back before it is
// stored.
VEX_AVX2_FMA inline void split_eight(float *x, uint32_t m, uint32_t k, const Complex8 &p, const Complex8 &q,
                                     const RdftTables &t) {
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256 er = _mm256_mul_ps(half, _mm256_add_ps(p.re, q.re)), ei = _mm256_mul_ps(half, _mm256_sub_ps(p.im, q.im));
  const __m256 or_ = _mm256_mul_ps(half, _mm256_add_ps(p.im, q.im)), oi = _mm256_mul_ps(half, _mm256_sub_ps(q.re, p.re));
  const __m256 wr = _mm256_loadu_ps(t.split_re + k), wi = _mm256_loadu_ps(t.split_im + k);
  const __m256 tr = _mm256_fmsub_ps(wr, or_, _mm256_mul_ps(wi, oi));
  const __m256 ti = _mm256_fmadd_ps(wr, oi, _mm256_mul_ps(wi, or_));
  store_interleaved(x + 2 * k, _mm256_add_ps(er, tr), _mm256_add_ps(ei, ti));
  store_interleaved(x + 2 * (m - k - 7), reversed(_mm256_sub_ps(er, tr)), reversed(_mm256_sub_ps(ti, ei)));
}

// The same for one bin k (and its partner m - k), with the same operations
// in the same order, so that it rounds as the eight-bin form does.
VEX_AVX2_FMA inline void split_one(const float *re, const float *im, float *x, uint32_t m, uint32_t k,
                                   const RdftTables &t) {
  const float pr = re[k], pi = im[k], qr = re[m - k], qi = im[m - k];
  const float er = 0.5f * (pr + qr), ei = 0.5f * (pi - qi), or_ = 0.5f * (pi + qi), oi = 0.5f * (qr - pr);
  const float wr = t.split_re[k], wi = t.split_im[k];
  const float tr = std::fma(wr, or_, -(wi * oi)), ti = std::fma(wr, oi, wi * or_);
  x[2 * k] = er + tr;
  x[2 * k + 1] = ei + ti;
  x[2 * (m - k)] = er - tr;
  x[2 * (m - k) + 1] = ti - ei;
}

// The split for 8 <= k < m/2 (and the partners m - k) from Z in natural
// order in re/im to the interleaved spectrum x; the caller does k < 8,
// m - k > m - 8, 0 and m/2.
VEX_AVX2_FMA void split_forward_wide(const float *re, const float *im, float *x, uint32_t m, const RdftTables &t) {
  for (uint32_t k = 8; k < m / 2; k += 8) {
    const Complex8 p = load(re, im, k);
    const Complex8 q = {reversed(_mm256_loadu_ps(re + m - k - 7)), reversed(_mm256_loadu_ps(im + m - k - 7))};
    split_eight(x, m, k, p, q, t);
  }
}

// One forward butterfly of the last stage (half-length h = m/2) at j, in
// place, rounding as the eight-point butterfly does.
VEX_AVX2_FMA inline void last_butterfly_one(float *re, float *im, uint32_t j, uint32_t h, const RdftTables &t) {
  const float wr = t.stage_re[h + j], wi = t.stage_im[h + j];
  const float hr = re[j + h], hi = im[j + h];
  const float tr = std::fma(hr, wr, -(hi * wi)), ti = std::fma(hr, wi, hi * wr);
  re[j + h] = re[j] - tr;
  im[j + h] = im[j] - ti;
  re[j] += tr;
  im[j] += ti;
}

// The forward transform's last stage (half-length h = m/2) and the split
// in one pass: butterfly j gives Z[j] and Z[j + h], butterfly h - j gives
// Z[h - j] and Z[m - j], which are the partners the split pairs (j with
// m - j, h - j with h + j). So eight butterflies from k and the eight
// mirrored ones ending at h - k make the spectrum of 2 x 8 bins, and Z
// never goes back to memory. Butterflies j < 8, j > h - 8 and j = m/4 have
// no mirrored vector; they are done in place first, and their bins split
// one at a time afterwards (the caller does k < 8, 0 and m/2). m >= 128.
VEX_AVX2_FMA void last_stage_and_split(float *re, float *im, float *x, uint32_t m, const RdftTables &t) {
  const uint32_t h = m / 2, quarter = m / 4;
  {
    Complex8 lo = load(re, im, 0), hi = load(re, im, h);
    butterfly(lo, hi, _mm256_loadu_ps(t.stage_re + h), _mm256_loadu_ps(t.stage_im + h));
    store(re, im, 0, lo);
    store(re, im, h, hi);
  }
  for (uint32_t j = h - 7; j < h; ++j)
    last_butterfly_one(re, im, j, h, t);
  last_butterfly_one(re, im, quarter, h, t);
  for (uint32_t k = 8; k < quarter; k += 8) {
    const uint32_t j = h - k - 7; // the mirrored butterflies j .. h - k
    Complex8 a_lo = load(re, im, k), a_hi = load(re, im, k + h);
    butterfly(a_lo, a_hi, _mm256_loadu_ps(t.stage_re + h + k), _mm256_loadu_ps(t.stage_im + h + k));
    Complex8 b_lo = {_mm256_loadu_ps(re + j), _mm256_loadu_ps(im + j)};
    Complex8 b_hi = {_mm256_loadu_ps(re + j + h), _mm256_loadu_ps(im + j + h)};
    butterfly(b_lo, b_hi, _mm256_loadu_ps(t.stage_re + h + j), _mm256_loadu_ps(t.stage_im + h + j));
    // Bins k .. k+7 pair with Z[m-k-7 .. m-k] = b_hi; bins j .. j+7 with
    // Z[h+k+7 .. h+k] = a_hi, both read backwards.
    split_eight(x, m, k, a_lo, {reversed(b_hi.re), reversed(b_hi.im)}, t);
    split_eight(x, m, j, b_lo, {reversed(a_hi.re), reversed(a_hi.im)}, t);
  }
  for (uint32_t k = h - 7; k < h; ++k)
    split_one(re, im, x, m, k, t);
  split_one(re, im, x, m, quarter, t);
}

// The split before the inverse transform (rdft.cpp's split_inverse), with
// Z in natural order: E = (X[k] + conj X[m-k]) / 2, O = (X[k] - conj X[m-k])
// conj(W^k) / 2, Z[k] = E + iO, Z[m-k] = conj E + i conj O; eight k at a time
// from k = 8, the partners read and written as reversed vectors.
VEX_AVX2_FMA void split_inverse_wide(const float *x, float *zr, float *zi, uint32_t m, const RdftTables &t) {
  const auto one = [&](uint32_t k) {
    const float pr = x[2 * k], pi = x[2 * k + 1], qr = x[2 * (m - k)], qi = x[2 * (m - k) + 1];
    const float er = 0.5f * (pr + qr), ei = 0.5f * (pi - qi), dr = 0.5f * (pr - qr), di = 0.5f * (pi + qi);
    const float wr = t.split_re[k], wi = -t.split_im[k];
    const float or_ = dr * wr - di * wi, oi = dr * wi + di * wr;
    zr[k] = er - oi;
    zi[k] = ei + or_;
    zr[m - k] = er + oi;
    zi[m - k] = -ei + or_;
  };
  zr[0] = 0.5f * (x[0] + x[1]);
  zi[0] = 0.5f * (x[0] - x[1]);
  for (uint32_t k = 1; k < 8; ++k)
    one(k);
  const __m256 half = _mm256_set1_ps(0.5f);
  for (uint32_t k = 8; k < m / 2; k += 8) {
    __m256 pr, pi, qr, qi;
    load_interleaved(x + 2 * k, pr, pi);
    load_interleaved(x + 2 * (m - k - 7), qr, qi);
    qr = reversed(qr);
    qi = reversed(qi);
    const __m256 er = _mm256_mul_ps(half, _mm256_add_ps(pr, qr)), ei = _mm256_mul_ps(half, _mm256_sub_ps(pi, qi));
    const __m256 dr = _mm256_mul_ps(half, _mm256_sub_ps(pr, qr)), di = _mm256_mul_ps(half, _mm256_add_ps(pi, qi));
    const __m256 wr = _mm256_loadu_ps(t.split_re + k);
    const __m256 wi = _mm256_xor_ps(_mm256_loadu_ps(t.split_im + k), _mm256_set1_ps(-0.0f));
    const __m256 or_ = _mm256_fmsub_ps(dr, wr, _mm256_mul_ps(di, wi));
    const __m256 oi = _mm256_fmadd_ps(dr, wi, _mm256_mul_ps(di, wr));
    _mm256_storeu_ps(zr + k, _mm256_sub_ps(er, oi));
    _mm256_storeu_ps(zi + k, _mm256_add_ps(ei, or_));
    _mm256_storeu_ps(zr + m - k - 7, reversed(_mm256_add_ps(er, oi)));
    _mm256_storeu_ps(zi + m - k - 7, reversed(_mm256_sub_ps(or_, ei)));
  }
  zr[m / 2] = x[m];
  zi[m / 2] = x[m + 1];
}

// The stages from half-length 64 on, two per pass; `last` stops before
// that half-length. With `out`, the final pass writes its points
// interleaved there instead of back to re/im (false: no stage to do).
template <bool Forward>
VEX_AVX2_FMA bool later_stages(float *re, float *im, uint32_t m, const RdftTables &t, uint32_t last, float *out) {
  uint32_t h = 64;
  for (; 2 * h < last; h *= 4)
    two_stages<Forward>(re, im, m, h, t, 4 * h == last ? out : nullptr);
  if (h < last)
    one_stage<Forward>(re, im, m, h, t, out);
  return h < last || h > 64;
}

} // namespace

bool rdft_avx2_available() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }

VEX_AVX2_FMA void rdft_forward_avx2(float *x, float *re, float *im, uint32_t m, const RdftTables &t) {
  first_six_stages<true>(x, x + 1, 2, re, im, m, t);
  // An odd number of later stages leaves the last one single: it goes with
  // the split.
  if (std::countr_zero(m) % 2 == 1) {
    later_stages<true>(re, im, m, t, m / 2, nullptr);
    last_stage_and_split(re, im, x, m, t);
  } else {
    later_stages<true>(re, im, m, t, m, nullptr);
    split_forward_wide(re, im, x, m, t);
  }
}

VEX_AVX2_FMA void rdft_inverse_avx2(float *x, float *re, float *im, uint32_t m, const RdftTables &t) {
  alignas(32) float zr[kRdftMaxSize / 2], zi[kRdftMaxSize / 2];
  split_inverse_wide(x, zr, zi, m, t);
  first_six_stages<false>(zr, zi, 1, re, im, m, t);
  if (!later_stages<false>(re, im, m, t, m, x))
    for (uint32_t k = 0; k < m; k += 8)
      store_interleaved(x + 2 * k, _mm256_load_ps(re + k), _mm256_load_ps(im + k));
}

} // namespace vex::audio_codec

#else

namespace vex::audio_codec {
bool rdft_avx2_available() { return false; }
void rdft_forward_avx2(float *, float *, float *, uint32_t, const RdftTables &) {}
void rdft_inverse_avx2(float *, float *, float *, uint32_t, const RdftTables &) {}
} // namespace vex::audio_codec

#endif
