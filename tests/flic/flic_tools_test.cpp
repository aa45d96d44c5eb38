// vexinfo and vexconv run as programs: what they print, their exit codes,
// and that a conversion gives back every frame of its input.
#include <gtest/gtest.h>


#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

namespace fs = std::filesystem;

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
  // before the damage, no frozen copies of the last one after it, and
  // fails saying how many of how many and why.
  const ToolRun verbose = run_tool(VEXINFO, "-v " + shell_quote(dir.file("cut.flc")), dir);
  EXPECT_EQ(verbose.status, 1);
  expect_contains(verbose.out, {"  frames   8 (output 8, file 8)\n", "  frame 8 ",
                                "  damage   frame 5 runs past the end of the file\n"});
  const ToolRun conv = run_tool(VEXCONV, shell_quote(dir.file("cut.flc")) + " " + shell_quote(dir.file("cut-copy.flc")), dir);
  EXPECT_EQ(conv.status, 1);
  expect_contains(conv.out, {"cut-copy.flc: 4 of 8 frames, "});
  expect_contains(conv.err, {dir.file("cut.flc") + ": 4 of 8 frames; frame 5 runs past the end of the file"});
  VEXFLIC *copy = VEXFlicOpen(dir.file("cut-copy.flc").c_str());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->frame_count, 4u);
  const std::vector<ByteVec> whole = read_flic_rgb(dir.file("whole.flc"));
  ASSERT_EQ(whole.size(), 8u);
  ByteVec buf(size_t{copy->pitch} * copy->buffer_height);
  for (size_t i = 0; i < 4; ++i) {
    ASSERT_NE(VEXFlicGetNext(copy, buf.data()), VEXFLIC_FAILED);
    EXPECT_TRUE(to_rgb(buf.data(), 42, 30, copy->pitch, VEXFlicGetPalette(copy)) == whole[i]) << "frame " << i + 1;
  }
  VEXFlicClose(copy);
}

// Inputs that are not what a tool can read, each named with its own
// reason, for the message tables below: a folder, a movie cut before its
// index, and a TIFF in a compression the library does not read.
class ToolMessages : public Tools {
protected:
  void SetUp() override {
    Tools::SetUp();
    fs::create_directory(dir.path() / "folder");
    ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -c:v mpeg4 " + q("whole.mp4"));
    const ByteVec mp4 = load_bytes(dir.file("whole.mp4"));
    ASSERT_TRUE(
        save_bytes(dir.file("cut.mp4"), ByteVec(mp4.begin(), mp4.begin() + static_cast<ptrdiff_t>(mp4.size() / 2))));
    ffmpeg("-f lavfi -i testsrc=size=32x24 -frames:v 1 -update 1 -pix_fmt rgb24 -compression_algo lzw " + q("lzw.tif"));
    ffmpeg("-f lavfi -i testsrc=size=32x24 -frames:v 1 -update 1 " + q("one.png"));
    ASSERT_TRUE(save_bytes(dir.file("in.raw"), ByteVec(32, 0x80)));
    const ByteVec fli = load_bytes(dir.file("in.fli"));
    ASSERT_TRUE(save_bytes(dir.file("cut1.fli"), ByteVec(fli.begin(), fli.begin() + 200))); // inside frame 1
  }
  std::string q(const std::string &name) const { return shell_quote(dir.file(name)); }

  struct Row {
    std::string args;
    int status;
    std::vector<std::string> says; // on stderr (and stdout, for a summary)
  };
  // Every row's status and texts; no row prints the help.
  void run_rows(const char *tool, const std::vector<Row> &rows) {
    for (const Row &r : rows) {
      const ToolRun got = run_tool(tool, r.args, dir, dir.path().string());
      EXPECT_EQ(got.status, r.status) << r.args << "\n" << got.err;
      for (const std::string &text : r.says)
        EXPECT_NE((got.err + got.out).find(text), std::string::npos) << r.args << ": missing " << text << "\n"
                                                                     << got.err << got.out;
      EXPECT_EQ(got.err.find("usage:"), std::string::npos) << r.args << ": the whole help\n" << got.err;
    }
  }
  // The switch words the help gives as examples of "switches of this tool".
  std::vector<std::string> help_examples(const char *tool) {
    const std::string help = run_tool(tool, "--help", dir).out;
    const std::string lead = "switches of this tool (";
    const size_t from = help.find(lead) + lead.size(), to = help.find(')', from);
    std::vector<std::string> words;
    std::string w;
    for (const char c : help.substr(from, to - from) + ",")
      if (c == ',') {
        words.push_back(w);
        w.clear();
      } else if (c != ' ') {
        w += c;
      }
    return words;
  }
};

