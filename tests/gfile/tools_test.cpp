// The tools over the graphics source. vexconv turns a true-colour movie
// into a FLC with shared palettes: the palette switches reach the source
// (how many palettes, which entries), the result read back stays close to
// the movie as the ffmpeg tool decodes it, and a bare /Q is still quiet.
// vexinfo tells of movies what the ffmpeg tool's prober tells. Raw frame
// files whose headers claim more than they hold end the conversion at the
// first frame cut short. And how often the tools open their input, counted
// as the system sees it (a small library preloaded that counts every open,
// openat and fopen of the input's name, testkit/util/open_counter.c).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/gfile/source_calls.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/sanitizer.h"
#include "testkit/util/tool_run.h"

namespace gfile_test {
namespace {

namespace tk = vex::testkit;
using tk::shell_quote;

// testsrc2 holds a few hundred colours; its moving parts change them.
TEST(Vexconv, TrueColourMovieBecomesASharedPaletteFlc) {
  TempDir dir;
  const std::string avi = tool_file(dir, "m.avi", "testsrc2=size=64x48:rate=10:duration=2", "-c:v rawvideo -pix_fmt bgr24");
  const Frames want = split(bgr_to_bgr0(tk::ffmpeg_decode(avi, "-f rawvideo -pix_fmt bgr24")), 64 * 48 * 4);
  ASSERT_EQ(want.size(), 20u);
  const struct {
    const char *switches;
    size_t palettes;     // distinct palettes over the 20 frames
    int lowest, highest; // range of the indices used
    double min_psnr;     // dB, every frame
    bool quiet;
  } rows[] = {{"-q", 1, 0, 255, 26.0, true},
              {"/U5 /Q", 4, 0, 255, 26.0, true},
              {"/U10 /Q64 /I100 /D2", 2, 100, 163, 22.0, false}};
  for (const auto &c : rows) {
    SCOPED_TRACE(c.switches);
    const std::string flc = dir.file("m.flc");
    const auto r = tk::run_tool(VEXCONV, shell_quote(avi) + " " + shell_quote(flc) + " -y " + c.switches, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.empty(), c.quiet) << r.out;
    Source g = must(flc);
    ASSERT_EQ(g->kind, GFILE_FLIC);
    ASSERT_EQ(g->output_frames, 20);
    std::set<std::vector<uint8_t>> palettes;
    for (int f = 0; f < 20; ++f) {
      const std::vector<uint8_t> idx = next(g.get());
      palettes.insert(palette(*g));
      const auto [lo, hi] = std::minmax_element(idx.begin(), idx.end());
      EXPECT_TRUE(*lo >= c.lowest && *hi <= c.highest) << "frame " << f << ": " << int(*lo) << "-" << int(*hi);
      EXPECT_GE(tk::psnr(as_bgr0(*g), want[size_t(f)]), c.min_psnr) << "frame " << f;
    }
    EXPECT_EQ(palettes.size(), c.palettes);
  }
}

// The prober's key=value lines for one stream; the stream's duration
// first, the file's standing in when the stream states none (an AVI's PCM track).
std::map<std::string, std::string> probe(const std::string &file, const char *stream) {
  std::istringstream in(tk::ffprobe(file, std::string("-select_streams ") + stream +
                                              " -show_entries stream=codec_name,color_space,color_range,sample_rate,"
                                              "channels,duration -show_entries format=duration -of default=nw=1"));
  std::map<std::string, std::string> out;
  for (std::string line; std::getline(in, line);)
    if (const size_t eq = line.find('='); eq != std::string::npos && line.substr(eq + 1) != "N/A")
      out.emplace(line.substr(0, eq), line.substr(eq + 1));
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

// The codec, the colour tags, the sound's codec, rate, channels and
// length (within one AAC frame of 1024 samples), and with -v one line per
// frame the prober counts by decoding.
TEST(Vexinfo, TellsWhatTheProberTells) {
  const struct {
    const char *file, *make; // after the picture and sound inputs
    const char *matrix;      // vexinfo's name of the matrix the prober's tag names ("": untagged)
  } rows[] = {{"m.mp4", "-c:v libx264 -pix_fmt yuv420p -colorspace bt709 -color_range tv -c:a aac -ac 2", "BT.709"},
              {"m.avi", "-c:v mpeg4 -c:a pcm_s16le -ar 22050", ""},
              {"m.mov", "-c:v mjpeg -pix_fmt yuvj422p -c:a libmp3lame -ac 1", "BT.601"}};
  for (const auto &c : rows) {
    SCOPED_TRACE(c.make);
    TempDir dir;
    const std::string file = tool_file(dir, c.file, "testsrc2=size=320x240:rate=25",
                                       "-f lavfi -i sine=frequency=500:sample_rate=44100 -t 2 " + std::string(c.make));
    const tk::ToolRun r = tk::run_tool(VEXINFO, "-v " + shell_quote(file), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> v = probe(file, "v:0"), a = probe(file, "a:0");
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
    const std::string counted =
        tk::ffprobe(file, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0");
    EXPECT_EQ(std::to_string(tk::times_in(r.out, "\n  frame ")) + "\n", counted);
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
}

// A 20-byte header claiming 2^32-1 frames of 8192 x 8192 (vexconv once
// aborted with bad_alloc at 750 MiB, left its temporary, and with more
// memory wrote a cut-short frame after another for days), and three whole
// frames of 1024 x 1024 under the same count, the fourth cut 10 bytes
// short. Under a 512 MiB address space (not in the ASan build, whose
// shadow alone is larger) vexconv stops at the frame cut short, names it,
// keeps the frames before it, and leaves no temporary.
TEST(Vexconv, RawFramesStopAtTheFirstFrameCutShort) {
  const std::string limit = tk::kAddressSanitizer ? "true" : "ulimit -v 524288";
  namespace rawb = tk::rawb;
  TempDir dir;
  const std::filesystem::path out = dir.path() / "out";
  std::filesystem::create_directory(out);
  rawb::write_rawb(dir.file("claim.raw"), {.width = 8192, .height = 8192, .speed = -66, .frame_count = 0xFFFFFFFFu}, {});
  std::vector<rawb::Frame> frames;
  for (int f = 0; f < 4; ++f) {
    rawb::Palette grey{};
    for (size_t i = 0; i < grey.size(); ++i)
      grey[i] = uint8_t(i / 3 + f);
    frames.push_back({std::vector<uint8_t>(1024 * 1024, uint8_t(40 * f)), {grey}});
  }
  std::vector<uint8_t> bytes = rawb::rawb_bytes({.width = 1024, .height = 1024, .speed = -66, .frame_count = 0xFFFFFFFFu}, frames);
  bytes.resize(bytes.size() - 10);
  write_file(dir.file("cut.raw"), bytes);
  const struct {
    const char *in;
    std::string reason;
    int32_t kept; // frames in OUT; 0: no OUT
  } cases[] = {{"claim.raw", "claim.raw: frame 1 is cut short at byte 20\n", 0},
               {"cut.raw", "cut.raw: 3 of 4 frames; frame 4 is cut short at byte " + std::to_string(bytes.size()) + "\n", 3}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.in);
    const std::string o = (out / "o.flc").string();
    const auto r = tk::run_tool(
        "sh", "-c " + shell_quote(limit + " && exec " + shell_quote(VEXCONV) + " " + shell_quote(dir.file(c.in)) + " " + shell_quote(o)),
        dir);
    EXPECT_EQ(r.status, 1);
    tk::expect_contains(r.err, {c.reason});
    tk::expect_lacks(r.err, {"bad_alloc"});
    EXPECT_EQ(tk::entry_names(out), c.kept ? std::set<std::string>{"o.flc"} : std::set<std::string>{});
    EXPECT_EQ(c.kept ? must(o)->frame_count : 0, c.kept);
    std::filesystem::remove(o);
  }
}

// Describing an input of any kind opens it once (a list: itself and each
// entry once); a conversion opens it once for the pictures (the palette
// source shares that open) and once for the sound.
TEST(OpenCount, EveryInputIsOpenedOncePerSource) {
  TempDir samples;
  tk::write_kind_samples(samples);
  const auto opens = [&](const char *tool, const std::string &args, const std::string &name) {
    TempDir dir;
    const std::string counts = dir.file("counts");
    const tk::ToolRun r = tk::run_tool("env", "VEX_COUNT_OPENS_OF=" + shell_quote(name) + " VEX_COUNT_OPENS_TO=" +
                                                  shell_quote(counts) + " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 LD_PRELOAD=" +
                                                  shell_quote(OPEN_COUNTER) + " " + shell_quote(tool) + " " + args,
                                       dir, samples.path());
    EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    int n = -1;
    std::ifstream(counts) >> n;
    return n;
  };
  for (const char *name : {"a.flc", "m.kvn", "m.tlm", "m.exe", "m.raw", "s.wav", "m.avi", "m.mov", "p.bmp", "p.pcx",
                           "p.png", "p.tga", "p.tif", "p.gif", "p.jpg", "l.lst"})
    EXPECT_EQ(opens(VEXINFO, name, name), 1) << name;
  EXPECT_EQ(opens(VEXINFO, "l.lst", "a.flc"), 1);
  EXPECT_EQ(opens(VEXINFO, "l.lst", "b.flc"), 1);
  EXPECT_LE(opens(VEXCONV, "m.avi out.avi -q -y", "m.avi"), 2); // pictures, sound
  EXPECT_EQ(opens(VEXCONV, "m.avi out.flc -q -y", "m.avi"), 1); // the palette source shares the open
  EXPECT_EQ(opens(VEXCONV, "m.kvn out.png -q -y", "m.kvn"), 1);
}

} // namespace
} // namespace gfile_test
