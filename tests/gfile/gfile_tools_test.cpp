// vexconv turns a true-colour movie into a FLC with shared palettes: the
// palette switches reach the graphics source (how many palettes, which
// entries), the result read back through GFileOpen stays close to the
// movie as the ffmpeg tool decodes it, and a bare /Q is still quiet.
// vexinfo tells of movies what the ffmpeg tool's prober tells.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
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

struct ProbeCase {
  const char *name;
  const char *file;
  const char *make; // after the picture and sound inputs
  const char *matrix; // vexinfo's name of the matrix the prober's tag names ("": untagged)
};

// The prober's key=value lines for one stream.
std::map<std::string, std::string> probe(const std::string &file, const char *stream) {
  std::istringstream in(vex::testkit::ffprobe(
      file, std::string("-select_streams ") + stream +
                " -show_entries stream=codec_name,color_space,color_range,sample_rate,channels,duration"
                " -show_entries format=duration -of default=nw=1"));
  std::map<std::string, std::string> out;
  for (std::string line; std::getline(in, line);) {
    // The stream's duration comes first; the file's stands in when the
    // stream states none (an AVI's PCM track).
    const size_t eq = line.find('=');
    if (eq != std::string::npos && line.substr(eq + 1) != "N/A" && !out.count(line.substr(0, eq)))
      out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

// What follows "  <key>" on vexinfo's line for it.
std::string told(const std::string &out, const std::string &key) {
  const size_t at = out.find("\n  " + key + " ");
  if (at == std::string::npos)
    return "";
  const size_t from = out.find_first_not_of(' ', at + 3 + key.size());
  return out.substr(from, out.find('\n', from) - from);
}

class VexinfoProbe : public ::testing::TestWithParam<ProbeCase> {};

// The codec, the colour tags, the sound's codec, rate, channels and
// length (within one AAC frame of 1024 samples), and with -v one line per
// frame the prober counts by decoding.
TEST_P(VexinfoProbe, TellsWhatTheProberTells) {
  const ProbeCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string file = dir.file(c.file);
  vex::testkit::ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=frequency=500:sample_rate=44100 "
                       "-t 2 " + std::string(c.make) + " " + shell_quote(file));
  const vex::testkit::ToolRun r = vex::testkit::run_tool(VEXINFO, "-v " + shell_quote(file), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> v = probe(file, "v:0");
  EXPECT_EQ(told(r.out, "codec"), v["codec_name"]);
  const std::string colour = told(r.out, "colour");
  if (c.matrix[0])
    EXPECT_EQ(colour.rfind(std::string(c.matrix) + " (tagged)", 0), 0u) << colour;
  else
    EXPECT_NE(colour.find(" (by convention), "), std::string::npos) << colour;
  const std::map<std::string, std::string> ranges = {{"tv", "limited range (tagged)"}, {"pc", "full range (tagged)"}};
  const auto range = ranges.find(v["color_range"]);
  EXPECT_NE(colour.find(range != ranges.end() ? range->second : "range (by convention)"), std::string::npos)
      << colour << " / " << v["color_range"];
  const std::string counted = vex::testkit::ffprobe(
      file, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0");
  size_t lines = 0;
  for (size_t at = r.out.find("\n  frame "); at != std::string::npos; at = r.out.find("\n  frame ", at + 1))
    ++lines;
  EXPECT_EQ(std::to_string(lines) + "\n", counted);

  std::map<std::string, std::string> a = probe(file, "a:0");
  std::istringstream sound(told(r.out, "sound"));
  std::string codec, hz, bits, channel_word;
  unsigned rate = 0, width = 0, channels = 0;
  double seconds = 0;
  sound >> codec >> rate >> hz >> width >> bits >> channels >> channel_word >> seconds;
  EXPECT_EQ(codec, a["codec_name"] + ",");
  EXPECT_EQ(std::to_string(rate), a["sample_rate"]);
  EXPECT_EQ(std::to_string(channels), a["channels"]);
  EXPECT_NEAR(seconds * rate, std::stod(a["duration"]) * rate, 1024.0);
}

INSTANTIATE_TEST_SUITE_P(
    Movies, VexinfoProbe,
    ::testing::Values(
        ProbeCase{"mp4_h264_bt709_aac", "m.mp4",
                  "-c:v libx264 -pix_fmt yuv420p -colorspace bt709 -color_range tv -c:a aac -ac 2", "BT.709"},
        ProbeCase{"avi_mpeg4_untagged_pcm", "m.avi", "-c:v mpeg4 -c:a pcm_s16le -ar 22050", ""},
        ProbeCase{"mov_mjpeg_full_mp3", "m.mov", "-c:v mjpeg -pix_fmt yuvj422p -c:a libmp3lame -ac 1", "BT.601"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
