// SSE2 row converter: 16 pixels (8 chroma samples) per step with exactly the
// plain converter's arithmetic. Each table term trunc(f * d / 32768) is
// formed as the sign of d applied to (2|d| * f) >> 16, the high half of an
// unsigned 16-bit product; the blue factor 66101 does not fit 16 bits and is
// split as 65536 + 565. Saturating packs do the clamping to 0..255.
#include "yuv/yuv_rows.h"

#include <atomic>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vex::yuv {

#if defined(__SSE2__)

namespace {

__m128i u16(uint16_t v) { return _mm_set1_epi16(static_cast<int16_t>(v)); }

// sign(d) * (mag), with s = d >> 15 (0 or -1 per lane)
__m128i with_sign(__m128i mag, __m128i s) { return _mm_sub_epi16(_mm_xor_si128(mag, s), s); }

struct Terms {
  __m128i r, g, b; // int16 per chroma sample
};

Terms chroma_terms(const uint8_t *c1, const uint8_t *c2) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i d1 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(c1)), zero), u16(128));
  const __m128i d2 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(c2)), zero), u16(128));
  const __m128i s1 = _mm_srai_epi16(d1, 15);
  const __m128i s2 = _mm_srai_epi16(d2, 15);
  const __m128i a1 = _mm_slli_epi16(with_sign(d1, s1), 1); // 2|d|, at most 256
  const __m128i a2 = _mm_slli_epi16(with_sign(d2, s2), 1);
  const __m128i rv = with_sign(_mm_mulhi_epu16(a1, u16(52299)), s1);
  const __m128i gv = _mm_sub_epi16(zero, with_sign(_mm_mulhi_epu16(a1, u16(26639)), s1));
  const __m128i gu = _mm_sub_epi16(zero, with_sign(_mm_mulhi_epu16(a2, u16(12837)), s2));
  const __m128i bu = with_sign(_mm_add_epi16(a2, _mm_mulhi_epu16(a2, u16(565))), s2);
  return {rv, _mm_add_epi16(gu, gv), bu};
}

// (clamp(y - 16, 0, 219) * 38154) >> 15 for 8 luma samples widened to 16 bits.
__m128i luma_term(__m128i y16) { return _mm_mulhi_epu16(_mm_slli_epi16(y16, 1), u16(38154)); }

void store4(uint32_t *out, __m128i p, bool double_width) {
  if (double_width) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi32(p, p));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4), _mm_unpackhi_epi32(p, p));
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), p);
  }
}

// 16 pixels starting on an even chroma phase.
void convert16(const uint8_t *luma, const uint8_t *c1, const uint8_t *c2, const uint8_t *alpha, const RowFormat &f,
               uint32_t *out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(luma));
  const __m128i yy = _mm_min_epu8(_mm_subs_epu8(y, _mm_set1_epi8(16)), _mm_set1_epi8(static_cast<char>(219)));
  const __m128i ylo = luma_term(_mm_unpacklo_epi8(yy, zero));
  const __m128i yhi = luma_term(_mm_unpackhi_epi8(yy, zero));
  const Terms t = chroma_terms(c1, c2);
  // One chroma sample serves two neighbouring pixels.
  const auto channel = [&](__m128i term) {
    return _mm_packus_epi16(_mm_adds_epi16(ylo, _mm_unpacklo_epi16(term, term)),
                            _mm_adds_epi16(yhi, _mm_unpackhi_epi16(term, term)));
  };
  __m128i r = channel(t.r);
  const __m128i g = channel(t.g);
  __m128i b = channel(t.b);
  if (f.swap)
    std::swap(r, b);
  const __m128i a = alpha ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(alpha)) : zero;
  const __m128i bg_lo = _mm_unpacklo_epi8(b, g), bg_hi = _mm_unpackhi_epi8(b, g);
  const __m128i ra_lo = _mm_unpacklo_epi8(r, a), ra_hi = _mm_unpackhi_epi8(r, a);
  const int step = f.double_width ? 8 : 4;
  store4(out, _mm_unpacklo_epi16(bg_lo, ra_lo), f.double_width);
  store4(out + step, _mm_unpackhi_epi16(bg_lo, ra_lo), f.double_width);
  store4(out + 2 * step, _mm_unpacklo_epi16(bg_hi, ra_hi), f.double_width);
  store4(out + 3 * step, _mm_unpackhi_epi16(bg_hi, ra_hi), f.double_width);
}

