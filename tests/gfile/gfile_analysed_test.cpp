// The analysed path of 8-bit output: palettes built over runs of frames by
// a palette source, checked against the plain transcription of palette
// building (testkit/palette/palette_reference.h) fed with histograms and usage
// counts counted here by hand, and every delivered pixel against a plain
// nearest-colour search. Also: the palette countdown, analysis mode 2,
// palette halves, cancelling at each stage, GFileBestPalette on its own,
// and inputs that leave little to build from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "stills/still_image.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"
#include "testkit/palette/palette_reference.h"

namespace {

using namespace gfile_test;
using vex::testkit::shell_quote;
using vex::testkit::TempDir;
using Frame = std::vector<uint8_t>; // packed blue, green, red rows

// A true-colour AVI (uncompressed, so the reader sees these very bytes).
std::string write_avi(const TempDir &dir, const std::string &name, int w, int h, const std::vector<Frame> &frames) {
  const std::string raw = dir.file(name + ".bgr"), avi = dir.file(name);
  std::ofstream out(raw, std::ios::binary);
  for (const Frame &f : frames)
    out.write(reinterpret_cast<const char *>(f.data()), static_cast<std::streamsize>(f.size()));
  out.close();
  vex::testkit::ffmpeg("-f rawvideo -pix_fmt bgr24 -s " + std::to_string(w) + "x" + std::to_string(h) +
                       " -r 10 -i " + shell_quote(raw) + " -c:v rawvideo -pix_fmt bgr24 " + shell_quote(avi));
  return avi;
}

// Frame f of a movie whose colours move from frame to frame: many 6-bit
// buckets per frame, different ones in every frame.
Frame moving_frame(int w, int h, int f) {
  Frame p(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t *q = &p[(size_t(y) * size_t(w) + size_t(x)) * 3];
      q[0] = static_cast<uint8_t>((x + y) * 5 + f * 50);
      q[1] = static_cast<uint8_t>(y * 9 + f * 11);
      q[2] = static_cast<uint8_t>(x * 7 + f * 37 + 40);
    }
  return p;
}

// The 6-bit histogram of frames [from, to), counted directly.
std::vector<uint32_t> histogram(const std::vector<Frame> &frames, size_t from, size_t to) {
  std::vector<uint32_t> h(1u << 18);
  for (size_t f = from; f < to && f < frames.size(); ++f)
    for (size_t p = 0; p + 2 < frames[f].size(); p += 3)
      ++h[(frames[f][p + 2] >> 2u) << 12 | (frames[f][p + 1] >> 2u) << 6 | frames[f][p] >> 2u];
  return h;
}

// The usable entry nearest to a blue, green, red pixel at 6 bits per
// channel; the first of equals.
int nearest(const GFILE &g, const uint8_t *bgr, int first, int count) {
  int best = INT32_MAX, at = -1;
  for (int e = first; e < first + count; ++e) {
    const int dr = (bgr[2] >> 2) - (g.palette[e][0] >> 2), dg = (bgr[1] >> 2) - (g.palette[e][1] >> 2),
              db = (bgr[0] >> 2) - (g.palette[e][2] >> 2);
    if (dr * dr + dg * dg + db * db < best) {
      best = dr * dr + dg * dg + db * db;
      at = e;
    }
  }
  return at;
}

void expect_nearest_everywhere(const GFILE &g, const Frame &src, int first, int count, const std::string &where) {
  const std::vector<uint8_t> idx = output(g);
  for (size_t p = 0; p < idx.size(); ++p)
    ASSERT_EQ(idx[p], nearest(g, &src[p * 3], first, count)) << where << ", pixel " << p;
}

std::vector<uint32_t> usage_of(const GFILE &g) {
  std::vector<uint32_t> u(256);
  for (const uint8_t v : output(g))
    ++u[v];
  return u;
}

struct RunCase {
  const char *name;
  int32_t period, first_index, entries, split, system_colours;
  std::vector<int> built_at; // output frames (0-based) that get a new palette
};

class PaletteRuns : public ::testing::TestWithParam<RunCase> {};

// Every palette is the one the plain transcription builds from the frames
// it serves (the next `period` frames) and the usage counts of the frame
// shown before it, seeded as the caller seeds it; with a split the usable
// range alternates; every pixel is the nearest entry of the current range.
TEST_P(PaletteRuns, EachPaletteIsTheReferenceOneOverItsFrames) {
  const RunCase &c = GetParam();
  constexpr int kW = 24, kH = 16, kFrames = 5;
  TempDir dir;
  // Pictures 0, 1, 2, 0, 1: colours come back under other palettes, which
  // a colour cache kept past a palette change would map wrongly.
  std::vector<Frame> frames;
  for (int f = 0; f < kFrames; ++f)
    frames.push_back(moving_frame(kW, kH, f % 3));
  Source g = open(write_avi(dir, "m.avi", kW, kH, frames),
                  Options{.palette_period = c.period, .first_index = c.first_index, .entries = c.entries,
                          .split = c.split, .system_colours = c.system_colours, .promotion = 2});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->output_frames, kFrames);
  const int32_t period = c.period == 0 ? 0x10000 : c.period;
  const int32_t split = std::min(c.split, (c.entries + 1) / 2), usable = c.entries - split;
  std::vector<int> built;
  std::vector<uint8_t> shown(768, 0);
  std::vector<uint32_t> usage(256, 0);
  int range_first = c.first_index;
  for (int f = 0; f < kFrames; ++f) {
    g->palette_built = 0;
    ASSERT_EQ(GFileGet(g.get()), 1);
    const std::string where = std::string(c.name) + " frame " + std::to_string(f);
    if (g->palette_built) {
      range_first = c.first_index + (split > 0 && built.size() % 2 == 1 ? split : 0);
      // The seed: the previous palette inside the usable range, the
      // source's (none: zeros) outside it and everywhere for the first.
      std::vector<uint8_t> seed(768, 0);
      if (f > 0)
        std::copy(shown.begin() + range_first * 3, shown.begin() + (range_first + usable) * 3,
                  seed.begin() + range_first * 3);
      const auto want = vex::testref::build(histogram(frames, size_t(f), size_t(f) + size_t(period)), range_first,
                                            usable, c.system_colours, f > 0 ? usage : std::vector<uint32_t>(256), seed, {});
      ASSERT_EQ(palette(*g), want.palette) << where;
      built.push_back(f);
    } else {
      ASSERT_EQ(palette(*g), shown) << where << ": no new palette, the same one";
    }
    expect_nearest_everywhere(*g, frames[size_t(f)], range_first, usable, where);
    shown = palette(*g);
    usage = usage_of(*g);
  }
  EXPECT_EQ(built, c.built_at);
}

