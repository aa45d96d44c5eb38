// vexinfo describes Korvane movies and vexconv converts them to FLC with
// every frame intact.
#include <gtest/gtest.h>

#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/tool_run.h"
#include "tests/formats/korvane/korvane_test_util.h"
#include "vexutil/flic.h"

using namespace korvane_test;
using vex::testkit::shell_quote;

namespace {

// vexinfo shows the graphics source's view; the sound is the first track
// with sound, as the sound source would take it: raw 8-bit mono at 8000 Hz
// for 8 frames of 100 ms, 6400 sample frames. vexconv keeps every picture
// and palette.
TEST(KorvaneTools, VexinfoDescribesAndVexconvKeepsEveryFrame) {
  vex::testkit::TempDir dir;
  kw::MoviePlan plan;
  plan.speed = 100;
  plan.ring = true;
  plan.tracks[0] = track(kw::SoundKind::raw, false, false, std::vector<Bytes>(8, Bytes(800, 0x80)), 8000);
  plan.tracks[4] = track(kw::SoundKind::delta, true, true, std::vector<Bytes>(8, Bytes(800, 0x80)), 22050);
  const auto movie = kw::write_korvane(kw::pattern_frames(pattern(48, 32, 8, false)), plan, dir.file("in.kvn"));
  ASSERT_TRUE(movie.ok) << movie.error;
  const auto info = vex::testkit::run_tool(VEXINFO, "-v " + shell_quote(dir.file("in.kvn")), dir);
  ASSERT_EQ(info.status, 0) << info.err;
  vex::testkit::expect_contains(
      info.out, {"  kind     0x81, Korvane\n", "  size     48 x 32 (output 48 x 32)\n", "  depth    8 bits\n",
                 "  frames   8 (output 8, file 8)\n", "  rate     10/1, 10.000 frames per second\n",
                 "  speed    100.00 ms per frame\n", "  codec    Korvane\n",
                 "  sound    PCM, 8000 Hz, 8 bits, 1 channel, 0.800 s (6400 sample frames)\n",
                 "  frame 8     depth 8, "});
  vex::testkit::expect_lacks(info.out, {"  frame 9 "});

  const std::string out = dir.file("out.flc");
  const auto conv = vex::testkit::run_tool(VEXCONV, shell_quote(dir.file("in.kvn")) + " " + shell_quote(out), dir);
  ASSERT_EQ(conv.status, 0) << conv.out << conv.err;
  VEXFLIC *h = VEXFlicOpen(out.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->frame_count, 8u);
  std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
  for (size_t i = 0; i < 8; ++i) {
    ASSERT_NE(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
    for (uint32_t y = 0; y < 32; ++y)
      ASSERT_TRUE(std::equal(&buf[y * h->pitch], &buf[y * h->pitch] + 48, &movie.pictures[i][y * 48])) << i;
    EXPECT_TRUE(std::equal(movie.palettes[i].begin(), movie.palettes[i].end(), VEXFlicGetPalette(h))) << i;
  }
  VEXFlicClose(h);
}

} // namespace
