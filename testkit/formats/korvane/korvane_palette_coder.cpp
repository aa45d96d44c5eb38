#include "testkit/formats/korvane/korvane_palette_coder.h"

#include <algorithm>

namespace vex::testkit::korvane {

namespace {

uint8_t widen(uint8_t v6) { return static_cast<uint8_t>(4 * v6 + (v6 >> 4)); }

bool same(const Palette768 &a, uint32_t i, const Palette768 &b, uint32_t j) {
  return a[3 * i] == b[3 * j] && a[3 * i + 1] == b[3 * j + 1] && a[3 * i + 2] == b[3 * j + 2];
}

} // namespace

Palette768 representable(const Palette768 &p) {
  Palette768 r;
  for (size_t i = 0; i < r.size(); ++i)
    r[i] = widen(p[i] >> 2);
  return r;
}

std::vector<uint8_t> palette_chunk(const Palette768 &target, const Palette768 &old, bool key, PaletteCounts &counts) {
  const Palette768 want = representable(target);
  std::vector<uint8_t> out{0}; // length byte, set at the end
  uint32_t c = 0;
  while (c < 256) {
    if (!key && same(want, c, old, c)) {
      uint32_t n = 1;
      while (c + n < 256 && n < 128 && same(want, c + n, old, c + n))
        ++n;
      out.push_back(static_cast<uint8_t>(0x80 | (n - 1)));
      ++counts.keeps;
      c += n;
      continue;
    }
    uint32_t best = 0, from = 0;
    if (!key) {
      for (uint32_t s = 0; s < 256; ++s) {
        uint32_t n = 0;
        while (c + n < 256 && s + n < 256 && n < 64 && same(want, c + n, old, s + n))
          ++n;
        if (n > best) {
          best = n;
          from = s;
        }
      }
    }
    if (best >= 2) {
      out.push_back(static_cast<uint8_t>(0x40 | (best - 1)));
      out.push_back(static_cast<uint8_t>(from));
      ++counts.copies;
      c += best;
      continue;
    }
    out.push_back(static_cast<uint8_t>(target[3 * c] >> 2));
    out.push_back(static_cast<uint8_t>(target[3 * c + 1] >> 2));
    out.push_back(static_cast<uint8_t>(target[3 * c + 2] >> 2));
    ++counts.entries;
    ++c;
  }
  while (out.size() % 4 != 0)
    out.push_back(0);
  out[0] = static_cast<uint8_t>(out.size() / 4);
  return out;
}

} // namespace vex::testkit::korvane
