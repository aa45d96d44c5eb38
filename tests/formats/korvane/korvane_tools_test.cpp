// vexinfo describes Korvane movies. (vexconv's copy of them is implied by
// the graphics source giving the writer's pictures and palettes, in
// tests/gfile/kinds_test.cpp, and by the FLIC tool test's conversions of
// palette pictures, checked pixel for pixel.)
#include <gtest/gtest.h>

#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h" // shell_quote
#include "testkit/util/tool_run.h"
#include "testkit/formats/korvane/korvane_read.h"

using namespace korvane_test;
using vex::testkit::shell_quote;

namespace {

// vexinfo shows the graphics source's view; the sound is the first track
// with sound, as the sound source would take it: raw 8-bit mono at 8000 Hz
// for 8 frames of 100 ms, 6400 sample frames.
TEST(KorvaneTools, VexinfoDescribesKindSizeRateAndSound) {
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
}

} // namespace
