// vexconv from every kind of input the sources read to every kind the
// writer writes: each output read back through the graphics source and
// compared with the input's own frames; then the ways a conversion must
// fail, with nothing written and the input untouched.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <tuple>

#include "testkit/flic/fli_writer.h"
#include "testkit/flic/pattern.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"

namespace vex::testkit {
namespace {

namespace fs = std::filesystem;
using Frames = std::vector<std::vector<uint8_t>>;
constexpr int kW = 40, kH = 30, kFrames = 6;

// Every frame the graphics source delivers, at 32 bits with the fourth
// byte cleared; empty when the name does not open.
Frames frames_of(const std::string &name) {
  GFILE *g = GFileOpen(name.c_str(), GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr,
                       nullptr, nullptr);
  Frames out;
  if (!g)
    return out;
  for (int i = 0; i < g->output_frames && GFileGet(g) == 1; ++i) {
    std::vector<uint8_t> f;
    for (int y = 0; y < g->height; ++y)
      for (int x = 0; x < g->width; ++x) {
        const uint8_t *p = g->buffer + static_cast<ptrdiff_t>(y) * g->pitch + x * 4;
        f.insert(f.end(), {p[0], p[1], p[2], 0});
      }
    out.push_back(std::move(f));
  }
  GFileClose(g);
  return out;
}

// The first `bytes` bytes the sound source delivers for a file at a rate
// and depth (0: the file's own) from a track (0: the first); fewer when it
// has less.
std::vector<uint8_t> delivered_sound(const std::string &name, int32_t rate, int32_t bits, size_t bytes,
                                     int32_t track = 0) {
  SFILE *s = SFileOpen(name.c_str(), rate, bits, 0, 0, 0, track, 0, 0, nullptr);
  if (!s)
    return {};
  std::vector<uint8_t> out(bytes);
  size_t got = 0;
  while (got < bytes)
    if (const uint32_t n = SFileGet(s, out.data() + got, static_cast<uint32_t>(bytes - got)))
      got += n;
    else
      break;
  SFileClose(s);
  out.resize(got);
  return out;
}

struct CloseOutput {
  void operator()(OGFILE *o) const { OGFileClose(o); }
};
using OGFilePtr = std::unique_ptr<OGFILE, CloseOutput>;

std::string bytes_of(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Conversions : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    inputs = new TempDir;
    PatternOptions o;
    o.width = kW;
    o.height = kH;
    o.frames = kFrames;
    o.cycle = true;
    ASSERT_FALSE(write_fli(PatternAnimation(o), 7, inputs->file("in.fli")).empty());
    const std::string src = "-f lavfi -i testsrc=size=40x30:rate=10:duration=0.6 ";
    ffmpeg(src + "-c:v rawvideo -pix_fmt bgr24 " + shell_quote(inputs->file("in.avi")));
    ffmpeg(src + "-c:v qtrle -pix_fmt rgb24 " + shell_quote(inputs->file("in.mov")));
    ffmpeg(src + "-pix_fmt rgb24 -start_number 0 " + shell_quote(inputs->file("p%d.png")));
    std::ofstream lst(inputs->file("in.lst"));
    for (int i = 0; i < kFrames; ++i)
      lst << inputs->file("p" + std::to_string(i) + ".png") << "\n";
  }
  static void TearDownTestSuite() { delete inputs; }
  std::string q(const std::string &name) const { return shell_quote(dir.file(name)); }
  static inline TempDir *inputs = nullptr;
  TempDir dir;
};

// Lossless outputs of 24 bits give every input back exactly, and so do the
// 8-bit ones for the 8-bit input (its palettes pass through); the 8-bit
// ones of a true-colour input share one palette, and JPEG is lossy.
TEST_F(Conversions, EveryInputToEveryOutputComesBackThroughTheGraphicsSource) {
  struct Out {
    const char *name, *extra;
    bool eight_bit, lossy, series;
  };
  const Out outs[] = {{"o.flc", "", true, false, false},     {"o.avi", "", false, false, false},
                      {"c.avi", "--codec ffv1", false, false, false},
                      {"o.bmp", "", false, false, true},    {"o.png", "", false, false, true},
                      {"o.tga", "", false, false, true},    {"o.tif", "", false, false, true},
                      {"o.pcx", "", true, false, true},     {"o.gif", "", true, false, true},
                      {"o.jpg", "", false, true, true}};
  for (const char *in : {"in.fli", "in.avi", "in.mov", "in.lst"}) {
    const Frames want = frames_of(inputs->file(in));
    ASSERT_EQ(want.size(), static_cast<size_t>(kFrames)) << in;
    const bool indexed_input = std::string(in) == "in.fli";
    for (const Out &o : outs) {
      SCOPED_TRACE(std::string(in) + " -> " + o.name);
      const ToolRun r =
          run_tool(VEXCONV, shell_quote(inputs->file(in)) + " " + q(o.name) + " -q -y " + o.extra, dir);
      ASSERT_EQ(r.status, 0) << r.err;
      Frames got;
      if (o.series) {
        const std::string stem = std::string(o.name).substr(0, 1), ext = std::string(o.name).substr(1);
        for (int i = 0; i < kFrames; ++i) {
          const Frames one = frames_of(dir.file(stem + std::to_string(i) + ext));
          ASSERT_EQ(one.size(), 1u) << i;
          got.push_back(one[0]);
        }
      } else {
        got = frames_of(dir.file(o.name));
      }
      ASSERT_EQ(got.size(), want.size());
      for (size_t f = 0; f < want.size(); ++f) {
        if (o.lossy)
          EXPECT_GE(psnr(got[f], want[f]), 30) << "frame " << f;
        else if (o.eight_bit && !indexed_input)
          EXPECT_GE(psnr(got[f], want[f]), 20) << "frame " << f;
        else
          EXPECT_EQ(got[f], want[f]) << "frame " << f;
      }
    }
  }
}

TEST_F(Conversions, AviOutputsCarryTheInputsSound) {
  ffmpeg("-f lavfi -i testsrc=size=40x30:rate=10:duration=1 -f lavfi -i sine=frequency=300:sample_rate=11025:duration=1 "
         "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 " + q("snd.avi"));
  const ToolRun r = run_tool(VEXCONV, q("snd.avi") + " " + q("o.avi") + " /B16 /R22050 -q", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  // The track holds what the sound source delivers for the same input at
  // the same settings (16 bits, twice the rate), sample for sample.
  EXPECT_EQ(ffprobe(dir.file("o.avi"), "-select_streams a:0 -show_entries stream=sample_rate,bits_per_sample "
                                       "-of csv=p=0"),
            "22050,16\n");
  // The resampler may end a few samples short of the second: vexconv
  // fills the movie's length with silence.
  const std::vector<uint8_t> track = ffmpeg_decode(dir.file("o.avi"), "-map 0:a -f s16le");
  const std::vector<uint8_t> delivered = delivered_sound(dir.file("snd.avi"), 22050, 16, 22050 * 2);
  ASSERT_EQ(track.size(), 22050u * 2) << "one second of 16-bit mono at 22050 Hz";
  ASSERT_GE(delivered.size(), 22000u * 2);
  EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), track.begin()));
  EXPECT_TRUE(std::all_of(track.begin() + static_cast<ptrdiff_t>(delivered.size()), track.end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(run_tool(VEXCONV, q("snd.avi") + " " + q("n.avi") + " /N -q", dir).status, 0);
  EXPECT_EQ(ffprobe(dir.file("n.avi"), "-select_streams a -show_entries stream=index -of csv=p=0"), "") << "/N: no track";

  // A FLIC (no sound of its own, 6 frames at 10 a second) with a WAV's
  // sound: the track is the first 0.6 s of what the sound source delivers.
  ffmpeg("-f lavfi -i sine=frequency=500:sample_rate=22050:duration=1 -c:a pcm_s16le " + q("w.wav"));
  ASSERT_EQ(run_tool(VEXCONV, shell_quote(inputs->file("in.fli")) + " " + q("f.avi") + " --sound " + q("w.wav") + " -q",
                     dir).status, 0);
  const std::vector<uint8_t> wav = delivered_sound(dir.file("w.wav"), 0, 0, 26460);
  ASSERT_EQ(wav.size(), 26460u);
  EXPECT_EQ(ffmpeg_decode(dir.file("f.avi"), "-map 0:a -f s16le"), wav);

  // A movie of two sound tracks (11025 and 22050 Hz): --track picks the
  // second (AVI audio streams count from 0), without it the first.
  ffmpeg("-f lavfi -i testsrc=size=40x30:rate=10:duration=1 "
         "-f lavfi -i sine=frequency=300:sample_rate=11025:duration=1 "
         "-f lavfi -i sine=frequency=900:sample_rate=22050:duration=1 -map 0 -map 1 -map 2 -c:v rawvideo "
         "-pix_fmt bgr24 -c:a pcm_s16le " + q("two.avi"));
  for (const auto &[args, rate, track] : {std::tuple<std::string, int32_t, int32_t>{"", 11025, 0},
                                          {" --track 1", 22050, 1}, {" --track=1 --sound " + q("two.avi"), 22050, 1}}) {
    SCOPED_TRACE(args);
    ASSERT_EQ(run_tool(VEXCONV, q("two.avi") + " " + q("t.avi") + args + " /O -q", dir).status, 0);
    EXPECT_EQ(ffprobe(dir.file("t.avi"), "-select_streams a -show_entries stream=sample_rate -of csv=p=0"),
              std::to_string(rate) + "\n");
    const std::vector<uint8_t> picked = delivered_sound(dir.file("two.avi"), 0, 0, rate * 2u, track);
    ASSERT_EQ(picked.size(), rate * 2u);
    EXPECT_EQ(ffmpeg_decode(dir.file("t.avi"), "-map 0:a -f s16le"), picked);
  }
  const ToolRun none = run_tool(VEXCONV, q("two.avi") + " " + q("t2.avi") + " --track 2 -q", dir);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE((none.err + none.out).find("no sound track 2"), std::string::npos) << none.err << none.out;
}

TEST_F(Conversions, RefusalsWriteNothingAndLeaveTheInput) {
  const std::string in = shell_quote(inputs->file("in.avi"));
  const std::string before = bytes_of(inputs->file("in.avi"));
  struct Case {
    std::string args;
    int status;
    const char *says;
  };
  fs::create_directory(dir.path() / "out");
  std::ofstream(dir.file("out/old.flc")) << "old";
  // An AVI of no frames at all (whole, as ffprobe reads it): nothing to
  // convert.
  OGFilePtr zero(OGFileCreate(nullptr, dir.file("zero.avi").c_str(), 1, 0, 15, 1, 8, 8, 8, nullptr,
                              OGFILE_NO_OVERWRITE_QUESTION));
  ASSERT_GT(OGFileClose(zero.release()), 0u);
  const Case cases[] = {
      {in + " " + q("missing/o.flc"), 1, "Error creating the output flic."},
      {in + " " + q("out/o.avi") + " --codec no-such-encoder", 1, "Error creating the output AVI file."},
      {in + " " + q("out/o.mov"), 1, "no output of this kind"},
      {in + " " + in + " /O", 1, "Output filename must be different than the input filename."},
      {in + " " + q("out/old.flc"), 1, "exists; add /O to replace it"},
      {in + " " + q("out/o.flc") + " /S5 /E2", 2, "/S and /E"},
      {q("out/none.avi") + " " + q("out/o.flc"), 1, "no such file"},
      {in + " " + q("out/o.avi") + " --codec", 2, "--codec needs"},
      {in + " " + q("out/o.avi") + " /B12", 2, "/B takes 8 or 16"},
      {q("zero.avi") + " " + q("out/o.png"), 1, "zero.avi: the video track holds no frames"},
      {in + " " + q("out/o.png") + " --sound " + in, 2, "o.png takes none"},
      {in + " " + q("out/o.flc") + " --track 1", 2, "--sound and --track pick the sound track of an AVI output"},
      {in + " " + q("out/o.avi") + " --track x", 2, "--track needs a track number"},
      {in + " " + q("out/o.wav") + " --sound " + in, 2, "a sound output takes IN's sound"}};
  for (const Case &c : cases) {
    const ToolRun r = run_tool(VEXCONV, c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE((r.err + r.out).find(c.says), std::string::npos) << c.args << "\n" << r.err << r.out;
  }
  std::vector<std::string> left;
  for (const auto &e : fs::directory_iterator(dir.path() / "out"))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"old.flc"}) << "nothing written, not even a temporary file";
  EXPECT_EQ(bytes_of(dir.file("out/old.flc")), "old");
  EXPECT_EQ(bytes_of(inputs->file("in.avi")), before);
}

