#include "testkit/formats/tolm/yuv_scenes.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <random>

#include "testkit/flic/pattern.h"

namespace vex::testkit::tolm {
namespace {

void shapes(Picture &pic, int t) {
  const int W = static_cast<int>(pic.padded_width), H = static_cast<int>(pic.padded_height);
  uint8_t *y = pic.plane(kLuma);
  const int box_x = (40 + 3 * t) % std::max(1, W - 64), box_y = (20 + 2 * t) % std::max(1, H - 48);
  const int cx = W / 2 + static_cast<int>(W / 4 * std::sin(t * 0.1)), cy = H / 2;
  const int r = std::max(4, H / 8);
  for (int row = 0; row < H; ++row)
    for (int col = 0; col < W; ++col) {
      int v = 40 + ((col + t) * 120) / std::max(1, W) + (row * 60) / std::max(1, H); // drifting gradient
      if (col >= box_x && col < box_x + 64 && row >= box_y && row < box_y + 48)
        v = (((col - box_x) / 8 + (row - box_y) / 8) & 1) ? 230 : 20; // checkerboard box
      const int dx = col - cx, dy = row - cy;
      if (dx * dx + dy * dy < r * r)
        v = 180; // solid disc
      if (row >= H - 24 && ((col / 4 + t) & 3) == 0)
        v = 250; // ticker stripes
      y[row * W + col] = static_cast<uint8_t>(v);
    }
  for (int p : {kChroma1, kChroma2}) {
    uint8_t *c = pic.plane(p);
    for (int row = 0; row < H / 2; ++row)
      for (int col = 0; col < W / 2; ++col)
        c[row * (W / 2) + col] = static_cast<uint8_t>(p == kChroma1 ? 128 + (col + t) % 32 : 100 + row % 48);
  }
  if (!pic.alpha.empty())
    for (int row = 0; row < H; ++row)
      for (int col = 0; col < W; ++col)
        pic.alpha[row * W + col] = (col - cx) * (col - cx) + (row - cy) * (row - cy) < r * r ? 255 : 0;
}

void noise(Picture &pic, int t) {
  std::mt19937 rng(static_cast<uint32_t>(1234 + t));
  for (uint8_t &v : pic.yuv)
    v = static_cast<uint8_t>(rng());
  for (uint8_t &v : pic.alpha)
    v = static_cast<uint8_t>(rng());
}

// The pattern animation (moving shapes, scrolling stripes, a cycling colour
// band) through its palette to RGB, then to studio-range YUV (BT.601 integer
// form); chroma is the mean of each 2x2 square.
void pattern(Picture &pic, int t, uint32_t width, uint32_t height) {
  PatternOptions o;
  o.width = width;
  o.height = height;
  o.frames = 1u << 20;
  o.cycle = true;
  const Frame8 f = PatternAnimation(o).frame(static_cast<uint32_t>(t));
  const std::vector<uint8_t> rgb = to_rgb(f.pixels.data(), width, height, width, f.palette.data());
  const uint32_t W = pic.padded_width;
  std::vector<int> u(size_t{W} * pic.padded_height), v(u.size());
  uint8_t *y = pic.plane(kLuma);
  for (uint32_t row = 0; row < pic.padded_height; ++row)
    for (uint32_t col = 0; col < W; ++col) {
      const uint32_t sr = std::min(row, height - 1), sc = std::min(col, width - 1); // edge pixels repeat
      const uint8_t *p = &rgb[(size_t{sr} * width + sc) * 3];
      const int r = p[0], g = p[1], b = p[2];
      y[row * W + col] = static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
      u[row * W + col] = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
      v[row * W + col] = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
    }
  uint8_t *c1 = pic.plane(kChroma1), *c2 = pic.plane(kChroma2);
  for (uint32_t row = 0; row < pic.padded_height / 2; ++row)
    for (uint32_t col = 0; col < W / 2; ++col) {
      const size_t i = size_t{2 * row} * W + 2 * col;
      c1[row * (W / 2) + col] = static_cast<uint8_t>((u[i] + u[i + 1] + u[i + W] + u[i + W + 1] + 2) / 4);
      c2[row * (W / 2) + col] = static_cast<uint8_t>((v[i] + v[i + 1] + v[i + W] + v[i + W + 1] + 2) / 4);
    }
  for (uint32_t i = 0; i < pic.alpha.size(); ++i)
    pic.alpha[i] = y[i] > 128 ? 255 : 0;
}

} // namespace

Picture render_scene(Scene scene, int index, uint32_t width, uint32_t height, bool with_alpha) {
  Picture pic((width + 15) & ~15u, (height + 15) & ~15u, with_alpha);
  if (scene == Scene::kShapes)
    shapes(pic, index);
  else if (scene == Scene::kPattern)
    pattern(pic, index, width, height);
  else
    noise(pic, index);
  return pic;
}

} // namespace vex::testkit::tolm