INSTANTIATE_TEST_SUITE_P(
    Gfile, PaletteRuns,
    ::testing::Values(RunCase{"one_palette_for_all", 0, 0, 256, 0, 0, {0}},
                      RunCase{"every_frame", 1, 0, 256, 0, 0, {0, 1, 2, 3, 4}},
                      RunCase{"pairs", 2, 32, 64, 0, 2, {0, 2, 4}},
                      RunCase{"threes_top_range", 3, 200, 56, 0, 0, {0, 3}},
                      RunCase{"halves", 1, 0, 256, 128, 2, {0, 1, 2, 3, 4}},
                      RunCase{"halves_odd_split", 2, 10, 41, 30, 0, {0, 2, 4}}),
    [](const auto &info) { return std::string(info.param.name); });

// The palette-built flag is set also when the new palette equals the old
// one; the analysis messages come with the palette source's label.
TEST(GfileAnalysed, SameColoursEveryFrameStillRebuildAndReport) {
  TempDir dir;
  const Frame f = moving_frame(8, 4, 0);
  Source g = open(write_avi(dir, "s.avi", 8, 4, {f, f, f}), Options{.palette_period = 1, .promotion = 2});
  ASSERT_NE(g, nullptr);
  std::vector<uint8_t> first;
  for (int i = 0; i < 3; ++i) {
    g->palette_built = 0;
    ASSERT_EQ(GFileGet(g.get()), 1);
    EXPECT_EQ(g->palette_built, 1) << i;
    if (i == 0)
      first = palette(*g);
    EXPECT_EQ(palette(*g), first) << i;
    expect_nearest_everywhere(*g, f, 0, 256, "frame " + std::to_string(i));
  }
  std::vector<std::pair<std::string, int>> analysis;
  for (const auto &m : messages())
    if (m.first.rfind("Analyzing colors in", 0) == 0)
      analysis.push_back(m);
  EXPECT_EQ(analysis, (std::vector<std::pair<std::string, int>>{{"Analyzing colors in frame 1 of 3 (0%)...", 1},
                                                                 {"Analyzing colors in frame 2 of 3 (33%)...", 1},
                                                                 {"Analyzing colors in frame 3 of 3 (66%)...", 1}}));
}

