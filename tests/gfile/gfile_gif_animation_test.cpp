// Animated GIFs through the graphics source, frame by frame against
// ffmpeg's decode of the same file: each source frame n shows the time
// n x t (t hundredths, the source's frame time), and ffmpeg's frame for it
// is the last one whose timestamp is not later. Where ffmpeg's pixel is
// opaque the colours must agree; where it is transparent (ffmpeg leaves
// the background out) ours must be the background: the background index's
// colour, fourth byte 0.
#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "tests/gfile/gfile_test_util.h"
#include "tests/gfile/gif_file.h"

namespace {

using namespace gfile_test;
using gif_test::Animation;
using gif_test::colours;
using gif_test::pattern;
using gif_test::Picture;
using gif_test::Rgb;

Picture with(Picture p, int delay, int disposal, int transparent = -1, std::vector<Rgb> local = {}) {
  p.delay = delay;
  p.disposal = disposal;
  p.transparent = transparent;
  p.local = std::move(local);
  return p;
}

Picture interlaced(Picture p) {
  p.interlace = true;
  return p;
}

struct Case {
  const char *name;
  Animation gif;            // written with giflib; empty: made by `make` with ffmpeg
  std::string make;         // ffmpeg arguments before the output name
  int32_t depth;            // 8: one palette; 32: composed across tables
  uint32_t tick;            // hundredths of a second a source frame
  int32_t frames;           // source frames
  Rgb background;           // what ffmpeg's transparent pixels must be with us
};

void PrintTo(const Case &c, std::ostream *out) { *out << c.name; }

const std::vector<Case> &cases() {
  static const std::vector<Case> all = {
      {"disposals_on_one_palette",
       {40, 30, colours(16, 0), 3,
        {with(pattern(0, 0, 40, 30, 0, 8), 10, 1), with(pattern(5, 4, 12, 10, 8, 4), 10, 2),
         with(pattern(10, 8, 20, 12, 4, 6), 10, 3, 5), with(pattern(0, 20, 16, 10, 12, 4), 10, 0),
         with(pattern(30, 0, 10, 10, 2, 3), 10, 1)}},
       "", 8, 10, 5, colours(16, 0)[3]},
      {"local_tables_transparency_and_delays_of_7_3_0_5",
       {36, 28, colours(8, 1), 2,
        {with(pattern(0, 0, 36, 28, 0, 16), 7, 1, -1, colours(16, 2)),
         with(pattern(4, 4, 20, 14, 0, 8), 3, 3, 3),
         with(pattern(10, 6, 20, 20, 0, 4), 0, 2, 0, colours(4, 5)),
         with(pattern(0, 0, 12, 12, 0, 32), 5, 1, -1, colours(32, 3))}},
       "", 32, 1, 7 + 3 + 10 + 5, colours(8, 1)[2]},
      {"interlaced_and_partly_off_the_screen",
       {30, 20, colours(64, 4), 0,
        {with(interlaced(pattern(0, 0, 30, 20, 0, 64)), 20, 1), with(interlaced(pattern(20, 4, 20, 15, 5, 9)), 40, 2),
         with(pattern(2, 12, 8, 12, 3, 7), 20, 1, 6)}},
       "", 8, 20, 1 + 2 + 1, colours(64, 4)[0]},
      {"no_global_table_first_picture_transparent",
       {20, 16, {}, 0,
        {with(pattern(2, 2, 10, 10, 0, 4), 10, 1, 1, colours(4, 6)),
         with(pattern(6, 6, 10, 8, 0, 4), 10, 2, -1, colours(4, 7)), with(pattern(0, 0, 4, 4, 0, 2), 10, 1, -1, colours(2, 8))}},
       "", 32, 10, 3, Rgb{0, 0, 0}},
      {"ffmpeg_10_fps", {}, "-f lavfi -i testsrc=size=48x32:rate=10:duration=1", 8, 10, 10, {}},
      {"ffmpeg_25_fps_a_palette_a_frame",
       {},
       "-f lavfi -i testsrc=size=48x32:rate=25:duration=0.4 -vf "
       "'split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1'",
       32, 4, 10, {}},
  };
  return all;
}

// ffmpeg's frames (blue, green, red, alpha) and their timestamps in hundredths.
struct Reference {
  std::vector<std::vector<uint8_t>> frames;
  std::vector<int64_t> pts;
};

Reference reference(const std::string &file, size_t frame_bytes) {
  Reference r;
  const auto all = vex::testkit::ffmpeg_decode(file, "-fps_mode passthrough -f rawvideo -pix_fmt bgra");
  for (size_t at = 0; at + frame_bytes <= all.size(); at += frame_bytes)
    r.frames.emplace_back(all.begin() + static_cast<ptrdiff_t>(at), all.begin() + static_cast<ptrdiff_t>(at + frame_bytes));
  std::istringstream in(vex::testkit::ffprobe(file, "-select_streams v:0 -show_entries packet=pts -of csv=p=0"));
  for (std::string line; std::getline(in, line);)
    if (!line.empty())
      r.pts.push_back(std::stoll(line));
  return r;
}

class GifAnimationFrames : public ::testing::TestWithParam<Case> {};

TEST_P(GifAnimationFrames, AreFfmpegsAtTheirTimes) {
  const Case &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string file = dir.file("a.gif");
  if (c.make.empty())
    gif_test::write_gif(file, c.gif);
  else
    vex::testkit::ffmpeg(c.make + " " + file);
  Source g = open(file, Options{.flags = GFILE_TRUE_COLOUR | GFILE_ALPHA});
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->kind, GFILE_GIF);
  EXPECT_STREQ(g->type, "GIF animation");
  EXPECT_EQ(g->depth, c.depth);
  EXPECT_EQ(g->frame_count, c.frames);
  // 100 / tick frames a second, as a reduced fraction.
  EXPECT_EQ(uint64_t{g->source_num} * c.tick, uint64_t{g->source_den} * 100);
  EXPECT_EQ(std::gcd(g->source_num, g->source_den), 1u);
  EXPECT_EQ(GFileDamage(g.get()), nullptr);
  const int32_t w = g->width, h = g->height;
  const Reference ref = reference(file, size_t(w) * size_t(h) * 4);
  ASSERT_EQ(ref.frames.size(), ref.pts.size());
  ASSERT_FALSE(ref.frames.empty());
  const auto got = all_frames(g.get());
  ASSERT_EQ(got.size(), size_t(c.frames));
  // The background as ffmpeg made files declare it: entry 0 of their table.
  const Rgb bg = c.make.empty() ? c.background : Rgb{};
  size_t opaque = 0, transparent = 0;
  for (size_t n = 0; n < got.size(); ++n) {
    const int64_t t = int64_t(n) * c.tick;
    size_t k = 0;
    while (k + 1 < ref.pts.size() && ref.pts[k + 1] <= t)
      ++k;
    const std::vector<uint8_t> &want = ref.frames[k];
    for (size_t p = 0; p < want.size(); p += 4) {
      const uint8_t *a = &got[n][p], *b = &want[p];
      if (b[3] == 255) {
        ++opaque;
        ASSERT_TRUE(a[0] == b[0] && a[1] == b[1] && a[2] == b[2])
            << "frame " << n << " (ffmpeg's " << k << ") pixel " << p / 4 % size_t(w) << "," << p / 4 / size_t(w);
      } else if (c.make.empty()) {
        ++transparent;
        ASSERT_TRUE(a[0] == bg[2] && a[1] == bg[1] && a[2] == bg[0] && a[3] == 0)
            << "frame " << n << " pixel " << p / 4 % size_t(w) << "," << p / 4 / size_t(w) << ": not background";
      }
    }
  }
  EXPECT_GT(opaque, 0u);
  // A rewind gives the same frames again.
  GFileReset(g.get());
  EXPECT_EQ(all_frames(g.get()), got);
}

