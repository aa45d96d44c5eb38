// 8-bit output: palettes passed through as they are, passed through with a
// remap table (usable range, system colours; hand-computed entries), and the
// palette built for a true-colour still, whose pixels must each be
// the nearest usable entry (checked by a plain search here).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "palette/colour_match.h"
#include "stills/still_image.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"

namespace {

using namespace gfile_test;
namespace st = vex::stills;

// An 8 x 1 BMP with the given indices over a grey ramp palette (entry i =
// (i, i, i)) except entries 10 and 30, which are (3, 3, 3).
std::string grey_bmp(const vex::testkit::TempDir &dir, const std::vector<uint8_t> &indices) {
  const std::string name = dir.file("grey.bmp");
  st::Image im{};
  EXPECT_EQ(st::StillAlloc(&im, static_cast<int32_t>(indices.size()), 1, 8), 0);
  std::memcpy(im.pixels, indices.data(), indices.size());
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i == 10 || i == 30 ? 3 : i);
    im.colors[i * 4] = im.colors[i * 4 + 1] = im.colors[i * 4 + 2] = v;
  }
  im.colors_used = 256;
  EXPECT_EQ(st::StillSave(st::Format::bmp, name.c_str(), &im, 0), 0);
  st::StillFree(&im);
  return name;
}

const std::vector<uint8_t> kIndices = {1, 3, 4, 5, 50, 240, 250, 0};

TEST(GfilePassThrough, WholePaletteKeepsIndicesAndPalette) {
  vex::testkit::TempDir dir;
  Source g = open(grey_bmp(dir, kIndices));
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(output(*g), kIndices);
  EXPECT_EQ(g->palette[30][0], 3);
  EXPECT_EQ(g->palette[200][1], 200);
  EXPECT_EQ(g->palette_built, 0);
}

TEST(GfilePassThrough, UsableRangeRemapsByHand) {
  vex::testkit::TempDir dir;
  // Range 10..109. 1 (1,1,1) -> 10 (3,3,3): 12 x 256 + 9 beats 30's + 29.
  // 3 (3,3,3) -> 10, exact, 7 away (30 is 27 away). 4 and 5 -> 10 too. 50
  // is inside: itself. 240 -> 109, the lightest usable. 250 -> 109. 0 -> 10.
  Source g = open(grey_bmp(dir, kIndices), Options{.first_index = 10, .entries = 100});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(output(*g), (std::vector<uint8_t>{10, 10, 10, 10, 50, 109, 109, 10}));
  EXPECT_EQ(g->palette_built, 0);
}

TEST(GfilePassThrough, SystemColoursAreWrittenAndSearchedInWrapOrder) {
  vex::testkit::TempDir dir;
  // Option 1 over the whole palette: entries 0-9 and 246-255 become the
  // system colours. 4 (4,4,4): entry 10 (3,3,3) at 3 x 256 + 6 wins over
  // black at entry 0 (48 x 256 + 4). 250 (250,250,250): white at 255 and
  // grey 245 tie at 75 x 256 + 5; the search starts at 250 and wraps, so
  // 255 comes first. 50 stays. 1 (1,1,1): system black (0,0,0) at entry 0,
  // 3 x 256 + 1, beats (3,3,3) at 10 (12 x 256 + 9).
  Source g = open(grey_bmp(dir, kIndices), Options{.system_colours = 1});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(GFileGet(g.get()), 1);
  const std::vector<uint8_t> out = output(*g);
  EXPECT_EQ(out[0], 0);             // 1
  EXPECT_EQ(out[2], 10);            // 4
  EXPECT_EQ(out[4], 50);            // 50
  EXPECT_EQ(out[6], 255);           // 250
  EXPECT_EQ(g->palette[1][0], 128); // system colour 1 is (128, 0, 0)
  EXPECT_EQ(g->palette[246][2], 240);
}