// 12000 frames to a still series take five digits; the output rate makes
// them out of one input frame (a 4 x 4 BMP each).
TEST_F(Conversions, TwelveThousandStillsTakeFiveDigits) {
  ffmpeg("-f lavfi -i color=c=red:size=4x4:rate=1:duration=1 -c:v rawvideo -pix_fmt bgr24 " + q("one.avi"));
  fs::create_directory(dir.path() / "s");
  const ToolRun r = run_tool(VEXCONV, q("one.avi") + " " + q("s/f.bmp") + " /F1 /A12000", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("f00000.bmp to f11999.bmp: 12000 frames"), std::string::npos) << r.out;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "s"), {}), 12000);
  EXPECT_EQ(frames_of(dir.file("s/f11999.bmp")), frames_of(dir.file("one.avi")));
}

// Runs cmd through /bin/sh in a child; its pid, or -1.
pid_t start_shell(const std::string &cmd) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

// Ctrl-C in the middle: vexconv stops, removes its temporary file and
// leaves OUT as it was (here: absent), exiting 1.
TEST_F(Conversions, CtrlCLeavesNoOutput) {
  ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=20 -c:v mpeg4 -q:v 5 " + q("long.avi"));
  fs::create_directory(dir.path() / "o");
  const std::string cmd = "exec " + shell_quote(VEXCONV) + " " + q("long.avi") + " " + q("o/o.avi") +
                          " --codec ffv1 </dev/null 2>" + q("err.txt");
  const pid_t pid = start_shell(cmd);
  ASSERT_GE(pid, 0);
  // Once the temporary file exists the job is under way.
  bool started = false;
  for (int i = 0; i < 600 && !started; ++i) {
    for (const auto &e : fs::directory_iterator(dir.path() / "o"))
      started = started || e.path().filename().string().rfind(".vx", 0) == 0;
    if (!started)
      usleep(20000);
  }
  ASSERT_TRUE(started) << "no temporary file appeared";
  usleep(200000);
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by the job";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(bytes_of(dir.file("err.txt")).find("cancelled"), std::string::npos) << bytes_of(dir.file("err.txt"));
  EXPECT_TRUE(fs::is_empty(dir.path() / "o")) << "neither OUT nor the temporary file";
}

