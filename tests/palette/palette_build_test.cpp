// The whole of palette building (system colours, reserved entries,
// reduction, placement) against the reference over usable ranges and
// options, and the cases a user meets at the edges.
#include <gtest/gtest.h>

#include "palette/palette_build.h"
#include "testkit/palette/palette_reference.h"
#include "tests/palette/palette_samples.h"

namespace vex::palette {
namespace {

using test::Recorder;
using test::Spread;
using test::Weights;

struct Built {
  util::Status status;
  PaletteOutcome outcome;
  std::vector<uint8_t> palette;
  Recorder heard;
};

Built build(const std::vector<uint32_t> &h, uint32_t first, uint32_t count, int32_t option, const UsageCounts &usage,
            std::vector<uint8_t> palette, int cancel_at = -1) {
  Built r;
  r.heard.cancel_at = cancel_at;
  r.palette = std::move(palette);
  PaletteRequest q{std::span<const uint32_t, kBucketCount>(h.data(), kBucketCount),
                   first,
                   count,
                   static_cast<SystemColours>(option),
                   &usage,
                   Palette(r.palette.data(), kPaletteBytes),
                   std::ref(r.heard)};
  r.status = build_palette(q, r.outcome);
  return r;
}

void expect_same(const std::vector<uint32_t> &h, uint32_t first, uint32_t count, int32_t option,
                 const UsageCounts &usage, const std::vector<uint8_t> &palette, int cancel_at = -1) {
  const Built got = build(h, first, count, option, usage, palette, cancel_at);
  Recorder theirs{{}, cancel_at};
  const testref::Built want =
      testref::build(h, static_cast<int32_t>(first), static_cast<int32_t>(count), option,
                     std::vector<uint32_t>(usage.begin(), usage.end()), palette, std::ref(theirs));
  ASSERT_EQ(got.status, util::Status::kOk);
  ASSERT_EQ(got.palette, want.palette);
  EXPECT_EQ(got.outcome.colours, want.colours);
  EXPECT_EQ(got.outcome.cancelled, want.cancelled);
  EXPECT_EQ(got.heard.heard, theirs.heard);
}

UsageCounts random_usage(std::mt19937 &gen) {
  UsageCounts u{};
  for (auto &v : u)
    v = gen() % 3 == 0 ? 0 : gen() % 100000;
  return u;
}

// Ranges inside, across and beside the system entries, of every size from
// 0 up; each option.
TEST(PaletteBuild, MatchesTheReferenceOverRangesAndOptions) {
  std::mt19937 gen(21);
  const std::pair<uint32_t, uint32_t> ranges[] = {
      {0, 256},  {0, 0},     {0, 1},   {0, 5},   {0, 10},   {0, 11},  {5, 3},   {5, 8},   {9, 2},   {10, 236},
      {20, 100}, {128, 128}, {240, 6}, {245, 2}, {246, 10}, {250, 6}, {255, 1}, {256, 0}, {3, 250}, {100, 1}};
  uint32_t seed = 500;
  for (auto [first, count] : ranges)
    for (int32_t option : {0, 1, 2}) {
      SCOPED_TRACE("entries " + std::to_string(first) + " +" + std::to_string(count) + ", option " +
                   std::to_string(option));
      const auto h = test::random_histogram(seed++, 400, Weights::kSkewed, Spread::kClustered);
      expect_same(h, first, count, option, random_usage(gen), test::random_palette(gen));
      if (HasFatalFailure())
        return;
    }
}

// First index 0, 256 entries, system colours: the twenty system entries
// hold their colours and exactly 236 colours are made from a picture with
// many more.
TEST(PaletteBuild, SystemColoursLeave236NewColours) {
  const auto h = test::random_histogram(31, 3000, Weights::kFlat, Spread::kUniform);
  std::vector<uint8_t> start(kPaletteBytes, 7);
  const Built r = build(h, 0, 256, 0, UsageCounts{}, start);
  ASSERT_EQ(r.status, util::Status::kOk);
  EXPECT_EQ(r.outcome.colours, 236u);
  EXPECT_EQ(r.outcome.low, 10u);
  EXPECT_EQ(r.outcome.high, 10u);
  const ConstPalette p(r.palette.data(), kPaletteBytes);
  for (uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(palette_entry(p, i), kSystemLow[i]);
    EXPECT_EQ(palette_entry(p, 246 + i), kSystemHigh[i]);
  }
  // Every entry between them was given a new colour: with 256 unused
  // entries and no previous frame nothing of the old 7s can be left.
  for (uint32_t i = 10; i < 246; ++i)
    EXPECT_NE(palette_entry(p, i), (Rgb{7, 7, 7})) << i;
}

// Two colours: two entries hold them, expanded from 6 bits; the other
// usable entries keep what they held.
TEST(PaletteBuild, TwoColoursTakeTwoEntries) {
  std::vector<uint32_t> h(kBucketCount, 0);
  h[bucket_of8(200, 100, 40)] = 300;  // (50, 25, 10) -> (203, 101, 40)
  h[bucket_of8(3, 250, 129)] = 30000; // (0, 62, 32) -> (0, 251, 130)
  std::mt19937 gen(2);
  const auto start = test::random_palette(gen);
  const Built r = build(h, 0, 256, 2, UsageCounts{}, start);
  ASSERT_EQ(r.outcome.colours, 2u);
  int changed = 0, first = 0, second = 0;
  const ConstPalette p(r.palette.data(), kPaletteBytes), old(start.data(), kPaletteBytes);
  for (uint32_t i = 0; i < 256; ++i) {
    if (palette_entry(p, i) == palette_entry(old, i))
      continue;
    ++changed;
    first += palette_entry(p, i) == Rgb{203, 101, 40};
    second += palette_entry(p, i) == Rgb{0, 251, 130};
  }
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}

TEST(PaletteBuild, OneUsableEntryGetsTheMean) {
  std::vector<uint32_t> h(kBucketCount, 0);
  h[bucket_of6(10, 20, 30)] = 1;
  h[bucket_of6(20, 20, 30)] = 3; // red: 4 x 70 / 4 = 70
  std::vector<uint8_t> start(kPaletteBytes, 1);
  const Built r = build(h, 100, 1, 2, UsageCounts{}, start);
  EXPECT_EQ(r.outcome.colours, 1u);
  auto want = start;
  want[300] = 70;
  want[301] = 80;
  want[302] = 120;
  EXPECT_EQ(r.palette, want);
}

TEST(PaletteBuild, NoUsableEntryChangesNothingButTheSystemColours) {
  const auto h = test::random_histogram(4, 50, Weights::kFlat, Spread::kUniform);
  std::vector<uint8_t> start(kPaletteBytes, 1);
  Built r = build(h, 30, 0, 2, UsageCounts{}, start);
  EXPECT_EQ(r.palette, start);
  // Entries 5-7 lie among the system colours: nothing is left for new ones.
  r = build(h, 5, 3, 0, UsageCounts{}, start);
  EXPECT_EQ(r.outcome.low, 3u);
  auto want = start;
  write_system_colours(Palette(want.data(), kPaletteBytes));
  EXPECT_EQ(r.palette, want);
}

TEST(PaletteBuild, AnEmptyHistogramLeavesThePalette) {
  std::vector<uint32_t> h(kBucketCount, 0);
  std::vector<uint8_t> start(kPaletteBytes, 1);
  Built r = build(h, 0, 256, 2, UsageCounts{}, start);
  EXPECT_EQ(r.palette, start);
  EXPECT_EQ(r.outcome.colours, 0u);
  EXPECT_TRUE(r.heard.heard.empty());
  // A picture of system colours only is empty once they are reserved.
  h[bucket_of8(0, 0, 0)] = 1000;
  h[bucket_of8(255, 255, 255)] = 1000;
  r = build(h, 0, 256, 0, UsageCounts{}, start);
  auto want = start;
  write_system_colours(Palette(want.data(), kPaletteBytes));
  EXPECT_EQ(r.palette, want);
  EXPECT_EQ(r.outcome.colours, 0u);
}

TEST(PaletteBuild, RangesPastThePaletteAreRefused) {
  const auto h = test::random_histogram(4, 50, Weights::kFlat, Spread::kUniform);
  std::vector<uint8_t> start(kPaletteBytes, 1);
  for (auto [first, count] : {std::pair<uint32_t, uint32_t>{200, 57}, {257, 0}, {0, 257}, {1, 0xFFFFFFFF}}) {
    const Built r = build(h, first, count, 0, UsageCounts{}, start);
    EXPECT_EQ(r.status, util::Status::kInvalidArgument);
    EXPECT_EQ(r.palette, start);
  }
  EXPECT_EQ(build(h, 0, 256, 3, UsageCounts{}, start).status, util::Status::kInvalidArgument);
}

// A cancel while reducing keeps the colours made so far, and they are
// still placed; the placement message cannot cancel.
TEST(PaletteBuild, CancelAtEachStage) {
  std::mt19937 gen(12);
  const auto h = test::random_histogram(77, 1500, Weights::kSkewed, Spread::kUniform);
  const auto usage = random_usage(gen);
  const auto start = test::random_palette(gen);
  for (int at : {0, 1, 5, 100, 234, 235, 236}) {
    SCOPED_TRACE("cancel at message " + std::to_string(at));
    expect_same(h, 0, 256, 0, usage, start, at);
    const Built r = build(h, 0, 256, 0, usage, start, at);
    if (at < 235) { // 235 reduction messages, then the placement's
      EXPECT_TRUE(r.outcome.cancelled);
      EXPECT_EQ(r.outcome.colours, static_cast<uint32_t>(at + 1));
    } else {
      EXPECT_FALSE(r.outcome.cancelled);
      EXPECT_EQ(r.outcome.colours, 236u);
    }
    ASSERT_FALSE(r.heard.heard.empty());
    EXPECT_EQ(r.heard.heard.back(), std::make_pair(std::string("Minimizing palette changes..."), 1));
  }
}

} // namespace
} // namespace vex::palette
