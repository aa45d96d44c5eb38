// Counting pixels of every depth: each depth's histogram against the
// 24-bit histogram of the same picture converted by hand (the 24-bit count
// itself against a per-pixel tally), the black of uncovered areas and the
// usage counts of a previous frame by hand.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "palette/palette_histogram.h"

namespace vex::palette {
namespace {

struct Picture {
  uint32_t width, height;
  std::vector<uint8_t> bgr; // top-down, 3 bytes per pixel, no padding
};

Picture random_picture(uint32_t w, uint32_t h, uint32_t seed, uint8_t mask = 0xFF) {
  std::mt19937 gen(seed);
  Picture p{w, h, std::vector<uint8_t>(size_t{w} * h * 3)};
  for (auto &v : p.bgr)
    v = static_cast<uint8_t>(gen() % 40 + (gen() % 4) * 60) & mask; // repeats, so counts exceed 1
  return p;
}

std::vector<uint32_t> histogram_of(const PixelWindow &w) {
  auto h = make_histogram();
  EXPECT_TRUE(count_window(Histogram(h.data(), kBucketCount), w));
  return h;
}

std::vector<uint32_t> histogram24(const Picture &p) {
  return histogram_of({p.bgr.data(), static_cast<ptrdiff_t>(p.width) * 3, p.width, p.height, 24, nullptr});
}

TEST(PaletteHistogram, TwentyFourBitsMatchAPerPixelTally) {
  const Picture p = random_picture(37, 11, 1);
  std::map<uint32_t, uint32_t> tally;
  for (size_t i = 0; i < p.bgr.size(); i += 3)
    ++tally[(p.bgr[i + 2] / 4u) * 4096 + (p.bgr[i + 1] / 4u) * 64 + p.bgr[i] / 4u];
  const auto h = histogram24(p);
  uint64_t total = 0;
  for (uint32_t b = 0; b < kBucketCount; ++b) {
    total += h[b];
    const auto it = tally.find(b);
    ASSERT_EQ(h[b], it == tally.end() ? 0u : it->second) << "bucket " << b;
  }
  EXPECT_EQ(total, 37u * 11u);
}

TEST(PaletteHistogram, ThirtyTwoBitsIgnoreTheFourthByteAndBottomUpRowsCountTheSame) {
  const Picture p = random_picture(19, 7, 2);
  std::vector<uint8_t> bgrx;
  for (size_t i = 0; i < p.bgr.size(); i += 3)
    bgrx.insert(bgrx.end(), {p.bgr[i], p.bgr[i + 1], p.bgr[i + 2], static_cast<uint8_t>(i * 7)});
  const auto want = histogram24(p);
  EXPECT_EQ(histogram_of({bgrx.data(), 19 * 4, 19, 7, 32, nullptr}), want);
  // The same rows stored bottom-up, walked from the last with a negative
  // pitch.
  std::vector<uint8_t> flipped;
  for (uint32_t y = 7; y-- > 0;)
    flipped.insert(flipped.end(), bgrx.begin() + y * 76, bgrx.begin() + (y + 1) * 76);
  EXPECT_EQ(histogram_of({flipped.data() + 6 * 76, -76, 19, 7, 32, nullptr}), want);
}

// 5-5-5 pixels: their 5 bits are the top 5 of 6, so they count like 8-bit
// components whose low 3 bits are clear; bit 15 plays no part.
TEST(PaletteHistogram, SixteenBitsCountAsTheirTopFiveBits) {
  const Picture p = random_picture(23, 9, 3, 0xF8);
  std::vector<uint8_t> rows;
  for (size_t i = 0; i < p.bgr.size(); i += 3) {
    const uint32_t v = (p.bgr[i + 2] >> 3) << 10 | (p.bgr[i + 1] >> 3) << 5 | p.bgr[i] >> 3 | (i & 8) << 12;
    rows.push_back(static_cast<uint8_t>(v));
    rows.push_back(static_cast<uint8_t>(v >> 8));
  }
  EXPECT_EQ(histogram_of({rows.data(), 23 * 2, 23, 9, 16, nullptr}), histogram24(p));
}

TEST(PaletteHistogram, EightAndFourBitsCountThroughThePalette) {
  std::mt19937 gen(4);
  std::vector<uint8_t> palette(kPaletteBytes);
  for (auto &v : palette)
    v = static_cast<uint8_t>(gen());
  for (uint32_t bits : {8u, 4u}) {
    const uint32_t w = 13, h = 5; // odd: the last 4-bit byte holds one pixel
    std::vector<uint8_t> indices(w * h);
    for (auto &v : indices)
      v = static_cast<uint8_t>(gen() % (bits == 8 ? 256 : 16));
    Picture p{w, h, {}};
    for (uint8_t i : indices)
      p.bgr.insert(p.bgr.end(), {palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3]});
    std::vector<uint8_t> rows;
    uint32_t pitch = w;
    if (bits == 8) {
      rows = indices;
    } else {
      pitch = (w + 1) / 2;
      rows.assign(pitch * h, 0xEE); // the unused high nibble of each row's last byte is not a pixel
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
          uint8_t &byte = rows[y * pitch + x / 2];
          byte = x % 2 == 0 ? static_cast<uint8_t>((byte & 0xF0) | indices[y * w + x])
                            : static_cast<uint8_t>((byte & 0x0F) | indices[y * w + x] << 4);
        }
    }
    EXPECT_EQ(histogram_of({rows.data(), static_cast<ptrdiff_t>(pitch), w, h, bits, palette.data()}), histogram24(p))
        << bits << " bits";
  }
}

