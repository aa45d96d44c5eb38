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
#include "audio/rdft_avx2.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define VEX_AVX2_FMA __attribute__((target("avx2,fma")))

namespace vex::audio {
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

VEX_AVX2_FMA inline Complex8 load(const float *re, const float *im, uint32_t k) {
  return {_mm256_load_ps(re + k), _mm256_load_ps(im + k)};
}

VEX_AVX2_FMA inline void store(float *re, float *im, uint32_t k, const Complex8 &v) {
  _mm256_store_ps(re + k, v.re);
  _mm256_store_ps(im + k, v.im);
}

// Half-lengths h and 2h (h >= 8) in one pass over groups of 4h points:
// quarters 0-1 and 2-3 with factor j, then 0-2 with factor j and 1-3 with
// factor j + h of the longer stage.
template <bool Forward> VEX_AVX2_FMA void two_stages(float *re, float *im, uint32_t m, uint32_t h, const RdftTables &t) {
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
      store(re, im, k, q0);
      store(re, im, k + h, q1);
      store(re, im, k + 2 * h, q2);
      store(re, im, k + 3 * h, q3);
    }
}

template <bool Forward> VEX_AVX2_FMA void one_stage(float *re, float *im, uint32_t m, uint32_t h, const RdftTables &t) {
  for (uint32_t base = 0; base < m; base += 2 * h)
    for (uint32_t j = 0; j < h; j += 8) {
      Complex8 lo = load(re, im, base + j), hi = load(re, im, base + j + h);
      butterfly(lo, hi, _mm256_loadu_ps(t.stage_re + h + j), factor_im<Forward>(_mm256_loadu_ps(t.stage_im + h + j)));
      store(re, im, base + j, lo);
      store(re, im, base + j + h, hi);
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

// The split of rdft.cpp's split_forward, eight k at a time from k = 8: the
// partners m - k are read as a reversed vector, and X[m - k] is reversed
// back before it is stored.
VEX_AVX2_FMA void split_forward_wide(const float *re, const float *im, float *x, uint32_t m, const RdftTables &t) {
  const __m256 half = _mm256_set1_ps(0.5f);
  for (uint32_t k = 8; k < m / 2; k += 8) {
    const __m256 pr = _mm256_load_ps(re + k), pi = _mm256_load_ps(im + k);
    const __m256 qr = reversed(_mm256_loadu_ps(re + m - k - 7)), qi = reversed(_mm256_loadu_ps(im + m - k - 7));
    const __m256 er = _mm256_mul_ps(half, _mm256_add_ps(pr, qr)), ei = _mm256_mul_ps(half, _mm256_sub_ps(pi, qi));
    const __m256 or_ = _mm256_mul_ps(half, _mm256_add_ps(pi, qi)), oi = _mm256_mul_ps(half, _mm256_sub_ps(qr, pr));
    const __m256 wr = _mm256_loadu_ps(t.split_re + k), wi = _mm256_loadu_ps(t.split_im + k);
    const __m256 tr = _mm256_fmsub_ps(wr, or_, _mm256_mul_ps(wi, oi));
    const __m256 ti = _mm256_fmadd_ps(wr, oi, _mm256_mul_ps(wi, or_));
    store_interleaved(x + 2 * k, _mm256_add_ps(er, tr), _mm256_add_ps(ei, ti));
    store_interleaved(x + 2 * (m - k - 7), reversed(_mm256_sub_ps(er, tr)), reversed(_mm256_sub_ps(ti, ei)));
  }
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

template <bool Forward> void later_stages(float *re, float *im, uint32_t m, const RdftTables &t) {
  uint32_t h = 64;
  for (; 2 * h < m; h *= 4)
    two_stages<Forward>(re, im, m, h, t);
  if (h < m)
    one_stage<Forward>(re, im, m, h, t);
}

} // namespace

bool rdft_avx2_available() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }

void forward_transform_avx2(const float *x, float *re, float *im, uint32_t m, const RdftTables &t) {
  first_six_stages_gathered<true>(x, x + 1, 2, re, im, m, t);
  later_stages<true>(re, im, m, t);
}

VEX_AVX2_FMA void rdft_inverse_avx2(float *x, float *re, float *im, uint32_t m, const RdftTables &t) {
  alignas(32) float zr[kRdftMaxSize / 2], zi[kRdftMaxSize / 2];
  split_inverse_wide(x, zr, zi, m, t);
  first_six_stages_gathered<false>(zr, zi, 1, re, im, m, t);
  later_stages<false>(re, im, m, t);
  for (uint32_t k = 0; k < m; k += 8)
    store_interleaved(x + 2 * k, _mm256_load_ps(re + k), _mm256_load_ps(im + k));
}

void split_forward_avx2(const float *re, const float *im, float *x, uint32_t m, const RdftTables &t) {
  split_forward_wide(re, im, x, m, t);
}


} // namespace vex::audio

#else

namespace vex::audio {
bool rdft_avx2_available() { return false; }
void forward_transform_avx2(const float *, float *, float *, uint32_t, const RdftTables &) {}
void rdft_inverse_avx2(float *, float *, float *, uint32_t, const RdftTables &) {}
void split_forward_avx2(const float *, const float *, float *, uint32_t, const RdftTables &) {}
} // namespace vex::audio

#endif