INSTANTIATE_TEST_SUITE_P(Gifs, GifAnimationFrames, ::testing::ValuesIn(cases()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

// Where picture i's descriptor starts: behind its control block (giflib
// writes one before each picture).
size_t descriptor_of(const std::vector<uint8_t> &file, size_t picture) {
  size_t seen = 0;
  for (size_t at = 0; at + 8 < file.size(); ++at)
    if (file[at] == 0x21 && file[at + 1] == 0xF9 && file[at + 2] == 4 && file[at + 8] == 0x2C && seen++ == picture)
      return at + 8;
  throw std::runtime_error("no such picture");
}

// Damage and limits: a file cut inside a picture keeps the pictures before
// it; data that ends before its picture's last row leaves the rest of that
// picture as it was and the next picture whole; a screen beyond the side
// limit and a file of thousands of pictures.
TEST(GifAnimation, DamageAndLimits) {
  vex::testkit::TempDir dir;
  Animation three{24, 16, colours(8, 2), 1,
                  {with(pattern(0, 0, 24, 16, 0, 8), 10, 1), with(pattern(2, 2, 20, 12, 1, 6), 10, 1),
                   with(pattern(0, 0, 24, 16, 3, 5), 10, 1)}};
  gif_test::write_gif(dir.file("whole.gif"), three);
  const std::vector<uint8_t> whole = vex::testkit::read_file(dir.file("whole.gif"));
  Source g = open(dir.file("whole.gif"));
  ASSERT_NE(g, nullptr);
  const auto want = all_frames(g.get());
  ASSERT_EQ(want.size(), 3u);

  // Cut 5 bytes into the third picture's data.
  write_file(dir.file("cut.gif"), std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(descriptor_of(whole, 2) + 15)));
  g = open(dir.file("cut.gif"));
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->frame_count, 2);
  EXPECT_STREQ(GFileDamage(g.get()), "the data of picture 3 breaks off");
  EXPECT_EQ(all_frames(g.get()), std::vector(want.begin(), want.begin() + 2));

  // The second picture claims 4 more rows than its data holds.
  std::vector<uint8_t> tall = whole;
  tall[descriptor_of(whole, 1) + 7] += 4;
  write_file(dir.file("tall.gif"), tall);
  g = open(dir.file("tall.gif"));
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->frame_count, 3);
  EXPECT_EQ(GFileDamage(g.get()), nullptr);
  const auto got = all_frames(g.get());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1], want[1]) << "its 12 rows are drawn, the 4 more missing";
  EXPECT_EQ(got[2], want[2]) << "the next picture is found behind the damaged one";
  EXPECT_STREQ(GFileDamage(g.get()), "frame 2: the data of picture 2 of the GIF breaks off at row 12");

  // A screen beyond 4096 on a side: refused as an animation, with the reason.
  gif_test::write_gif(dir.file("wide.gif"), Animation{5000, 8, colours(2, 0), 0,
                                                      {with(pattern(0, 0, 4, 4, 0, 2), 10, 1),
                                                       with(pattern(4, 4, 4, 4, 0, 2), 10, 1)}});
  EXPECT_EQ(open(dir.file("wide.gif")), nullptr);
  EXPECT_STREQ(VEXLastError(), "an animated GIF of 5000 x 8 pixels is larger than 4096 on a side");

  // 3000 pictures of one pixel with delays of 1 (shown as 10): 3000 frames
  // at 10 a second, the last pixel drawn being the last picture's.
  Animation many{50, 60, colours(4, 3), 0, {}};
  for (int i = 0; i < 3000; ++i)
    many.pictures.push_back(with(pattern(i % 50, i / 50, 1, 1, uint8_t(1 + i % 3), 1), 1, 1));
  gif_test::write_gif(dir.file("many.gif"), many);
  g = open(dir.file("many.gif"), Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->frame_count, 3000);
  EXPECT_EQ(g->source_num, 10u);
  EXPECT_EQ(g->source_den, 1u);
  const auto frames = all_frames(g.get());
  ASSERT_EQ(frames.size(), 3000u);
  const Rgb last = colours(4, 3)[1 + 2999 % 3];
  const uint8_t *p = &frames.back()[(59 * 50 + 49) * 4];
  EXPECT_EQ((std::array<uint8_t, 4>{p[0], p[1], p[2], p[3]}), (std::array<uint8_t, 4>{last[2], last[1], last[0], 0}));
}

} // namespace
