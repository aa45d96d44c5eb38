// Movie pictures in true colour are converted once, straight into the
// output, when the whole frame is visible; any other window goes through
// the reader's own buffer and the row converters. The two ways must give
// the same bytes: each case below compares a whole-frame delivery with
// windows that miss one row (and so take the other way), frame by frame,
// with the fourth byte kept or cleared, at changed rates and through a
// list, and checks that nothing outside the frame's window is written.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"

namespace {

using namespace gfile_test;
using vex::testkit::ffmpeg;

constexpr int kW = 64, kH = 32, kFrames = 6;

struct MovieCase {
  const char *name;
  const char *file;
  const char *make; // encoder and pixel format
  int32_t kind;
};

// Rows [first, first + rows) of whole frames of width kW x 4 bytes.
std::vector<uint8_t> rows_of(const std::vector<uint8_t> &frame, int first, int rows) {
  const size_t row = size_t{kW} * 4;
  return {frame.begin() + static_cast<ptrdiff_t>(row * size_t(first)),
          frame.begin() + static_cast<ptrdiff_t>(row * size_t(first + rows))};
}

class GfileMovieDelivery : public ::testing::TestWithParam<MovieCase> {
protected:
  void SetUp() override {
    const MovieCase &c = GetParam();
    movie = dir.file(c.file);
    ffmpeg("-f lavfi -i testsrc2=size=" + std::to_string(kW) + "x" + std::to_string(kH) +
           ":rate=2 -frames:v " + std::to_string(kFrames) + " " + c.make + " " + movie);
  }
  vex::testkit::TempDir dir;
  std::string movie;
};

TEST_P(GfileMovieDelivery, WholeFramesEqualTheWindowsThatGoThroughTheReadersBuffer) {
  for (const int32_t alpha : {0, GFILE_ALPHA}) {
    const int32_t flags = GFILE_TRUE_COLOUR | alpha;
    Source whole = open(movie, Options{.flags = flags});
    Source top = open(movie, Options{.flags = flags, .width = kW, .height = kH - 1});
    Source bottom = open(movie, Options{.flags = flags, .y = 1, .width = kW, .height = kH - 1});
    ASSERT_TRUE(whole && top && bottom) << VEXLastError();
    EXPECT_EQ(whole->kind, GetParam().kind);
    const auto w = all_frames(whole.get()), t = all_frames(top.get()), b = all_frames(bottom.get());
    ASSERT_EQ(w.size(), size_t{kFrames});
    ASSERT_EQ(t.size(), w.size());
    ASSERT_EQ(b.size(), w.size());
    for (size_t i = 0; i < w.size(); ++i) {
      EXPECT_EQ(rows_of(w[i], 0, kH - 1), t[i]) << "frame " << i << " flags " << flags;
      EXPECT_EQ(rows_of(w[i], 1, kH - 1), b[i]) << "frame " << i << " flags " << flags;
    }
    // Every frame differs from the one before: a stale picture would be seen.
    for (size_t i = 1; i < w.size(); ++i)
      EXPECT_NE(w[i - 1], w[i]) << "frame " << i;
  }
}

// The output window is larger than the frame on every side: the frame
// lands 16 columns and 2 rows in, every other byte of the caller's buffer
// stays as the caller set it.
TEST_P(GfileMovieDelivery, NothingOutsideTheFramesWindowIsWritten) {
  Source whole = open(movie, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(whole, nullptr);
  const auto want = all_frames(whole.get());
  constexpr int kLeft = 16, kTop = 2, kOutW = kW + 2 * kLeft, kOutH = kH + 2 * kTop;
  Source g = open(movie, Options{.flags = GFILE_TRUE_COLOUR, .x = -kLeft, .y = -kTop, .width = kOutW, .height = kOutH});
  ASSERT_NE(g, nullptr);
  g->pitch *= 4; // the caller's buffer: true-colour pitch set by the caller
  std::vector<uint8_t> mine(size_t(g->pitch) * kOutH + 64, 0xAB);
  g->buffer = mine.data();
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(GFileGet(g.get()), 1);
    for (int y = 0; y < kOutH; ++y)
      for (int x = 0; x < kOutW; ++x) {
        const uint8_t *p = &mine[size_t(y) * size_t(g->pitch) + size_t(x) * 4];
        const bool inside = x >= kLeft && x < kLeft + kW && y >= kTop && y < kTop + kH;
        const uint8_t *expect = inside ? &want[size_t(i)][(size_t(y - kTop) * kW + size_t(x - kLeft)) * 4] : nullptr;
        for (int k = 0; k < 4; ++k)
          ASSERT_EQ(p[k], inside ? expect[k] : 0xAB) << "frame " << i << " at " << x << "," << y;
      }
    for (size_t k = size_t(g->pitch) * kOutH; k < mine.size(); ++k)
      ASSERT_EQ(mine[k], 0xAB) << "past the buffer, frame " << i;
  }
  g->buffer = nullptr;
}

// Half the rate drops every second picture undelivered, double the rate
// delivers each twice (the second time from the same decoded picture);
// through a list the entry's frame is taken over as the list's own.
TEST_P(GfileMovieDelivery, RatesAndListsDeliverTheSamePictures) {
  Source whole = open(movie, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(whole, nullptr);
  const auto want = all_frames(whole.get());
  ASSERT_EQ(want.size(), size_t{kFrames});

  Source half = open(movie, Options{.flags = GFILE_TRUE_COLOUR, .play_num = 2, .play_den = 1, .out_num = 1, .out_den = 1});
  ASSERT_NE(half, nullptr);
  const auto h = all_frames(half.get());
  ASSERT_EQ(h.size(), size_t{kFrames / 2});
  for (size_t i = 0; i < h.size(); ++i)
    EXPECT_EQ(h[i], want[2 * i]) << "half rate, output frame " << i;

  Source twice = open(movie, Options{.flags = GFILE_TRUE_COLOUR, .play_num = 2, .play_den = 1, .out_num = 4, .out_den = 1});
  ASSERT_NE(twice, nullptr);
  const auto d = all_frames(twice.get());
  ASSERT_EQ(d.size(), size_t{2 * kFrames});
  for (size_t i = 0; i < d.size(); ++i)
    EXPECT_EQ(d[i], want[i / 2]) << "double rate, output frame " << i;

  const std::string lst = dir.file("m.lst");
  std::ofstream(lst) << movie << "\n";
  Source list = open(lst, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(list, nullptr) << VEXLastError();
  EXPECT_EQ(all_frames(list.get()), want);
}

// GFileSkip moves on as GFileGet does and converts nothing: the counters
// and the frame sizes and depths it leaves are GFileGet's, the output
// buffer is never made (8-bit output that would build palettes); and a
// GFileGet that repeats a skipped frame (double rate) delivers the
// picture, promoted at 24 bits, that GFileGet alone delivers, from the
// movie and through a list of it.
TEST_P(GfileMovieDelivery, SkippedFramesAreCountedAsDeliveredOnesAndConvertedWhenRepeated) {
  Source got = open(movie);
  Source skipped = open(movie);
  ASSERT_NE(got, nullptr);
  ASSERT_NE(skipped, nullptr);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(GFileGet(got.get()), 1);
    ASSERT_EQ(GFileSkip(skipped.get()), 1);
    EXPECT_EQ(skipped->fetched, got->fetched) << i;
    EXPECT_EQ(skipped->delivered, got->delivered) << i;
    EXPECT_EQ(skipped->at_end, got->at_end) << i;
    EXPECT_EQ(skipped->frame_depth, got->frame_depth) << i;
    EXPECT_EQ(skipped->frame_bytes, got->frame_bytes) << i;
  }
  EXPECT_EQ(skipped->buffer, nullptr);
  EXPECT_EQ(skipped->palette_built, 0);
  EXPECT_EQ(GFileSkip(nullptr), 0);

  const Options twice{.flags = GFILE_TRUE_COLOUR, .play_num = 2, .play_den = 1, .out_num = 4, .out_den = 1,
                      .promotion = 1};
  const std::string lst = dir.file("m.lst");
  std::ofstream(lst) << movie << "\n";
  for (const std::string &name : {movie, lst}) {
    Source all = open(name, twice);
    ASSERT_NE(all, nullptr);
    const auto want = all_frames(all.get());
    ASSERT_EQ(want.size(), size_t{2 * kFrames});
    Source mixed = open(name, twice);
    ASSERT_NE(mixed, nullptr);
    for (size_t i = 0; i < want.size(); i += 2) {
      ASSERT_EQ(GFileSkip(mixed.get()), 1);
      ASSERT_EQ(GFileGet(mixed.get()), 1);
      EXPECT_EQ(output(*mixed), want[i + 1]) << name << ", output frame " << i + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Movies, GfileMovieDelivery,
    ::testing::Values(MovieCase{"avi_mpeg4", "a.avi", "-c:v mpeg4 -q:v 3", GFILE_AVI},
                      MovieCase{"avi_yuv422", "a.avi", "-c:v ffvhuff -pix_fmt yuv422p", GFILE_AVI},
                      MovieCase{"avi_rgba", "a.avi", "-c:v png -pix_fmt rgba", GFILE_AVI},
                      MovieCase{"mov_mpeg4", "a.mov", "-c:v mpeg4 -q:v 3", GFILE_QUICKTIME},
                      MovieCase{"mov_yuvj444", "a.mov", "-c:v mjpeg -pix_fmt yuvj444p", GFILE_QUICKTIME}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
