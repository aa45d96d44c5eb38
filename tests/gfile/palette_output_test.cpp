// 8-bit output: palettes passed through (with a remap table into the
// usable range, hand-computed and against a plain search), palettes built
// over runs of frames (against the plain transcription of palette
// building, testkit/palette/palette_reference.h, fed with histograms and
// usage counts counted here), every delivered pixel against a plain
// nearest-colour search; palette files, analysis mode 2, palette halves,
// cancelling at each stage, GFileBestPalette, and inputs that leave little
// to build from.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <set>

#include "palette/colour_match.h"
#include "stills/still_image.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/gfile/source_calls.h"
#include "testkit/gfile/source_oracles.h"
#include "testkit/palette/colour_reference.h"
#include "testkit/palette/palette_reference.h"
#include "testkit/util/ffmpeg_tool.h"

namespace gfile_test {
namespace {

namespace tk = vex::testkit;
namespace rawb = tk::rawb;
namespace st = vex::stills;
using Frame = std::vector<uint8_t>; // packed blue, green, red rows

using tk::moving_frame;

void expect_nearest_everywhere(const GFILE &g, const Frame &src, int first, int count, const std::string &where) {
  const std::vector<uint8_t> idx = output(g);
  for (size_t p = 0; p < idx.size(); ++p)
    ASSERT_EQ(idx[p], vex::testref::nearest6(g.palette, &src[p * 3], first, count)) << where << ", pixel " << p;
}

// The non-black entries of the output palette.
std::multiset<std::vector<int>> colours_of(const GFILE &g) {
  std::multiset<std::vector<int>> out;
  for (int e = 0; e < 256; ++e)
    if (g.palette[e][0] || g.palette[e][1] || g.palette[e][2])
      out.insert({g.palette[e][0], g.palette[e][1], g.palette[e][2]});
  return out;
}

// An 8 x 1 BMP with indices 1, 3, 4, 5, 50, 240, 250, 0 over a grey ramp
// palette (entry i = (i, i, i)) except entries 10 and 30, which are (3, 3, 3).
TEST(GfilePassThrough, PalettesAndRemapsByHand) {
  TempDir dir;
  const std::string bmp = dir.file("grey.bmp");
  st::Image im{};
  ASSERT_EQ(st::StillAlloc(&im, 8, 1, 8), 0);
  const uint8_t indices[8] = {1, 3, 4, 5, 50, 240, 250, 0};
  std::memcpy(im.pixels, indices, 8);
  for (int i = 0; i < 256; ++i)
    im.colors[i * 4] = im.colors[i * 4 + 1] = im.colors[i * 4 + 2] = uint8_t(i == 10 || i == 30 ? 3 : i);
  im.colors_used = 256;
  ASSERT_EQ(st::StillSave(st::Format::bmp, bmp.c_str(), &im, 0), 0);
  st::StillFree(&im);
  const struct {
    Options o;
    std::vector<int> want; // -1: not checked
    std::vector<int> entries; // entry, channel, value
  } rows[] = {
      // The whole palette: indices and palette kept.
      {{}, {1, 3, 4, 5, 50, 240, 250, 0}, {30, 0, 3, 200, 1, 200}},
      // Range 10..109. 1 (1,1,1) -> 10 (3,3,3): 12 x 256 + 9 beats 30's + 29. 3 -> 10, exact, 7
      // away (30 is 27 away). 4 and 5 -> 10 too. 50 is inside: itself. 240, 250 -> 109, the
      // lightest usable. 0 -> 10.
      {{.first_index = 10, .entries = 100}, {10, 10, 10, 10, 50, 109, 109, 10}, {}},
      // System colours over the whole palette (0-9, 246-255). 1: black at 0, 3 x 256 + 1, beats
      // (3,3,3) at 10 (12 x 256 + 9). 4: entry 10 at 3 x 256 + 6 beats black (48 x 256 + 4).
      // 250: white at 255 and grey 245 tie at 75 x 256 + 5; the search starts at 250 and wraps,
      // so 255 comes first. System colour 1 is (128, 0, 0); entry 246's blue is 240.
      {{.system_colours = 1}, {0, -1, 10, -1, 50, -1, 255, -1}, {1, 0, 128, 246, 2, 240}},
  };
  for (const auto &r : rows) {
    Source g = must(bmp, r.o);
    const std::vector<uint8_t> out = next(g.get());
    for (size_t p = 0; p < 8; ++p)
      EXPECT_EQ(r.want[p] < 0 ? -1 : out[p], r.want[p]) << "pixel " << p << ", first " << r.o.first_index;
    for (size_t e = 0; e + 2 < r.entries.size(); e += 3)
      EXPECT_EQ(g->palette[r.entries[e]][r.entries[e + 1]], r.entries[e + 2]) << "entry " << r.entries[e];
    EXPECT_EQ(g->palette_built, 0);
  }
}

TEST(GfileColourMatch, RemapMatchesAPlainSearchOnRandomPalettes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    uint8_t src[256][3], out[256][3];
    for (int i = 0; i < 256; ++i)
      for (int c = 0; c < 3; ++c)
        src[i][c] = uint8_t(rng() % 8 * 32), out[i][c] = uint8_t(rng() % 8 * 32); // few levels: many ties
    const uint32_t first = rng() % 200, count = 1 + rng() % (256 - first);
    const auto remap = vex::palette::build_remap(src, out, {first, count});
    for (uint32_t i = 0; i < 256; ++i)
      ASSERT_EQ(remap[i], vex::testref::remap(src[i], out, i, first, count)) << "round " << round << " index " << i;
  }
}

// Every palette is the one the plain transcription builds from the frames
// it serves (the next `period` frames) and the usage counts of the frame
// shown before it, seeded as the caller seeds it; with a split the usable
// range alternates; every pixel is the nearest entry of the current range.
// Pictures 0, 1, 2, 0, 1: colours come back under other palettes, which a
// colour cache kept past a palette change would map wrongly. The same
// picture every frame still rebuilds (and reports) every palette.
TEST(GfileAnalysed, EachPaletteIsTheReferenceOneOverItsFrames) {
  constexpr int kW = 24, kH = 16, kFrames = 5;
  TempDir dir;
  std::vector<Frame> moving, same;
  for (int f = 0; f < kFrames; ++f)
    moving.push_back(moving_frame(kW, kH, f % 3)), same.push_back(moving_frame(kW, kH, 0));
  const std::string avis[] = {tk::raw_avi(dir, "m.avi", kW, kH, moving), tk::raw_avi(dir, "s.avi", kW, kH, same)};
  const struct {
    int32_t period, first_index, entries, split, system_colours, avi;
    std::vector<int> built_at; // output frames (0-based) that get a new palette
  } rows[] = {{0, 0, 256, 0, 0, 0, {0}},           {1, 0, 256, 0, 0, 0, {0, 1, 2, 3, 4}},
              {2, 32, 64, 0, 2, 0, {0, 2, 4}},     {3, 200, 56, 0, 0, 0, {0, 3}},
              {1, 0, 256, 128, 2, 0, {0, 1, 2, 3, 4}}, {2, 10, 41, 30, 0, 0, {0, 2, 4}},
              {1, 0, 256, 0, 2, 1, {0, 1, 2, 3, 4}}};
  for (const auto &c : rows) {
    SCOPED_TRACE("period " + std::to_string(c.period) + ", entries " + std::to_string(c.first_index) + " +" +
                 std::to_string(c.entries) + ", split " + std::to_string(c.split) + (c.avi ? ", the same picture" : ""));
    const std::vector<Frame> &frames = c.avi ? same : moving;
    MessageLog log;
    Source g = must(avis[c.avi], {.palette_period = c.period, .first_index = c.first_index, .entries = c.entries,
                                  .split = c.split, .system_colours = c.system_colours, .promotion = 2});
    ASSERT_EQ(g->output_frames, kFrames);
    const int32_t period = c.period == 0 ? 0x10000 : c.period;
    const int32_t split = std::min(c.split, (c.entries + 1) / 2), usable = c.entries - split;
    std::vector<int> built;
    std::vector<uint8_t> shown(768, 0);
    std::vector<uint32_t> usage(256, 0);
    int range_first = c.first_index;
    for (int f = 0; f < kFrames; ++f) {
      g->palette_built = 0;
      const std::vector<uint8_t> idx = next(g.get());
      if (g->palette_built) {
        range_first = c.first_index + (split > 0 && built.size() % 2 == 1 ? split : 0);
        // The seed: the previous palette inside the usable range, the
        // source's (none: zeros) outside it and everywhere for the first.
        std::vector<uint8_t> seed(768, 0);
        if (f > 0)
          std::copy(shown.begin() + range_first * 3, shown.begin() + (range_first + usable) * 3,
                    seed.begin() + range_first * 3);
        const std::vector<Frame> served(frames.begin() + f, frames.begin() + std::min(kFrames, f + period));
        const auto want = vex::testref::build(vex::testref::histogram_bgr(served), range_first, usable,
                                              c.system_colours, f > 0 ? usage : std::vector<uint32_t>(256), seed, {});
        ASSERT_EQ(palette(*g), want.palette) << "frame " << f;
        built.push_back(f);
      } else {
        ASSERT_EQ(palette(*g), shown) << "frame " << f << ": no new palette, the same one";
      }
      expect_nearest_everywhere(*g, frames[size_t(f)], range_first, usable, "frame " + std::to_string(f));
      shown = palette(*g);
      usage.assign(256, 0);
      for (const uint8_t v : idx)
        ++usage[v];
    }
    EXPECT_EQ(built, c.built_at);
    if (c.avi) {
      EXPECT_EQ(heard(log, "Analyzing"),
                (std::vector<std::string>{"1:Analyzing colors in frame 1 of 5 (0%)...", "1:Analyzing colors in frame 2 of 5 (20%)...",
                                          "1:Analyzing colors in frame 3 of 5 (40%)...", "1:Analyzing colors in frame 4 of 5 (60%)...",
                                          "1:Analyzing colors in frame 5 of 5 (80%)..."}));
    }
  }
}

// Analysis mode 2 ends a palette at the frame whose source palette
// changed (that frame starts the next one); mode 1 does not. Pixels of an
// 8-bit source go through the remap table.
TEST(GfileAnalysed, ModeTwoEndsAPaletteWhereTheSourcePaletteChanges) {
  TempDir dir;
  rawb::Palette warm{}, cool{};
  for (int i = 0; i < 256; ++i) {
    warm[size_t(i) * 3] = uint8_t(i), warm[size_t(i) * 3 + 1] = uint8_t(i / 2);
    cool[size_t(i) * 3 + 2] = uint8_t(i), cool[size_t(i) * 3 + 1] = uint8_t(255 - i);
  }
  std::vector<rawb::Frame> frames(5);
  for (size_t f = 0; f < frames.size(); ++f)
    for (int p = 0; p < 64; ++p)
      frames[f].pixels.push_back(uint8_t(p * 4 + f));
  frames[0].palettes = {warm};
  frames[3].palettes = {cool};
  const std::string raw = dir.file("p.raw");
  rawb::write_rawb(raw, rawb::Layout{8, 8, -66, {}}, frames);
  for (const auto &[mode, want] : {std::pair{2, std::vector<int>{0, 3}}, std::pair{1, std::vector<int>{0}}}) {
    Source g = must(raw, {.palette_mode = mode, .first_index = 20, .entries = 100, .system_colours = 2});
    std::vector<int> built;
    for (int f = 0; f < 5; ++f) {
      g->palette_built = 0;
      const std::vector<uint8_t> idx = next(g.get());
      if (g->palette_built)
        built.push_back(f);
      for (size_t p = 0; p < idx.size(); ++p) {
        const uint32_t i = frames[size_t(f)].pixels[p];
        ASSERT_EQ(idx[p], vex::testref::remap(&(f < 3 ? warm : cool)[i * 3], g->palette, i, 20, 100))
            << "mode " << mode << " frame " << f << " pixel " << p;
      }
    }
    EXPECT_EQ(built, want) << "mode " << mode;
  }
}

// Pictures of few colours, and of one: a picture of exactly two colours
// gives those two (6 to 8 bits) and leaves the other usable entries as
// they were (single boxes by hand are the palette tests'); a usable range the system
// colours fill gives no new colour (the system colours around 236 new ones
// are the reference test's rows). A palette file gives its colours, not the
// source's; one that does not open fails the frame.
TEST(GfileAnalysed, FewColoursSystemColoursAndPaletteFiles) {
  TempDir dir;
  Frame two(16 * 4 * 3);
  for (size_t p = 0; p < 64; ++p) {
    const bool a = p % 3 == 0;
    two[p * 3] = a ? 200 : 17, two[p * 3 + 1] = a ? 100 : 90, two[p * 3 + 2] = a ? 10 : 250;
  }
  Source g = must(tk::raw_avi(dir, "two.avi", 16, 4, {two}), {.system_colours = 2, .promotion = 2});
  next(g.get());
  // 10 -> 2 -> 2 x 4 + 0 = 8; 100 -> 25 -> 101; 200 -> 50 -> 203; 17 -> 4 -> 16; 90 -> 22 -> 89; 250 -> 62 -> 251.
  EXPECT_EQ(colours_of(*g), (std::multiset<std::vector<int>>{{8, 101, 203}, {251, 89, 16}}));
  expect_nearest_everywhere(*g, two, 0, 256, "two colours");
  const std::string small = tk::raw_avi(dir, "s.avi", 8, 2, {moving_frame(8, 2, 1)});
  g = must(small, {.first_index = 0, .entries = 10, .promotion = 2});
  next(g.get());
  EXPECT_EQ((std::vector{g->palette[1][0], uint8_t(g->palette[10][0] | g->palette[10][1] | g->palette[10][2])}),
            (std::vector<uint8_t>{128, 0}));
  expect_nearest_everywhere(*g, moving_frame(8, 2, 1), 0, 10, "system colours only");
  // One colour in the file, as stored: every entry is black but that one (to 6 bits).
  const std::string src = tool_file(dir, "s.png", "testsrc=size=32x16", "-frames:v 1 -update 1 -pix_fmt rgb24");
  const std::string pal = tool_file(dir, "p.png", "color=c=0x804020:size=8x8", "-frames:v 1 -update 1 -pix_fmt rgb24");
  const auto file_rgb = tk::ffmpeg_decode(pal, "-f rawvideo -pix_fmt rgb24");
  g = must(src, {.system_colours = 2, .palette_file = pal});
  next(g.get());
  EXPECT_EQ(g->palette_built, 1);
  const auto from_file = colours_of(*g);
  ASSERT_EQ(from_file.size(), 1u);
  for (int ch = 0; ch < 3; ++ch)
    EXPECT_EQ((*from_file.begin())[size_t(ch)] >> 2, file_rgb[size_t(ch)] >> 2) << ch;
  MessageLog log;
  g = must(src, {.palette_file = dir.file("missing.png")});
  EXPECT_EQ(GFileGet(g.get()), 0);
  EXPECT_EQ(log.at_level(2), std::vector<std::string>{"Error opening palette graphics file."});
}

// A true-colour still of the largest side gets a palette, every pixel on
// the nearest entry (its corners checked; every pixel of smaller pictures
// is the reference test's).
TEST(GfileAnalysed, StillsGetAPaletteAndNearestEntries) {
  TempDir dir;
  constexpr int kSide = 4096;
  st::Image im{};
  ASSERT_EQ(st::StillAlloc(&im, kSide, kSide, 24), 0);
  const auto bgr = [](int x, int y) { return std::array<uint8_t, 3>{uint8_t(x >> 4), uint8_t(y >> 4), uint8_t((x ^ y) >> 6)}; };
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      std::memcpy(im.pixels + size_t(kSide - 1 - y) * size_t(im.pitch) + size_t(x) * 3, bgr(x, y).data(), 3); // rows bottom-up
  const std::string big = dir.file("big.bmp");
  ASSERT_EQ(st::StillSave(st::Format::bmp, big.c_str(), &im, 0), 0);
  st::StillFree(&im);
  Source g = must(big, {.system_colours = 2});
  ASSERT_EQ(g->width, kSide);
  const std::vector<uint8_t> idx = next(g.get());
  EXPECT_EQ(g->palette_built, 1);
  for (const auto &[x, y] : {std::pair{0, 0}, {kSide - 1, 0}, {0, kSide - 1}, {kSide - 1, kSide - 1}, {1234, 3210}})
    EXPECT_EQ(idx[size_t(y) * kSide + size_t(x)], vex::testref::nearest6(g->palette, bgr(x, y).data(), 0, 256)) << x << "," << y;
}

// The palette source's open (its frame count) or the frame analysis
// cancelled: GFileGet returns 0 right after the answer, nothing more is
// read or said, every later GFileGet returns 0 until GFileReset, after
// which the source starts over and builds the palette it would have.
// Reduction cancelled after s splits: s + 1 colours, the frame delivered;
// the placement message is no question.
TEST(GfileAnalysed, CancelKeepsWhatTheStageKeeps) {
  TempDir dir;
  std::vector<Frame> frames;
  for (int f = 0; f < 4; ++f)
    frames.push_back(moving_frame(16, 8, f));
  const std::string avi = tk::raw_avi(dir, "c.avi", 16, 8, frames);
  const Options o{.palette_period = 2, .system_colours = 2, .promotion = 2};
  MessageLog log;
  Source u = must(avi, o);
  next(u.get());
  const std::vector<uint8_t> uncancelled = palette(*u);
  const struct {
    const char *prefix;
    int at;          // the at-th message (1-based) with the prefix
    bool stops;      // GFileGet returns 0 and the source is cancelled
    int new_colours; // distinct non-black entries after the first frame (-1: as without cancelling)
  } rows[] = {{"Counting frames in", 2, true, 0},
              {"Analyzing colors in frame 1", 1, true, 0},
              {"Analyzing colors in frame 2", 1, true, 0},
              {"Reducing", 4, false, 4},
              {"Minimizing", 1, false, -1}};
  for (const auto &c : rows) {
    SCOPED_TRACE(std::string(c.prefix) + " #" + std::to_string(c.at));
    log.clear();
    log.cancel_at(-1);
    next(must(avi, o).get()); // where the message comes, uncancelled
    const int index = nth_message(log, c.prefix, c.at);
    ASSERT_GE(index, 0);
    log.clear();
    log.cancel_at(index);
    Source g = must(avi, o);
    if (c.stops) {
      EXPECT_EQ(GFileGet(g.get()), 0);
      EXPECT_STREQ(VEXLastError(), "cancelled");
      EXPECT_EQ(log.messages().size(), size_t(index) + 1) << "heard after the cancel: " << log.messages().back().text;
      EXPECT_EQ(GFileGet(g.get()), 0);
      EXPECT_EQ(log.messages().size(), size_t(index) + 1) << "a cancelled source reads and says nothing";
      log.cancel_at(-1);
      GFileReset(g.get());
      next(g.get());
      EXPECT_EQ(palette(*g), uncancelled);
      continue;
    }
    next(g.get());
    const auto cs = colours_of(*g);
    if (c.new_colours < 0)
      EXPECT_EQ(palette(*g), uncancelled);
    else
      EXPECT_EQ(std::set<std::vector<int>>(cs.begin(), cs.end()).size(), size_t(c.new_colours));
    EXPECT_EQ(g->palette_built, 1);
    g->palette_built = 0;
    for (int f = 1; f < 3; ++f)
      next(g.get());
    EXPECT_EQ(g->palette_built, 1) << "the next run asks again";
  }
}

// GFileBestPalette driven by the caller: an 8-bit source that keeps its
// palettes gives its usable entries (and the system colours with option
// 1) and says the source ended; null arguments give 0.
TEST(GfileBestPalette, PassThroughAndNullArguments) {
  TempDir dir;
  rawb::Palette ramp{};
  for (size_t i = 0; i < 768; ++i)
    ramp[i] = uint8_t(i * 5 + 3);
  const std::string raw = dir.file("one.raw");
  rawb::write_rawb(raw, rawb::Layout{4, 2, -66, {}}, {rawb::Frame{std::vector<uint8_t>(8, 7), {ramp}}});
  Source p = must(raw, {.first_index = 5, .entries = 100, .system_colours = 1});
  std::vector<uint8_t> pal(768, 0xEE);
  EXPECT_EQ(GFileBestPalette(p.get(), pal.data(), nullptr, 0, 0, 0, 0, 0, 0, 0), 0x10000);
  for (size_t i = 10 * 3; i < 246 * 3; ++i) // between the system colours
    ASSERT_EQ(pal[i], i / 3 >= 5 && i / 3 < 105 ? ramp[i] : 0xEE) << "byte " << i;
  EXPECT_EQ((std::vector{pal[3 * 1], pal[3 * 255 + 1]}), (std::vector<uint8_t>{128, 255})); // system colours 1 and 255
  EXPECT_EQ(GFileBestPalette(nullptr, pal.data(), nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(GFileBestPalette(p.get(), nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
}

} // namespace
} // namespace gfile_test
