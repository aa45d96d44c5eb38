// Pixel values of the YUV blitter against hand-worked pixels and against
// the conversion formulas (yuv_oracle.h) for every triple, on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "vexutil/yuv.h"
#include "yuv/yuv_rows.h"
#include "testkit/yuv/yuv_formula.h"

namespace {

using vex::testkit::expected_colour;
using vex::testkit::expected_grey;

// One 2x2 block: luma y everywhere, chroma c1/c2; the top-left pixel, and
// whether the pixel beside it was left alone (one asked, one written).
std::pair<uint32_t, bool> convert_one(int y, int c1, int c2, uint32_t flags, int alpha = -1) {
  std::vector<uint8_t> frame(16 * 2 + 8 + 8, static_cast<uint8_t>(y)), a(32, static_cast<uint8_t>(alpha));
  frame[32] = static_cast<uint8_t>(c1);
  frame[40] = static_cast<uint8_t>(c2);
  uint32_t out[2] = {0xDEADBEEF, 0xDEADBEEF};
  YUV_init(3);
  if (alpha >= 0)
    YUV_blit_32abpp(out, 0, 0, 8, frame.data(), 0, 0, 1, 1, 16, 2, a.data(), flags);
  else
    YUV_blit_32bpp(out, 0, 0, 8, frame.data(), 0, 0, 1, 1, 16, 2, flags);
  return {out[0], out[1] == 0xDEADBEEFu};
}

TEST(YuvValues, HandWorkedPixels) {
  struct Row {
    int y, c1, c2;
    uint32_t flags;
    int alpha;
    uint32_t mask, want;
  };
  const uint32_t all = 0xFFFFFFFFu;
  for (const Row r : {
           Row{16, 128, 128, 0, -1, all, 0x000000u},          // black
           Row{235, 128, 128, 0, -1, all, 0xFEFEFEu},         // white: 219 * 38154 / 32768 = 254.99
           Row{235, 128, 128, YUV_GREY, -1, all, 0xFFFFFFu},
           Row{16, 128, 128, YUV_GREY, -1, all, 0u},
           Row{0, 200, 50, YUV_GREY, -1, all, 0u},
           // Red: Yt[81] = 75, Rv[240] = 178, Gv[240] = -91, Gu[90] = 14, Bu[90] = -76.
           Row{81, 240, 90, 0, -1, all, 0xFD0000u},
           // Green: Yt[145] = 150, Rv[34] = -150, Gv[34] = 76, Gu[54] = 28, Bu[54] = -149.
           Row{145, 34, 54, 0, -1, all, 0x00FE01u},
           // Blue: Yt[41] = 29, Rv[110] = -28, Gv[110] = 14, Gu[240] = -43, Bu[240] = 225.
           Row{41, 110, 240, 0, -1, all, 0x0100FEu},
           // Clamped at both ends: 254 + 202, 0 - 258.
           Row{255, 255, 255, 0, -1, 0xFFFF0000u, 0xFF0000u},
           Row{0, 128, 0, 0, -1, 0xFFu, 0u},
           Row{255, 128, 255, 0, -1, 0xFFu, 0xFFu},
           Row{0, 255, 128, 0, -1, 0xFF0000u, 202u << 16},
           // Grey thresholds: 255 * 110 / 219 = 128.08.
           Row{17, 0, 0, YUV_GREY, -1, all, 0x010101u},
           Row{234, 0, 0, YUV_GREY, -1, all, 0xFDFDFDu},
           Row{126, 0, 0, YUV_GREY, -1, all, 0x808080u},
           // Alpha goes to the top byte.
           Row{235, 128, 128, 0, 0x7F, all, 0x7FFEFEFEu},
           Row{235, 128, 128, YUV_GREY, 0x7F, all, 0x7FFFFFFFu}}) {
    const auto [got, alone] = convert_one(r.y, r.c1, r.c2, r.flags, r.alpha);
    EXPECT_EQ(got & r.mask, r.want) << r.y << " " << r.c1 << " " << r.c2 << " flags " << r.flags;
    EXPECT_TRUE(alone);
  }
  // Swapping the chroma planes turns a red cast into a blue one.
  const uint32_t plain = convert_one(126, 220, 128, 0).first, swapped = convert_one(126, 220, 128, YUV_SWAP_CHROMA).first;
  EXPECT_GT(plain >> 16 & 0xFF, plain & 0xFF);
  EXPECT_EQ(swapped, (plain & 0xFF) << 16 | (plain & 0xFF00) | (plain >> 16 & 0xFF));
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

} // namespace
