#include "testkit/formats/tolm/rgb_to_yuv.h"

#include <algorithm>
#include <cmath>

namespace vex::testkit::tolm {

Picture rgb_to_yuv(const std::vector<uint8_t> &rgb, uint32_t width, uint32_t height) {
  const uint32_t W = (width + 15) & ~15u, H = (height + 15) & ~15u;
  Picture p(W, H, false);
  const auto at = [&](uint32_t x, uint32_t y, int c) {
    x = std::min(x, width - 1);
    y = std::min(y, height - 1);
    return rgb[3 * (size_t{y} * width + x) + c] / 255.0;
  };
  const auto clamp8 = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      p.plane(kLuma)[y * W + x] = clamp8(16 + 65.481 * at(x, y, 0) + 128.553 * at(x, y, 1) + 24.966 * at(x, y, 2));
  for (uint32_t y = 0; y < (height + 1) / 2; ++y)
    for (uint32_t x = 0; x < (width + 1) / 2; ++x) {
      double r = 0, g = 0, b = 0;
      for (uint32_t k = 0; k < 4; ++k) {
        r += at(2 * x + k % 2, 2 * y + k / 2, 0) / 4;
        g += at(2 * x + k % 2, 2 * y + k / 2, 1) / 4;
        b += at(2 * x + k % 2, 2 * y + k / 2, 2) / 4;
      }
      p.plane(kChroma1)[y * (W / 2) + x] = clamp8(128 + 112 * r - 93.786 * g - 18.214 * b);
      p.plane(kChroma2)[y * (W / 2) + x] = clamp8(128 - 37.797 * r - 74.203 * g + 112 * b);
    }
  return p;
}

} // namespace vex::testkit::tolm
