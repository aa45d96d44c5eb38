// The flat-area filter against the slow transcription in
// flat_area_reference (every pixel of random frames at each depth and many
// sizes, top-down and bottom-up), and against values worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>

#include "gfile/flat_area_filter.h"
#include "testkit/gfile/flat_area_reference.h"

namespace {

using vex::gfile::flat_area_filter;
namespace ref = flat_area_reference;

TEST(FlatAreaFilter, MatchesTheTranscriptionAtEveryDepthAndSize) {
  const std::pair<int, int> sizes[] = {{3, 3},  {1, 1}, {1, 9}, {9, 1},  {2, 7},   {7, 2},   {2, 2},   {3, 17},
                                       {17, 3}, {4, 4}, {5, 6}, {31, 9}, {33, 20}, {64, 48}, {97, 31}, {160, 120}};
  std::mt19937 rng(1515);
  for (int depth : {4, 8, 16, 24, 32}) {
    ref::Counts total;
    for (auto [w, h] : sizes)
      for (bool bottom_up : {false, true}) {
        SCOPED_TRACE("depth " + std::to_string(depth) + ", " + std::to_string(w) + " x " + std::to_string(h) +
                     (bottom_up ? ", bottom-up" : ""));
        const ref::TestFrame f = ref::shaded_frame(w, h, depth, rng);
        // Read from the last row with a negative pitch when bottom-up.
        const auto *pal = reinterpret_cast<const uint8_t(*)[3]>(f.palette.data());
        const ptrdiff_t pitch = bottom_up ? -ptrdiff_t(f.pitch) : ptrdiff_t(f.pitch);
        const uint8_t *first = f.bytes.data() + (bottom_up ? (h - 1) * ptrdiff_t(f.pitch) : 0);
        ref::Counts counts;
        const std::vector<uint8_t> want = ref::filter({first, pitch, depth, pal, w, h}, &counts);
        total.copied += counts.copied;
        total.quantised += counts.quantised;
        // Ours into rows padded with guard bytes, which must survive.
        const size_t row = size_t(w) * 3, out_pitch = row + 5;
        std::vector<uint8_t> padded(out_pitch * size_t(h), 0xA5), ours;
        flat_area_filter(first, pitch, depth, pal, w, h, padded.data(), ptrdiff_t(out_pitch));
        for (int y = 0; y < h; ++y) {
          const auto *r = &padded[size_t(y) * out_pitch];
          ours.insert(ours.end(), r, r + row);
          ASSERT_TRUE(std::all_of(r + row, r + out_pitch, [](uint8_t b) { return b == 0xA5; })) << "row " << y << " overrun";
        }
        ASSERT_EQ(ours, want);
      }
    // The frames exercise both outcomes, or the comparison proves little.
    EXPECT_GT(total.copied, 500u) << "depth " << depth;
    EXPECT_GT(total.quantised, 500u) << "depth " << depth;
  }
}

// 24-bit frame of 4 x 3 with blue = 100 + 2x + y (ranges 6 in every
// neighbourhood), green 150 and red `red`.
std::vector<uint8_t> ramp(int red) {
  std::vector<uint8_t> f;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      f.insert(f.end(), {uint8_t(100 + 2 * x + y), 150, uint8_t(red)});
  return f;
}

std::vector<uint8_t> filtered(const std::vector<uint8_t> &bgr24, int width, int height) {
  std::vector<uint8_t> out(bgr24.size());
  flat_area_filter(bgr24.data(), width * 3, 24, nullptr, width, height, out.data(), width * 3);
  return out;
}

TEST(FlatAreaFilter, HandWorkedFrames) {
  // A gentle ramp: the two inner pixels are quantised. Before the first
  // inner pixel the index goes 56 -> 63 -> 55 (threshold 13), then 47
  // (threshold 7). (1,1) = (103, 150, 250): 6*16, 9*16, 15*16 with no
  // remainder above 13. (2,1) = (105, 150, 250): remainders 9, 6, 10
  // against 7 give 7*16, 9*16 and 16*16 capped at 255.
  std::vector<uint8_t> expect = ramp(250);
  const size_t p11 = (1 * 4 + 1) * 3, p21 = (1 * 4 + 2) * 3;
  expect[p11] = 96, expect[p11 + 1] = 144, expect[p11 + 2] = 240;
  expect[p21] = 112, expect[p21 + 1] = 144, expect[p21 + 2] = 255;
  EXPECT_EQ(filtered(ramp(250), 4, 3), expect);
  // A flat frame, and the ramp gone dark (every maximum below 32), are
  // copied; red at 32 is no longer dark.
  const std::vector<uint8_t> flat(5 * 4 * 3, 77);
  EXPECT_EQ(filtered(flat, 5, 4), flat);
  std::vector<uint8_t> dark = ramp(31);
  for (size_t i = 0; i < dark.size(); i += 3)
    dark[i] = uint8_t(dark[i] - 90), dark[i + 1] = 20; // blue 10..18
  EXPECT_EQ(filtered(dark, 4, 3), dark);
  std::vector<uint8_t> lit = dark;
  for (size_t i = 2; i < lit.size(); i += 3)
    lit[i] = 32;
  EXPECT_NE(filtered(lit, 4, 3), lit);
  // The range boundaries: one channel stepping by s over the
  // neighbourhood gives a summed range of 2s (x from -1 to +1).
  for (int step : {2, 3, 7, 8}) {
    std::vector<uint8_t> f;
    for (int i = 0; i < 9; ++i)
      f.insert(f.end(), {uint8_t(120 + step * (i % 3)), 120, 120});
    EXPECT_EQ(filtered(f, 3, 3) != f, 2 * step > 4 && 2 * step < 16) << "step " << step;
  }
  // One row: no inner pixels, so the output is the conversion alone, at 4
  // bits (indices 0, 1, 1, 0) and 16 (blue with bit 15 set, green, red).
  const uint8_t palette[256][3] = {{10, 20, 30}, {40, 50, 60}};
  const uint8_t four[] = {0x10, 0x01}, sixteen[] = {0x1F, 0x80, 0xE0, 0x03, 0x00, 0x7C};
  std::vector<uint8_t> out(12);
  flat_area_filter(four, 2, 4, palette, 4, 1, out.data(), 12);
  EXPECT_EQ(out, (std::vector<uint8_t>{30, 20, 10, 60, 50, 40, 60, 50, 40, 30, 20, 10}));
  out.assign(9, 0);
  flat_area_filter(sixteen, 6, 16, nullptr, 3, 1, out.data(), 9);
  EXPECT_EQ(out, (std::vector<uint8_t>{248, 0, 0, 0, 248, 0, 0, 0, 248}));
  // Unknown depths and missing palettes leave the output alone.
  out.assign(9, 1);
  flat_area_filter(sixteen, 6, 15, nullptr, 3, 1, out.data(), 9);
  flat_area_filter(sixteen, 6, 8, nullptr, 3, 1, out.data(), 9);
  EXPECT_EQ(out, std::vector<uint8_t>(9, 1));
}

} // namespace
