#include "testkit/stills/still_pixels.h"
#include "util/bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace vex::testkit {

namespace {
uint8_t five_to_eight(unsigned v) { return static_cast<uint8_t>(v << 3 | v >> 2); }
} // namespace

std::vector<uint8_t> still_bgr(const vex::stills::Image &im, int32_t width, int32_t height) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t *row = im.pixels + static_cast<ptrdiff_t>(height - 1 - y) * im.pitch;
    for (int32_t x = 0; x < width; ++x) {
      if (im.bits <= 8) {
        const int32_t bit = x * im.bits;
        const unsigned index = (row[bit / 8] >> (bit % 8)) & ((1u << im.bits) - 1);
        out.insert(out.end(), im.colors + index * 4, im.colors + index * 4 + 3);
      } else if (im.bits == 16) {
        const unsigned v = util::le16(row + x * 2);
        out.insert(out.end(), {five_to_eight(v & 31), five_to_eight(v >> 5 & 31), five_to_eight(v >> 10 & 31)});
      } else {
        const uint8_t *p = row + x * (im.bits / 8);
        out.insert(out.end(), p, p + 3);
      }
    }
  }
  return out;
}

int max_byte_difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  if (a.size() != b.size())
    return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

} // namespace vex::testkit