// Analysis mode 2 ends a palette at the frame whose source palette
// changed (that frame starts the next one); mode 1 does not. Pixels of an
// 8-bit source go through the remap table: each is the usable entry of
// smallest (squared 8-bit distance) x 256 + |i - j|, searched from i.
TEST(GfileAnalysed, ModeTwoEndsAPaletteWhereTheSourcePaletteChanges) {
  TempDir dir;
  namespace rawb = vex::testkit::rawb;
  rawb::Palette warm{}, cool{};
  for (int i = 0; i < 256; ++i) {
    warm[size_t(i) * 3] = static_cast<uint8_t>(i);
    warm[size_t(i) * 3 + 1] = static_cast<uint8_t>(i / 2);
    cool[size_t(i) * 3 + 2] = static_cast<uint8_t>(i);
    cool[size_t(i) * 3 + 1] = static_cast<uint8_t>(255 - i);
  }
  std::vector<rawb::Frame> frames(5);
  for (size_t f = 0; f < frames.size(); ++f)
    for (int p = 0; p < 64; ++p)
      frames[f].pixels.push_back(static_cast<uint8_t>(p * 4 + f));
  frames[0].palettes = {warm};
  frames[3].palettes = {cool};
  const std::string raw = dir.file("p.raw");
  rawb::write_rawb(raw, rawb::Layout{8, 8, -66, {}}, frames);
  for (const auto &[mode, want] : {std::pair{2, std::vector<int>{0, 3}}, std::pair{1, std::vector<int>{0}}}) {
    Source g = open(raw, Options{.palette_mode = mode, .first_index = 20, .entries = 100, .system_colours = 2});
    ASSERT_NE(g, nullptr);
    std::vector<int> built;
    for (int f = 0; f < 5; ++f) {
      g->palette_built = 0;
      ASSERT_EQ(GFileGet(g.get()), 1);
      if (g->palette_built)
        built.push_back(f);
      const rawb::Palette &src = f < 3 ? warm : cool;
      const std::vector<uint8_t> idx = output(*g);
      for (size_t p = 0; p < idx.size(); ++p) {
        const int i = frames[size_t(f)].pixels[p];
        int64_t best = INT64_MAX;
        int at = -1;
        for (int k = 0; k < 100; ++k) {
          const int j = 20 + ((i >= 20 && i < 120 ? i - 20 : 0) + k) % 100;
          int64_t d = 0;
          for (int ch = 0; ch < 3; ++ch)
            d += (int64_t{src[size_t(i) * 3 + size_t(ch)]} - g->palette[j][ch]) *
                 (int64_t{src[size_t(i) * 3 + size_t(ch)]} - g->palette[j][ch]);
          d = d * 256 + std::abs(i - j);
          if (d < best) {
            best = d;
            at = j;
          }
        }
        ASSERT_EQ(idx[p], at) << "mode " << mode << " frame " << f << " pixel " << p;
      }
    }
    EXPECT_EQ(built, want) << "mode " << mode;
  }
}

