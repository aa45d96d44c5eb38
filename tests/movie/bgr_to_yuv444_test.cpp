// BGR rows into JPEG's full-range 4:4:4 YCbCr, beside libswscale doing
// the same conversion: every sample within 1 (the two round differently),
// the rows turned top first, and the corners of the colour cube exact to
// the hand-computed values (none of them wraps past 0 or 255).
#include <gtest/gtest.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "movie/bgr_to_yuv444.h"

namespace {

struct Planes {
  int width, height;
  std::array<std::vector<uint8_t>, 3> p;
  Planes(int w, int h) : width(w), height(h) {
    for (auto &v : p)
      v.assign(static_cast<size_t>(w) * h, 0);
  }
  uint8_t at(int c, int x, int y) const { return p[c][static_cast<size_t>(y) * width + x]; }
};

// Ours, from bottom-up rows `pitch` bytes apart.
Planes ours(const std::vector<uint8_t> &rows, int pitch, int w, int h) {
  Planes out(w, h);
  uint8_t *planes[3] = {out.p[0].data(), out.p[1].data(), out.p[2].data()};
  const int linesize[3] = {w, w, w};
  vex::movie::bgr_to_yuv444(rows.data(), pitch, w, h, planes, linesize);
  return out;
}

// libswscale's, from the same rows read top first (a negative stride).
Planes theirs(const std::vector<uint8_t> &rows, int pitch, int w, int h) {
  Planes out(w, h);
  SwsContext *s = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUVJ444P, SWS_BICUBIC, nullptr, nullptr,
                                 nullptr);
  if (!s)
    return out;
  // Room behind the rows for the converter's wide loads.
  std::vector<uint8_t> top_down(static_cast<size_t>(w) * 3 * h + 64);
  for (int y = 0; y < h; ++y)
    std::copy_n(rows.data() + static_cast<size_t>(h - 1 - y) * pitch, w * 3, top_down.data() + y * w * 3);
  const uint8_t *src[4] = {top_down.data(), nullptr, nullptr, nullptr};
  const int src_stride[4] = {w * 3, 0, 0, 0};
  uint8_t *dst[4] = {out.p[0].data(), out.p[1].data(), out.p[2].data(), nullptr};
  const int dst_stride[4] = {w, w, w, 0};
  sws_scale(s, src, src_stride, 0, h, dst, dst_stride);
  sws_freeContext(s);
  return out;
}

TEST(BgrToYuv444, AgreesWithLibswscaleWithinOneEverywhere) {
  std::mt19937 rng(11);
  for (const auto &[w, h] : {std::pair{64, 16}, std::pair{37, 9}, std::pair{1, 3}}) {
    const int pitch = (w * 3 + 3) & ~3;
    std::vector<uint8_t> rows(static_cast<size_t>(pitch) * h, 0xEE); // padding that must not be read as pixels
    for (int y = 0; y < h; ++y)
      for (int i = 0; i < w * 3; ++i)
        rows[y * pitch + i] = static_cast<uint8_t>(rng());
    const Planes a = ours(rows, pitch, w, h), b = theirs(rows, pitch, w, h);
    int worst = 0;
    for (int c = 0; c < 3; ++c)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          worst = std::max(worst, std::abs(a.at(c, x, y) - b.at(c, x, y)));
    EXPECT_LE(worst, 1) << w << " x " << h;
  }
}

TEST(BgrToYuv444, TheBottomRowInMemoryIsTheLastRowOut) {
  // Two rows: black stored first (the picture's bottom), white second.
  std::vector<uint8_t> rows(8, 0);
  std::fill_n(rows.begin() + 4, 3, 255);
  const Planes a = ours(rows, 4, 1, 2);
  EXPECT_EQ(a.at(0, 0, 0), 255);
  EXPECT_EQ(a.at(0, 0, 1), 0);
}

TEST(BgrToYuv444, CornersOfTheColourCube) {
  // Blue, green, red in; Y, Cb, Cr out, from the equations by hand:
  // e.g. pure blue: Y = 0.114 x 255 = 29.07, Cb = 127.5 + 128 = 255.5,
  // Cr = -0.081312 x 255 + 128 = 107.27. Halves of Cb and Cr round down
  // (255.5 stays 255, and 0.5 for yellow and cyan 0).
  struct Corner {
    uint8_t b, g, r, y, cb, cr;
  };
  for (const Corner c : {Corner{0, 0, 0, 0, 128, 128}, Corner{255, 255, 255, 255, 128, 128},
                         Corner{255, 0, 0, 29, 255, 107}, Corner{0, 255, 0, 150, 44, 21},
                         Corner{0, 0, 255, 76, 85, 255}, Corner{0, 255, 255, 226, 0, 149},
                         Corner{255, 255, 0, 179, 171, 0}, Corner{255, 0, 255, 105, 212, 235}}) {
    const std::vector<uint8_t> rows = {c.b, c.g, c.r, 0};
    const Planes a = ours(rows, 4, 1, 1);
    EXPECT_EQ(a.at(0, 0, 0), c.y) << int(c.b) << " " << int(c.g) << " " << int(c.r);
    EXPECT_EQ(a.at(1, 0, 0), c.cb) << int(c.b) << " " << int(c.g) << " " << int(c.r);
    EXPECT_EQ(a.at(2, 0, 0), c.cr) << int(c.b) << " " << int(c.g) << " " << int(c.r);
  }
}

} // namespace