TEST(PaletteHistogram, UnknownDepthsAndMissingPalettesCountNothing) {
  auto h = make_histogram();
  const uint8_t pixels[16] = {};
  EXPECT_FALSE(count_window(Histogram(h.data(), kBucketCount), {pixels, 4, 4, 1, 12, nullptr}));
  EXPECT_FALSE(count_window(Histogram(h.data(), kBucketCount), {pixels, 4, 4, 1, 8, nullptr}));
  EXPECT_TRUE(count_window(Histogram(h.data(), kBucketCount), {nullptr, 4, 0, 0, 24, nullptr}));
  EXPECT_EQ(h, make_histogram());
}

TEST(PaletteHistogram, UncoveredAreasCountAsBlack) {
  auto h = make_histogram();
  h[0] = 5;
  // (100 + 10 + 3) x 5 + (10 + 7) x 50 = 565 + 850.
  add_uncovered_black(Histogram(h.data(), kBucketCount), 100, 50, 10, 5, -3, 7);
  EXPECT_EQ(h[0], 5u + 1415u);
  // The count wraps modulo 2^32: (32767 + 32767 + 2^31) x 32767 + (32767 +
  // 2^31) x 32767, reduced by hand.
  h[0] = 0;
  add_uncovered_black(Histogram(h.data(), kBucketCount), 32767, 32767, 32767, 32767, INT32_MIN, INT32_MIN);
  const uint64_t big = (32767ull + 32767 + 2147483648ull) * 32767 + (32767ull + 2147483648ull) * 32767;
  EXPECT_EQ(h[0], static_cast<uint32_t>(big));
}

TEST(PaletteHistogram, UsageCountsTheVisibleRowsAndTheBorder) {
  // 6 x 5 frame, pitch 8: row y holds index 10 + y, the padding 99.
  std::vector<uint8_t> frame(8 * 5, 99);
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      frame[y * 8 + x] = static_cast<uint8_t>(10 + y);
  // Origin y = -2: rows 2-4 of 3 rows; origin x -1, 2 uncovered columns and
  // 1 uncovered row: (1 + 2) x 3 + (6 + 2) x (2 + 1) = 33 black.
  const UsageCounts u = count_usage(frame, 8, 6, 3, -1, -2, 2, 1);
  UsageCounts want{};
  want[12] = want[13] = want[14] = 6;
  want[0] = 33;
  EXPECT_EQ(u, want);
  // Rows past the end of the frame are not read: from row 4, three rows.
  const UsageCounts clipped = count_usage(frame, 8, 6, 3, 0, -4, 0, 0);
  UsageCounts want_clipped{};
  want_clipped[14] = 6;
  want_clipped[0] = 6 * 4;
  EXPECT_EQ(clipped, want_clipped);
  // A short last row is read only as far as it goes.
  const UsageCounts short_row = count_usage(std::span(frame).first(8 * 4 + 3), 8, 6, 5, 0, 0, 0, 0);
  EXPECT_EQ(short_row[14], 3u);
  EXPECT_EQ(short_row[13], 6u);
}

} // namespace
} // namespace vex::palette
