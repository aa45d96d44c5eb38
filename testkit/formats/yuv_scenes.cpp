#include "testkit/formats/yuv_scenes.h"

#include <cmath>
#include <random>

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

} // namespace

Picture render_scene(Scene scene, int index, uint32_t width, uint32_t height, bool with_alpha) {
  Picture pic((width + 15) & ~15u, (height + 15) & ~15u, with_alpha);
  if (scene == Scene::kShapes)
    shapes(pic, index);
  else
    noise(pic, index);
  return pic;
}

} // namespace vex::testkit::tolm
