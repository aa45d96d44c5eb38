// Crop windows and rate conversion over a FLIC of known frames: the record's
// clipped, uncovered and signed fields against a hand-checked table, the
// delivered pixels against the reader's frames placed by hand, and which
// source frame each output frame shows at several rates.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfile/source_geometry.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"
#include "vexutil/flic.h"

namespace {

using namespace gfile_test;

constexpr int kW = 64, kH = 40, kFrames = 12;

// A FLIC at 20 frames per second and its frames as the reader decodes them.
struct Animation {
  vex::testkit::TempDir dir;
  std::string name = dir.file("a.flc");
  std::vector<std::vector<uint8_t>> frames; // kW x kH indices each
  Animation() {
    vex::testkit::PatternOptions o{.width = kW, .height = kH, .frames = kFrames, .noise = true};
    if (vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, name) == 0)
      throw std::runtime_error("the FLIC was not written");
    VEXFLIC *f = VEXFlicOpen(name.c_str());
    std::vector<uint8_t> buf(size_t{f->pitch} * f->buffer_height);
    for (int i = 0; i < kFrames; ++i) {
      VEXFlicGetNext(f, buf.data());
      frames.emplace_back(buf.begin(), buf.begin() + kW * kH);
    }
    VEXFlicClose(f);
  }
};

const Animation &animation() {
  static const Animation a;
  return a;
}

struct CropCase {
  int32_t o, n;                             // requested origin and size on x (y alike on the other axis)
  int32_t clip, visible, uncovered, origin; // hand-computed for a source of 64
};

// Origins and sizes around each edge of a 64-pixel axis.
const CropCase kCrops[] = {
    {-10, 30, 0, 20, 0, -10}, // negative origin: the source starts 10 pixels in
    {0, 64, 0, 64, 0, 0},     // the whole axis
    {0, 1, 0, 1, 0, 0},       // one pixel at the start
    {10, 20, 10, 20, 0, 0},   // inside
    {63, 1, 63, 1, 0, 0},     // the last pixel
    {50, 30, 50, 14, 16, 0},  // reaching past the end
    {-5, 80, 0, 64, 11, -5},  // past both ends
    {64, 8, 64, 0, 64, -64},  // starting at the end: nothing visible
    {70, 10, 70, 0, 64, -64}, // entirely beyond
    {-20, 10, 0, 0, 0, -20},  // entirely before
};

TEST(GfileCrop, AxisTableByHand) {
  for (const CropCase &c : kCrops) {
    const vex::gfile::CropAxis a = vex::gfile::crop_axis(c.o, c.n, 64);
    EXPECT_EQ(a.clip, c.clip) << c.o << "," << c.n;
    EXPECT_EQ(a.visible, c.visible) << c.o << "," << c.n;
    EXPECT_EQ(a.uncovered, c.uncovered) << c.o << "," << c.n;
    EXPECT_EQ(a.origin, c.origin) << c.o << "," << c.n;
  }
}

// Output pixel (x, y) of a window at (ox, oy) of w x h: the source pixel
// when it lies inside the source, else the cleared buffer's 0.
std::vector<uint8_t> placed(const std::vector<uint8_t> &src, int ox, int oy, int w, int h) {
  std::vector<uint8_t> out(size_t(w) * size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int sx = x + ox, sy = y + oy;
      if (sx >= 0 && sx < kW && sy >= 0 && sy < kH)
        out[size_t(y * w + x)] = src[size_t(sy * kW + sx)];
    }
  return out;
}

