#include "movie/bgr_to_yuv444.h"

#include "util/cpu_clones.h"

namespace vex::movie {

namespace {

// Coefficients times 65536; each row of the matrix sums to 65536 (Y) or 0.
constexpr int32_t kYr = 19595, kYg = 38470, kYb = 7471;
constexpr int32_t kUr = -11059, kUg = -21709, kUb = 32768;
constexpr int32_t kVr = 32768, kVg = -27439, kVb = -5329;
constexpr int32_t kHalf = 1 << 15;
constexpr int32_t kChromaBias = (128 << 16) + kHalf - 1;

// Built for AVX2 as well as the baseline; the loader picks.
VEX_AVX2_CLONES void row_to_yuv(const uint8_t *__restrict bgr,
                                                                 uint8_t *__restrict y, uint8_t *__restrict u,
                                                                 uint8_t *__restrict v, int width) {
  for (int x = 0; x < width; ++x) {
    const int32_t b = bgr[x * 3], g = bgr[x * 3 + 1], r = bgr[x * 3 + 2];
    y[x] = static_cast<uint8_t>((kYr * r + kYg * g + kYb * b + kHalf) >> 16);
    u[x] = static_cast<uint8_t>((kUr * r + kUg * g + kUb * b + kChromaBias) >> 16);
    v[x] = static_cast<uint8_t>((kVr * r + kVg * g + kVb * b + kChromaBias) >> 16);
  }
}

} // namespace

void bgr_to_yuv444(const uint8_t *rows, ptrdiff_t pitch, int width, int height, uint8_t *const planes[3],
                   const int linesize[3]) {
  for (int row = 0; row < height; ++row) {
    const uint8_t *src = rows + static_cast<ptrdiff_t>(height - 1 - row) * pitch;
    row_to_yuv(src, planes[0] + static_cast<ptrdiff_t>(row) * linesize[0],
               planes[1] + static_cast<ptrdiff_t>(row) * linesize[1],
               planes[2] + static_cast<ptrdiff_t>(row) * linesize[2], width);
  }
}

} // namespace vex::movie
