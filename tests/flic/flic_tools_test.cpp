// vexinfo and vexconv run as programs: what they print, their exit codes,
// and that a conversion gives back every frame of its input.
#include <gtest/gtest.h>


#include <cstdio>
#include <string>

#include "formats/korvane/korvane_format.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "util/bytes.h"
#include "vexutil/flic.h"
#include "vexutil/version.h"

namespace vex::testkit {
namespace {

// Runs a tool with stdout and stderr captured (stderr is then not a
// terminal, so no progress bar may appear).
class Tools : public ::testing::Test {
protected:
  void SetUp() override {
    // An odd width: the FLC copy gets a 42nd column.
    PatternOptions o{.width = 41,
                     .height = 30,
                     .frames = 12,
                     .cycle = true,
                     .noise = true,
                     .stills = true,
                     .solid = true,
                     .six_bit = true};
    anim = PatternAnimation(o);
    ASSERT_FALSE(write_fli(anim, 7, dir.file("in.fli")).empty());
  }
  TempDir dir;
  PatternAnimation anim{PatternOptions{}};
};

TEST_F(Tools, VexinfoDescribesFormatSizeFramesAndSpeed) {
  ToolRun r = run_tool(VEXINFO, shell_quote(dir.file("in.fli")), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"  kind     0x80, Flic\n"});
  // The graphics source sees a FLIC frame as wide as the reader's rows
  // (41 rounded up to a multiple of 4).
  expect_contains(r.out, {"  size     44 x 30 (output 44 x 30)\n", "  frames   12 (output 12, file 12)\n",
                          "  rate     10/1, 10.000 frames per second\n", "  speed    100.00 ms per frame\n"});
  // Per-frame lines only with -v.
  expect_lacks(r.out, {"frame 1 "});

  r = run_tool(VEXINFO, "-v " + shell_quote(dir.file("in.fli")), dir);
  EXPECT_EQ(r.status, 0);
  expect_contains(r.out, {"  frame 1     depth 8, ", "  frame 12    depth 8, "});
  expect_lacks(r.out, {"  frame 13 "});

