// The YUV blitter's scaling modes against where each source pixel must
// land, worked out per mode from the rules of the modes rather than from
// the blitter's own loop, on the SIMD and the plain paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "vexutil/yuv.h"
#include "yuv/yuv_rows.h"
#include "testkit/yuv/yuv_formula.h"

namespace {

constexpr uint32_t kSentinel = 0xA5A5A5A5u;

struct Frame {
  int32_t pitch, rows;
  std::vector<uint8_t> planes, alpha;
  Frame(int32_t p, int32_t s, uint32_t seed) : pitch(p), rows(s), planes(size_t(p) * s * 3 / 2), alpha(size_t(p) * s) {
    std::mt19937 rng(seed);
    for (auto &b : planes)
      b = static_cast<uint8_t>(rng());
    for (auto &b : alpha)
      b = static_cast<uint8_t>(rng());
  }
  uint8_t luma(int32_t x, int32_t y) const { return planes[size_t(y) * pitch + x]; }
  uint8_t chroma(int plane, int32_t x, int32_t y) const {
    const size_t base = size_t(pitch) * rows + (plane == 2 ? size_t(pitch / 2) * (rows / 2) : 0);
    return planes[base + size_t(y) * (pitch / 2) + x];
  }
};

struct Blit {
  int32_t dx, dy, sx, sy, w, h;
  uint32_t flags;
  bool with_alpha;
};

constexpr int32_t kDestW = 330, kDestH = 132;

std::vector<uint32_t> run(const Frame &f, const Blit &b) {
  std::vector<uint32_t> dest(size_t(kDestW) * kDestH, kSentinel);
  YUV_init(5);
  if (b.with_alpha)
    YUV_blit_32abpp(dest.data(), b.dx, b.dy, kDestW * 4, f.planes.data(), b.sx, b.sy, b.w, b.h, f.pitch, f.rows,
                    f.alpha.data(), b.flags);
  else
    YUV_blit_32bpp(dest.data(), b.dx, b.dy, kDestW * 4, f.planes.data(), b.sx, b.sy, b.w, b.h, f.pitch, f.rows,
                   b.flags);
  return dest;
}

// Where each source pixel must land, worked out per mode from the rules of
// the scaling modes rather than from the blitter's own loop.
std::vector<uint32_t> expected(const Frame &f, const Blit &b) {
  std::vector<uint32_t> dest(size_t(kDestW) * kDestH, kSentinel);
  const uint32_t mode = b.flags >> 28 & 7;
  const bool wide = mode == 3 || mode == 4 || mode == 5;
  const int32_t rows = mode == 6 ? b.h / 2 : b.h;
  for (int32_t r = 0; r < rows; ++r) {
    // Mode 6 reads every other luma row; its chroma follows the doubled pitch.
    const int32_t ly = mode == 6 ? 2 * (b.sy / 2 + r) : b.sy + r;
    const int32_t cy = mode == 6 ? 2 * ((b.sy / 2 + r) >> 1) : (b.sy + r) >> 1;
    std::vector<int32_t> dest_rows;
    switch (mode) {
    case 1:
    case 4: dest_rows = {b.dy + 2 * r, b.dy + 2 * r + 1}; break;
    case 2:
    case 5: dest_rows = {b.dy + 2 * r}; break;
    case 6: dest_rows = {2 * b.dy + 2 * r}; break;
    default: dest_rows = {b.dy + r}; break;
    }
    for (int32_t i = 0; i < b.w; ++i) {
      const int32_t x = b.sx + i;
      uint32_t p = (b.flags & YUV_GREY)
                       ? vex::testkit::expected_grey(f.luma(x, ly))
                       : vex::testkit::expected_colour(f.luma(x, ly), f.chroma(1, x >> 1, cy), f.chroma(2, x >> 1, cy),
                                                    (b.flags & YUV_SWAP_CHROMA) != 0);
      if (b.with_alpha)
        p |= uint32_t{f.alpha[size_t(ly) * f.pitch + x]} << 24;
      for (int32_t dr : dest_rows)
        for (int32_t k = 0; k < (wide ? 2 : 1); ++k)
          dest[size_t(dr) * kDestW + b.dx + (wide ? 2 * i + k : i)] = p;
    }
  }
  return dest;
}

// Every mode, odd and even offsets and sizes, grey, swap and alpha: the
// SIMD and plain paths (level 0 and the flag) give identical bytes, and
// all match the layout. The random frame holds every luma value, so grey
// mode meets each in the 16-pixel groups and in the plain tails.
TEST(YuvModes, EveryModeBothPathsMatchTheLayout) {
  const Frame f(160, 64, 11);
  for (uint32_t mode = 0; mode <= 6; ++mode)
    for (uint32_t extra : {0u, uint32_t{YUV_GREY}, uint32_t{YUV_SWAP_CHROMA}})
      for (bool alpha : {false, true})
        for (const auto &[sx, sy, w, h] : {std::tuple{0, 0, 160, 64}, {1, 1, 37, 13}, {3, 2, 50, 21}, {5, 7, 17, 1},
                                          {2, 3, 33, 2}, {0, 1, 1, 5}, {7, 0, 64, 31}, {1, 0, 99, 3}})
          for (int32_t dx : {0, 3}) {
            const int32_t dy = mode == 6 ? 1 : 2;
            const Blit b{dx, dy, sx, sy, w, h, mode << 28 | extra, alpha};
            const auto want = expected(f, b);
            for (int level : {0, 1, 2}) {
              vex::yuv::set_simd_level(level);
              ASSERT_EQ(run(f, b), want) << "level " << level << " mode " << mode << " flags " << std::hex << b.flags
                                         << std::dec << " src " << sx << "," << sy << " " << w << "x" << h << " dx "
                                         << dx;
            }
            Blit plain = b;
            plain.flags |= YUV_NO_SIMD;
            ASSERT_EQ(run(f, plain), want) << "plain path, mode " << mode;
          }
}

// Modes that skip a row leave the rows between as they were; bad
// arguments write nothing.
TEST(YuvModes, RowsBetweenAndBadArgumentsAreLeftAsTheyWere) {
  const auto dest = run(Frame(32, 16, 3), {0, 0, 0, 0, 32, 16, 2u << 28, false});
  for (int32_t y = 1; y < 32; y += 2)
    for (int32_t x = 0; x < kDestW; ++x)
      ASSERT_EQ(dest[size_t(y) * kDestW + x], kSentinel) << x << "," << y;
  EXPECT_NE(dest[0], kSentinel);
  for (const Blit &b : {Blit{0, 0, 0, 0, 0, 16, 0, false}, Blit{0, 0, 0, 0, 32, -1, 0, false},
                        Blit{0, 0, -1, 0, 32, 16, 0, false}})
    EXPECT_EQ(run(Frame(32, 16, 5), b), std::vector<uint32_t>(size_t(kDestW) * kDestH, kSentinel));
}

} // namespace