// Still i of a series whose numbers have `digits` digits.
std::string still(int i, int digits) {
  const std::string n = std::to_string(i);
  return "f" + std::string(static_cast<size_t>(digits) - n.size(), '0') + n + ".png";
}

void write_originals(const fs::path &at, int digits) {
  for (int i = 0; i < 4; ++i)
    std::ofstream(at / still(i, digits)) << "original " << i;
}

// The files a still series would replace, byte for byte, and nothing else.
void expect_only_originals(const fs::path &at, int digits) {
  std::set<std::string> names, want;
  for (const auto &e : fs::directory_iterator(at))
    names.insert(e.path().filename().string());
  for (int i = 0; i < 4; ++i)
    want.insert(still(i, digits));
  EXPECT_EQ(names, want) << "no new still, no temporary file";
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(bytes_of((at / still(i, digits)).string()), "original " + std::to_string(i));
}

// A still series after -y that Ctrl-C cancels part-way, or that fails
// when the disk fills, leaves the files it would have replaced as they
// were and says which names it did not write.
TEST_F(Conversions, ACancelledOrFailedSeriesKeepsTheFilesItWouldReplace) {
  ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=12 -c:v mpeg4 -q:v 5 " + q("long.avi")); // 300 frames
  const fs::path s = dir.path() / "s";
  fs::create_directory(s);
  write_originals(s, 3);
  const std::string cmd =
      "exec " + shell_quote(VEXCONV) + " " + q("long.avi") + " " + q("s/f.png") + " -y </dev/null 2>" + q("err.txt");
  const pid_t pid = start_shell(cmd);
  ASSERT_GE(pid, 0);
  // Under way once anything but the originals shows in the folder.
  bool started = false;
  for (int i = 0; i < 600 && !started; ++i) {
    started = std::distance(fs::directory_iterator(s), {}) > 4;
    if (!started)
      usleep(20000);
  }
  usleep(100000);
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(started) << "nothing was written within 12 s";
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by the job";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = bytes_of(dir.file("err.txt"));
  EXPECT_NE(err.find("vexconv: cancelled after "), std::string::npos) << err;
  EXPECT_NE(err.find("f000.png to " + dir.file("s/f299.png") + " not written"), std::string::npos) << err;
  expect_only_originals(s, 3);

  // 40 stills of noise, about 9 KiB each, into 64 KiB (root only).
  const fs::path mnt = dir.path() / "mnt";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  struct Unmount {
    const fs::path &at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mnt};
  ffmpeg("-f lavfi -i color=c=gray:size=64x48:rate=10:duration=4 -vf noise=alls=100:allf=t+u -c:v rawvideo "
         "-pix_fmt bgr24 " +
         q("noise.avi"));
  write_originals(mnt, 2);
  const ToolRun r = run_tool(VEXCONV, q("noise.avi") + " " + shell_quote((mnt / "f.png").string()) + " -y", dir);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("f00.png to "), std::string::npos) << r.err;
  expect_only_originals(mnt, 2);
}


