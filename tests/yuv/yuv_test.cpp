// The YUV blitter: pixel values against hand-worked pixels and against the
// conversion formulas (testkit/yuv/yuv_formula.h) for every triple, on
// every path; and the scaling modes against where each source pixel must
// land, worked out per mode from the rules of the modes rather than from
// the blitter's own loop, on the SIMD and the plain paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "testkit/yuv/yuv_formula.h"
#include "vexutil/yuv.h"
#include "yuv/yuv_rows.h"

namespace {

using vex::testkit::expected_colour;
using vex::testkit::expected_grey;

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
  // 16 x 2: luma y everywhere, one chroma pair c1, c2, alpha a everywhere.
  Frame(uint8_t y, uint8_t c1, uint8_t c2, uint8_t a) : pitch(16), rows(2), planes(48, y), alpha(32, a) {
    std::fill(planes.begin() + 32, planes.begin() + 40, c1);
    std::fill(planes.begin() + 40, planes.end(), c2);
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

TEST(YuvValues, HandWorkedPixels) {
  struct Row {
    int y, c1, c2;
    uint32_t flags;
    int alpha;
    uint32_t mask, want;
  };
  const uint32_t all = 0xFFFFFFFFu;
  for (const Row r :
       {Row{16, 128, 128, 0, -1, all, 0x000000u},  // black
        Row{235, 128, 128, 0, -1, all, 0xFEFEFEu}, // white: 219 * 38154 / 32768 = 254.99
        Row{235, 128, 128, YUV_GREY, -1, all, 0xFFFFFFu}, Row{0, 200, 50, YUV_GREY, -1, all, 0u},
        // Red: Yt[81] = 75, Rv[240] = 178, Gv[240] = -91, Gu[90] = 14, Bu[90] = -76.
        Row{81, 240, 90, 0, -1, all, 0xFD0000u},
        // Green: Yt[145] = 150, Rv[34] = -150, Gv[34] = 76, Gu[54] = 28, Bu[54] = -149.
        Row{145, 34, 54, 0, -1, all, 0x00FE01u},
        // Blue: Yt[41] = 29, Rv[110] = -28, Gv[110] = 14, Gu[240] = -43, Bu[240] = 225.
        Row{41, 110, 240, 0, -1, all, 0x0100FEu},
        Row{41, 110, 240, YUV_SWAP_CHROMA, -1, all, 0xFE0001u}, // red and blue exchanged
        // Clamped at both ends: 254 + 202, 0 - 258.
        Row{255, 255, 255, 0, -1, 0xFFFF0000u, 0xFF0000u}, Row{0, 128, 0, 0, -1, 0xFFu, 0u},
        Row{0, 255, 128, 0, -1, 0xFF0000u, 202u << 16},
        // Grey thresholds: 255 * 110 / 219 = 128.08.
        Row{17, 0, 0, YUV_GREY, -1, all, 0x010101u}, Row{234, 0, 0, YUV_GREY, -1, all, 0xFDFDFDu},
        Row{126, 0, 0, YUV_GREY, -1, all, 0x808080u},
        // Alpha goes to the top byte.
        Row{235, 128, 128, 0, 0x7F, all, 0x7FFEFEFEu}, Row{235, 128, 128, YUV_GREY, 0x7F, all, 0x7FFFFFFFu}}) {
    const Frame f(uint8_t(r.y), uint8_t(r.c1), uint8_t(r.c2), uint8_t(r.alpha));
    EXPECT_EQ(run(f, {0, 0, 0, 0, 1, 1, r.flags, r.alpha >= 0})[0] & r.mask, r.want)
        << r.y << " " << r.c1 << " " << r.c2 << " flags " << r.flags;
  }
}

// Every (luma, plane 1, plane 2) triple through both converters against the
// formulas: 2^24 pixels in a 4096 x 4096 frame where each chroma pair covers
// one 2x2 block and the 64 blocks of a pair run through the luma values.
TEST(YuvValues, EveryTripleMatchesTheFormulasOnBothPaths) {
  constexpr int32_t P = 4096, S = 4096;
  std::vector<uint8_t> frame(size_t{P} * S * 3 / 2);
  uint8_t *c1 = frame.data() + size_t{P} * S;
  uint8_t *c2 = c1 + size_t{P / 2} * (S / 2);
  // Chroma block (bx, by): pair index k = by * 2048 + bx; c1 = k & 255, c2 = (k >> 8) & 255,
  // and k >> 16 (0..63) picks which group of four luma values the block holds.
  for (int32_t by = 0; by < S / 2; ++by)
    for (int32_t bx = 0; bx < P / 2; ++bx) {
      const uint32_t k = uint32_t(by) * 2048 + uint32_t(bx);
      c1[size_t(by) * (P / 2) + bx] = static_cast<uint8_t>(k);
      c2[size_t(by) * (P / 2) + bx] = static_cast<uint8_t>(k >> 8);
      for (int j = 0; j < 4; ++j)
        frame[size_t(2 * by + j / 2) * P + 2 * bx + j % 2] = static_cast<uint8_t>((k >> 16) * 4 + j);
    }
  std::vector<uint32_t> out(size_t{P} * S);
  YUV_init(3);
  // Level 2 is AVX2 where the processor has it, 1 SSE2, 0 and the flag plain.
  for (const auto &[level, flags] : {std::pair{2, 0u}, {1, 0u}, {0, 0u}, {2, uint32_t{YUV_NO_SIMD}}}) {
    vex::yuv::set_simd_level(level);
    std::fill(out.begin(), out.end(), 0u);
    YUV_blit_32bpp(out.data(), 0, 0, P * 4, frame.data(), 0, 0, P, S, P, S, flags);
    size_t bad = 0;
    for (int32_t y = 0; y < S && bad < 5; ++y)
      for (int32_t x = 0; x < P; ++x) {
        const size_t ci = size_t(y / 2) * (P / 2) + x / 2;
        if (out[size_t(y) * P + x] != expected_colour(frame[size_t(y) * P + x], c1[ci], c2[ci])) {
          ADD_FAILURE() << "level " << level << " flags " << flags << " at " << x << "," << y;
          ++bad;
        }
      }
  }
  vex::yuv::set_simd_level(2);
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
      uint32_t p = (b.flags & YUV_GREY) ? expected_grey(f.luma(x, ly))
                                        : expected_colour(f.luma(x, ly), f.chroma(1, x >> 1, cy),
                                                          f.chroma(2, x >> 1, cy), (b.flags & YUV_SWAP_CHROMA) != 0);
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
        for (const auto &[sx, sy, w, h] : {std::tuple{0, 0, 160, 64},
                                           {1, 1, 37, 13},
                                           {3, 2, 50, 21},
                                           {5, 7, 17, 1},
                                           {2, 3, 33, 2},
                                           {0, 1, 1, 5},
                                           {7, 0, 64, 31},
                                           {1, 0, 99, 3}})
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
  for (const Blit &b :
       {Blit{0, 0, 0, 0, 0, 16, 0, false}, Blit{0, 0, 0, 0, 32, -1, 0, false}, Blit{0, 0, -1, 0, 32, 16, 0, false}})
    EXPECT_EQ(run(Frame(32, 16, 5), b), std::vector<uint32_t>(size_t(kDestW) * kDestH, kSentinel));
}

} // namespace
