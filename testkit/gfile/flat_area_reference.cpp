#include "testkit/gfile/flat_area_reference.h"

#include <algorithm>

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

namespace {

uint8_t smooth(int x, int y, int channel, int slope, std::mt19937 &rng) {
  const int base = channel == 0 ? 90 : channel == 1 ? 140 : 20 + 3 * x % 200;
  const int v = base + (slope * (x + 2 * y + channel)) / 4 + static_cast<int>(rng() % 3);
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

} // namespace

TestFrame shaded_frame(int width, int height, int depth, std::mt19937 &rng) {
  const size_t row_bytes = (static_cast<size_t>(width) * depth + 7) / 8;
  TestFrame f{width, height, depth, row_bytes + rng() % 5, {}, {}};
  f.bytes.assign(f.pitch * static_cast<size_t>(height), 0xA5);
  const int slope = 1 + static_cast<int>(rng() % 4);
  for (size_t i = 0; i < 256; ++i)
    f.palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(40 + i / 2), static_cast<uint8_t>(255 - i / 3)};
  for (int y = 0; y < height; ++y) {
    uint8_t *row = &f.bytes[static_cast<size_t>(y) * f.pitch];
    for (int x = 0; x < width; ++x) {
      const bool sharp = rng() % 23 == 0;
      const bool dark = (x / 7 + y / 5) % 5 == 0;
      uint8_t c[3];
      for (int k = 0; k < 3; ++k)
        c[k] = sharp  ? static_cast<uint8_t>(rng())
               : dark ? static_cast<uint8_t>(rng() % 30)
                      : smooth(x, y, k, slope, rng);
      switch (depth) {
      case 4: {
        const uint8_t index = static_cast<uint8_t>(sharp ? rng() % 16 : (x + y) / 3 % 16);
        uint8_t &b = row[x / 2];
        b = static_cast<uint8_t>(x % 2 ? (b & 0x0F) | index << 4 : (b & 0xF0) | index);
        break;
      }
      case 8: row[x] = sharp ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(c[0] / 2 + c[1] / 4); break;
      case 16: {
        const unsigned v = (c[2] >> 3) << 10 | (c[1] >> 3) << 5 | c[0] >> 3 | (rng() & 1) << 15;
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        break;
      }
      default:
        std::copy(c, c + 3, row + static_cast<size_t>(x) * (depth / 8));
        if (depth == 32)
          row[4 * x + 3] = static_cast<uint8_t>(rng());
      }
    }
  }
  if (depth == 4)
    for (size_t i = 0; i < 16; ++i)
      f.palette[i] = {static_cast<uint8_t>(60 + i * 3), static_cast<uint8_t>(100 + i), static_cast<uint8_t>(200 - i)};
  return f;
}

} // namespace flat_area_reference