// Ctrl-C half a second into a conversion whose first frame waits for the
// palette analysis of the whole movie (one palette for all 1500 frames:
// the analysis alone takes several seconds here): vexconv ends within a
// second of the signal, having written no frame, says so, exits 1 and
// leaves nothing in OUT's folder, not even the temporary file.
TEST_F(Conversions, CtrlCDuringThePaletteAnalysisEndsWithinASecond) {
  ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=60 -c:v mpeg4 -q:v 5 " + q("long.avi"));
  fs::create_directory(dir.path() / "o");
  const std::string cmd = "exec " + shell_quote(VEXCONV) + " " + q("long.avi") + " " + q("o/o.flc") +
                          " </dev/null >" + q("out.txt") + " 2>" + q("err.txt");
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  const pid_t pid = start_shell(cmd);
  ASSERT_GE(pid, 0);
  std::this_thread::sleep_until(started + std::chrono::milliseconds(500));
  kill(pid, SIGINT);
  const Clock::time_point signalled = Clock::now();
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() - signalled < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double after = std::chrono::duration<double>(Clock::now() - signalled).count();
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "still running 20 s after the signal";
  }
  EXPECT_LT(after, 1.0) << "seconds from the signal to the end";
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by the job";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = bytes_of(dir.file("err.txt"));
  EXPECT_NE(err.find("cancelled after 0 frames"), std::string::npos) << err;
  std::vector<std::string> left;
  for (const auto &e : fs::directory_iterator(dir.path() / "o"))
    left.push_back(e.path().filename().string());
  EXPECT_TRUE(left.empty()) << "left in OUT's folder: " << left.front();
}