// The Part's two small cases: a picture of exactly two colours gives those
// two (6 to 8 bits) and leaves the other usable entries as they were; a
// picture of many colours over the whole palette with system colours gives
// them in 0-9 and 246-255 and 236 new colours between.
TEST(GfileAnalysed, TwoColoursAndTheSystemColoursAround236New) {
  TempDir dir;
  Frame two(16 * 4 * 3);
  for (size_t p = 0; p < 64; ++p) {
    const bool a = p % 3 == 0;
    two[p * 3] = a ? 200 : 17;
    two[p * 3 + 1] = a ? 100 : 90;
    two[p * 3 + 2] = a ? 10 : 250;
  }
  Source g = open(write_avi(dir, "two.avi", 16, 4, {two}), Options{.system_colours = 2, .promotion = 2});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(GFileGet(g.get()), 1);
  std::multiset<std::vector<int>> colours;
  for (int e = 0; e < 256; ++e)
    if (g->palette[e][0] || g->palette[e][1] || g->palette[e][2])
      colours.insert({g->palette[e][0], g->palette[e][1], g->palette[e][2]});
  // 10 -> 2 -> 2 x 4 + 0 = 8; 100 -> 25 -> 101; 200 -> 50 -> 203; 17 -> 4 -> 16;
  // 90 -> 22 -> 89; 250 -> 62 -> 251.
  EXPECT_EQ(colours, (std::multiset<std::vector<int>>{{8, 101, 203}, {251, 89, 16}}));
  expect_nearest_everywhere(*g, two, 0, 256, "two colours");

  Source many = open(write_avi(dir, "many.avi", 48, 32, {moving_frame(48, 32, 0)}), Options{.promotion = 2});
  ASSERT_NE(many, nullptr);
  ASSERT_EQ(GFileGet(many.get()), 1);
  std::set<std::vector<int>> fresh;
  for (int e = 10; e < 246; ++e)
    fresh.insert({many->palette[e][0], many->palette[e][1], many->palette[e][2]});
  EXPECT_EQ(fresh.size(), 236u);
  EXPECT_EQ(many->palette[7][0], 192);
  EXPECT_EQ(many->palette[246][2], 240);
  EXPECT_EQ(many->palette[255][1], 255);
}

// A cancelling callback: true for the n-th message (1-based) starting with
// `prefix`; every message is recorded.
std::string g_prefix;
int g_cancel_at = 0, g_seen = 0;
std::vector<std::string> g_log;
int32_t cancel_on(const char *text, int32_t) {
  g_log.emplace_back(text ? text : "");
  if (text && g_cancel_at > 0 && std::strncmp(text, g_prefix.c_str(), g_prefix.size()) == 0)
    return ++g_seen == g_cancel_at ? 1 : 0;
  return 0;
}

struct CancelCase {
  const char *name;
  const char *prefix;
  int at;
  bool stops;        // GFileGet returns 0 and the source is cancelled
  int new_colours;   // distinct non-black entries after the first frame (-1: as without cancelling)
  bool asks_again;   // a later frame builds a palette
};

class AnalysedCancel : public ::testing::TestWithParam<CancelCase> {};

