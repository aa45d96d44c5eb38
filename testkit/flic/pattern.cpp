#include "testkit/flic/pattern.h"

#include <cstdlib>

namespace vex::testkit {

namespace {

constexpr uint32_t kStripeBase = 16;
constexpr uint32_t kShapeBase = 100;
constexpr uint32_t kCycleBase = 200;
constexpr uint32_t kCycleLen = 32;

// Small deterministic generator (xorshift32).
struct Rng {
  uint32_t s;
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

uint8_t component(uint32_t v, bool six_bit) {
  v &= 255;
  return six_bit ? expand6(static_cast<uint8_t>(v >> 2)) : static_cast<uint8_t>(v);
}

Palette make_palette(const PatternOptions &o, uint32_t e) {
  Palette p{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t k = i;
    if (o.cycle && i >= kCycleBase && i < kCycleBase + kCycleLen)
      k = kCycleBase + (i - kCycleBase + e) % kCycleLen;
    p[3 * i] = component(k * 37 + 11, o.six_bit);
    p[3 * i + 1] = component(k * 91 + 3 * o.seed, o.six_bit);
    p[3 * i + 2] = component(k * 13 + 200, o.six_bit);
  }
  return p;
}

void draw_shapes(Frame8 &f, uint32_t e) {
  const uint32_t w = f.width, h = f.height;
  const uint32_t rw = w / 5 + 1, rh = h / 5 + 1;
  const uint32_t rx = w > rw ? (e * 7) % (w - rw) : 0;
  const uint32_t ry = h > rh ? (e * 5) % (h - rh) : 0;
  for (uint32_t y = ry; y < ry + rh && y < h; ++y)
    for (uint32_t x = rx; x < rx + rw && x < w; ++x)
      f.pixels[y * w + x] = static_cast<uint8_t>(kShapeBase + e % 8);
  const int64_t r = h / 8 + 1;
  const int64_t cx = w - 1 - (e * 11) % w, cy = (e * 3) % h;
  for (int64_t y = cy - r; y <= cy + r; ++y)
    for (int64_t x = cx - r; x <= cx + r; ++x)
      if (x >= 0 && y >= 0 && x < w && y < h && (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
        f.pixels[y * w + x] = static_cast<uint8_t>(kShapeBase + 20);
}

} // namespace

Frame8 PatternAnimation::frame(uint32_t i) const {
  const uint32_t w = o_.width, h = o_.height;
  // Still stretches: every third group of four frames repeats the frame
  // just before it.
  const uint32_t e = o_.stills && (i / 4) % 3 == 2 ? (i / 4) * 4 - 1 : i;
  Frame8 f;
  f.width = w;
  f.height = h;
  f.pixels.assign(size_t{w} * h, 0);
  f.palette = make_palette(o_, e);
  if (o_.solid && i == 1) {
    std::fill(f.pixels.begin(), f.pixels.end(), o_.solid_colour);
    return f;
  }
  const uint32_t shift = o_.scroll ? 3 * e : 0;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      f.pixels[size_t{y} * w + x] = static_cast<uint8_t>(kStripeBase + ((x + y + shift) / 8) % 32);
  if (o_.cycle)
    for (uint32_t y = h / 2; y < h / 2 + h / 6 + 1 && y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        f.pixels[size_t{y} * w + x] = static_cast<uint8_t>(kCycleBase + (x / 4) % kCycleLen);
  if (o_.shapes)
    draw_shapes(f, e);
  if (o_.noise || o_.noise_full) {
    Rng rng{o_.seed * 2654435761u + e * 40503u + 1};
    const uint32_t x0 = o_.noise_full ? 0 : w / 2, y0 = o_.noise_full ? 0 : h / 8;
    const uint32_t x1 = o_.noise_full ? w : x0 + w / 4 + 1, y1 = o_.noise_full ? h : y0 + h / 4 + 1;
    for (uint32_t y = y0; y < y1 && y < h; ++y)
      for (uint32_t x = x0; x < x1 && x < w; ++x)
        f.pixels[size_t{y} * w + x] = static_cast<uint8_t>(rng.next() >> 24);
  }
  return f;
}

std::vector<uint8_t> to_rgb(const uint8_t *pixels, uint32_t width, uint32_t height, uint32_t pitch,
                            const uint8_t *palette) {
  std::vector<uint8_t> rgb(size_t{width} * height * 3);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t *c = palette + 3 * pixels[size_t{y} * pitch + x];
      uint8_t *d = &rgb[(size_t{y} * width + x) * 3];
      d[0] = c[0];
      d[1] = c[1];
      d[2] = c[2];
    }
  return rgb;
}

} // namespace vex::testkit
