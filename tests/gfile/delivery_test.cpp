// Frame delivery by kind. Movies in true colour are converted once,
// straight into the output, when the whole frame is visible; any other
// window goes through the reader's own buffer and the row converters, and
// the two ways must give the same bytes (fourth byte kept or cleared, at
// changed rates, through a list, after GFileSkip), writing nothing outside
// the frame's window. Raw frame files deliver each record's pixels and
// palettes as written. Animated GIFs match ffmpeg's decode at their times.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/gfile/gif_writer.h"
#include "testkit/gfile/source_oracles.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/gfile/source_calls.h"

namespace gfile_test {
namespace {

namespace tk = vex::testkit;

TEST(GfileMovieDelivery, EveryWayGivesTheSamePictures) {
  constexpr int kW = 64, kH = 32, kFrames = 6;
  const struct {
    const char *file, *make; // encoder and pixel format
    int32_t kind;
  } rows[] = {{"a.avi", "-c:v mpeg4 -q:v 3", GFILE_AVI},
              {"a.avi", "-c:v ffvhuff -pix_fmt yuv422p", GFILE_AVI},
              {"a.avi", "-c:v png -pix_fmt rgba", GFILE_AVI},
              {"a.mov", "-c:v mpeg4 -q:v 3", GFILE_QUICKTIME},
              {"a.mov", "-c:v mjpeg -pix_fmt yuvj444p", GFILE_QUICKTIME}};
  for (const auto &c : rows) {
    SCOPED_TRACE(std::string(c.file) + " " + c.make);
    TempDir dir;
    const std::string movie = tool_file(dir, c.file, "testsrc2=size=64x32:rate=2", "-frames:v 6 " + std::string(c.make));
    const std::string lst = dir.file("m.lst");
    std::ofstream(lst) << movie << "\n";
    const Frames want = frames(movie, {.flags = kTrue});
    ASSERT_EQ(want.size(), size_t{kFrames});
    EXPECT_EQ(must(movie)->kind, c.kind);
    // Every frame differs from the one before: a stale picture would be seen.
    for (size_t i = 1; i < want.size(); ++i)
      EXPECT_NE(want[i - 1], want[i]) << "frame " << i;
    // Windows that miss one row take the reader's buffer.
    for (const int32_t flags : {kTrue, kTrue | GFILE_ALPHA}) {
      const Frames w = frames(movie, {.flags = flags}), t = frames(movie, {.flags = flags, .width = kW, .height = kH - 1}),
                   b = frames(movie, {.flags = flags, .y = 1, .width = kW, .height = kH - 1});
      ASSERT_EQ(t.size(), w.size());
      ASSERT_EQ(b.size(), w.size());
      for (size_t i = 0; i < w.size(); ++i) {
        EXPECT_EQ(window(w[i], kW, 4, 0, 0, kW, kH - 1), t[i]) << "frame " << i << " flags " << flags;
        EXPECT_EQ(window(w[i], kW, 4, 0, 1, kW, kH - 1), b[i]) << "frame " << i << " flags " << flags;
      }
    }
    // An output window larger than the frame on every side: the frame lands
    // 16 columns and 2 rows in, every other byte of the caller's buffer stays.
    constexpr int kLeft = 16, kTop = 2, kOutW = kW + 2 * kLeft, kOutH = kH + 2 * kTop;
    Source g = must(movie, {.flags = kTrue, .x = -kLeft, .y = -kTop, .width = kOutW, .height = kOutH});
    g->pitch *= 4; // the caller's buffer: true-colour pitch set by the caller
    std::vector<uint8_t> mine(size_t(g->pitch) * kOutH + 64, 0xAB);
    g->buffer = mine.data();
    for (int i = 0; i < kFrames; ++i) {
      ASSERT_EQ(GFileGet(g.get()), 1);
      for (size_t k = 0; k < mine.size(); ++k) {
        const int y = int(k / size_t(g->pitch)), x = int(k % size_t(g->pitch) / 4);
        const bool inside = y < kOutH && x >= kLeft && x < kLeft + kW && y >= kTop && y < kTop + kH;
        ASSERT_EQ(mine[k], inside ? want[size_t(i)][(size_t(y - kTop) * kW + size_t(x - kLeft)) * 4 + k % 4] : 0xAB)
            << "frame " << i << " at " << x << "," << y;
      }
    }
    g->buffer = nullptr;
    // Half the rate drops every second picture undelivered (double the rate
    // is GFileSkip's case below); through a list the entry's frame is the list's own.
    const Frames half = frames(movie, {.flags = kTrue, .play_num = 2, .play_den = 1, .out_num = 1, .out_den = 1});
    ASSERT_EQ(half.size(), size_t{kFrames / 2});
    for (size_t i = 0; i < half.size(); ++i)
      EXPECT_EQ(half[i], want[2 * i]) << "half rate, output frame " << i;
    EXPECT_EQ(frames(lst, {.flags = kTrue}), want);
    // GFileSkip moves on as GFileGet does and converts nothing: the counters,
    // frame sizes and depths are GFileGet's, the output buffer (8-bit output
    // that would build palettes) is never made.
    Source got = must(movie), skipped = must(movie);
    for (int i = 0; i < kFrames; ++i) {
      ASSERT_EQ(GFileGet(got.get()), 1);
      ASSERT_EQ(GFileSkip(skipped.get()), 1);
      EXPECT_EQ((std::vector{skipped->fetched, skipped->delivered, skipped->at_end, skipped->frame_depth, skipped->frame_bytes}),
                (std::vector{got->fetched, got->delivered, got->at_end, got->frame_depth, got->frame_bytes})) << i;
    }
    EXPECT_EQ(skipped->buffer, nullptr);
    EXPECT_EQ(skipped->palette_built, 0);
    // Double rate: GFileGet alone shows each picture twice; one that repeats
    // a skipped frame delivers the picture, promoted at 24 bits, that
    // GFileGet alone delivers.
    const Options o{.flags = kTrue, .play_num = 2, .play_den = 1, .out_num = 4, .out_den = 1, .promotion = 1};
    for (const std::string &name : {movie, lst}) {
      const Frames all = frames(name, o);
      ASSERT_EQ(all.size(), size_t{2 * kFrames});
      Source mixed = must(name, o);
      for (size_t i = 0; i < all.size(); i += 2) {
        ASSERT_EQ(GFileSkip(mixed.get()), 1);
        EXPECT_EQ(next(mixed.get()), all[i + 1]) << name << ", output frame " << i + 1;
        EXPECT_EQ(all[i], all[i + 1]) << name << ", output frame " << i;
      }
    }
  }
  EXPECT_EQ(GFileSkip(nullptr), 0);
}

// Raw frame files: the record the header gives, each record's pixels and
// palettes as written (8-bit pass-through; the last palette before the
// pixels counts), speeds in tens of microseconds or none. Indices through
// a palette to true colour are the FLIC kind's case.
TEST(GfileRaw, TheRecordAndEveryFrameAreTheFiles) {
  namespace rawb = tk::rawb;
  TempDir dir;
  constexpr uint32_t kW = 6, kH = 4; // a width that is no multiple of 4: rows are padded in the output
  const auto ramp = [](uint8_t seed) {
    rawb::Palette p{};
    for (size_t i = 0; i < 768; ++i)
      p[i] = uint8_t(i * 7 + seed);
    return p;
  };
  std::vector<rawb::Frame> frames(3);
  for (size_t f = 0; f < 3; ++f)
    for (size_t i = 0; i < kW * kH; ++i)
      frames[f].pixels.push_back(uint8_t(i * 11 + f * 40));
  frames[0].palettes = {ramp(1)};
  frames[2].palettes = {ramp(9), ramp(3)};
  const rawb::Palette palettes[3] = {ramp(1), ramp(1), ramp(3)};
  const struct {
    int32_t speed;
    uint32_t num, den; // 0: any rate but none
  } speeds[] = {{-50, 20, 1}, {4000, 25, 1}, {0, 0, 0}}; // 50 ms a frame; 40 ms in units of 10 us
  for (const auto &s : speeds) {
    SCOPED_TRACE("speed " + std::to_string(s.speed));
    const std::string path = dir.file("f" + std::to_string(s.speed) + ".raw");
    rawb::write_rawb(path, {.width = kW, .height = kH, .speed = s.speed, .frame_count = {}}, frames);
    Source g = must(path);
    EXPECT_STREQ(g->type, "");
    if (s.num == 0) { // a file without a rate still plays
      EXPECT_TRUE(g->source_num != 0 && g->source_den != 0 && g->speed != 0);
      continue;
    }
    EXPECT_EQ(shape(*g), (Shape{GFILE_RAW, kW, kH, 8, 3, s.num, s.den}));
    for (size_t f = 0; f < 3; ++f) {
      EXPECT_EQ(next(g.get()), frames[f].pixels) << f;
      EXPECT_EQ(palette(*g), std::vector<uint8_t>(palettes[f].begin(), palettes[f].end())) << f;
    }
    EXPECT_EQ(g->at_end, 1);
    GFileReset(g.get()); // back to the first record
    EXPECT_EQ(next(g.get()), frames[0].pixels);
  }
}

namespace gif = tk::gif;
gif::Picture with(gif::Picture p, int delay, int disposal, int transparent = -1, std::vector<gif::Rgb> local = {},
                  bool interlace = false) {
  p.delay = delay, p.disposal = disposal, p.transparent = transparent, p.local = std::move(local), p.interlace = interlace;
  return p;
}

// Each source frame n shows the time n x t (t hundredths, the source's
// frame time), and ffmpeg's frame for it is the last one whose timestamp
// is not later. Where ffmpeg's pixel is opaque the colours must agree;
// where it is transparent (ffmpeg leaves the background out) ours must be
// the background: the background index's colour, fourth byte 0.
TEST(GifAnimation, FramesAreFfmpegsAtTheirTimes) {
  using gif::colours;
  using gif::pattern;
  const struct {
    gif::Animation gif; // written with giflib; empty: made by `make` with ffmpeg
    std::string make;   // ffmpeg arguments before the output name
    int32_t depth;      // 8: one palette; 32: composed across tables
    uint32_t tick;      // hundredths of a second a source frame
    int32_t frames;
    gif::Rgb background;
  } rows[] = {
      {{40, 30, colours(16, 0), 3,
        {with(pattern(0, 0, 40, 30, 0, 8), 10, 1), with(pattern(5, 4, 12, 10, 8, 4), 10, 2),
         with(pattern(10, 8, 20, 12, 4, 6), 10, 3, 5), with(pattern(0, 20, 16, 10, 12, 4), 10, 0),
         with(pattern(30, 0, 10, 10, 2, 3), 10, 1)}},
       "", 8, 10, 5, colours(16, 0)[3]},
      // Local tables, transparency and delays of 7, 3, 0 (shown as 10), 5.
      {{36, 28, colours(8, 1), 2,
        {with(pattern(0, 0, 36, 28, 0, 16), 7, 1, -1, colours(16, 2)), with(pattern(4, 4, 20, 14, 0, 8), 3, 3, 3),
         with(pattern(10, 6, 20, 20, 0, 4), 0, 2, 0, colours(4, 5)),
         with(pattern(0, 0, 12, 12, 0, 32), 5, 1, -1, colours(32, 3))}},
       "", 32, 1, 7 + 3 + 10 + 5, colours(8, 1)[2]},
      // Interlaced and partly off the screen.
      {{30, 20, colours(64, 4), 0,
        {with(pattern(0, 0, 30, 20, 0, 64), 20, 1, -1, {}, true), with(pattern(20, 4, 20, 15, 5, 9), 40, 2, -1, {}, true),
         with(pattern(2, 12, 8, 12, 3, 7), 20, 1, 6)}},
       "", 8, 20, 1 + 2 + 1, colours(64, 4)[0]},
      // No global table, the first picture transparent.
      {{20, 16, {}, 0,
        {with(pattern(2, 2, 10, 10, 0, 4), 10, 1, 1, colours(4, 6)), with(pattern(6, 6, 10, 8, 0, 4), 10, 2, -1, colours(4, 7)),
         with(pattern(0, 0, 4, 4, 0, 2), 10, 1, -1, colours(2, 8))}},
       "", 32, 10, 3, gif::Rgb{0, 0, 0}},
      {{}, "-f lavfi -i testsrc=size=48x32:rate=10:duration=1", 8, 10, 10, {}},
      {{}, // a palette a frame
       "-f lavfi -i testsrc=size=48x32:rate=25:duration=0.4 -vf "
       "'split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1'",
       32, 4, 10, {}},
  };
  for (const auto &c : rows) {
    SCOPED_TRACE("GIF of " + std::to_string(c.frames) + " frames " + c.make);
    TempDir dir;
    const std::string file = dir.file("a.gif");
    c.make.empty() ? gif::write_gif(file, c.gif) : tk::ffmpeg(c.make + " " + file);
    Source g = must(file, {.flags = kTrue | GFILE_ALPHA});
    EXPECT_EQ(shape(*g), (Shape{GFILE_GIF, g->width, g->height, c.depth, c.frames, g->source_num, g->source_den}));
    EXPECT_STREQ(g->type, "GIF animation");
    // 100 / tick frames a second, as a reduced fraction.
    EXPECT_EQ(uint64_t{g->source_num} * c.tick, uint64_t{g->source_den} * 100);
    EXPECT_EQ(std::gcd(g->source_num, g->source_den), 1u);
    EXPECT_EQ(GFileDamage(g.get()), nullptr);
    const size_t w = size_t(g->width);
    const auto [ref, pts] = tk::ffmpeg_timed_frames(file, w * size_t(g->height) * 4); // pts in hundredths
    ASSERT_EQ(ref.size(), pts.size());
    ASSERT_FALSE(ref.empty());
    const Frames got = all_frames(g.get());
    ASSERT_EQ(got.size(), size_t(c.frames));
    // The background as ffmpeg made files declare it: entry 0 of their table.
    const gif::Rgb bg = c.make.empty() ? c.background : gif::Rgb{};
    size_t opaque = 0;
    for (size_t n = 0; n < got.size(); ++n) {
      size_t k = 0;
      while (k + 1 < pts.size() && pts[k + 1] <= int64_t(n) * c.tick)
        ++k;
      for (size_t p = 0; p < ref[k].size(); p += 4) {
        const uint8_t *a = &got[n][p], *b = &ref[k][p];
        opaque += b[3] == 255;
        if (b[3] == 255) {
          ASSERT_TRUE(a[0] == b[0] && a[1] == b[1] && a[2] == b[2])
              << "frame " << n << " (ffmpeg's " << k << ") pixel " << p / 4 % w << "," << p / 4 / w;
        } else if (c.make.empty()) {
          ASSERT_TRUE(a[0] == bg[2] && a[1] == bg[1] && a[2] == bg[0] && a[3] == 0)
              << "frame " << n << " pixel " << p / 4 % w << "," << p / 4 / w << ": not background";
        }
      }
    }
    EXPECT_GT(opaque, 0u);
    GFileReset(g.get()); // a rewind gives the same frames again
    EXPECT_EQ(all_frames(g.get()), got);
  }
}

// Where picture i's descriptor starts: behind its control block (giflib writes one before each picture).
size_t descriptor_of(const std::vector<uint8_t> &file, size_t picture) {
  for (size_t at = 0, seen = 0; at + 8 < file.size(); ++at)
    if (file[at] == 0x21 && file[at + 1] == 0xF9 && file[at + 2] == 4 && file[at + 8] == 0x2C && seen++ == picture)
      return at + 8;
  throw std::runtime_error("no such picture");
}

// Damage and limits: a file cut inside a picture keeps the pictures before
// it; data that ends before its picture's last row leaves the rest of that
// picture as it was and the next picture whole; a screen beyond the side
// limit is refused.
TEST(GifAnimation, DamageAndLimits) {
  using gif::colours;
  using gif::pattern;
  TempDir dir;
  gif::write_gif(dir.file("whole.gif"), {24, 16, colours(8, 2), 1,
                                         {with(pattern(0, 0, 24, 16, 0, 8), 10, 1), with(pattern(2, 2, 20, 12, 1, 6), 10, 1),
                                          with(pattern(0, 0, 24, 16, 3, 5), 10, 1)}});
  const std::vector<uint8_t> whole = tk::read_file(dir.file("whole.gif"));
  const Frames want = frames(dir.file("whole.gif"));
  ASSERT_EQ(want.size(), 3u);
  write_file(dir.file("cut.gif"), std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(descriptor_of(whole, 2) + 15)));
  Source g = must(dir.file("cut.gif"));
  EXPECT_EQ(g->frame_count, 2);
  EXPECT_STREQ(GFileDamage(g.get()), "the data of picture 3 breaks off");
  EXPECT_EQ(all_frames(g.get()), Frames(want.begin(), want.begin() + 2));
  std::vector<uint8_t> tall = whole;
  tall[descriptor_of(whole, 1) + 7] += 4; // the second picture claims 4 more rows than its data holds
  write_file(dir.file("tall.gif"), tall);
  g = must(dir.file("tall.gif"));
  EXPECT_EQ(g->frame_count, 3);
  EXPECT_EQ(GFileDamage(g.get()), nullptr);
  EXPECT_EQ(all_frames(g.get()), want) << "its 12 rows drawn, the next picture found behind the damaged one";
  EXPECT_STREQ(GFileDamage(g.get()), "frame 2: the data of picture 2 of the GIF breaks off at row 12");
  gif::write_gif(dir.file("wide.gif"), {5000, 8, colours(2, 0), 0,
                                        {with(pattern(0, 0, 4, 4, 0, 2), 10, 1), with(pattern(4, 4, 4, 4, 0, 2), 10, 1)}});
  EXPECT_EQ(open(dir.file("wide.gif")), nullptr);
  EXPECT_STREQ(VEXLastError(), "an animated GIF of 5000 x 8 pixels is larger than 4096 on a side");
}

} // namespace
} // namespace gfile_test