TEST(GfileCrop, RecordFieldsAndPixelsForEveryEdge) {
  const Animation &a = animation();
  for (const CropCase &cx : kCrops)
    for (const CropCase &cy : {kCrops[0], kCrops[3], kCrops[5], kCrops[8]}) {
      // The y cases were computed for 64; scale them to the 40-row axis by
      // asking crop_axis, which the x table has pinned down.
      const vex::gfile::CropAxis ay = vex::gfile::crop_axis(cy.o, cy.n, kH);
      Source g = open(a.name, Options{.x = cx.o, .y = cy.o, .width = cx.n, .height = cy.n});
      ASSERT_NE(g, nullptr);
      EXPECT_EQ(g->width, cx.n);
      EXPECT_EQ(g->height, cy.n);
      EXPECT_EQ(g->pitch, (cx.n + 3) & ~3);
      EXPECT_EQ(g->crop_x, cx.o);
      EXPECT_EQ(g->clip_x, cx.clip);
      EXPECT_EQ(g->clip_width, cx.visible);
      EXPECT_EQ(g->uncovered_width, cx.uncovered);
      EXPECT_EQ(g->origin_x, cx.origin);
      EXPECT_EQ(g->clip_height, ay.visible);
      EXPECT_EQ(g->origin_y, ay.origin);
      ASSERT_EQ(GFileGet(g.get()), 1);
      EXPECT_EQ(output(*g), placed(a.frames[0], cx.o, cy.o, cx.n, cy.n)) << cx.o << "," << cx.n << " / " << cy.o;
    }
}

TEST(GfileCrop, NegativeOriginLeavesTheFirstColumnsAsTheCallerSetThem) {
  const Animation &a = animation();
  Source g = open(a.name, Options{.x = -10});
  ASSERT_NE(g, nullptr);
  std::vector<uint8_t> mine(size_t(g->pitch) * size_t(g->height), 0xEE);
  g->buffer = mine.data(); // the caller's buffer: the library neither clears nor frees it
  ASSERT_EQ(GFileGet(g.get()), 1);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < 10; ++x)
      ASSERT_EQ(mine[size_t(y * g->pitch + x)], 0xEE);
    for (int x = 10; x < kW; ++x)
      ASSERT_EQ(mine[size_t(y * g->pitch + x)], a.frames[0][size_t(y * kW + x - 10)]);
  }
  g->buffer = nullptr;
}

struct RateCase {
  const char *name;
  uint32_t play_num, play_den, out_num, out_den;
  int32_t output_frames;
};

class GfileRates : public ::testing::TestWithParam<RateCase> {};

// Output frame i shows source frame floor(i x playback rate / output rate).
TEST_P(GfileRates, EachOutputFrameShowsTheSourceFrameOfItsTime) {
  const RateCase &c = GetParam();
  const Animation &a = animation();
  Source g =
      open(a.name, Options{.play_num = c.play_num, .play_den = c.play_den, .out_num = c.out_num, .out_den = c.out_den});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->output_frames, c.output_frames);
  const double play = c.play_num ? double(c.play_num) / c.play_den : 20.0;
  const double out = c.out_num ? double(c.out_num) / c.out_den : play;
  EXPECT_EQ(g->speed, -static_cast<int32_t>(100000 / out));
  for (int i = 0; i < g->output_frames; ++i) {
    ASSERT_EQ(GFileGet(g.get()), 1);
    const auto shown = static_cast<size_t>(i * play / out + 1e-9);
    ASSERT_EQ(output(*g), a.frames[shown]) << "output frame " << i;
  }
  EXPECT_EQ(g->at_end, 1);
  EXPECT_EQ(g->delivered, g->output_frames);
}

