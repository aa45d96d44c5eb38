// vexconv's own part in a conversion: the output it makes of each kind of
// input (one row each; the writer's pixels are ogfile_output_test's), the
// sound it routes into an AVI, its refusals, a Ctrl-C and a full disk: in
// each failure nothing is written, the files OUT would replace are kept,
// no temporary stays and the input is untouched.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <tuple>

#include "testkit/gfile/source_calls.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"

namespace vex::testkit {
namespace {

namespace fs = std::filesystem;
using Frames = std::vector<std::vector<uint8_t>>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr int kFrames = 6;

// Every frame the graphics source delivers, at 32 bits with the fourth
// byte cleared (the test fails when the name does not open).
Frames frames_of(const std::string &name) {
  Frames out = gfile_test::frames(name, {.flags = GFILE_TRUE_COLOUR});
  for (std::vector<uint8_t> &f : out)
    for (size_t i = 3; i < f.size(); i += 4)
      f[i] = 0;
  return out;
}

std::string text_of(const fs::path &path) {
  const std::vector<uint8_t> b = read_file(path.string());
  return {b.begin(), b.end()};
}

class Conversions : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    inputs = new TempDir;
    const std::string src = "-f lavfi -i testsrc=size=40x30:rate=10:duration=0.6 ";
    ffmpeg(src + "-f lavfi -i sine=frequency=300:sample_rate=11025:duration=0.6 -c:v rawvideo -pix_fmt bgr24 " +
           "-c:a pcm_u8 " + shell_quote(inputs->file("in.avi")));
    ffmpeg(src + "-pix_fmt rgb24 -start_number 0 " + shell_quote(inputs->file("p%d.png")));
    std::ofstream lst(inputs->file("in.lst"));
    for (int i = 0; i < kFrames; ++i)
      lst << inputs->file("p" + std::to_string(i) + ".png") << "\n";
  }
  static void TearDownTestSuite() { delete inputs; }
  std::string q(const std::string &name) const { return shell_quote(dir.file(name)); }
  static std::string in(const std::string &name) { return shell_quote(inputs->file(name)); }
  ToolRun vexconv(const std::string &args) const { return run_tool(VEXCONV, args, dir); }
  // Stills f000.png to f003.png that hold "original i"; then that they
  // are all there is, as they were.
  static void write_originals(const fs::path &at) {
    for (int i = 0; i < 4; ++i)
      std::ofstream(at / ("f00" + std::to_string(i) + ".png")) << "original " << i;
  }
  static void expect_only_originals(const fs::path &at) {
    EXPECT_EQ(entry_names(at), (std::set<std::string>{"f000.png", "f001.png", "f002.png", "f003.png"}))
        << "no new still, no temporary file";
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(text_of(at / ("f00" + std::to_string(i) + ".png")), "original " + std::to_string(i));
  }
  static inline TempDir *inputs = nullptr;
  TempDir dir;
};

// The frames flow from an input through vexconv into every kind of
// output its name picks: lossless outputs of 24 bits give the frames back
// exactly, the 8-bit ones share one palette, JPEG is lossy, and stills
// come as a numbered series. (The writer's pixels, every kind of them, are
// ogfile_output_test's; vexconv's 8-bit FLC flic_tools_test's and gfile's
// tools_test's.)
TEST_F(Conversions, AListToEveryOutputComesBackThroughTheGraphicsSource) {
  struct Out {
    const char *name, *extra;
    bool eight_bit, lossy, series;
  };
  const Out outs[] = {{"o.flc", "", true, false, false},  {"o.avi", "", false, false, false},
                      {"c.avi", "--codec ffv1", false, false, false}, {"o.bmp", "", false, false, true},
                      {"o.png", "", false, false, true},  {"o.tga", "", false, false, true},
                      {"o.tif", "", false, false, true},  {"o.pcx", "", true, false, true},
                      {"o.gif", "", true, false, true},   {"o.jpg", "", false, true, true}};
  const Frames want = frames_of(inputs->file("in.lst"));
  ASSERT_EQ(want.size(), static_cast<size_t>(kFrames));
  for (const Out &o : outs) {
    SCOPED_TRACE(o.name);
    const ToolRun r = vexconv(in("in.lst") + " " + q(o.name) + " -q -y " + o.extra);
    ASSERT_EQ(r.status, 0) << r.err;
    Frames got = o.series ? Frames{} : frames_of(dir.file(o.name));
    for (int i = 0; o.series && i < kFrames; ++i) {
      const Frames one = frames_of(dir.file(o.name[0] + std::to_string(i) + (o.name + 1)));
      ASSERT_EQ(one.size(), 1u) << i;
      got.push_back(one[0]);
    }
    ASSERT_EQ(got.size(), want.size());
    for (size_t f = 0; f < want.size(); ++f)
      if (o.lossy || o.eight_bit)
        EXPECT_GE(psnr(got[f], want[f]), o.lossy ? 30 : 20) << "frame " << f;
      else
        EXPECT_EQ(got[f], want[f]) << "frame " << f;
  }
}

