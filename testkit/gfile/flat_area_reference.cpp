#include "testkit/gfile/flat_area_reference.h"

namespace flat_area_reference {

namespace {

// The dither thresholds, eight rows of eight.
const int kTable[8][8] = {
    {0, 11, 3, 14, 1, 12, 3, 15}, {8, 4, 11, 7, 8, 5, 11, 7}, {2, 13, 1, 12, 2, 14, 2, 13}, {9, 6, 8, 5, 10, 6, 9, 5},
    {0, 12, 3, 15, 0, 12, 3, 14}, {8, 4, 11, 7, 8, 4, 11, 7}, {2, 14, 1, 13, 2, 14, 1, 13}, {10, 6, 9, 5, 10, 6, 9, 5},
};

struct Bgr {
  int c[3]; // blue, green, red
};

Bgr pixel(const Frame &f, int x, int y) {
  const uint8_t *row = f.first_row + y * f.pitch;
  int index = -1;
  Bgr p{};
  switch (f.depth) {
  case 4: index = x % 2 == 0 ? row[x / 2] % 16 : row[x / 2] / 16; break;
  case 8: index = row[x]; break;
  case 16: {
    const int v = row[2 * x] + 256 * row[2 * x + 1];
    p.c[0] = (v % 32) * 8;
    p.c[1] = (v / 32 % 32) * 8;
    p.c[2] = (v / 1024 % 32) * 8;
    break;
  }
  case 24: p = {{row[3 * x], row[3 * x + 1], row[3 * x + 2]}}; break;
  case 32: p = {{row[4 * x], row[4 * x + 1], row[4 * x + 2]}}; break;
  }
  if (index >= 0)
    p = {{f.palette[index][2], f.palette[index][1], f.palette[index][0]}};
  return p;
}

} // namespace

std::vector<uint8_t> filter(const Frame &f, Counts *counts) {
  std::vector<uint8_t> out(static_cast<size_t>(f.width) * f.height * 3);
  int d = 56;
  for (int y = 0; y < f.height; ++y) {
    const bool inner_row = y != 0 && y != f.height - 1;
    if (inner_row) {
      if (d % 8 == 0)
        d += 8;
      d -= 1;
    }
    for (int x = 0; x < f.width; ++x) {
      const Bgr p = pixel(f, x, y);
      uint8_t *o = &out[(static_cast<size_t>(y) * f.width + x) * 3];
      for (int c = 0; c < 3; ++c)
        o[c] = static_cast<uint8_t>(p.c[c]);
      if (!inner_row || x == 0 || x == f.width - 1)
        continue;
      d = d >= 8 ? d - 8 : d + 56;
      int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const Bgr q = pixel(f, x + dx, y + dy);
          for (int c = 0; c < 3; ++c) {
            if (q.c[c] < lo[c])
              lo[c] = q.c[c];
            if (q.c[c] > hi[c])
              hi[c] = q.c[c];
          }
        }
      const int sum = (hi[0] - lo[0]) + (hi[1] - lo[1]) + (hi[2] - lo[2]);
      if ((hi[0] < 32 && hi[1] < 32 && hi[2] < 32) || sum <= 4 || sum >= 16) {
        if (counts)
          ++counts->copied;
        continue;
      }
      if (counts)
        ++counts->quantised;
      const int t = kTable[d / 8][d % 8];
      for (int c = 0; c < 3; ++c) {
        int v = (p.c[c] / 16 + (t < p.c[c] % 16 ? 1 : 0)) * 16;
        if (v > 255)
          v = 255;
        o[c] = static_cast<uint8_t>(v);
      }
    }
  }
  return out;
}

} // namespace flat_area_reference
