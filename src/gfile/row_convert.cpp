#include "gfile/row_convert.h"

#include <cstring>

namespace vex::gfile {
namespace {
inline uint32_t pixel16(const uint8_t *p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
} // namespace

void row8_to_32(uint8_t *dst, const uint8_t *src, int32_t width, const uint8_t (*palette)[3]) {
  for (int32_t x = 0; x < width; ++x, dst += 4) {
    const uint8_t *c = palette[src[x]];
    dst[0] = c[2];
    dst[1] = c[1];
    dst[2] = c[0];
    dst[3] = 0;
  }
}

void row16_to_32(uint8_t *dst, const uint8_t *src, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src += 2, dst += 4) {
    const uint32_t p = pixel16(src);
    dst[0] = static_cast<uint8_t>((p & 31) << 3);
    dst[1] = static_cast<uint8_t>((p >> 5 & 31) << 3);
    dst[2] = static_cast<uint8_t>((p >> 10 & 31) << 3);
    dst[3] = 0;
  }
}

void row24_to_32(uint8_t *dst, const uint8_t *src, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = 0;
  }
}

void row32_to_32(uint8_t *dst, const uint8_t *src, int32_t width, bool alpha) {
  std::memcpy(dst, src, size_t(width) * 4);
  if (!alpha)
    for (int32_t x = 0; x < width; ++x)
      dst[x * 4 + 3] = 0;
}

void row8_copy(uint8_t *dst, const uint8_t *src, int32_t width) { std::memcpy(dst, src, size_t(width)); }

void row8_remap(uint8_t *dst, const uint8_t *src, int32_t width, const uint8_t *remap) {
  for (int32_t x = 0; x < width; ++x)
    dst[x] = remap[src[x]];
}

void row16_to_8(uint8_t *dst, const uint8_t *src, int32_t width, NearestColour &nearest) {
  // The 5 bits of each channel are the top 5 of the 6.
  for (int32_t x = 0; x < width; ++x, src += 2) {
    const uint32_t p = pixel16(src);
    dst[x] = nearest((p >> 10 & 31) << 1, (p >> 5 & 31) << 1, (p & 31) << 1);
  }
}

void row24_to_8(uint8_t *dst, const uint8_t *src, int32_t width, NearestColour &nearest) {
  for (int32_t x = 0; x < width; ++x, src += 3)
    dst[x] = nearest(src[2] >> 2u, src[1] >> 2u, src[0] >> 2u);
}

void row32_to_8(uint8_t *dst, const uint8_t *src, int32_t width, NearestColour &nearest) {
  for (int32_t x = 0; x < width; ++x, src += 4)
    dst[x] = nearest(src[2] >> 2u, src[1] >> 2u, src[0] >> 2u);
}

} // namespace vex::gfile