// 16 grey pixels: Grey[y] = 255 * min(max(y - 16, 0), 219) / 219 (0 up to
// 16, 255 from 235), the division exact as (x * 19153) >> 22 for the
// products x = 255 d, d <= 219 (checked over every d). The grey byte goes to
// the three colour bytes, the alpha sample (or zero) above them.
void grey16(const uint8_t *luma, const uint8_t *alpha, bool double_width, uint32_t *out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(luma));
  const __m128i d = _mm_min_epu8(_mm_subs_epu8(y, _mm_set1_epi8(16)), _mm_set1_epi8(static_cast<char>(219)));
  const auto grey8 = [&](__m128i d16) {
    return _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(d16, u16(255)), u16(19153)), 6);
  };
  const __m128i g = _mm_packus_epi16(grey8(_mm_unpacklo_epi8(d, zero)), grey8(_mm_unpackhi_epi8(d, zero)));
  const __m128i a = alpha ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(alpha)) : zero;
  const __m128i gg_lo = _mm_unpacklo_epi8(g, g), gg_hi = _mm_unpackhi_epi8(g, g);
  const __m128i ga_lo = _mm_unpacklo_epi8(g, a), ga_hi = _mm_unpackhi_epi8(g, a);
  const int step = double_width ? 8 : 4;
  store4(out, _mm_unpacklo_epi16(gg_lo, ga_lo), double_width);
  store4(out + step, _mm_unpackhi_epi16(gg_lo, ga_lo), double_width);
  store4(out + 2 * step, _mm_unpacklo_epi16(gg_hi, ga_hi), double_width);
  store4(out + 3 * step, _mm_unpackhi_epi16(gg_hi, ga_hi), double_width);
}

SourceRow advance(const SourceRow &row, int32_t n) {
  const int32_t c = (row.phase + n) >> 1;
  return {row.luma + n, row.c1 + c, row.c2 + c, row.alpha ? row.alpha + n : nullptr, (row.phase + n) & 1,
          row.width - n};
}

void convert_row_grey(const SourceRow &row, const RowFormat &format, uint32_t *out) {
  const int32_t scale = format.double_width ? 2 : 1;
  int32_t done = 0;
  for (; done + 16 <= row.width; done += 16)
    grey16(row.luma + done, row.alpha ? row.alpha + done : nullptr, format.double_width, out + done * scale);
  if (done < row.width)
    convert_row_plain(advance(row, done), format, out + done * scale);
}

// -1 until chosen. Threads that find it unset all choose the same value;
// only an unset level is replaced, so a level set_simd_level (a test hook)
// put there stays.
std::atomic<int> level{-1};

int simd_level() {
  int l = level.load(std::memory_order_relaxed);
  if (l < 0) {
    const int chosen = avx2_available() ? 2 : 1;
    level.compare_exchange_strong(l, chosen, std::memory_order_relaxed);
    l = level.load(std::memory_order_relaxed);
  }
  return l;
}

} // namespace

bool simd_available() { return simd_level() > 0; }

void set_simd_level(int wanted) {
  const int most = avx2_available() ? 2 : 1;
  level.store(wanted < 0 ? 0 : wanted > most ? most : wanted, std::memory_order_relaxed);
}

void convert_row_simd(const SourceRow &row, const RowFormat &format, uint32_t *out) {
  if (row.width < 17 || simd_level() == 0) {
    convert_row_plain(row, format, out);
    return;
  }
  if (format.grey) {
    convert_row_grey(row, format, out);
    return;
  }
  const int32_t scale = format.double_width ? 2 : 1;
  int32_t done = 0;
  if (row.phase) { // one pixel alone brings the chroma phase to even
    convert_row_plain({row.luma, row.c1, row.c2, row.alpha, 1, 1}, format, out);
    done = 1;
  }
  if (simd_level() >= 2)
    done += convert_groups_avx2(advance(row, done), nullptr, format, out + done * scale, nullptr);
  for (; done + 16 <= row.width; done += 16) {
    const int32_t c = (row.phase + done) >> 1;
    convert16(row.luma + done, row.c1 + c, row.c2 + c, row.alpha ? row.alpha + done : nullptr, format,
              out + done * scale);
  }
  if (done < row.width)
    convert_row_plain(advance(row, done), format, out + done * scale);
}

void convert_row_pair_simd(const SourceRow &row, const SourceRow &second, const RowFormat &format, uint32_t *out,
                           uint32_t *second_out) {
  if (format.grey || row.width < 33 || simd_level() < 2) {
    convert_row_simd(row, format, out);
    convert_row_simd(second, format, second_out);
    return;
  }
  const int32_t scale = format.double_width ? 2 : 1;
  const int32_t head = row.phase; // one pixel alone brings the chroma phase to even
  if (head) {
    convert_row_plain({row.luma, row.c1, row.c2, row.alpha, 1, 1}, format, out);
    convert_row_plain({second.luma, second.c1, second.c2, second.alpha, 1, 1}, format, second_out);
  }
  const SourceRow rest = advance(row, head), second_rest = advance(second, head);
  const int32_t done = head + convert_groups_avx2(rest, &second_rest, format, out + head * scale,
                                                  second_out + head * scale);
  if (done < row.width) {
    convert_row_simd(advance(row, done), format, out + done * scale);
    convert_row_simd(advance(second, done), format, second_out + done * scale);
  }
}

#else

bool simd_available() { return false; }

void convert_row_pair_simd(const SourceRow &row, const SourceRow &second, const RowFormat &format, uint32_t *out,
                           uint32_t *second_out) {
  convert_row_plain(row, format, out);
  convert_row_plain(second, format, second_out);
}
void set_simd_level(int) {}

void convert_row_simd(const SourceRow &row, const RowFormat &format, uint32_t *out) {
  convert_row_plain(row, format, out);
}

#endif

} // namespace vex::yuv