// A full disk and a read-only one, on a small tmpfs of their own (root
// only: skipped elsewhere): each output fails naming the cause, and the
// disk is left empty.
TEST_F(Conversions, AFullOrReadOnlyDiskFailsAndLeavesNothing) {
  const fs::path mnt = dir.path() / "mnt";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=16k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  struct Unmount {
    const fs::path &at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mnt};
  ffmpeg("-f lavfi -i testsrc=size=320x240:rate=10:duration=2 -f lavfi -i sine=sample_rate=22050:duration=2 "
         "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le " + q("big.avi"));
  for (const bool read_only : {false, true}) {
    if (read_only) {
      ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=16k"), 0);
    }
    for (const char *out : {"o.flc", "o.avi", "o.vcs", "s.bmp", "s.png"}) {
      const ToolRun r = run_tool(VEXCONV, q("big.avi") + " " + shell_quote((mnt / out).string()) + " -q", dir);
      EXPECT_EQ(r.status, 1) << out << ": " << r.err;
      EXPECT_NE(r.err.find(read_only ? "Read-only file system" : "No space left on device"), std::string::npos)
          << out << ": " << r.err;
      EXPECT_TRUE(fs::is_empty(mnt)) << out;
    }
  }
}

} // namespace
} // namespace vex::testkit