  r = run_tool(VEXINFO, shell_quote(dir.file("nothing.flc")), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vexinfo: " + dir.file("nothing.flc") + ": no such file\n");
  EXPECT_EQ(run_tool(VEXINFO, "", dir).status, 2);
  // "/Z" is no switch of vexinfo, so it is a name (of no file).
  r = run_tool(VEXINFO, "/Z " + shell_quote(dir.file("in.fli")), dir);
  EXPECT_EQ(r.status, 1);
  expect_contains(r.err, {"/Z: no such file (nor is it a switch of vexinfo)"});
  // The other name is still described.
  expect_contains(r.out, {"frames   12"});
  EXPECT_EQ(run_tool(VEXINFO, "/V /V " + shell_quote(dir.file("in.fli")), dir).status, 0);
  r = run_tool(VEXINFO, "--help", dir);
  EXPECT_EQ(r.status, 0);
  expect_contains(r.out, {"usage: vexinfo"});
  // The version comes from the build's generated header, not a literal.
  EXPECT_EQ(run_tool(VEXINFO, "--version", dir).out, std::string("vexinfo ") + VEXUTIL_VERSION_STRING + "\n");
  EXPECT_EQ(run_tool(VEXCONV, "--version", dir).out, std::string("vexconv ") + VEXUTIL_VERSION_STRING + "\n");
}

// An input that no reader opens is named with the best reason the readers
// gave: missing, empty, of no known kind, or what a reader that knew the
// file found wrong with it.
TEST_F(Tools, UnopenedInputsSayWhy) {
  ASSERT_TRUE(save_bytes(dir.file("empty.flc"), {}));
  ASSERT_TRUE(save_bytes(dir.file("text.flc"), ByteVec(300, 'x')));
  FlicHeader h;
  h.frames = 1;
  h.width = 0;
  h.height = 5;
  ASSERT_TRUE(save_bytes(dir.file("zero.flc"), flic_file(h, {})));
  const struct {
    const char *file, *reason;
  } cases[] = {
      {"gone.flc", "no such file"},
      {"empty.flc", "the file is empty"},
      {"text.flc", "not a file of a known kind"},
      {"zero.flc", "the picture is 0 x 5 pixels"},
  };
  for (const auto &c : cases) {
    for (const char *tool : {VEXINFO, VEXCONV}) {
      const std::string args =
          shell_quote(dir.file(c.file)) + (tool == std::string(VEXCONV) ? " " + shell_quote(dir.file("o.flc")) : "");
      const ToolRun r = run_tool(tool, args, dir);
      EXPECT_EQ(r.status, 1) << tool << " " << c.file;
      expect_contains(r.err, {dir.file(c.file) + ": " + c.reason + "\n"});
    }
  }
}

// Files that fail in several ways, and vexinfo says which, precisely: what
// is wrong and where (the reader that knew the file gives the reason).
TEST_F(Tools, FiveFailuresFiveReasons) {
  // A FLC cut inside its fifth frame.
  PatternOptions even{.width = 42, .height = 30, .frames = 8};
  ASSERT_NE(write_flc(PatternAnimation(even), 50, dir.file("whole.flc")), 0u);
  const ByteVec flc = load_bytes(dir.file("whole.flc"));
  VEXFLIC *h = VEXFlicOpen(dir.file("whole.flc").c_str());
  ASSERT_NE(h, nullptr);
  uint64_t cut = h->frame1_offset;
  for (int f = 0; f < 4; ++f)
    cut += flc[cut] | flc[cut + 1] << 8 | flc[cut + 2] << 16 | uint32_t{flc[cut + 3]} << 24;
  VEXFlicClose(h);
  ASSERT_TRUE(save_bytes(dir.file("cut.flc"), ByteVec(flc.begin(), flc.begin() + static_cast<ptrdiff_t>(cut + 20))));
  // A Korvane movie whose tree block is one byte long.
  auto written = korvane::write_korvane(korvane::pattern_frames(anim), {}, dir.file("tree.kvn"));
  ASSERT_TRUE(written.ok) << written.error;
  ByteVec kvn = written.file;
  util::put_le32(kvn.data() + 4 * formats::korvane::kHdrTreeBytes, 1);
  ASSERT_TRUE(save_bytes(dir.file("tree.kvn"), kvn));
  // A Tolm movie whose fourth index entry points behind the third.
  tolm::RandomMovieOptions o{.frames = 5};
  tolm::MovieLayout layout;
  ByteVec tlm = tolm::movie_bytes(tolm::random_movie(o).movie, &layout);
  util::put_le32(tlm.data() + layout.index_at + 4 * 3, layout.record_at[1]);
  ASSERT_TRUE(save_bytes(dir.file("index.tlm"), tlm));
  ASSERT_TRUE(save_bytes(dir.file("empty.kvn"), {}));

  const struct {
    const char *file, *reason;
  } cases[] = {
      {"gone.flc", "no such file"},
      {"empty.kvn", "the file is empty"},
      {"tree.kvn", "tree 1 is cut short"},
      {"index.tlm", "frame index entry 3 points behind entry 2"},
      {"cut.flc", "frame 5 runs past the end of the file"},
  };
  for (const auto &c : cases) {
    const ToolRun r = run_tool(VEXINFO, shell_quote(dir.file(c.file)), dir);
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_EQ(r.err, "vexinfo: " + dir.file(c.file) + ": " + c.reason + "\n");
  }
  // The cut FLC has a whole header, so it opens and is described, frames
  // included, before the damage is named; vexconv converts the frames
  // before the cut one and fails naming it.
  const ToolRun verbose = run_tool(VEXINFO, "-v " + shell_quote(dir.file("cut.flc")), dir);
  EXPECT_EQ(verbose.status, 1);
  expect_contains(verbose.out, {"  frames   8 (output 8, file 8)\n", "  frame 8 ",
                                "  damage   frame 5 runs past the end of the file\n"});
  const ToolRun conv = run_tool(VEXCONV, shell_quote(dir.file("cut.flc")) + " " + shell_quote(dir.file("cut-copy.flc")), dir);
  EXPECT_EQ(conv.status, 1);
  expect_contains(conv.err,
                  {dir.file("cut.flc") + ": frame 5 runs past the end of the file (OUT holds the 4 frames before it)"});
  VEXFLIC *copy = VEXFlicOpen(dir.file("cut-copy.flc").c_str());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->frame_count, 4u);
  VEXFlicClose(copy);
}

TEST_F(Tools, VexconvGivesBackEveryFrame) {
  const std::string in = dir.file("in.fli"), out = dir.file("out.flc");
  ToolRun r = run_tool(VEXCONV, shell_quote(in) + " " + shell_quote(out), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no progress bar when stderr is not a terminal";
  expect_contains(r.out, {"12 frames, 44 x 30"});
  const auto want = read_flic_rgb(in);
  // The copy is 44 wide: the input's columns, then three of colour 0 (the
  // reader's row padding, which the graphics source counts as picture).
  VEXFLIC *h = VEXFlicOpen(out.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->width, 44u);
  EXPECT_EQ(h->frame_count, 12u);
  EXPECT_EQ(h->rate, -10000);
  ByteVec buf(size_t{h->pitch} * h->buffer_height);
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_NE(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
    const ByteVec got = to_rgb(buf.data(), 41, 30, h->pitch, VEXFlicGetPalette(h));
    EXPECT_TRUE(got == want[i]) << "frame " << i + 1;
    for (uint32_t y = 0; y < 30; ++y)
      for (uint32_t x = 41; x < 44; ++x)
        ASSERT_EQ(buf[y * h->pitch + x], 0) << x << "," << y;
  }
  VEXFlicClose(h);
}

TEST_F(Tools, VexconvSwitchesAndRefusals) {
  const std::string in = shell_quote(dir.file("in.fli")), out = shell_quote(dir.file("part.flc"));
  ToolRun r = run_tool(VEXCONV, in + " " + out + " /S4 /E6 /F25 /Q", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "") << "/Q prints nothing";
  const auto all = read_flic_rgb(dir.file("in.fli"));
  VEXFLIC *h = VEXFlicOpen(dir.file("part.flc").c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->frame_count, 3u);
  EXPECT_EQ(h->rate, -4000);
  ByteVec buf(size_t{h->pitch} * h->buffer_height);
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_NE(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
    EXPECT_TRUE(to_rgb(buf.data(), 41, 30, h->pitch, VEXFlicGetPalette(h)) == all[3 + i]) << i;
  }
  VEXFlicClose(h);

  r = run_tool(VEXCONV, in + " " + out, dir);
  EXPECT_EQ(r.status, 1) << "an existing output needs /O";
  expect_contains(r.err, {"/O"});
  EXPECT_EQ(run_tool(VEXCONV, in + " " + out + " /O /-O", dir).status, 1) << "/-O cancels /O";
  EXPECT_EQ(run_tool(VEXCONV, in + " " + out + " /O /Q", dir).status, 0);
  EXPECT_EQ(run_tool(VEXCONV, in + " " + out + " -y -q", dir).status, 0) << "-y is /O";
  EXPECT_EQ(run_tool(VEXCONV, in + " " + in + " /O", dir).status, 1) << "the input is never replaced";
  EXPECT_EQ(run_tool(VEXCONV, in + " " + shell_quote(dir.file("x.mov")), dir).status, 1) << "no writer of .mov";
  // A first frame past the end selects the last frame.
  ASSERT_EQ(run_tool(VEXCONV, in + " " + out + " /O /S13", dir).status, 0);
  h = VEXFlicOpen(dir.file("part.flc").c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->frame_count, 1u);
  ASSERT_NE(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
  EXPECT_TRUE(to_rgb(buf.data(), 41, 30, h->pitch, VEXFlicGetPalette(h)) == all[11]);
  VEXFlicClose(h);
  EXPECT_EQ(run_tool(VEXCONV, in + " " + out + " /O /S7 /E3", dir).status, 2) << "a range that ends before it starts";
  EXPECT_EQ(run_tool(VEXCONV, in + " " + out + " /O /Z", dir).status, 2);
  EXPECT_EQ(run_tool(VEXCONV, in + " " + out + " /O /N3", dir).status, 2) << "/N is retired: /E gives the last frame";
  EXPECT_EQ(run_tool(VEXCONV, in, dir).status, 2);
  r = run_tool(VEXCONV, "--help", dir);
  EXPECT_EQ(r.status, 0);
  expect_contains(r.out, {"usage: vexconv"});
}

} // namespace
} // namespace vex::testkit
