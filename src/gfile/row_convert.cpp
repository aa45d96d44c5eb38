#include "gfile/row_convert.h"

#include <bit>
#include <cstring>

namespace vex::gfile {
namespace {
inline uint32_t pixel16(const uint8_t *p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
} // namespace

void row16_to_32(uint8_t *dst, const uint8_t *src, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src += 2, dst += 4) {
    const uint32_t p = pixel16(src);
    dst[0] = static_cast<uint8_t>((p & 31) << 3);
    dst[1] = static_cast<uint8_t>((p >> 5 & 31) << 3);
    dst[2] = static_cast<uint8_t>((p >> 10 & 31) << 3);
    dst[3] = 0;
  }
}

// Little-endian words: blue in the low byte, the fourth byte in the high one.
static_assert(std::endian::native == std::endian::little);
constexpr uint32_t kColourBits = 0x00FFFFFFu;

inline uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

Palette32 palette32(const uint8_t (*palette)[3]) {
  Palette32 t;
  for (size_t i = 0; i < t.size(); ++i)
    t[i] = uint32_t{palette[i][2]} | uint32_t{palette[i][1]} << 8 | uint32_t{palette[i][0]} << 16;
  return t;
}

// One lookup and one word store a pixel: the bytewise form stored four
// bytes and, as they might alias the palette, read it again each time.
void row8_to_32(uint8_t *dst, const uint8_t *src, int32_t width, const Palette32 &bgrx) {
  for (int32_t x = 0; x < width; ++x)
    store32(dst + size_t(x) * 4, bgrx[src[x]]);
}

void row24_to_32(uint8_t *dst, const uint8_t *src, int32_t width) {
  int32_t x = 0;
  // Four pixels from three words: w0 = b0 g0 r0 b1, w1 = g1 r1 b2 g2,
  // w2 = r2 b3 g3 r3 (low byte first). The rest bytewise.
  for (; x + 4 <= width; x += 4) {
    const uint8_t *s = src + size_t(x) * 3;
    uint8_t *d = dst + size_t(x) * 4;
    const uint32_t w0 = load32(s), w1 = load32(s + 4), w2 = load32(s + 8);
    store32(d, w0 & kColourBits);
    store32(d + 4, (w0 >> 24 | w1 << 8) & kColourBits);
    store32(d + 8, (w1 >> 16 | w2 << 16) & kColourBits);
    store32(d + 12, w2 >> 8);
  }
  for (; x < width; ++x) {
    const uint8_t *s = src + size_t(x) * 3;
    uint8_t *d = dst + size_t(x) * 4;
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = 0;
  }
}

void row32_to_32(uint8_t *dst, const uint8_t *src, int32_t width, bool alpha) {
  if (alpha) {
    std::memcpy(dst, src, size_t(width) * 4);
    return;
  }
  for (int32_t x = 0; x < width; ++x)
    store32(dst + size_t(x) * 4, load32(src + size_t(x) * 4) & kColourBits);
}

void row8_copy(uint8_t *dst, const uint8_t *src, int32_t width) { std::memcpy(dst, src, size_t(width)); }

void row8_remap(uint8_t *dst, const uint8_t *src, int32_t width, const uint8_t *remap) {
  for (int32_t x = 0; x < width; ++x)
    dst[x] = remap[src[x]];
}

void row16_to_8(uint8_t *dst, const uint8_t *src, int32_t width, palette::NearestColour &nearest) {
  // The 5 bits of each channel are the top 5 of the 6.
  for (int32_t x = 0; x < width; ++x, src += 2) {
    const uint32_t p = pixel16(src);
    dst[x] = nearest((p >> 10 & 31) << 1, (p >> 5 & 31) << 1, (p & 31) << 1);
  }
}

void row24_to_8(uint8_t *dst, const uint8_t *src, int32_t width, palette::NearestColour &nearest) {
  for (int32_t x = 0; x < width; ++x, src += 3)
    dst[x] = nearest(src[2] >> 2u, src[1] >> 2u, src[0] >> 2u);
}

void row32_to_8(uint8_t *dst, const uint8_t *src, int32_t width, palette::NearestColour &nearest) {
  for (int32_t x = 0; x < width; ++x, src += 4)
    dst[x] = nearest(src[2] >> 2u, src[1] >> 2u, src[0] >> 2u);
}

} // namespace vex::gfile