TEST(GfileColourMatch, RemapMatchesAPlainSearchOnRandomPalettes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    uint8_t src[256][3], out[256][3];
    for (int i = 0; i < 256; ++i)
      for (int c = 0; c < 3; ++c) {
        src[i][c] = static_cast<uint8_t>(rng() % 8 * 32); // few levels: many ties
        out[i][c] = static_cast<uint8_t>(rng() % 8 * 32);
      }
    const uint32_t first = rng() % 200, count = 1 + rng() % (256 - first);
    const auto remap = vex::palette::build_remap(src, out, {first, count});
    for (uint32_t i = 0; i < 256; ++i) {
      // Smallest key, ties to the earliest in the wrap order from i (or the start).
      const uint32_t start = i >= first && i < first + count ? i - first : 0;
      int64_t best = INT64_MAX;
      uint32_t want = 0;
      for (uint32_t k = 0; k < count; ++k) {
        const uint32_t j = first + (start + k) % count;
        int64_t d = 0;
        for (int c = 0; c < 3; ++c)
          d += (int64_t{src[i][c]} - out[j][c]) * (int64_t{src[i][c]} - out[j][c]);
        d = d * 256 + std::llabs(int64_t{i} - j);
        if (d < best) {
          best = d;
          want = j;
        }
      }
      ASSERT_EQ(remap[i], want) << "round " << round << " index " << i;
    }
  }
}

TEST(GfileBuiltPalette, TrueColourStillGetsAPaletteAndNearestEntries) {
  vex::testkit::TempDir dir;
  const std::string png = dir.file("p.png");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=64x48 -frames:v 1 -update 1 -pix_fmt rgb24 " + png);
  const auto want = vex::testkit::ffmpeg_decode(png, "-f rawvideo -pix_fmt bgr24");
  Source g = open(png, Options{.first_index = 16, .entries = 200});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(g->palette_built, 1);
  const std::vector<uint8_t> idx = output(*g);
  for (size_t p = 0; p < idx.size(); ++p) {
    ASSERT_GE(idx[p], 16);
    ASSERT_LT(idx[p], 216);
    // The nearest usable entry by 6-bit squared distance, first on ties.
    const int r = want[p * 3 + 2] >> 2, gg = want[p * 3 + 1] >> 2, b = want[p * 3] >> 2;
    int best = INT32_MAX, at = 0;
    for (int e = 16; e < 216; ++e) {
      const int dr = r - (g->palette[e][0] >> 2), dg = gg - (g->palette[e][1] >> 2), db = b - (g->palette[e][2] >> 2);
      const int d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        at = e;
      }
    }
    ASSERT_EQ(idx[p], at) << "pixel " << p;
  }
  // testsrc has few colours: the built palette reproduces the picture well.
  EXPECT_GE(vex::testkit::psnr(as_bgr0(*g), bgr_to_bgr0(want)), 30.0);
}

} // namespace

namespace {

// A palette from a palette file: its colours, not the source's, make
// the palette; a palette file that does not open fails the frame.
TEST(GfileBuiltPalette, APaletteFileGivesTheColours) {
  vex::testkit::TempDir dir;
  const std::string src = dir.file("s.png"), pal = dir.file("p.png");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=32x16 -frames:v 1 -update 1 -pix_fmt rgb24 " + src);
  vex::testkit::ffmpeg("-f lavfi -i color=c=0x804020:size=8x8 -frames:v 1 -update 1 -pix_fmt rgb24 " + pal);
  const auto file_rgb = vex::testkit::ffmpeg_decode(pal, "-f rawvideo -pix_fmt rgb24"); // one colour, as stored
  Source g = open(src, Options{.system_colours = 2, .palette_file = pal});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(g->palette_built, 1);
  // The source (true colour) has no palette of its own and system colours
  // are off: every entry is black but the one colour of the file (to 6
  // bits per channel), which the source's own colours would not give.
  int file_colour = 0;
  for (int e = 0; e < 256; ++e) {
    const bool black = g->palette[e][0] == 0 && g->palette[e][1] == 0 && g->palette[e][2] == 0;
    const bool from_file = g->palette[e][0] >> 2 == file_rgb[0] >> 2 && g->palette[e][1] >> 2 == file_rgb[1] >> 2 &&
                           g->palette[e][2] >> 2 == file_rgb[2] >> 2;
    ASSERT_TRUE(black || from_file) << "entry " << e;
    file_colour += from_file;
  }
  EXPECT_EQ(file_colour, 1);
  Source bad = open(src, Options{.palette_file = dir.file("missing.png")});
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(GFileGet(bad.get()), 0);
  EXPECT_EQ(errors(), std::vector<std::string>{"Error opening palette graphics file."});
}

} // namespace
