#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "vexutil/yuv.h"
#include "yuv/yuv_rows.h"
#include "yuv_oracle.h"

namespace {

using vex::test::expected_colour;
using vex::test::expected_grey;

// One 2x2 block: luma y everywhere, chroma c1/c2; returns the top-left pixel.
uint32_t convert_one(int y, int c1, int c2, uint32_t flags, const uint8_t *alpha = nullptr) {
  std::vector<uint8_t> frame(16 * 2 + 8 + 8, 0);
  for (int i = 0; i < 32; ++i)
    frame[i] = static_cast<uint8_t>(y);
  frame[32] = static_cast<uint8_t>(c1);
  frame[40] = static_cast<uint8_t>(c2);
  uint32_t out[2] = {0xDEADBEEF, 0xDEADBEEF};
  YUV_init(3);
  if (alpha)
    YUV_blit_32abpp(out, 0, 0, 8, frame.data(), 0, 0, 1, 1, 16, 2, alpha, flags);
  else
    YUV_blit_32bpp(out, 0, 0, 8, frame.data(), 0, 0, 1, 1, 16, 2, flags);
  EXPECT_EQ(out[1], 0xDEADBEEFu); // one pixel asked, one written
  return out[0];
}

TEST(YuvValues, HandWorkedPixels) {
  EXPECT_EQ(convert_one(16, 128, 128, 0), 0x000000u);   // black
  EXPECT_EQ(convert_one(235, 128, 128, 0), 0xFEFEFEu);  // white: 219 * 38154 / 32768 = 254.99
  EXPECT_EQ(convert_one(235, 128, 128, YUV_GREY), 0xFFFFFFu);
  EXPECT_EQ(convert_one(16, 128, 128, YUV_GREY), 0u);
  EXPECT_EQ(convert_one(0, 200, 50, YUV_GREY), 0u);
  // Red: Yt[81] = 75, Rv[240] = 178, Gv[240] = -91, Gu[90] = 14, Bu[90] = -76.
  EXPECT_EQ(convert_one(81, 240, 90, 0), 0xFD0000u);
  // Green: Yt[145] = 150, Rv[34] = -150, Gv[34] = 76, Gu[54] = 28, Bu[54] = -149.
  EXPECT_EQ(convert_one(145, 34, 54, 0), 0x00FE01u);
  // Blue: Yt[41] = 29, Rv[110] = -28, Gv[110] = 14, Gu[240] = -43, Bu[240] = 225.
  EXPECT_EQ(convert_one(41, 110, 240, 0), 0x0100FEu);
}

TEST(YuvValues, ClampsAtBothEnds) {
  EXPECT_EQ(convert_one(255, 255, 255, 0) >> 16, 255u); // 254 + 202
  EXPECT_EQ(convert_one(0, 128, 0, 0) & 0xFF, 0u);      // 0 - 258
  EXPECT_EQ(convert_one(255, 128, 255, 0) & 0xFF, 255u);
  EXPECT_EQ(convert_one(0, 255, 128, 0) >> 16 & 0xFF, 202u);
}

TEST(YuvValues, GreyThresholds) {
  EXPECT_EQ(convert_one(17, 0, 0, YUV_GREY), 0x010101u);
  EXPECT_EQ(convert_one(234, 0, 0, YUV_GREY), 0xFDFDFDu);
  EXPECT_EQ(convert_one(126, 0, 0, YUV_GREY), 0x808080u); // 255 * 110 / 219 = 128.08
}

TEST(YuvValues, SwapTurnsARedCastIntoABlueOne) {
  const uint32_t plain = convert_one(126, 220, 128, 0);
  const uint32_t swapped = convert_one(126, 220, 128, YUV_SWAP_CHROMA);
  EXPECT_GT(plain >> 16 & 0xFF, plain & 0xFF);
  EXPECT_GT(swapped & 0xFF, swapped >> 16 & 0xFF);
  EXPECT_EQ(swapped, (plain & 0xFF) << 16 | (plain & 0xFF00) | (plain >> 16 & 0xFF));
}

TEST(YuvValues, AlphaGoesToTheTopByte) {
  const uint8_t alpha[32] = {0x7F};
  EXPECT_EQ(convert_one(235, 128, 128, 0, alpha), 0x7FFEFEFEu);
  EXPECT_EQ(convert_one(235, 128, 128, YUV_GREY, alpha), 0x7FFFFFFFu);
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
      const uint32_t group = k >> 16;
      for (int j = 0; j < 4; ++j)
        frame[size_t(2 * by + j / 2) * P + 2 * bx + j % 2] = static_cast<uint8_t>(group * 4 + j);
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
        const uint32_t want = expected_colour(frame[size_t(y) * P + x], c1[ci], c2[ci]);
        if (out[size_t(y) * P + x] != want) {
          ADD_FAILURE() << "level " << level << " flags " << flags << " at " << x << "," << y;
          ++bad;
        }
      }
  }
  vex::yuv::set_simd_level(2);
}

// Every luma value in grey mode, with and without alpha and doubled width,
// on every path: one row holds 0..255 twice over, so the 16-pixel groups
// and the plain tail both see every value.
TEST(YuvValues, GreyEveryLumaEveryPath) {
  constexpr int32_t P = 512, S = 2;
  std::vector<uint8_t> frame(size_t{P} * S * 3 / 2, 128), alpha(size_t{P} * S);
  for (int32_t x = 0; x < P; ++x)
    frame[size_t(x)] = frame[size_t(P + x)] = static_cast<uint8_t>(x), alpha[size_t(x)] = static_cast<uint8_t>(255 - x);
  YUV_init(3);
  for (const int level : {2, 1, 0})
    for (const bool with_alpha : {false, true})
      for (const uint32_t mode : {0u, 3u}) {
        vex::yuv::set_simd_level(level);
        const int32_t scale = mode == 3 ? 2 : 1;
        std::vector<uint32_t> out(size_t{P} * scale * S, 0xDEADBEEFu);
        const uint32_t flags = YUV_GREY | mode << 28;
        // 509 pixels from x = 1: groups of 16 and a plain tail of 13.
        if (with_alpha)
          YUV_blit_32abpp(out.data(), 0, 0, P * scale * 4, frame.data(), 1, 0, P - 3, 1, P, S, alpha.data(), flags);
        else
          YUV_blit_32bpp(out.data(), 0, 0, P * scale * 4, frame.data(), 1, 0, P - 3, 1, P, S, flags);
        int bad = 0;
        for (int32_t i = 0; i < P - 3; ++i) {
          const int32_t x = i + 1;
          const uint32_t want = expected_grey(frame[size_t(x)]) | (with_alpha ? uint32_t{alpha[size_t(x)]} << 24 : 0u);
          for (int32_t k = 0; k < scale; ++k)
            bad += out[size_t(i * scale + k)] != want;
        }
        EXPECT_EQ(bad, 0) << "level " << level << " alpha " << with_alpha << " mode " << mode;
      }
  vex::yuv::set_simd_level(2);
}

} // namespace
