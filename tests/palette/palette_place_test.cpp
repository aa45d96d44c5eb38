// Placement against the plain reference on random palettes, colours and
// usage counts (ties made likely on purpose), and on hand-made cases whose
// best placement is plain to see.
#include <gtest/gtest.h>

#include <cmath>

#include "palette/palette_place.h"
#include "testkit/palette/palette_reference.h"
#include "tests/palette/palette_samples.h"

namespace vex::palette {
namespace {

using test::Recorder;

Palette view(std::vector<uint8_t> &p) { return Palette(p.data(), kPaletteBytes); }

TEST(PalettePlace, DistanceIsRoundedHundredthsCapped) {
  EXPECT_EQ(placement_distance({0, 0, 0}, {3, 4, 0}), 500);
  EXPECT_EQ(placement_distance({1, 1, 0}, {0, 0, 0}), 141); // 141.42
  EXPECT_EQ(placement_distance({0, 0, 0}, {1, 1, 1}), 173); // 173.21
  EXPECT_EQ(placement_distance({10, 20, 30}, {10, 20, 30}), 0);
  EXPECT_EQ(placement_distance({0, 0, 0}, {255, 255, 255}), 32768); // 44167 before the cap
  EXPECT_EQ(placement_distance({0, 0, 0}, {255, 0, 0}), 25500);
  // Every difference there is, against rounding in integers: r =
  // floor(sqrt(y)) for y = 10000 x squared distance, plus one when y - r^2 >
  // r (sqrt(y) > r + 1/2).
  for (int dr = 0; dr < 256; ++dr)
    for (int dg = 0; dg < 256; ++dg)
      for (int db = 0; db < 256; db += test::kSanitized ? 15 : 1) {
        const uint64_t y = 10000 * uint64_t(dr * dr + dg * dg + db * db);
        uint64_t r = 0;
        for (uint64_t bit = uint64_t{1} << 20; bit != 0; bit >>= 1)
          if ((r + bit) * (r + bit) <= y)
            r += bit;
        const uint64_t want = std::min<uint64_t>(32768, y - r * r > r ? r + 1 : r);
        ASSERT_EQ(placement_distance({uint8_t(dr), uint8_t(255 - dg), uint8_t(db)}, {0, 255, 0}), want)
            << dr << "," << dg << "," << db;
      }
}

enum class Usage { kZero, kSparse, kSkewed, kEqual };

UsageCounts make_usage(std::mt19937 &gen, Usage u) {
  UsageCounts c{};
  for (auto &v : c) {
    switch (u) {
    case Usage::kZero: v = 0; break;
    case Usage::kSparse: v = gen() % 4 == 0 ? gen() % 5000 : 0; break;
    case Usage::kSkewed: v = static_cast<uint32_t>(std::exp2((gen() % 3200) / 100.0)); break;
    case Usage::kEqual: v = 100; break;
    }
  }
  return c;
}

// Palettes with repeated entries and colours from a small set make equal
// costs and distances common, so the tie rules decide.
std::vector<uint8_t> make_palette(std::mt19937 &gen, int kind) {
  std::vector<uint8_t> p(kPaletteBytes, 0);
  if (kind == 0)
    return p; // all black
  for (size_t i = 0; i < p.size(); ++i)
    p[i] = static_cast<uint8_t>(kind == 1 ? gen() : (gen() % 3) * 60);
  return p;
}

std::vector<Rgb> make_colours(std::mt19937 &gen, size_t m, bool coarse) {
  std::vector<Rgb> c(m);
  for (auto &x : c)
    x = coarse ? Rgb{uint8_t((gen() % 3) * 60), uint8_t((gen() % 3) * 60), uint8_t((gen() % 3) * 60)}
               : Rgb{uint8_t(gen()), uint8_t(gen()), uint8_t(gen())};
  return c;
}

TEST(PalettePlace, MatchesTheReferenceOnRandomCases) {
  std::mt19937 gen(77);
  int a_won = 0, b_won = 0;
  for (int round = 0; round < (test::kSanitized ? 40 : 120); ++round) {
    const uint32_t first = round % 5 == 0 ? 0 : gen() % 200;
    const uint32_t count = round % 7 == 0 ? 256 - first : 1 + gen() % (256 - first);
    const size_t m = round % 3 == 0 ? count : 1 + gen() % count;
    auto palette = make_palette(gen, round % 3);
    const auto colours = make_colours(gen, m, round % 2 == 0);
    const auto usage = make_usage(gen, static_cast<Usage>(round % 4));
    SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(m) + " colours into " +
                 std::to_string(count) + " entries from " + std::to_string(first));
    auto want = palette;
    Recorder ours, theirs;
    const Placement got =
        place_colours(colours, view(palette), first, static_cast<int32_t>(count), usage, std::ref(ours));
    const char which =
        testref::place(colours, want, static_cast<int32_t>(first), static_cast<int32_t>(first + count - 1),
                       std::vector<uint32_t>(usage.begin(), usage.end()), std::ref(theirs));
    ASSERT_EQ(palette, want);
    ASSERT_EQ(got == Placement::kA ? 'A' : got == Placement::kB ? 'B' : '?', which);
    ASSERT_EQ(ours.heard, theirs.heard);
    (which == 'A' ? a_won : b_won)++;
  }
  // Both strategies must have been exercised for the comparison to mean
  // something.
  EXPECT_GT(a_won, 3);
  EXPECT_GT(b_won, 3);
}

// The previous frame showed entries 20-23 only; the new colours include
// those four colours exactly, so they stay where they are whichever
// strategy wins, and the other new colours go into unused entries.
TEST(PalettePlace, ColoursThatStayStayInTheirEntries) {
  std::mt19937 gen(5);
  std::vector<uint8_t> palette = make_palette(gen, 1);
  UsageCounts usage{};
  std::vector<Rgb> colours = make_colours(gen, 30, false);
  for (uint32_t i = 20; i < 24; ++i) {
    usage[i] = 1000 * i;
    colours[(i - 20) * 7] = palette_entry(ConstPalette(palette.data(), kPaletteBytes), i);
  }
  const auto before = palette;
  place_colours(colours, view(palette), 0, 256, usage, {});
  for (uint32_t i = 20 * 3; i < 24 * 3; ++i)
    EXPECT_EQ(palette[i], before[i]) << "byte " << i;
  // All 30 colours went in somewhere.
  for (const Rgb &c : colours) {
    bool found = false;
    for (uint32_t i = 0; i < 256; ++i)
      found = found || palette_entry(ConstPalette(palette.data(), kPaletteBytes), i) == c;
    EXPECT_TRUE(found);
  }
}

// The same colours as the palette holds, in another order: every colour
// returns to its own entry and nothing changes.
TEST(PalettePlace, APermutedPaletteGoesBackInPlace) {
  std::mt19937 gen(6);
  std::vector<uint8_t> palette = make_palette(gen, 1);
  std::vector<Rgb> colours;
  for (uint32_t i = 100; i < 140; ++i)
    colours.push_back(palette_entry(ConstPalette(palette.data(), kPaletteBytes), i));
  std::shuffle(colours.begin(), colours.end(), gen);
  const auto before = palette;
  UsageCounts usage{};
  for (auto &u : usage)
    u = 1 + gen() % 50;
  place_colours(colours, view(palette), 100, 40, usage, {});
  EXPECT_EQ(palette, before);
}

// Two entries, two colours; the heavily used entry 1 is red, the other
// black. Red must stay in entry 1 (cost 0) and blue go to entry 0: the
// other way round would cost 1000 x D(red, blue).
TEST(PalettePlace, TheBusiestEntryKeepsItsColour) {
  std::vector<uint8_t> palette(kPaletteBytes, 0);
  palette[3] = 255; // entry 1 red
  UsageCounts usage{};
  usage[0] = 1;
  usage[1] = 1000;
  const std::vector<Rgb> colours{{0, 0, 255}, {255, 0, 0}};
  EXPECT_NE(place_colours(colours, view(palette), 0, 2, usage, {}), Placement::kNone);
  EXPECT_EQ(palette_entry(ConstPalette(palette.data(), kPaletteBytes), 0), (Rgb{0, 0, 255}));
  EXPECT_EQ(palette_entry(ConstPalette(palette.data(), kPaletteBytes), 1), (Rgb{255, 0, 0}));
}

TEST(PalettePlace, NothingToPlaceOrNowhereToPlaceIt) {
  std::vector<uint8_t> palette(kPaletteBytes, 9);
  const auto before = palette;
  Recorder r;
  EXPECT_EQ(place_colours({}, view(palette), 0, 256, UsageCounts{}, std::ref(r)), Placement::kNone);
  EXPECT_TRUE(r.heard.empty());
  const std::vector<Rgb> one{{1, 2, 3}};
  EXPECT_EQ(place_colours(one, view(palette), 10, 0, UsageCounts{}, std::ref(r)), Placement::kNone);
  EXPECT_EQ(palette, before);
  // The message still comes: the sizes allow placement, there is just no
  // entry.
  ASSERT_EQ(r.heard.size(), 1u);
  EXPECT_EQ(r.heard[0], std::make_pair(std::string("Minimizing palette changes..."), 1));
}

TEST(PalettePlace, ACancelAnswerDoesNotStopIt) {
  std::mt19937 gen(8);
  std::vector<uint8_t> palette = make_palette(gen, 1), again = palette;
  const auto colours = make_colours(gen, 50, false);
  const auto usage = make_usage(gen, Usage::kSkewed);
  Recorder cancel{{}, 0};
  place_colours(colours, view(palette), 0, 256, usage, std::ref(cancel));
  place_colours(colours, view(again), 0, 256, usage, {});
  EXPECT_EQ(palette, again);
  EXPECT_EQ(cancel.heard.size(), 1u);
}

TEST(PalettePlace, MoreThan256ColoursAreCopiedInOrder) {
  std::mt19937 gen(9);
  std::vector<uint8_t> palette(kPaletteBytes, 0);
  const auto colours = make_colours(gen, 300, false);
  Recorder r;
  EXPECT_EQ(place_colours(colours, view(palette), 200, 56, UsageCounts{}, std::ref(r)), Placement::kInOrder);
  for (uint32_t i = 0; i < 200; ++i)
    ASSERT_EQ(palette_entry(ConstPalette(palette.data(), kPaletteBytes), i), (Rgb{0, 0, 0}));
  for (uint32_t i = 200; i < 256; ++i)
    ASSERT_EQ(palette_entry(ConstPalette(palette.data(), kPaletteBytes), i), colours[i - 200]);
  EXPECT_TRUE(r.heard.empty());
}

} // namespace
} // namespace vex::palette
