// vexinfo describes Korvane movies and vexconv converts them to FLC with
// every frame intact.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace kw = vex::testkit::korvane;

namespace {

struct ToolRun {
  int status;
  std::string out;
};

ToolRun run(const std::string &tool, const std::string &args) {
  const std::string cmd = vex::testkit::shell_quote(tool) + " " + args + " 2>/dev/null";
  ToolRun r{-1, ""};
  FILE *p = popen(cmd.c_str(), "r");
  if (!p)
    return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class KorvaneTools : public ::testing::Test {
protected:
  void SetUp() override {
    vex::testkit::PatternOptions o;
    o.width = 48;
    o.height = 32;
    o.frames = 8;
    o.cycle = o.noise = true;
    frames = kw::pattern_frames(vex::testkit::PatternAnimation(o));
    plan.speed = 100;
    plan.ring = true;
    kw::TrackPlan raw;
    raw.rate = 8000;
    raw.frames.assign(8, kw::Bytes(800, 0x80));
    plan.tracks[0] = raw;
    kw::TrackPlan delta = raw;
    delta.kind = kw::SoundKind::delta;
    delta.sixteen = delta.stereo = true;
    delta.rate = 22050;
    plan.tracks[4] = delta;
    movie = kw::write_korvane(frames, plan, dir.file("in.kvn"));
    ASSERT_TRUE(movie.ok) << movie.error;
  }
  vex::testkit::TempDir dir;
  std::vector<vex::testkit::Frame8> frames;
  kw::MoviePlan plan;
  kw::WrittenMovie movie;
};

// vexinfo shows the graphics source's view; the sound is the first track
// with sound, as the sound source would take it: raw 8-bit mono at 8000 Hz
// for 8 frames of 100 ms, 6400 sample frames.
TEST_F(KorvaneTools, VexinfoGivesKindSizeFramesRateAndSound) {
  const ToolRun r = run(VEXINFO, vex::testkit::shell_quote(dir.file("in.kvn")));
  ASSERT_EQ(r.status, 0);
  for (const char *line : {"  kind     0x81, Korvane\n", "  size     48 x 32 (output 48 x 32)\n", "  depth    8 bits\n",
                           "  frames   8 (output 8, file 8)\n", "  rate     10/1, 10.000 frames per second\n",
                           "  speed    100.00 ms per frame\n",
                           "  codec    Korvane\n", "  sound    PCM, 8000 Hz, 8 bits, 1 channel, 0.800 s (6400 sample frames)\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "in:\n" << r.out;
  const ToolRun v = run(VEXINFO, "-v " + vex::testkit::shell_quote(dir.file("in.kvn")));
  EXPECT_NE(v.out.find("  frame 8     depth 8, "), std::string::npos) << v.out;
  EXPECT_EQ(v.out.find("  frame 9 "), std::string::npos) << v.out;
}

TEST_F(KorvaneTools, VexconvToFlcKeepsEveryFrame) {
  const std::string out = dir.file("out.flc");
  const ToolRun r = run(VEXCONV, vex::testkit::shell_quote(dir.file("in.kvn")) + " " + vex::testkit::shell_quote(out));
  ASSERT_EQ(r.status, 0) << r.out;
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
