// The flat-area filter against the slow transcription in
// flat_area_reference (every pixel of random frames at each depth and many
// sizes, top-down and bottom-up), and against values worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "gfile/flat_area_filter.h"
#include "testkit/gfile/flat_area_reference.h"

namespace {

using vex::gfile::flat_area_filter;
namespace ref = flat_area_reference;

constexpr uint8_t kGuard = 0xA5;

// Bytes a row of `width` pixels needs at `depth` bits.
size_t row_bytes(int width, int depth) { return (static_cast<size_t>(width) * depth + 7) / 8; }

// A frame of gently shaded areas (slopes of a few steps over a handful of
// pixels, a little noise, dark patches) and occasional sharp pixels, so
// that copied and quantised pixels both occur at every depth.
struct Frame {
  int width, height, depth;
  size_t pitch;
  std::vector<uint8_t> bytes;
  std::array<std::array<uint8_t, 3>, 256> palette{};
};

uint8_t smooth(int x, int y, int channel, int slope, std::mt19937 &rng) {
  const int base = channel == 0 ? 90 : channel == 1 ? 140 : 20 + 3 * x % 200;
  const int v = base + (slope * (x + 2 * y + channel)) / 4 + static_cast<int>(rng() % 3);
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

Frame make_frame(int width, int height, int depth, std::mt19937 &rng) {
  Frame f{width, height, depth, row_bytes(width, depth) + rng() % 5, {}, {}};
  f.bytes.assign(f.pitch * static_cast<size_t>(height), kGuard);
  const int slope = 1 + static_cast<int>(rng() % 4);
  for (size_t i = 0; i < 256; ++i) // neighbouring indices are neighbouring shades
    f.palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(40 + i / 2), static_cast<uint8_t>(255 - i / 3)};
  for (int y = 0; y < height; ++y) {
    uint8_t *row = &f.bytes[static_cast<size_t>(y) * f.pitch];
    for (int x = 0; x < width; ++x) {
      const bool sharp = rng() % 23 == 0;
      const bool dark = (x / 7 + y / 5) % 5 == 0;
      uint8_t c[3];
      for (int k = 0; k < 3; ++k)
        c[k] = sharp  ? static_cast<uint8_t>(rng())
               : dark ? static_cast<uint8_t>(rng() % 30)
                      : smooth(x, y, k, slope, rng);
      switch (depth) {
      case 4: {
        const uint8_t index = static_cast<uint8_t>(sharp ? rng() % 16 : (x + y) / 3 % 16);
        uint8_t &b = row[x / 2];
        b = static_cast<uint8_t>(x % 2 ? (b & 0x0F) | index << 4 : (b & 0xF0) | index);
        break;
      }
      case 8: row[x] = sharp ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(c[0] / 2 + c[1] / 4); break;
      case 16: {
        const unsigned v = (c[2] >> 3) << 10 | (c[1] >> 3) << 5 | c[0] >> 3 | (rng() & 1) << 15;
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        break;
      }
      default:
        std::copy(c, c + 3, row + static_cast<size_t>(x) * (depth / 8));
        if (depth == 32)
          row[4 * x + 3] = static_cast<uint8_t>(rng());
      }
    }
  }
  if (depth == 4)
    for (size_t i = 0; i < 16; ++i)
      f.palette[i] = {static_cast<uint8_t>(60 + i * 3), static_cast<uint8_t>(100 + i), static_cast<uint8_t>(200 - i)};
  return f;
}

struct Result {
  std::vector<uint8_t> ours, reference;
  ref::Counts counts;
};

// Both filters over the frame, read top-down or (bottom_up) from its last
// row with a negative pitch; ours into rows padded with guard bytes, which
// must survive.
Result run_both(const Frame &f, bool bottom_up) {
  const auto *pal = reinterpret_cast<const uint8_t(*)[3]>(f.palette.data());
  const uint8_t *first = f.bytes.data();
  auto pitch = static_cast<ptrdiff_t>(f.pitch);
  if (bottom_up) {
    first += (f.height - 1) * pitch;
    pitch = -pitch;
  }
  Result r;
  r.reference = ref::filter({first, pitch, f.depth, pal, f.width, f.height}, &r.counts);
  const size_t out_row = static_cast<size_t>(f.width) * 3, out_pitch = out_row + 5;
  std::vector<uint8_t> padded(out_pitch * static_cast<size_t>(f.height), kGuard);
  flat_area_filter(first, pitch, f.depth, pal, f.width, f.height, padded.data(), static_cast<ptrdiff_t>(out_pitch));
  for (int y = 0; y < f.height; ++y) {
    const auto *row = &padded[static_cast<size_t>(y) * out_pitch];
    r.ours.insert(r.ours.end(), row, row + out_row);
    EXPECT_TRUE(std::all_of(row + out_row, row + out_pitch, [](uint8_t b) { return b == kGuard; }))
        << "row " << y << " written past its width";
  }
  return r;
}

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
        const Frame f = make_frame(w, h, depth, rng);
        const Result r = run_both(f, bottom_up);
        ASSERT_EQ(r.ours, r.reference);
        total.copied += r.counts.copied;
        total.quantised += r.counts.quantised;
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
      f.insert(f.end(), {static_cast<uint8_t>(100 + 2 * x + y), 150, static_cast<uint8_t>(red)});
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
    dark[i] = static_cast<uint8_t>(dark[i] - 90), dark[i + 1] = 20; // blue 10..18
  EXPECT_EQ(filtered(dark, 4, 3), dark);
  std::vector<uint8_t> lit = dark;
  for (size_t i = 2; i < lit.size(); i += 3)
    lit[i] = 32;
  EXPECT_NE(filtered(lit, 4, 3), lit);

  // The range boundaries: one channel stepping by s over the
  // neighbourhood gives a summed range of 2s (x from -1 to +1).
  for (int step : {2, 3, 7, 8}) {
    std::vector<uint8_t> f;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x)
        f.insert(f.end(), {static_cast<uint8_t>(120 + step * x), 120, 120});
    const bool quantised = 2 * step > 4 && 2 * step < 16;
    EXPECT_EQ(filtered(f, 3, 3) != f, quantised) << "step " << step;
  }
}

TEST(FlatAreaFilter, ConvertsEachDepthThePixelWay) {
  // One row: no inner pixels, so the output is the conversion alone.
  const uint8_t palette[256][3] = {{10, 20, 30}, {40, 50, 60}};
  const uint8_t four[] = {0x10, 0x01}; // indices 0, 1, 1, 0
  std::vector<uint8_t> out(12);
  flat_area_filter(four, 2, 4, palette, 4, 1, out.data(), 12);
  EXPECT_EQ(out, (std::vector<uint8_t>{30, 20, 10, 60, 50, 40, 60, 50, 40, 30, 20, 10}));
  const uint8_t sixteen[] = {0x1F, 0x80, 0xE0, 0x03, 0x00, 0x7C}; // blue (bit 15 set), green, red
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