INSTANTIATE_TEST_SUITE_P(Rates, GfileRates,
                         ::testing::Values(RateCase{"same", 0, 0, 0, 0, 12}, RateCase{"half", 0, 0, 10, 1, 6},
                                           RateCase{"double", 0, 0, 40, 1, 24},
                                           RateCase{"thirty_to_fifteen", 30, 1, 15, 1, 6},
                                           RateCase{"two_thirds", 0, 0, 40, 3, 8},
                                           RateCase{"tiny_output", 0, 0, 1, 100, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(GfileRange, FirstAndLastFramesSelectTheRange) {
  const Animation &a = animation();
  struct Range {
    int32_t first, last, count, shown_first; // shown_first: 0-based source frame of output frame 0
  };
  for (const Range r : {Range{0, 0, 12, 0}, Range{3, 5, 3, 2}, Range{5, 2, 1, 4}, Range{40, 0, 1, 11},
                        Range{12, 12, 1, 11}, Range{11, 99, 2, 10}}) {
    Source g = open(a.name, Options{.first = r.first, .last = r.last});
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->frame_count, r.count) << r.first << "-" << r.last;
    EXPECT_EQ(g->total_frames, kFrames);
    for (int i = 0; i < r.count; ++i) {
      ASSERT_EQ(GFileGet(g.get()), 1);
      ASSERT_EQ(output(*g), a.frames[size_t(r.shown_first + i)]) << r.first << "-" << r.last << " frame " << i;
    }
  }
  // Skipping says so, numbered in output frames.
  Source g = open(a.name, Options{.first = 4});
  ASSERT_EQ(GFileGet(g.get()), 1);
  std::vector<std::pair<std::string, int>> skips;
  for (const auto &m : messages())
    if (m.first.rfind("Skipping", 0) == 0)
      skips.push_back(m);
  EXPECT_EQ(skips, (std::vector<std::pair<std::string, int>>{
                       {"Skipping frame 1...", 1}, {"Skipping frame 2...", 0}, {"Skipping frame 3...", 0}}));
  // A true answer stops the skip: GFileGet returns 0 and the source stays
  // cancelled until GFileReset starts it over.
  messages().clear();
  static bool stop_skip;
  stop_skip = true;
  Source c(GFileOpen(a.name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr,
                     [](const char *text, int32_t level) {
                       record_message(text, level);
                       return stop_skip && std::strcmp(text, "Skipping frame 2...") == 0 ? 1 : 0;
                     }));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(GFileGet(c.get()), 0);
  EXPECT_STREQ(VEXLastError(), "cancelled");
  EXPECT_EQ(messages().back().first, "Skipping frame 2...");
  EXPECT_EQ(GFileGet(c.get()), 0);
  GFileReset(c.get());
  stop_skip = false;
  ASSERT_EQ(GFileGet(c.get()), 1);
  EXPECT_EQ(output(*c), a.frames[3]);
}

TEST(GfileProgress, MessagesCountOutputFramesAndCancelStopsBeforeFetching) {
  const Animation &a = animation();
  Source g = open(a.name, Options{.out_num = 10, .out_den = 1, .first = 3});
  ASSERT_NE(g, nullptr);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(GFileGet(g.get()), 1);
  std::vector<std::string> progress;
  for (const auto &m : messages())
    if (m.first.find(" frame ") != std::string::npos && m.first.rfind("Skipping", 0) != 0)
      progress.push_back(m.first);
  // (offset 2 + fetched 0, 1, 3) source frames at half rate, + 1; the end
  // is (10 + 2) / 2.
  EXPECT_EQ(progress, (std::vector<std::string>{"Testing frame 2 of 6...", "Testing frame 2 of 6...",
                                                "Testing frame 3 of 6..."}));

  cancel_at(2);
  Source c = open(a.name);
  ASSERT_EQ(GFileGet(c.get()), 1);
  const int32_t fetched = c->fetched;
  EXPECT_EQ(GFileGet(c.get()), 0);
  EXPECT_EQ(c->fetched, fetched);
  EXPECT_EQ(c->delivered, 1);
  cancel_at(0);
  EXPECT_EQ(GFileGet(c.get()), 1);
  EXPECT_EQ(output(*c), a.frames[1]);
}

TEST(GfileReset, RewindsToTheFirstFrameOfTheRange) {
  const Animation &a = animation();
  Source g = open(a.name, Options{.flags = GFILE_TRUE_COLOUR, .first = 2});
  ASSERT_NE(g, nullptr);
  const auto first = all_frames(g.get());
  GFileReset(g.get());
  EXPECT_EQ(g->fetched, 0);
  EXPECT_EQ(g->delivered, 0);
  EXPECT_EQ(g->at_end, 0);
  EXPECT_EQ(all_frames(g.get()), first);
}

} // namespace