// The track holds what the sound source delivers for the same input at
// the same settings, sample for sample, for the movie's 0.6 s: the input's
// own (8-bit at 11025 Hz, and asked for at 16 bits and twice the rate, the
// end filled with silence where the resampler ends a few samples short),
// or a WAV's given with --sound; /N: no track. (--track and /T are
// sfile_tools_test's.)
TEST_F(Conversions, AviOutputsCarryTheSoundTheSwitchesPick) {
  ffmpeg("-f lavfi -i sine=frequency=500:sample_rate=22050:duration=1 -c:a pcm_s16le " + q("w.wav"));
  const std::tuple<std::string, std::string, SoundOptions, size_t> rows[] = {
      {"", inputs->file("in.avi"), {.bits = 16}, 11025},
      {" /B16 /R22050", inputs->file("in.avi"), {.rate = 22050, .bits = 16}, 22050},
      {" --sound " + q("w.wav"), dir.file("w.wav"), {}, 22050}};
  for (const auto &[args, source, asked, rate] : rows) {
    SCOPED_TRACE(args);
    ASSERT_EQ(vexconv(in("in.avi") + " " + q("t.avi") + args + " /O -q").status, 0);
    EXPECT_EQ(ffprobe(dir.file("t.avi"), "-show_entries stream=sample_rate -select_streams a -of csv=p=0"),
              std::to_string(rate) + "\n");
    const size_t bytes = rate * 2 * 6 / 10;
    std::vector<uint8_t> want = read_sound(open_sound(source, asked).get());
    want.resize(std::min(want.size(), bytes));
    EXPECT_GE(want.size() + 100, bytes) << "at most a few samples of silence at the end";
    want.resize(bytes, 0);
    EXPECT_EQ(ffmpeg_decode(dir.file("t.avi"), "-map 0:a -f s16le"), want);
  }
  EXPECT_EQ(vexconv(in("in.avi") + " " + q("n.avi") + " /N -q").status, 0);
  EXPECT_EQ(ffprobe(dir.file("n.avi"), "-select_streams a -show_entries stream=index -of csv=p=0"), "") << "/N";
}

