// Crop windows, rates, frame ranges, progress and rewinding over a FLIC of
// known frames: the record's clipped, uncovered and signed fields against
// a hand-checked table, the delivered pixels against the FLIC reader's
// frames placed by hand, and which source frame each output frame shows.
#include <gtest/gtest.h>

#include <cstring>

#include "gfile/source_geometry.h"
#include "testkit/gfile/source_calls.h"
#include "testkit/gfile/source_oracles.h"

namespace gfile_test {
namespace {

constexpr int kW = 64, kH = 40, kFrames = 12;

// A FLIC at 20 frames per second and its frames as the FLIC reader decodes them (kW x kH indices).
struct Animation {
  TempDir dir;
  std::string name = pattern_flc(dir, "a.flc", {.width = kW, .height = kH, .frames = kFrames, .noise = true});
  Frames frames = vex::testkit::flic_reader_frames(name).indices;
};
const Animation &animation() {
  static const Animation a;
  return a;
}

struct CropCase {
  int32_t o, n;                             // requested origin and size on x (y alike on the other axis)
  int32_t clip, visible, uncovered, origin; // hand-computed for a source of 64
};
const CropCase kCrops[] = {
    {-10, 30, 0, 20, 0, -10}, // negative origin: the source starts 10 pixels in
    {0, 64, 0, 64, 0, 0},    {0, 1, 0, 1, 0, 0}, {10, 20, 10, 20, 0, 0}, {63, 1, 63, 1, 0, 0},
    {50, 30, 50, 14, 16, 0},  // reaching past the end
    {-5, 80, 0, 64, 11, -5},  // past both ends
    {64, 8, 64, 0, 64, -64},  // starting at the end: nothing visible
    {70, 10, 70, 0, 64, -64}, {-20, 10, 0, 0, 0, -20}, // entirely beyond, entirely before
};

TEST(GfileCrop, RecordFieldsAndPixelsForEveryEdge) {
  const Animation &a = animation();
  for (const CropCase &cx : kCrops) {
    const vex::gfile::CropAxis ax = vex::gfile::crop_axis(cx.o, cx.n, 64);
    EXPECT_EQ((std::vector{ax.clip, ax.visible, ax.uncovered, ax.origin}),
              (std::vector{cx.clip, cx.visible, cx.uncovered, cx.origin})) << cx.o << "," << cx.n;
    for (const CropCase &cy : {kCrops[0], kCrops[3], kCrops[5], kCrops[8]}) {
      SCOPED_TRACE(std::to_string(cx.o) + "," + std::to_string(cx.n) + " / " + std::to_string(cy.o));
      // The y cases are scaled to the 40-row axis by crop_axis, which the x rows pin down.
      const vex::gfile::CropAxis ay = vex::gfile::crop_axis(cy.o, cy.n, kH);
      Source g = must(a.name, {.x = cx.o, .y = cy.o, .width = cx.n, .height = cy.n});
      EXPECT_EQ((std::vector{g->width, g->height, g->pitch, g->crop_x, g->clip_x, g->clip_width, g->uncovered_width,
                             g->origin_x, g->clip_height, g->origin_y}),
                (std::vector{cx.n, cy.n, (cx.n + 3) & ~3, cx.o, cx.clip, cx.visible, cx.uncovered, cx.origin,
                             ay.visible, ay.origin}));
      // Outside the source: the cleared buffer's 0.
      EXPECT_EQ(next(g.get()), window(a.frames[0], kW, 1, cx.o, cy.o, cx.n, cy.n));
    }
  }
}

// Output frame i shows source frame floor(i x playback rate / output rate).
TEST(GfileRates, EachOutputFrameShowsTheSourceFrameOfItsTime) {
  const Animation &a = animation();
  const struct {
    uint32_t play_num, play_den, out_num, out_den;
    int32_t output_frames;
  } rows[] = {{0, 0, 0, 0, 12}, {0, 0, 10, 1, 6}, {0, 0, 40, 1, 24}, {30, 1, 15, 1, 6}, {0, 0, 40, 3, 8}, {0, 0, 1, 100, 1}};
  for (const auto &c : rows) {
    SCOPED_TRACE(std::to_string(c.play_num) + "/" + std::to_string(c.play_den) + " to " + std::to_string(c.out_num) +
                 "/" + std::to_string(c.out_den));
    Source g = must(a.name, {.play_num = c.play_num, .play_den = c.play_den, .out_num = c.out_num, .out_den = c.out_den});
    ASSERT_EQ(g->output_frames, c.output_frames);
    const double play = c.play_num ? double(c.play_num) / c.play_den : 20.0;
    const double out = c.out_num ? double(c.out_num) / c.out_den : play;
    EXPECT_EQ(g->speed, -static_cast<int32_t>(100000 / out));
    for (int i = 0; i < g->output_frames; ++i)
      ASSERT_EQ(next(g.get()), a.frames[static_cast<size_t>(i * play / out + 1e-9)]) << "output frame " << i;
    EXPECT_EQ(g->at_end, 1);
    EXPECT_EQ(g->delivered, g->output_frames);
  }
}

// First and last frames select the range; skipping to the first says so,
// numbered in output frames, and a true answer stops the skip (the source
// stays cancelled until GFileReset); a rewind starts the range again.
TEST(GfileRange, FirstAndLastFramesSelectTheRange) {
  const Animation &a = animation();
  struct Range {
    int32_t first, last, count, shown_first; // shown_first: 0-based source frame of output frame 0
  };
  for (const Range r : {Range{0, 0, 12, 0}, Range{3, 5, 3, 2}, Range{5, 2, 1, 4}, Range{40, 0, 1, 11},
                        Range{12, 12, 1, 11}, Range{11, 99, 2, 10}}) {
    Source g = must(a.name, {.first = r.first, .last = r.last});
    EXPECT_EQ(g->frame_count, r.count) << r.first << "-" << r.last;
    EXPECT_EQ(g->total_frames, kFrames);
    for (int i = 0; i < r.count; ++i)
      ASSERT_EQ(next(g.get()), a.frames[size_t(r.shown_first + i)]) << r.first << "-" << r.last << " frame " << i;
  }
  MessageLog log;
  Source g = must(a.name, {.flags = kTrue, .first = 4});
  const Frames first = all_frames(g.get());
  EXPECT_EQ(heard(log, "Skipping"),
            (std::vector<std::string>{"1:Skipping frame 1...", "0:Skipping frame 2...", "0:Skipping frame 3..."}));
  const int stop_at = nth_message(log, "Skipping frame 2...");
  GFileReset(g.get());
  EXPECT_EQ((std::vector{g->fetched, g->delivered, g->at_end}), (std::vector{0, 0, 0}));
  EXPECT_EQ(all_frames(g.get()), first);
  log.clear();
  log.cancel_at(stop_at);
  Source c = must(a.name, {.first = 4});
  EXPECT_EQ(GFileGet(c.get()), 0);
  EXPECT_STREQ(VEXLastError(), "cancelled");
  EXPECT_EQ(log.messages().back().text, "Skipping frame 2...");
  EXPECT_EQ(GFileGet(c.get()), 0);
  log.cancel_at(-1);
  GFileReset(c.get());
  EXPECT_EQ(next(c.get()), a.frames[3]);
}

// Progress counts output frames; a cancel answer stops GFileGet before it fetches.
TEST(GfileProgress, MessagesCountOutputFramesAndCancelStopsBeforeFetching) {
  const Animation &a = animation();
  MessageLog log;
  Source g = must(a.name, {.out_num = 10, .out_den = 1, .first = 3});
  for (int i = 0; i < 3; ++i)
    next(g.get());
  // (offset 2 + fetched 0, 1, 3) source frames at half rate, + 1; the end is (10 + 2) / 2.
  EXPECT_EQ(heard(log, "Testing", false),
            (std::vector<std::string>{"Testing frame 2 of 6...", "Testing frame 2 of 6...", "Testing frame 3 of 6..."}));
  log.clear();
  Source c = must(a.name);
  next(c.get());
  log.cancel_at(int(log.messages().size()));
  const int32_t fetched = c->fetched;
  EXPECT_EQ(GFileGet(c.get()), 0);
  EXPECT_EQ(c->fetched, fetched);
  EXPECT_EQ(c->delivered, 1);
  log.cancel_at(-1);
  EXPECT_EQ(next(c.get()), a.frames[1]);
}

} // namespace
} // namespace gfile_test
