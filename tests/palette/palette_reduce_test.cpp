// The reduction against the plain reference on random histograms of every
// shape, and its own edge cases worked out by hand.
#include <gtest/gtest.h>

#include <array>

#include "palette/palette_reduce.h"
#include "testkit/palette/palette_reference.h"
#include "tests/palette/palette_samples.h"

namespace vex::palette {
namespace {

using test::Recorder;
using test::Spread;
using test::Weights;

Reduction reduce(const std::vector<uint32_t> &h, int32_t target, const MessageFn &talk = {}) {
  return reduce_colours(std::span<const uint32_t, kBucketCount>(h.data(), kBucketCount), {}, target, talk);
}

void expect_same(const std::vector<uint32_t> &h, int32_t target, int cancel_at = -1) {
  Recorder ours{{}, cancel_at}, theirs{{}, cancel_at};
  const Reduction got = reduce(h, target, std::ref(ours));
  const testref::Reduced want = testref::reduce(h, target, std::ref(theirs));
  ASSERT_EQ(got.colours.size(), want.colours.size());
  for (size_t i = 0; i < want.colours.size(); ++i)
    ASSERT_EQ(got.colours[i], want.colours[i]) << "colour " << i;
  EXPECT_EQ(got.cancelled, want.cancelled);
  EXPECT_EQ(ours.heard, theirs.heard);
}

// Small and middling histograms, every weight and spread, targets around
// the interesting counts (fewer colours than the target, exactly as many,
// a few more, many more).
TEST(PaletteReduce, MatchesTheReferenceOnRandomHistograms) {
  uint32_t seed = 1;
  for (Weights w : {Weights::kFlat, Weights::kSkewed, Weights::kHuge, Weights::kEqual})
    for (Spread s : {Spread::kUniform, Spread::kClustered, Spread::kLine})
      for (size_t buckets : {1u, 2u, 3u, 4u, 7u, 40u, 300u, 2000u})
        for (int32_t target : {2, 3, 8, 40, 236, 256}) {
          if ((buckets >= 2000 && target < 236) || (test::kSanitized && buckets >= 300 && s != Spread::kLine))
            continue;
          SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(buckets) + " buckets, target " +
                       std::to_string(target));
          expect_same(test::random_histogram(seed++, buckets, w, s), target);
          if (HasFatalFailure())
            return;
        }
}

TEST(PaletteReduce, MatchesTheReferenceOnLargeHistograms) {
  const size_t large = test::kSanitized ? 3000 : 25000;
  for (uint32_t seed : {101u, 102u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    expect_same(test::random_histogram(seed, large, seed == 102 ? Weights::kSkewed : Weights::kFlat,
                                       seed == 102 ? Spread::kClustered : Spread::kUniform),
                256);
  }
}

// Every bucket full: the largest colour list there can be, with counts
// near 2^32 so that every error sum wraps. The reference walks it 512
// times per split, so two splits are compared.
TEST(PaletteReduce, MatchesTheReferenceOnAFullHistogram) {
  if (test::kSanitized)
    GTEST_SKIP() << "2^18 buckets x 512 candidates is for the optimised build";
  std::mt19937 gen(7);
  std::vector<uint32_t> h(kBucketCount);
  for (auto &v : h)
    v = 0xFFFFFFFFu - gen() % 100000;
  expect_same(h, 3);
}

TEST(PaletteReduce, CancelKeepsTheColoursFoundSoFar) {
  const auto h = test::random_histogram(55, 500, Weights::kSkewed, Spread::kClustered);
  for (int at : {0, 1, 2, 17, 200}) {
    SCOPED_TRACE("cancel at message " + std::to_string(at));
    expect_same(h, 256, at);
    Recorder r{{}, at};
    const Reduction got = reduce(h, 256, std::ref(r));
    EXPECT_TRUE(got.cancelled);
    // Cancelled before split number `at`: boxes 0..at.
    EXPECT_EQ(got.colours.size(), static_cast<size_t>(at + 1));
  }
}

TEST(PaletteReduce, TalksOncePerSplitWithThePercentage) {
  const auto h = test::random_histogram(9, 1000, Weights::kFlat, Spread::kUniform);
  Recorder r;
  const Reduction got = reduce(h, 200, std::ref(r));
  ASSERT_EQ(got.colours.size(), 200u);
  ASSERT_EQ(r.heard.size(), 199u); // before each of the 199 splits
  EXPECT_EQ(r.heard[0], std::make_pair(std::string("Reducing the number of colors (1%)..."), 1));
  EXPECT_EQ(r.heard[1], std::make_pair(std::string("Reducing the number of colors (1%)..."), 0));
  EXPECT_EQ(r.heard[2], std::make_pair(std::string("Reducing the number of colors (2%)..."), 0));
  EXPECT_EQ(r.heard[198], std::make_pair(std::string("Reducing the number of colors (100%)..."), 0));
}

TEST(PaletteReduce, EmptyAndReservedOnlyHistogramsGiveNoColours) {
  std::vector<uint32_t> h(kBucketCount, 0);
  EXPECT_TRUE(reduce(h, 256).colours.empty());
  h[bucket_of8(128, 0, 0)] = 50;
  h[bucket_of8(255, 255, 255)] = 5;
  const std::array<Rgb, 2> reserved{{{128, 0, 0}, {255, 255, 255}}};
  Recorder r;
  const Reduction got =
      reduce_colours(std::span<const uint32_t, kBucketCount>(h.data(), kBucketCount), reserved, 256, std::ref(r));
  EXPECT_TRUE(got.colours.empty());
  EXPECT_TRUE(r.heard.empty());
}

// Histograms small enough to reduce by hand: buckets (6-bit red, green,
// blue and a count), the target and the colours in order.
struct HandCase {
  const char *what;
  std::vector<std::array<uint32_t, 4>> buckets;
  int32_t target;
  std::vector<Rgb> colours;
};

// A lone bucket is its own mean, 4 x c6 per channel (not the expansion);
// two buckets split into their own expanded colours, the lower bucket
// first.
//
// Three buckets on the red axis at 0, 1 and 2 with counts 1, 1, 2. Whole
// box: sums 4 and 5, mean8 = 20 / 4 = 5 (c = 1), error 30 x (1 + 0 + 2) =
// 90. Candidate k = 0 (all bounded by 0) leaves {0} inside: outer {1, 2}
// has mean8 4 x 5 / 3 = 6 (c = 1), error 30 x 2 = 60. k = 1 leaves {0, 1}:
// mean8 = 2 (c = 0), error 30; outer {2} error 0; sum 30, the smallest. So
// the colours are the inner mean (2, 0, 0) and the outer (8, 0, 0) after
// one split (gain 60); then {0, 1} splits into the expansions 0 and 4, and
// {2} alone gains nothing.
TEST(PaletteReduce, SmallHistogramsByHand) {
  const HandCase cases[] = {
      {"one colour", {{63, 16, 1, 9}}, 256, {{252, 64, 4}}},
      {"two colours", {{63, 16, 1, 9}, {0, 32, 40, 1000}}, 256, {{0, 130, 162}, {255, 65, 4}}},
      {"three buckets, one split", {{0, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 0, 2}}, 2, {{2, 0, 0}, {8, 0, 0}}},
      {"three buckets, all splits", {{0, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 0, 2}}, 256, {{0, 0, 0}, {8, 0, 0}, {4, 0, 0}}},
  };
  for (const HandCase &c : cases) {
    std::vector<uint32_t> h(kBucketCount, 0);
    for (const auto &[r, g, b, count] : c.buckets)
      h[bucket_of6(r, g, b)] = count;
    EXPECT_EQ(reduce(h, c.target).colours, c.colours) << c.what;
  }
}

TEST(PaletteReduce, TargetsBelowTwoGiveTheMean) {
  const auto h = test::random_histogram(3, 100, Weights::kFlat, Spread::kUniform);
  for (int32_t target : {1, 0, -5}) {
    Recorder r;
    const Reduction got = reduce(h, target, std::ref(r));
    ASSERT_EQ(got.colours.size(), 1u);
    EXPECT_EQ(got.colours, testref::reduce(h, target, {}).colours);
    EXPECT_TRUE(r.heard.empty());
  }
}

} // namespace
} // namespace vex::palette
