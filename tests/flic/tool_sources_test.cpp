// vexinfo and vexconv read every picture input through the graphics
// source: what vexinfo prints for inputs of several kinds, and FLC outputs
// checked by an independent decoder (ffmpeg) and against the input's own
// frames for crops and frame ranges.
#include <gtest/gtest.h>


#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "util/bytes.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

namespace vex::testkit {
namespace {

const std::string kSource = "-f lavfi -i testsrc=size=48x32:rate=10:duration=1 ";

class ToolSources : public ::testing::Test {
protected:
  std::string q(const char *name) const { return shell_quote(dir.file(name)); }
  // Three 24-bit PNGs of different frames of the test source, and a list.
  std::string png_series() {
    std::string list;
    for (int i = 0; i < 3; ++i) {
      const std::string png = dir.file("p" + std::to_string(i) + ".png");
      ffmpeg("-f lavfi -i testsrc=size=48x32:rate=10:duration=1 -vf " + shell_quote("select=eq(n\\," + std::to_string(3 * i) + ")") +
             " -frames:v 1 -update 1 -pix_fmt rgb24 " + shell_quote(png));
      list += png + "\n";
    }
    const std::string lst = dir.file("series.lst");
    EXPECT_TRUE(save_bytes(lst, ByteVec(list.begin(), list.end())));
    return lst;
  }
  TempDir dir;
};

TEST_F(ToolSources, VexinfoPrintsTheGraphicsSourceViewOfEachKind) {
  ffmpeg(kSource + "-c:v rawvideo -pix_fmt bgr24 " + q("a.avi"));
  ffmpeg(kSource + "-frames:v 1 -update 1 -pix_fmt rgb24 " + q("s.png"));
  ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -ac 2 -c:a pcm_s16le " + q("w.wav"));
  const std::string list = dir.file("a.avi") + "\n" + dir.file("s.png") + "\n";
  ASSERT_TRUE(save_bytes(dir.file("m.lst"), ByteVec(list.begin(), list.end())));

  ToolRun r = run_tool(VEXINFO, q("a.avi"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"  kind     0x20, AVI\n", "  size     48 x 32 (output 48 x 32)\n", "  depth    24 bits\n",
                          "  frames   10 (output 10, file 10)\n", "  rate     10/1, 10.000 frames per second\n",
                          "  output   10/1, 10.000 frames per second\n", "  speed    100.00 ms per frame\n",
                          "  sound    no\n"});

  r = run_tool(VEXINFO, q("s.png"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"  kind     0x8, PNG still image\n", "  size     48 x 32 (output 48 x 32)\n",
                          "  frames   1 (output 1, file 1)\n"});
  char bytes[16];
  CommaNum(bytes, static_cast<uint32_t>(load_bytes(dir.file("s.png")).size()));
  expect_contains(r.out, {std::string("  file     ") + bytes + " bytes\n"});

  r = run_tool(VEXINFO, q("w.wav"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"Wave sound", "22050 sample frames, 1.000 s"});
  // Sound is described by the sound source.
  expect_lacks(r.out, {"kind"});

  r = run_tool(VEXINFO, q("m.lst"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"  kind     0x100, List\n", "  frames   11 (output 11, file 11)\n"});

  // -v fetches every frame and names its depth.
  r = run_tool(VEXINFO, "-v " + q("a.avi"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"  frame 1     depth 24, ", "  frame 10    depth 24, "});
  expect_lacks(r.out, {"  frame 11 "});
}

// ffmpeg decodes the FLC: the right count and size, and colours close to
// the source's (one palette made from the first frame serves them all).
TEST_F(ToolSources, VexconvTurnsTrueColourSeriesAndAviIntoFlc) {
  const std::string lst = png_series();
  ToolRun r = run_tool(VEXCONV, shell_quote(lst) + " " + q("series.flc") + " /Q", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto frames = ffmpeg_decode_rgb(dir.file("series.flc"), 48, 32);
  ASSERT_GE(frames.size(), 3u);
  EXPECT_LE(frames.size(), 4u) << "three frames and perhaps ffmpeg's view of the ring frame";
  for (int i = 0; i < 3; ++i) {
    const auto want = ffmpeg_decode_rgb(dir.file("p" + std::to_string(i) + ".png"), 48, 32);
    ASSERT_EQ(want.size(), 1u);
    ASSERT_EQ(want[0].size(), frames[i].size());
    long sum = 0;
    for (size_t k = 0; k < want[0].size(); ++k)
      sum += std::abs(int{want[0][k]} - int{frames[i][k]});
    EXPECT_LT(static_cast<double>(sum) / want[0].size(), 12.0) << "frame " << i + 1;
  }
  EXPECT_NE(frames[0], frames[1]) << "the frames differ, so each entry was read";

  ffmpeg(kSource + "-c:v rawvideo -pix_fmt bgr24 " + q("a.avi"));
  r = run_tool(VEXCONV, q("a.avi") + " " + q("a.flc") + " /Q", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  VEXFLIC *h = VEXFlicOpen(dir.file("a.flc").c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->frame_count, 10u);
  EXPECT_EQ(h->width, 48u);
  EXPECT_EQ(h->height, 32u);
  EXPECT_EQ(h->rate, -10000);
  VEXFlicClose(h);
  const auto avi = ffmpeg_decode_rgb(dir.file("a.flc"), 48, 32);
  EXPECT_GE(avi.size(), 10u);
}

// A palettised input passes through unchanged, so the crop and range are
// checked pixel for pixel against the input's frames.
TEST_F(ToolSources, CropAndRangeSelectThePixelsAndFrames) {
  // A width that is a multiple of 4: the graphics source's FLIC width is the reader's row length.
  PatternOptions o{.width = 40, .height = 30, .frames = 12, .cycle = true, .noise = true};
  ASSERT_FALSE(write_fli(PatternAnimation(o), 7, dir.file("in.fli")).empty());
  const auto all = read_flic_rgb(dir.file("in.fli"));
  ASSERT_EQ(all.size(), 12u);
  const struct {
    int x, y, w, h, first, last;
  } cases[] = {
      {5, 3, 20, 10, 4, 6},   // inside
      {0, 0, 0, 0, 12, 12},    // the whole picture, the last frame only
      {-4, -2, 10, 8, 1, 2},  // the source sits inside the output
      {30, 25, 16, 10, 11, 0}, // reaching past the right and bottom
  };
  for (const auto &c : cases) {
    const std::string sw = " /X" + std::to_string(c.x) + " /Y" + std::to_string(c.y) + " /W" + std::to_string(c.w) +
                           " /H" + std::to_string(c.h) + " /S" + std::to_string(c.first) +
                           (c.last ? " /E" + std::to_string(c.last) : "");
    SCOPED_TRACE(sw);
    const ToolRun r = run_tool(VEXCONV, q("in.fli") + " " + q("c.flc") + sw + " /O /Q", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const int w = c.w ? c.w : 40, hgt = c.h ? c.h : 30;
    const int last = c.last ? c.last : 12;
    VEXFLIC *h = VEXFlicOpen(dir.file("c.flc").c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->width, static_cast<uint32_t>((w + 3) & ~3)) << "FLIC rows are whole multiples of 4 pixels";
    EXPECT_EQ(h->height, static_cast<uint32_t>(hgt));
    ASSERT_EQ(h->frame_count, static_cast<uint32_t>(last - c.first + 1));
    ByteVec buf(size_t{h->pitch} * h->buffer_height);
    for (int f = c.first; f <= last; ++f) {
      ASSERT_NE(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
      const ByteVec got = to_rgb(buf.data(), static_cast<uint32_t>(w), static_cast<uint32_t>(hgt), h->pitch,
                                 VEXFlicGetPalette(h));
      const ByteVec &src = all[static_cast<size_t>(f - 1)];
      for (int y = 0; y < hgt; ++y)
        for (int x = 0; x < w; ++x) {
          const int sx = c.x + x, sy = c.y + y;
          if (sx < 0 || sy < 0 || sx >= 40 || sy >= 30)
            continue; // outside the source: whatever the output buffer held
          for (int k = 0; k < 3; ++k)
            ASSERT_EQ(got[3 * (size_t(y) * w + x) + k], src[3 * (size_t(sy) * 40 + sx) + k])
                << "frame " << f << " at " << x << "," << y;
        }
    }
    VEXFlicClose(h);
  }
}

TEST_F(ToolSources, BadInputsNameTheReason) {
  ASSERT_TRUE(save_bytes(dir.file("empty.avi"), {}));
  ASSERT_TRUE(save_bytes(dir.file("junk.png"), ByteVec(300, 'x')));
  for (const char *name : {"gone.flc", "empty.avi", "junk.png"}) {
    for (const char *tool : {VEXINFO, VEXCONV}) {
      const std::string args = q(name) + (tool == std::string(VEXCONV) ? " " + q("o.flc") : "");
      const ToolRun r = run_tool(tool, args, dir);
      EXPECT_EQ(r.status, 1) << tool << " " << name;
      const std::string head = dir.file(name) + ": ";
      const size_t at = r.err.find(head);
      ASSERT_NE(at, std::string::npos) << r.err;
      EXPECT_GT(r.err.size(), at + head.size() + 1) << "a reason follows the name: " << r.err;
    }
  }
  EXPECT_FALSE(std::ifstream(dir.file("o.flc")).good()) << "no output for an input that does not open";
}

// Folders named like frame switches are part of the path, relative or
// absolute, for both tools; a name that carries trailing switches as one
// word gets their range from the library.
TEST_F(ToolSources, PathsWithFrameSwitchFolders) {
  std::filesystem::create_directories(dir.path() / "S4" / "E2");
  ffmpeg(kSource + "-c:v rawvideo -pix_fmt bgr24 " + shell_quote(dir.file("S4/E2/a.avi")));
  const struct {
    std::string name;
    uint32_t frames;
  } cases[] = {
      {"S4/E2/a.avi", 10},           // relative: no /E2 taken from the path
      {dir.file("S4/E2/a.avi"), 10}, // absolute, with both folders
      {"S4/E2/a.avi /S3 /E5", 3},    // one word with a trailing range
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun r = run_tool(VEXINFO, shell_quote(c.name), dir, dir.path().string());
    ASSERT_EQ(r.status, 0) << r.err;
    expect_contains(
        r.out, {"  frames   " + std::to_string(c.frames) + " (output " + std::to_string(c.frames) + ", file 10)\n"});
    r = run_tool(VEXCONV, shell_quote(c.name) + " " + q("out.flc") + " /O /Q", dir, dir.path().string());
    ASSERT_EQ(r.status, 0) << r.err;
    VEXFLIC *h = VEXFlicOpen(dir.file("out.flc").c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->frame_count, c.frames);
    VEXFlicClose(h);
  }
}

} // namespace
} // namespace vex::testkit