// The palette source's open (its frame count) or the frame analysis
// cancelled: GFileGet returns 0 right after the answer, nothing more is
// read or said, every later GFileGet returns 0 until GFileReset, after
// which the source starts over and builds the palette it would have.
// Reduction cancelled after s splits: s + 1 colours, the frame delivered;
// the placement message is no question.
TEST_P(AnalysedCancel, KeepsWhatTheStageKeeps) {
  const CancelCase &c = GetParam();
  TempDir dir;
  std::vector<Frame> frames;
  for (int f = 0; f < 4; ++f)
    frames.push_back(moving_frame(16, 8, f));
  const std::string avi = write_avi(dir, "c.avi", 16, 8, frames);
  std::vector<uint8_t> uncancelled;
  for (const bool cancel : {false, true}) {
    g_prefix = c.prefix;
    g_cancel_at = cancel ? c.at : 0;
    g_seen = 0;
    g_log.clear();
    Source g(GFileOpen(avi.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 256, 0, 2, 2, nullptr, nullptr,
                       cancel_on));
    ASSERT_NE(g, nullptr);
    if (cancel && c.stops) {
      EXPECT_EQ(GFileGet(g.get()), 0);
      EXPECT_STREQ(VEXLastError(), "cancelled");
      ASSERT_FALSE(g_log.empty());
      EXPECT_EQ(g_log.back().rfind(c.prefix, 0), 0u) << "heard after the cancel: " << g_log.back();
      const size_t heard = g_log.size();
      EXPECT_EQ(GFileGet(g.get()), 0);
      EXPECT_EQ(g_log.size(), heard) << "a cancelled source reads and says nothing";
      GFileReset(g.get());
      g_cancel_at = 0;
      ASSERT_EQ(GFileGet(g.get()), 1);
      EXPECT_EQ(palette(*g), uncancelled);
      continue;
    }
    ASSERT_EQ(GFileGet(g.get()), 1);
    if (!cancel) {
      uncancelled = palette(*g);
      continue;
    }
    std::set<std::vector<int>> colours;
    for (int e = 0; e < 256; ++e)
      if (g->palette[e][0] || g->palette[e][1] || g->palette[e][2])
        colours.insert({g->palette[e][0], g->palette[e][1], g->palette[e][2]});
    if (c.new_colours < 0)
      EXPECT_EQ(palette(*g), uncancelled);
    else
      EXPECT_EQ(colours.size(), size_t(c.new_colours));
    EXPECT_EQ(g->palette_built, 1);
    g->palette_built = 0;
    for (int f = 1; f < 4; ++f)
      ASSERT_EQ(GFileGet(g.get()), 1);
    EXPECT_EQ(g->palette_built, c.asks_again ? 1 : 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Gfile, AnalysedCancel,
                         ::testing::Values(CancelCase{"palette_source_open", "Counting frames in", 2, true, 0, false},
                                           CancelCase{"first_frame", "Analyzing colors in frame 1", 1, true, 0, false},
                                           CancelCase{"second_frame", "Analyzing colors in frame 2", 1, true, 0, false},
                                           CancelCase{"first_split", "Reducing", 1, false, 1, true},
                                           CancelCase{"fourth_split", "Reducing", 4, false, 4, true},
                                           CancelCase{"placement", "Minimizing", 1, false, -1, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// GFileBestPalette driven by the caller: an 8-bit source that keeps its
// palettes gives its usable entries (and the system colours with option
// 1) and says the source ended; null arguments give 0.
TEST(GfileBestPalette, PassThroughAndNullArguments) {
  TempDir dir;
  namespace rawb = vex::testkit::rawb;
  rawb::Palette ramp{};
  for (size_t i = 0; i < 768; ++i)
    ramp[i] = static_cast<uint8_t>(i * 5 + 3);
  const std::string raw = dir.file("one.raw");
  rawb::write_rawb(raw, rawb::Layout{4, 2, -66, {}}, {rawb::Frame{std::vector<uint8_t>(8, 7), {ramp}}});
  Source p(GFileOpen(raw.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 100, 0, 1, 0, nullptr, nullptr, nullptr));
  ASSERT_NE(p, nullptr);
  std::vector<uint8_t> pal(768, 0xEE);
  EXPECT_EQ(GFileBestPalette(p.get(), pal.data(), nullptr, 0, 0, 0, 0, 0, 0, 0), 0x10000);
  for (size_t i = 0; i < 768; ++i) {
    const size_t e = i / 3;
    const bool system = e < 10 || e >= 246, usable = e >= 5 && e < 105;
    if (!system) {
      ASSERT_EQ(pal[i], usable ? ramp[i] : 0xEE) << "byte " << i;
    }
  }
  EXPECT_EQ(pal[3 * 1], 128); // system colour 1 is (128, 0, 0)
  EXPECT_EQ(pal[3 * 255 + 1], 255);
  EXPECT_EQ(GFileBestPalette(nullptr, pal.data(), nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(GFileBestPalette(p.get(), nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
}

// Inputs that leave little to build from: a clear result and no crash.
TEST(GfileAnalysed, LittleToBuildFrom) {
  TempDir dir;
  const std::string small = write_avi(dir, "s.avi", 8, 2, {moving_frame(8, 2, 1)});
  {
    // A usable range that the system colours fill: no new colour, every
    // pixel on one of the ten.
    Source g = open(small, Options{.first_index = 0, .entries = 10, .promotion = 2});
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(GFileGet(g.get()), 1);
    EXPECT_EQ(g->palette[1][0], 128);
    EXPECT_EQ(g->palette[10][0] | g->palette[10][1] | g->palette[10][2], 0);
    expect_nearest_everywhere(*g, moving_frame(8, 2, 1), 0, 10, "system colours only");
  }
  {
    // A palette file of nothing but black: with system colours, black is
    // held by entry 0, so no new colour is made and entries 10-245 stay.
    const std::string black = dir.file("black.png");
    vex::testkit::ffmpeg("-f lavfi -i color=c=black:size=8x8 -frames:v 1 -update 1 -pix_fmt rgb24 " + black);
    Source g = open(small, Options{.promotion = 2, .palette_file = black});
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(GFileGet(g.get()), 1);
    for (int e = 10; e < 246; ++e)
      ASSERT_EQ(g->palette[e][0] | g->palette[e][1] | g->palette[e][2], 0) << e;
    EXPECT_EQ(g->palette[250][0], 0);
    EXPECT_EQ(g->palette[249][0], 255);
  }
  {
    // One pixel of one colour: one box that is never split, so its colour
    // is the weighted mean, 4 x the 6-bit components (not the 6-to-8-bit
    // expansion a split gives), and the pixel on it.
    Frame px{30, 60, 90};
    Source g = open(write_avi(dir, "px.avi", 1, 1, {px}), Options{.system_colours = 2, .promotion = 2});
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(GFileGet(g.get()), 1);
    const uint8_t *c = g->palette[output(*g)[0]];
    EXPECT_EQ(std::vector<int>(c, c + 3), (std::vector<int>{88, 60, 28})); // 90 -> 22 x 4, 60 -> 15 x 4, 30 -> 7 x 4
  }
}

// A 4096 x 4096 picture goes through palette building and mapping.
TEST(GfileAnalysed, LargestStillIsBuiltAndMapped) {
  TempDir dir;
  namespace st = vex::stills;
  constexpr int kSide = 4096;
  st::Image im{};
  ASSERT_EQ(st::StillAlloc(&im, kSide, kSide, 24), 0);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      uint8_t *p = im.pixels + size_t(kSide - 1 - y) * size_t(im.pitch) + size_t(x) * 3; // rows bottom-up
      p[0] = static_cast<uint8_t>(x >> 4);
      p[1] = static_cast<uint8_t>(y >> 4);
      p[2] = static_cast<uint8_t>((x ^ y) >> 6);
    }
  const std::string bmp = dir.file("big.bmp");
  ASSERT_EQ(st::StillSave(st::Format::bmp, bmp.c_str(), &im, 0), 0);
  st::StillFree(&im);
  Source g = open(bmp, Options{.system_colours = 2});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->width, kSide);
  ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(g->palette_built, 1);
  // The corners: the nearest entry at 6 bits, found by a plain search.
  const std::vector<uint8_t> idx = output(*g);
  for (const auto &[x, y] : {std::pair{0, 0}, std::pair{kSide - 1, 0}, std::pair{0, kSide - 1},
                             std::pair{kSide - 1, kSide - 1}, std::pair{1234, 3210}}) {
    const uint8_t bgr[3] = {static_cast<uint8_t>(x >> 4), static_cast<uint8_t>(y >> 4),
                            static_cast<uint8_t>((x ^ y) >> 6)};
    EXPECT_EQ(idx[size_t(y) * kSide + size_t(x)], nearest(*g, bgr, 0, 256)) << x << ", " << y;
  }
}

} // namespace