TEST_F(ToolMessages, VexinfoSaysWhatIsWrong) {
  run_rows(
      VEXINFO,
      {
          {"/W", 2, {"vexinfo: /W: no such switch\nsee vexinfo --help\n"}},
          {"/Rfast in.fli", 2, {"vexinfo: /Rfast: a bad value for /R (/R takes a whole number)"}},
          {"", 2, {"vexinfo: no FILE to describe\nsee vexinfo --help\n"}},
          {"-- /W", 1, {"vexinfo: /W: no such file\n"}},
          {"folder", 1, {"vexinfo: folder: Is a directory\n"}},
          {"cut.mp4", 1, {"vexinfo: cut.mp4: a QuickTime file the movie library cannot read: moov atom not found\n"}},
          {"lzw.tif", 1, {"vexinfo: lzw.tif: TIFF with LZW compression is not read\n"}},
          {"/Y5 /D8000 in.raw", 0, {"  width    8 bits\n  channels 1\n"}},
          {"--help", 0, {"1 and 5 8-bit mono, 2 8-bit stereo,\n             3 16-bit mono, 4 16-bit stereo"}},
      });
  // The help's examples of switch words are switches vexinfo takes.
  const std::vector<std::string> examples = help_examples(VEXINFO);
  ASSERT_GE(examples.size(), 3u);
  for (const std::string &w : examples) {
    const ToolRun r = run_tool(VEXINFO, w + " " + shell_quote(dir.file("in.fli")), dir);
    EXPECT_EQ(r.status, 0) << w << ": " << r.err;
  }
}

TEST_F(ToolMessages, VexconvSaysWhatIsWrongAndNamesTheFilesItWrites) {
  run_rows(
      VEXCONV,
      {
          {"in.fli o.flc /Fabc", 2, {"vexconv: /Fabc: a bad value for /F (/F takes a rate", "see vexconv --help\n"}},
          {"in.fli o.flc /Zq", 2, {"vexconv: /Zq: no such switch\nsee vexconv --help\n"}},
          {"in.fli", 2, {"vexconv: wants IN and OUT, got 1 name: in.fli\nsee vexconv --help\n"}},
          {"in.fli in.fli /O", 1, {"vexconv: Output filename must be different than the input filename.\n"}},
          {"in.fli folder", 2, {"vexconv: folder: a folder; OUT names the file to write"}},
          {"in.fli nowhere/", 2, {"vexconv: nowhere/: names a folder, not a file\n"}},
          {"in.fli folder/.flc", 2, {"vexconv: folder/.flc: has no name before its extension .flc\n"}},
          {"cut.mp4 o.flc",
           1,
           {"vexconv: cut.mp4: a QuickTime file the movie library cannot read: moov atom not found\n"}},
          {"lzw.tif o.flc", 1, {"vexconv: lzw.tif: TIFF with LZW compression is not read\n"}},
      {"cut1.fli o1.flc", 1,
       {"vexconv: cut1.fli: no frame decodes: frame 1 runs past the end of the file; o1.flc not written\n"}},
          // A FLIC named without extension: every message names clip.flc.
          {"in.fli clip", 0, {"in.fli -> clip.flc: 12 frames, "}},
          {"in.fli clip", 1, {"vexconv: clip.flc exists; add /O to replace it\n"}},
          {"one.png one.bmp", 0, {"one.png -> one.bmp: 1 frame, 32 x 24"}},
          {"in.raw one.vcs /Y1 /D8000", 0, {"in.raw -> one.vcs: 1 chunk, "}},
      });
  EXPECT_TRUE(fs::is_empty(dir.path() / "folder")) << "a refused OUT writes nothing";
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
  EXPECT_FALSE(fs::exists(dir.path() / "o1.flc"));
  const std::vector<std::string> examples = help_examples(VEXCONV);
  ASSERT_GE(examples.size(), 3u);
  for (size_t i = 0; i < examples.size(); ++i) {
    const ToolRun r =
        run_tool(VEXCONV, "in.fli ex" + std::to_string(i) + ".flc " + examples[i], dir, dir.path().string());
    EXPECT_EQ(r.status, 0) << examples[i] << ": " << r.err;
  }
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
