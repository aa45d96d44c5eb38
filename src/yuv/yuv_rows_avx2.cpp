// AVX2 row converter: 32 pixels (16 chroma samples) per step, the same
// arithmetic as the SSE2 converter in 256-bit registers. The in-lane unpacks
// leave luma and the doubled chroma terms in the same lane order
// ([0-7 | 16-23] and [8-15 | 24-31]), so the saturating packs put the
// channel bytes back in pixel order; only the final pixel interleave needs
// cross-lane permutes.
#include "yuv/yuv_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <utility>

namespace vex::yuv {

namespace {

#define VEX_AVX2 __attribute__((target("avx2")))
#define VEX_INLINE inline __attribute__((always_inline))

VEX_AVX2 VEX_INLINE __m256i u16x(uint16_t v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }

VEX_AVX2 VEX_INLINE __m256i with_sign(__m256i mag, __m256i s) { return _mm256_sub_epi16(_mm256_xor_si256(mag, s), s); }

struct WideTerms {
  __m256i r, g, b;
};

// Inlined: as a call it returned the three terms through memory, with a
// vzeroupper before every call.
VEX_AVX2 VEX_INLINE WideTerms wide_chroma_terms(const uint8_t *c1, const uint8_t *c2) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i d1 = _mm256_sub_epi16(
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(c1))), u16x(128));
  const __m256i d2 = _mm256_sub_epi16(
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(c2))), u16x(128));
  const __m256i s1 = _mm256_srai_epi16(d1, 15);
  const __m256i s2 = _mm256_srai_epi16(d2, 15);
  const __m256i a1 = _mm256_slli_epi16(with_sign(d1, s1), 1);
  const __m256i a2 = _mm256_slli_epi16(with_sign(d2, s2), 1);
  const __m256i rv = with_sign(_mm256_mulhi_epu16(a1, u16x(52299)), s1);
  const __m256i gv = _mm256_sub_epi16(zero, with_sign(_mm256_mulhi_epu16(a1, u16x(26639)), s1));
  const __m256i gu = _mm256_sub_epi16(zero, with_sign(_mm256_mulhi_epu16(a2, u16x(12837)), s2));
  const __m256i bu = with_sign(_mm256_add_epi16(a2, _mm256_mulhi_epu16(a2, u16x(565))), s2);
  return {rv, _mm256_add_epi16(gu, gv), bu};
}

VEX_AVX2 VEX_INLINE __m256i luma_term(__m256i y16) { return _mm256_mulhi_epu16(_mm256_slli_epi16(y16, 1), u16x(38154)); }

template <bool DoubleWidth> VEX_AVX2 VEX_INLINE void store8(uint32_t *out, __m256i p) {
  if constexpr (DoubleWidth) {
    const __m256i lo = _mm256_unpacklo_epi32(p, p), hi = _mm256_unpackhi_epi32(p, p);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
  } else {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), p);
  }
}

// Luma of 32 pixels with their chroma terms to 32 output pixels (the terms
// already exchanged for swapped chroma). Inlined and built per layout, so
// the group loop carries no tests.
template <bool DoubleWidth, bool Alpha>
VEX_AVX2 VEX_INLINE void emit32(const uint8_t *luma, const WideTerms &t, const uint8_t *alpha, uint32_t *out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(luma));
  const __m256i yy = _mm256_min_epu8(_mm256_subs_epu8(y, _mm256_set1_epi8(16)), _mm256_set1_epi8(static_cast<char>(219)));
  const __m256i ylo = luma_term(_mm256_unpacklo_epi8(yy, zero)); // pixels [0-7 | 16-23]
  const __m256i yhi = luma_term(_mm256_unpackhi_epi8(yy, zero)); // pixels [8-15 | 24-31]
  const auto channel = [&](__m256i term) VEX_AVX2 {
    return _mm256_packus_epi16(_mm256_adds_epi16(ylo, _mm256_unpacklo_epi16(term, term)),
                               _mm256_adds_epi16(yhi, _mm256_unpackhi_epi16(term, term)));
  };
  const __m256i r = channel(t.r), g = channel(t.g), b = channel(t.b);
  __m256i a = zero;
  if constexpr (Alpha)
    a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(alpha));
  const __m256i bg_lo = _mm256_unpacklo_epi8(b, g), bg_hi = _mm256_unpackhi_epi8(b, g);
  const __m256i ra_lo = _mm256_unpacklo_epi8(r, a), ra_hi = _mm256_unpackhi_epi8(r, a);
  const __m256i p0 = _mm256_unpacklo_epi16(bg_lo, ra_lo); // pixels [0-3 | 16-19]
  const __m256i p1 = _mm256_unpackhi_epi16(bg_lo, ra_lo); // [4-7 | 20-23]
  const __m256i p2 = _mm256_unpacklo_epi16(bg_hi, ra_hi); // [8-11 | 24-27]
  const __m256i p3 = _mm256_unpackhi_epi16(bg_hi, ra_hi); // [12-15 | 28-31]
  constexpr int step = DoubleWidth ? 16 : 8;
  store8<DoubleWidth>(out, _mm256_permute2x128_si256(p0, p1, 0x20));
  store8<DoubleWidth>(out + step, _mm256_permute2x128_si256(p2, p3, 0x20));
  store8<DoubleWidth>(out + 2 * step, _mm256_permute2x128_si256(p0, p1, 0x31));
  store8<DoubleWidth>(out + 3 * step, _mm256_permute2x128_si256(p2, p3, 0x31));
}

template <bool DoubleWidth, bool Alpha>
VEX_AVX2 int32_t groups(const SourceRow &row, const SourceRow *second, bool swap, uint32_t *out,
                        uint32_t *second_out) {
  constexpr int32_t scale = DoubleWidth ? 2 : 1;
  int32_t done = 0;
  for (; done + 32 <= row.width; done += 32) {
    const int32_t c = done >> 1;
    WideTerms t = wide_chroma_terms(row.c1 + c, row.c2 + c); // shared by both rows of a pair
    if (swap)
      std::swap(t.r, t.b);
    emit32<DoubleWidth, Alpha>(row.luma + done, t, Alpha ? row.alpha + done : nullptr, out + done * scale);
    if (second)
      emit32<DoubleWidth, Alpha>(second->luma + done, t, Alpha ? second->alpha + done : nullptr,
                                 second_out + done * scale);
  }
  return done;
}

} // namespace

bool avx2_available() { return __builtin_cpu_supports("avx2"); }

int32_t convert_groups_avx2(const SourceRow &row, const SourceRow *second, const RowFormat &format, uint32_t *out,
                            uint32_t *second_out) {
  // Alpha comes with both rows of a pair or with neither.
  const bool alpha = row.alpha != nullptr;
  if (format.double_width)
    return alpha ? groups<true, true>(row, second, format.swap, out, second_out)
                 : groups<true, false>(row, second, format.swap, out, second_out);
  return alpha ? groups<false, true>(row, second, format.swap, out, second_out)
               : groups<false, false>(row, second, format.swap, out, second_out);
}

} // namespace vex::yuv

#else

namespace vex::yuv {
bool avx2_available() { return false; }
int32_t convert_groups_avx2(const SourceRow &, const SourceRow *, const RowFormat &, uint32_t *, uint32_t *) {
  return 0;
}
} // namespace vex::yuv

#endif
