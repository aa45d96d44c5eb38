// vexconv turns a true-colour movie into a FLC with shared palettes: the
// palette switches reach the graphics source (how many palettes, which
// entries), the result read back through GFileOpen stays close to the
// movie as the ffmpeg tool decodes it, and a bare /Q is still quiet.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "tests/gfile/gfile_test_util.h"

namespace {

using namespace gfile_test;
using vex::testkit::shell_quote;

struct SwitchCase {
  const char *name;
  const char *switches;
  size_t palettes;         // distinct palettes over the 20 frames
  int lowest, highest;     // range of the indices used
  double min_psnr;         // dB, every frame
  bool quiet;
};

class VexconvPalettes : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(VexconvPalettes, TrueColourMovieBecomesASharedPaletteFlc) {
  const SwitchCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("m.avi"), flc = dir.file("m.flc");
  vex::testkit::ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=10:duration=2 -c:v rawvideo -pix_fmt bgr24 " +
                       shell_quote(avi));
  const auto want = vex::testkit::ffmpeg_decode(avi, "-f rawvideo -pix_fmt bgr24");
  const auto r = vex::testkit::run_tool(VEXCONV, shell_quote(avi) + " " + shell_quote(flc) + " " + c.switches, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.empty(), c.quiet) << r.out;

  Source g = open(flc);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->kind, GFILE_FLIC);
  ASSERT_EQ(g->output_frames, 20);
  const size_t frame_bytes = 64 * 48 * 3;
  ASSERT_EQ(want.size(), frame_bytes * 20);
  std::set<std::vector<uint8_t>> palettes;
  for (int f = 0; f < 20; ++f) {
    ASSERT_EQ(GFileGet(g.get()), 1);
    palettes.insert(palette(*g));
    for (const uint8_t v : output(*g)) {
      ASSERT_GE(v, c.lowest) << "frame " << f;
      ASSERT_LE(v, c.highest) << "frame " << f;
    }
    const std::vector<uint8_t> src(want.begin() + ptrdiff_t(frame_bytes) * f,
                                   want.begin() + ptrdiff_t(frame_bytes) * (f + 1));
    EXPECT_GE(vex::testkit::psnr(as_bgr0(*g), bgr_to_bgr0(src)), c.min_psnr) << "frame " << f;
  }
  EXPECT_EQ(palettes.size(), c.palettes);
}

// testsrc2 holds a few hundred colours; its moving parts change them.
INSTANTIATE_TEST_SUITE_P(Gfile, VexconvPalettes,
                         ::testing::Values(SwitchCase{"one_palette", "-q", 1, 0, 255, 26.0, true},
                                           SwitchCase{"every_5_frames", "/U5 /Q", 4, 0, 255, 26.0, true},
                                           SwitchCase{"64_entries_from_100", "/U10 /Q64 /I100 /D2", 2, 100, 163,
                                                      22.0, false},
                                           SwitchCase{"halves", "/U4 '/$128' /D2 -q", 5, 0, 255, 22.0, true}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
