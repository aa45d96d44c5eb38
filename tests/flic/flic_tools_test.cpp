// vexinfo and vexconv run as programs on picture inputs of several kinds:
// what they print and their exit codes, one table of runs; then the FLC
// outputs, checked against the input's own frames (crops, ranges, the
// frames before a damage) and by an independent decoder (ffmpeg).
//
// The tools' rule for names and switches is in the table too: absolute
// paths start with '/' like switches do, so paths built from folders that
// look like switches (every letter the tools or the library's parsers
// know, followed by digits or by the next '/') must stay names, whether
// they exist or not.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/flic/flic_test_frames.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace vex::testkit {
namespace {

namespace fs = std::filesystem;

// Folders named after switches: numbers, fractions and bare flags of both
// tools, a retired one, and a cancel. (Folders like S4, E6 or L2 are names
// to the tools too, but the picture and sound sources read them as frame
// switches: the S4/E2 rows cover those.)
const std::string kSwitchFolders = "F25/F29.97/A15/X3/Y2/W8/H6/T1/O/Q/V/V1/N3/R25/-O/-";
const std::string kTestSource = "-f lavfi -i testsrc=size=48x32:rate=10:duration=1 ";

// A run of one tool (or, with kBoth, of each: vexconv then gets o.flc as
// OUT) in the test's folder. '@' in the arguments and texts stands for the
// folder's path. `says`: pieces of stderr and stdout; with `exact`, its one
// piece is the whole of stdout (of stderr for a failure); `quiet`: nothing
// on stderr.
enum Tool { kInfo, kConv, kBoth };
struct ToolCall {
  Tool tool;
  std::string args;
  int status;
  std::vector<std::string> says = {};
  std::vector<std::string> lacks = {};
  bool exact = false;
  bool quiet = false;
};

class Tools : public ::testing::Test {
protected:
  void SetUp() override {
    // An odd width: the graphics source sees rows of 44. The stills are
    // bare frame chunks, which the graphics source's check of the input's
    // frames must step over.
    anim = PatternAnimation({.width = 41, .height = 30, .frames = 12, .cycle = true, .stills = true, .six_bit = true});
    ASSERT_FALSE(write_fli(anim, 7, dir.file("in.fli")).empty());
    in_rgb = read_flic_rgb(dir.file("in.fli"));
    ASSERT_EQ(in_rgb.size(), 12u);
    fs::create_directories(dir.path() / kSwitchFolders);
    fs::create_directories(dir.path() / "folder");
    fs::copy_file(dir.file("in.fli"), dir.file(kSwitchFolders + "/in.fli"));
  }
  std::string at(std::string s) const {
    for (size_t i; (i = s.find('@')) != std::string::npos;)
      s.replace(i, 1, dir.path().string());
    return s;
  }
  void run(const std::vector<ToolCall> &runs) {
    for (const ToolCall &r : runs)
      for (const Tool t : {kInfo, kConv}) {
        if (r.tool != kBoth && r.tool != t)
          continue;
        const std::string args = at(r.args) + (r.tool == kBoth && t == kConv ? " o.flc" : "");
        SCOPED_TRACE((t == kInfo ? "vexinfo " : "vexconv ") + args);
        const ToolRun got = run_tool(t == kInfo ? VEXINFO : VEXCONV, args, dir, dir.path().string());
        EXPECT_EQ(got.status, r.status) << got.err;
        if (r.quiet) {
          EXPECT_EQ(got.err, "");
        }
        if (r.exact) {
          EXPECT_EQ(r.status == 0 ? got.out : got.err, at(r.says.at(0)));
          continue;
        }
        for (const std::string &piece : r.says)
          expect_contains(got.err + got.out, {at(piece)});
        for (const std::string &piece : r.lacks)
          expect_lacks(got.err + got.out, {at(piece)});
        // No refusal prints the whole help.
        if (args.find("--help") == std::string::npos)
          expect_lacks(got.err, {"usage:"});
      }
  }
  void check(const std::string &name, const FlicWindow &w, const std::vector<ByteVec> &src, int src_w, int src_h) {
    EXPECT_EQ(flic_differs(dir.file(name), w, src, src_w, src_h), "") << name;
  }
  std::string q(const std::string &name) const { return shell_quote(dir.file(name)); }
  TempDir dir;
  PatternAnimation anim{PatternOptions{}};
  std::vector<ByteVec> in_rgb;
};

// What the tools say of good inputs, bad ones and their switches.
TEST_F(Tools, SayWhatTheyReadAndWhyTheyRefuse) {
  ASSERT_TRUE(save_bytes(dir.file("empty.flc"), {}));
  ASSERT_TRUE(save_bytes(dir.file("empty.avi"), {}));
  ASSERT_TRUE(save_bytes(dir.file("in.raw"), ByteVec(32, 0x80)));
  const ByteVec fli = load_bytes(dir.file("in.fli"));
  ASSERT_TRUE(save_bytes(dir.file("cut1.fli"), ByteVec(fli.begin(), fli.begin() + 200))); // inside frame 1
  // A movie cut before its index, a TIFF in a compression the library does
  // not read, an AVI, a still, a sound and a list. (Each reader's own
  // reasons are the shared table of bad files; here the tools' way of
  // passing them on.)
  ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -c:v mpeg4 " + q("whole.mp4"));
  const ByteVec mp4 = load_bytes(dir.file("whole.mp4"));
  ASSERT_TRUE(save_bytes(dir.file("cut.mp4"), ByteVec(mp4.begin(), mp4.begin() + std::ptrdiff_t(mp4.size() / 2))));
  ffmpeg("-f lavfi -i testsrc=size=32x24 -frames:v 1 -update 1 -pix_fmt rgb24 -compression_algo lzw " + q("lzw.tif"));
  ffmpeg(kTestSource + "-c:v rawvideo -pix_fmt bgr24 " + q("a.avi"));
  ffmpeg(kTestSource + "-frames:v 1 -update 1 -pix_fmt rgb24 " + q("s.png"));
  ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -ac 2 -c:a pcm_s16le " + q("w.wav"));
  ASSERT_TRUE(save_bytes(dir.file("m.lst"), ByteVec({'a', '.', 'a', 'v', 'i', '\n', 's', '.', 'p', 'n', 'g', '\n'})));
  char png_bytes[16];
  CommaNum(png_bytes, static_cast<uint32_t>(load_bytes(dir.file("s.png")).size()));
  const std::string version = VEXUTIL_VERSION_STRING, deep = "@/" + kSwitchFolders,
                    missing = "/vex-no-such-folder-" + std::to_string(getpid()) + "/" + kSwitchFolders;
  ASSERT_FALSE(fs::exists(missing.substr(0, missing.find('/', 1))));
  const std::vector<std::string>
      fli_info = {"  kind     0x80, Flic\n", "  size     44 x 30 (output 44 x 30)\n",
                  "  frames   12 (output 12, file 12)\n", "  rate     10/1, 10.000 frames per second\n",
                  "  speed    100.00 ms per frame\n"},
      avi = {"  kind     0x20, AVI\n",
             "  size     48 x 32 (output 48 x 32)\n",
             "  depth    24 bits\n",
             "  frames   10 (output 10, file 10)\n",
             "  rate     10/1, 10.000 frames per second\n",
             "  output   10/1, 10.000 frames per second\n",
             "  speed    100.00 ms per frame\n",
             "  sound    no\n"},
      png = {"  kind     0x8, PNG still image\n", "  size     48 x 32 (output 48 x 32)\n",
             "  frames   1 (output 1, file 1)\n", std::string("  file     ") + png_bytes + " bytes\n"},
      help = {"usage: vexinfo", "/data/s1/movie.avi is a name", "After --",
              "1 and 5 8-bit mono, 2 8-bit stereo,\n             3 16-bit mono, 4 16-bit stereo"};
  run({
      // vexinfo describes; per-frame lines only with -v (a folder V is no /V).
      {kInfo, "in.fli", 0, fli_info, {"frame 1 "}},
      {kInfo, "-v in.fli", 0, {"  frame 1     depth 8, ", "  frame 12    depth 8, "}, {"  frame 13 "}},
      {kInfo, "/V /V in.fli", 0},
      {kInfo, deep + "/in.fli", 0, {"frames   12"}, {"frame 1 "}},
      {kInfo, "a.avi", 0, avi},
      {kInfo, "-v a.avi", 0, {"  frame 1     depth 24, ", "  frame 10    depth 24, "}, {"  frame 11 "}},
      {kInfo, "s.png", 0, png},
      // Sound is described by the sound source.
      {kInfo, "w.wav", 0, {"Wave sound", "22050 sample frames, 1.000 s"}, {"kind"}},
      {kInfo, "m.lst", 0, {"  kind     0x100, List\n", "  frames   11 (output 11, file 11)\n"}},
      {kInfo, "/Y5 /D8000 in.raw", 0, {"  width    8 bits\n  channels 1\n"}},
      // Help and version (from the build's generated header, not a literal).
      {kInfo, "--help", 0, help},
      {kConv, "--help", 0, {"usage: vexconv", "/data/s1/movie.avi is a name", "After --"}},
      {kInfo, "--version", 0, {"vexinfo " + version + "\n"}, {}, true},
      {kConv, "--version", 0, {"vexconv " + version + "\n"}, {}, true},
      // An input no reader opens is named with the best reason the readers
      // gave: missing, empty, of no known kind, or what a reader that knew
      // the file found wrong with it, and where.
      {kBoth, "gone.flc", 1, {"gone.flc: no such file\n"}},
      {kBoth, "empty.flc", 1, {"empty.flc: the file is empty\n"}},
      {kBoth, "empty.avi", 1, {"empty.avi: the file is empty\n"}},
      {kInfo, "empty.flc", 1, {"vexinfo: empty.flc: the file is empty\n"}, {}, true},
      {kInfo, "folder", 1, {"vexinfo: folder: Is a directory\n"}},
      {kBoth, "cut.mp4", 1, {": cut.mp4: a QuickTime file the movie library cannot read: moov atom not found\n"}},
      {kBoth, "lzw.tif", 1, {": lzw.tif: TIFF with LZW compression is not read\n"}},
      // A FLIC without one whole frame is refused when it is opened.
      {kConv, "cut1.fli o1.flc", 1, {"vexconv: cut1.fli: frame 1 runs past the end of the file\n"}},
      // Paths under a missing folder are names too, IN or OUT.
      {kBoth, missing + "/in.fli", 1, {missing + "/in.fli: no such file"}, {"switch"}},
      {kConv, "in.fli " + missing + "/out.flc", 1, {missing + "/out.flc"}},
      // Command lines.
      {kInfo, "/W", 2, {"vexinfo: /W: no such switch\nsee vexinfo --help\n"}},
      {kInfo, "/Rfast in.fli", 2, {"vexinfo: /Rfast: a bad value for /R (/R takes a whole number)"}},
      {kInfo, "", 2, {"vexinfo: no FILE to describe\nsee vexinfo --help\n"}},
      {kInfo, "-- /V", 1, {"vexinfo: /V: no such file\n"}},
      {kInfo, "in.fli -- in.fli", 0, {}, {"frame 1 "}},
      {kConv, "in.fli o.flc /Fabc", 2, {"vexconv: /Fabc: a bad value for /F (/F takes a rate", "see vexconv --help\n"}},
      {kConv, "in.fli o.flc /Zq", 2, {"vexconv: /Zq: no such switch\nsee vexconv --help\n"}},
      {kConv, "in.fli o.flc /O /Z", 2},
      {kConv, "in.fli o.flc /O /N3", 2}, // retired: /E gives the last frame
      {kConv, "in.fli o.flc /O /S7 /E3", 2, {}}, // a range that ends before it starts
      {kConv, "in.fli", 2, {"vexconv: wants IN and OUT, got 1 name: in.fli\nsee vexconv --help\n"}},
      {kConv, "in.fli in.fli /O", 1, {"vexconv: Output filename must be different than the input filename.\n"}},
      {kConv, "in.fli x.mov", 1}, // no writer of .mov
      {kConv, "in.fli folder", 2, {"vexconv: folder: a folder; OUT names the file to write"}},
      {kConv, "in.fli nowhere/", 2, {"vexconv: nowhere/: names a folder, not a file\n"}},
      {kConv, "in.fli folder/.flc", 2, {"vexconv: folder/.flc: has no name before its extension .flc\n"}},
      {kConv, "-- in.fli o.flc /O", 2, {"got 3 names"}},
      {kConv, "-- in.fli --gui /Q", 2}, // /Q after -- is a third name
      // Outputs: a FLIC named without extension gets .flc in every message;
      // an existing one needs /O (-y), which /-O cancels.
      {kConv, "in.fli clip", 0, {"in.fli -> clip.flc: 12 frames, "}},
      {kConv, "in.fli clip", 1, {"vexconv: clip.flc exists; add /O to replace it\n"}},
      {kConv, "in.fli clip /O /-O", 1, {"/O"}},
      {kConv, "in.fli clip /O /Q", 0, {""}, {}, true},
      {kConv, "in.fli clip -y -q", 0, {""}, {}, true},
      {kConv, "in.fli -q -- --gui", 0},
      {kConv, "s.png one.bmp", 0, {"s.png -> one.bmp: 1 frame, 48 x 32"}},
      {kConv, "in.raw one.vcs /Y1 /D8000", 0, {"in.raw -> one.vcs: 1 chunk, "}},
      // Switch-like folders in existing paths: neither /W8, /H6, /Q nor /O
      // come from them.
      {kConv, deep + "/in.fli " + deep + "/out.flc", 0, {"12 frames"}},
      {kConv, deep + "/in.fli " + deep + "/out.flc", 1},
      {kConv, deep + "/in.fli /S4 " + deep + "/part.flc /E6 /Q", 0, {""}, {}, true},
      // Several switches in one word, any case, and a cancel in another.
      {kConv, deep + "/in.fli " + deep + "/part.flc /o/s2/e6 /-Q", 0, {"5 frames"}},
  });
  EXPECT_TRUE(fs::is_empty(dir.path() / "folder")) << "a refused OUT writes nothing";
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
  EXPECT_FALSE(fs::exists(dir.path() / "o1.flc"));
  EXPECT_FALSE(fs::exists(dir.path() / "o.flc")) << "no output for an input that does not open";
  EXPECT_FALSE(fs::exists(missing.substr(0, missing.find('/', 1))));
  EXPECT_TRUE(fs::exists(dir.file("--gui.flc")));
  check(kSwitchFolders + "/out.flc", {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 0, 0, 41, 30, -10000}, in_rgb, 41, 30);
  check(kSwitchFolders + "/part.flc", {{2, 3, 4, 5, 6}, 0, 0, 41, 30}, in_rgb, 41, 30);
  // The help's examples of switch words are switches each tool takes.
  for (const char *tool : {VEXINFO, VEXCONV}) {
    const std::string help = run_tool(tool, "--help", dir).out, lead = "switches of this tool (";
    const size_t from = help.find(lead) + lead.size(), to = help.find(')', from);
    std::string words = help.substr(from, to - from) + ",";
    int seen = 0;
    for (size_t comma; (comma = words.find(',')) != std::string::npos; words.erase(0, comma + 1), ++seen) {
      const std::string w = words.substr(words[0] == ' ' ? 1 : 0, comma - (words[0] == ' ' ? 1 : 0));
      const std::string out = tool == std::string(VEXCONV) ? " ex" + std::to_string(seen) + ".flc " : " ";
      EXPECT_EQ(run_tool(tool, "in.fli" + out + w, dir, dir.path().string()).status, 0) << w;
    }
    EXPECT_GE(seen, 3);
  }
}

// Conversions pixel for pixel against the input's frames, one of each kind
// of window (every crop edge and range rule is the graphics source's own
// table, tests/gfile/geometry_test.cpp): the whole input (the copy is 44
// wide: the input's columns, then three of colour 0, the reader's row
// padding, which the graphics source counts as picture), a range with a
// rate, a crop; a FLC cut inside its fifth frame gives its four whole
// frames (no frozen copies of the last one), fails and says how many of how
// many and why.
TEST_F(Tools, ConvertedFramesAreTheInputsFrames) {
  ASSERT_NE(write_flc(PatternAnimation({.width = 42, .height = 30, .frames = 8}), 50, dir.file("whole.flc")), 0u);
  const ByteVec flc = load_bytes(dir.file("whole.flc"));
  uint64_t cut = 128;
  for (int f = 0; f < 4; ++f)
    cut += get_le32(flc, cut);
  ASSERT_TRUE(save_bytes(dir.file("cut.flc"), ByteVec(flc.begin(), flc.begin() + std::ptrdiff_t(cut + 20))));
  const auto whole_rgb = read_flic_rgb(dir.file("whole.flc"));
  run({
      // No progress bar when stderr is not a terminal.
      {kConv, "in.fli out.flc", 0, {"in.fli -> out.flc: 12 frames, 44 x 30"}, {}, false, true},
      {kConv, "in.fli part.flc /S4 /E6 /F25 /Q", 0, {""}, {}, true},
      {kConv, "in.fli crop.flc /X5 /Y3 /W20 /H10 /S4 /E6 /Q", 0},
      {kInfo,
       "-v cut.flc",
       1,
       {"  frames   8 (output 8, file 8)\n", "  frame 8 ", "  damage   frame 5 runs past the end of the file\n"}},
      {kInfo, "cut.flc", 1, {"vexinfo: cut.flc: frame 5 runs past the end of the file\n"}, {}, true},
      {kConv, "cut.flc cut-copy.flc", 1,
       {"cut-copy.flc: 4 of 8 frames, ", "cut.flc: 4 of 8 frames; frame 5 runs past the end of the file"}},
  });
  check("out.flc", {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 0, 0, 44, 30, -10000, true}, in_rgb, 41, 30);
  check("part.flc", {{4, 5, 6}, 0, 0, 41, 30, -4000}, in_rgb, 41, 30);
  check("crop.flc", {{4, 5, 6}, 5, 3, 20, 10}, in_rgb, 41, 30);
  check("cut-copy.flc", {{1, 2, 3, 4}, 0, 0, 42, 30}, whole_rgb, 42, 30);
}

// Folders named like frame switches are part of the path, relative or
// absolute, for both tools; a name that carries trailing switches as one
// word gets their range from the library.
TEST_F(Tools, FrameSwitchFoldersAndTrailingSwitches) {
  fs::create_directories(dir.path() / "S4" / "E2");
  ffmpeg(kTestSource + "-c:v rawvideo -pix_fmt bgr24 " + q("S4/E2/a.avi"));
  for (const auto &[name, frames] : {std::pair<std::string, int>{"S4/E2/a.avi", 10}, // no /E2 taken from the path
                                     {"@/S4/E2/a.avi", 10},
                                     {"'S4/E2/a.avi /S3 /E5'", 3}}) {
    const std::string n = std::to_string(frames);
    run({{kInfo, name, 0, {"  frames   " + n + " (output " + n + ", file 10)\n"}},
         {kConv, name + " out.flc /O /Q", 0}});
    VEXFLIC *h = VEXFlicOpen(dir.file("out.flc").c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->frame_count, static_cast<uint32_t>(frames)) << name;
    VEXFlicClose(h);
  }
}

// A true-colour series: ffmpeg decodes the FLC to the right count and
// size, and colours close to the source's (one palette made from the first
// frame serves them all). A movie's way to a FLC is the graphics source's
// tools test.
TEST_F(Tools, TrueColourSeriesBecomesFlc) {
  std::string list;
  for (int i = 0; i < 3; ++i) {
    const std::string png = dir.file("p" + std::to_string(i) + ".png");
    ffmpeg(kTestSource + "-vf " + shell_quote("select=eq(n\\," + std::to_string(3 * i) + ")") +
           " -frames:v 1 -update 1 -pix_fmt rgb24 " + shell_quote(png));
    list += png + "\n";
  }
  ASSERT_TRUE(save_bytes(dir.file("series.lst"), ByteVec(list.begin(), list.end())));
  run({{kConv, "series.lst series.flc /Q", 0}});
  const auto frames = ffmpeg_decode_rgb(dir.file("series.flc"), 48, 32);
  ASSERT_GE(frames.size(), 3u);
  EXPECT_LE(frames.size(), 4u) << "three frames and perhaps ffmpeg's view of the ring frame";
  for (int i = 0; i < 3; ++i) {
    const auto want = ffmpeg_decode_rgb(dir.file("p" + std::to_string(i) + ".png"), 48, 32);
    ASSERT_EQ(want.size(), 1u);
    long sum = 0;
    for (size_t k = 0; k < want[0].size(); ++k)
      sum += std::abs(int{want[0][k]} - int{frames[i][k]});
    EXPECT_LT(static_cast<double>(sum) / want[0].size(), 12.0) << "frame " << i + 1;
  }
  EXPECT_NE(frames[0], frames[1]) << "the frames differ, so each entry was read";
}

} // namespace
} // namespace vex::testkit