// vexconv's own refusals (those of names and ranges it shares with the
// FLIC tools are flic_tools_test's).
TEST_F(Conversions, RefusalsWriteNothingAndLeaveTheInput) {
  const std::string avi = in("in.avi"), before = text_of(inputs->file("in.avi"));
  fs::create_directory(dir.path() / "out");
  std::ofstream(dir.file("out/old.flc")) << "old";
  // An AVI of no frames at all (whole, as ffprobe reads it): nothing to
  // convert.
  ASSERT_GT(OGFileClose(OGFileCreate(nullptr, dir.file("zero.avi").c_str(), 1, 0, 15, 1, 8, 8, 8, nullptr, 0)), 0u);
  const std::tuple<std::string, int, const char *> cases[] = {
      {avi + " " + q("out/o.avi") + " --codec no-such-encoder", 1, "Error creating the output AVI file."},
      {avi + " " + q("out/old.flc"), 1, "exists; add /O to replace it"},
      {avi + " " + q("out/o.avi") + " --codec", 2, "--codec needs"},
      {avi + " " + q("out/o.avi") + " /B12", 2, "/B takes 8 or 16"},
      {q("zero.avi") + " " + q("out/o.png"), 1, "zero.avi: the video track holds no frames"},
      {avi + " " + q("out/o.png") + " --sound " + avi, 2, "o.png takes none"},
      {avi + " " + q("out/o.avi") + " --track=x", 2, "--track needs a track number"},
      {avi + " " + q("missing/o.wav"), 1, "o.wav: cannot create it"},
      {avi + " " + q("out/o.flc") + " --track 1", 2, "--sound and --track pick the sound track of an AVI output"},
      {avi + " " + q("out/o.avi") + " --track x", 2, "--track needs a track number"},
      {avi + " " + q("out/o.avi") + " --track 1", 1, "no sound track 1"},
      {avi + " " + q("out/o.wav") + " --sound " + avi, 2, "a sound output takes IN's sound"}};
  for (const auto &[args, status, says] : cases) {
    const ToolRun r = vexconv(args);
    EXPECT_EQ(r.status, status) << args << "\n" << r.err;
    EXPECT_NE((r.err + r.out).find(says), std::string::npos) << args << "\n" << r.err << r.out;
  }
  EXPECT_EQ(entry_names(dir.path() / "out"), std::set<std::string>{"old.flc"}) << "nothing written, not even a temporary";
  EXPECT_EQ(text_of(dir.file("out/old.flc")), "old");
  EXPECT_EQ(text_of(inputs->file("in.avi")), before);
}

// Ctrl-C while a still series is written: vexconv stops, removes its
// temporary files, leaves the stills the series would replace as they
// were and says what it did not write, exiting 1 (not ended by the signal
// itself).
TEST_F(Conversions, CtrlCLeavesOutAsItWas) {
  ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=12 -c:v mpeg4 -q:v 5 " + q("long.avi")); // 300 frames
  fs::create_directory(dir.path() / "s");
  write_originals(dir.path() / "s");
  const std::string cmd = "exec " + shell_quote(VEXCONV) + " " + q("long.avi") + " " + q("s/f.png") +
                          " -y </dev/null >/dev/null 2>" + q("err.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // Under way once temporary stills stand beside the four originals.
  const auto start = Clock::now();
  while (entry_names(dir.path() / "s").size() <= 4 && Clock::now() - start < 12s)
    std::this_thread::sleep_for(20ms);
  std::this_thread::sleep_for(100ms);
  kill(pid, SIGINT);
  const auto signalled = Clock::now();
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0 && Clock::now() - signalled < 20s)
    std::this_thread::sleep_for(5ms);
  if (Clock::now() - signalled >= 20s) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "still running 20 s after the signal";
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by the job";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  expect_contains(text_of(dir.file("err.txt")),
                  {"vexconv: cancelled after ", "f000.png to " + dir.file("s/f299.png") + " not written"});
  expect_only_originals(dir.path() / "s");
}

// A still series that fills a small tmpfs of its own (root only: skipped
// elsewhere) fails naming the cause and the names it did not write, and
// keeps the files it would have replaced; so does a FLIC. (Every output
// failing at every byte is write_fault_test's.)
TEST_F(Conversions, AFullDiskFailsAndLeavesNothing) {
  const fs::path mnt = dir.path() / "mnt";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  struct Unmount {
    const fs::path &at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mnt};
  // 100 stills of noise, about 9 KiB each.
  ffmpeg("-f lavfi -i color=c=gray:size=64x48:rate=10:duration=10 -vf noise=alls=100:allf=t+u -c:v rawvideo "
         "-pix_fmt bgr24 " +
         q("noise.avi"));
  write_originals(mnt);
  const ToolRun r = vexconv(q("noise.avi") + " " + shell_quote((mnt / "f.png").string()) + " -y");
  EXPECT_EQ(r.status, 1) << r.err;
  expect_contains(r.err, {"No space left on device", "f000.png to "});
  expect_only_originals(mnt);
  // A FLIC whose frames fill the disk fails at a frame, not only at its
  // close, and leaves nothing either.
  const ToolRun flc = vexconv(q("noise.avi") + " " + shell_quote((mnt / "o.flc").string()) + " -q");
  EXPECT_EQ(flc.status, 1) << flc.err;
  expect_contains(flc.err, {"No space left on device"});
  expect_only_originals(mnt);
}

} // namespace
} // namespace vex::testkit
