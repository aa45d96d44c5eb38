// vexconv from every kind of input the sources read to every kind the
// writer writes: each output read back through the graphics source and
// compared with the input's own frames; then the ways a conversion must
// fail, be cancelled or run out of disk, with nothing written, the files
// it would replace kept and the input untouched.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <tuple>

#include "testkit/flic/fli_writer.h"
#include "testkit/gfile/source_calls.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/expect_text.h"
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

// The first `bytes` bytes the sound source delivers for a file at a rate
// and depth (0: the file's own) from a track (0: the first); fewer when it
// has less.
std::vector<uint8_t> delivered_sound(const std::string &name, int32_t rate, int32_t bits, size_t bytes,
                                     int32_t track = 0) {
  std::vector<uint8_t> all = read_sound(open_sound(name, {.rate = rate, .bits = bits, .track = track}).get());
  all.resize(std::min(all.size(), bytes));
  return all;
}

std::string bytes_of(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Conversions : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    inputs = new TempDir;
    ASSERT_FALSE(write_fli(PatternAnimation({.width = 40, .height = 30, .frames = kFrames, .cycle = true}), 7,
                           inputs->file("in.fli"))
                     .empty());
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
  static std::string in(const std::string &name) { return shell_quote(inputs->file(name)); }
  ToolRun vexconv(const std::string &args) const { return run_tool(VEXCONV, args, dir); }
  // Files i of a still series whose numbers have `digits` digits hold
  // "original i".
  static void write_originals(const fs::path &at, int digits) {
    for (int i = 0; i < 4; ++i)
      std::ofstream(at / still(i, digits)) << "original " << i;
  }
  static std::string still(int i, int digits) {
    const std::string n = std::to_string(i);
    return "f" + std::string(static_cast<size_t>(digits) - n.size(), '0') + n + ".png";
  }
  // The files a still series would replace, byte for byte, and nothing else.
  static void expect_only_originals(const fs::path &at, int digits) {
    std::set<std::string> want;
    for (int i = 0; i < 4; ++i) {
      want.insert(still(i, digits));
      EXPECT_EQ(bytes_of(at / still(i, digits)), "original " + std::to_string(i));
    }
    EXPECT_EQ(entry_names(at), want) << "no new still, no temporary file";
  }
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
  const Out outs[] = {{"o.flc", "", true, false, false},
                      {"o.avi", "", false, false, false},
                      {"c.avi", "--codec ffv1", false, false, false},
                      {"o.bmp", "", false, false, true},
                      {"o.png", "", false, false, true},
                      {"o.tga", "", false, false, true},
                      {"o.tif", "", false, false, true},
                      {"o.pcx", "", true, false, true},
                      {"o.gif", "", true, false, true},
                      {"o.jpg", "", false, true, true}};
  for (const std::string input : {"in.fli", "in.avi", "in.mov", "in.lst"}) {
    const Frames want = frames_of(inputs->file(input));
    ASSERT_EQ(want.size(), static_cast<size_t>(kFrames)) << input;
    for (const Out &o : outs) {
      SCOPED_TRACE(input + " -> " + o.name);
      const ToolRun r = vexconv(in(input) + " " + q(o.name) + " -q -y " + o.extra);
      ASSERT_EQ(r.status, 0) << r.err;
      Frames got = o.series ? Frames{} : frames_of(dir.file(o.name));
      for (int i = 0; o.series && i < kFrames; ++i) {
        const Frames one = frames_of(dir.file(o.name[0] + std::to_string(i) + (o.name + 1)));
        ASSERT_EQ(one.size(), 1u) << i;
        got.push_back(one[0]);
      }
      ASSERT_EQ(got.size(), want.size());
      for (size_t f = 0; f < want.size(); ++f)
        if (o.lossy || (o.eight_bit && input != "in.fli"))
          EXPECT_GE(psnr(got[f], want[f]), o.lossy ? 30 : 20) << "frame " << f;
        else
          EXPECT_EQ(got[f], want[f]) << "frame " << f;
    }
  }
}

// The track holds what the sound source delivers for the same input at
// the same settings, sample for sample: the input's own (at 16 bits and
// twice the rate, the movie's length filled with silence where the
// resampler ends a few samples short), a WAV's given with --sound, or the
// track --track picks (AVI audio streams count from 0); /N: no track.
TEST_F(Conversions, AviOutputsCarryTheInputsSound) {
  ffmpeg(
      "-f lavfi -i testsrc=size=40x30:rate=10:duration=1 -f lavfi -i sine=frequency=300:sample_rate=11025:duration=1 "
      "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 " +
      q("snd.avi"));
  ASSERT_EQ(vexconv(q("snd.avi") + " " + q("o.avi") + " /B16 /R22050 -q").status, 0);
  EXPECT_EQ(ffprobe(dir.file("o.avi"), "-select_streams a:0 -show_entries stream=sample_rate,bits_per_sample "
                                       "-of csv=p=0"),
            "22050,16\n");
  std::vector<uint8_t> track = ffmpeg_decode(dir.file("o.avi"), "-map 0:a -f s16le");
  const std::vector<uint8_t> delivered = delivered_sound(dir.file("snd.avi"), 22050, 16, 22050 * 2);
  ASSERT_EQ(track.size(), 22050u * 2) << "one second of 16-bit mono at 22050 Hz";
  ASSERT_GE(delivered.size(), 22000u * 2);
  EXPECT_EQ(track, [&] { // then silence
    std::vector<uint8_t> want = delivered;
    want.resize(track.size(), 0);
    return want;
  }());
  EXPECT_EQ(vexconv(q("snd.avi") + " " + q("n.avi") + " /N -q").status, 0);
  EXPECT_EQ(ffprobe(dir.file("n.avi"), "-select_streams a -show_entries stream=index -of csv=p=0"), "") << "/N";

  // A FLIC (no sound of its own, 6 frames at 10 a second) with a WAV's
  // sound: the first 0.6 s of it.
  ffmpeg("-f lavfi -i sine=frequency=500:sample_rate=22050:duration=1 -c:a pcm_s16le " + q("w.wav"));
  ASSERT_EQ(vexconv(in("in.fli") + " " + q("f.avi") + " --sound " + q("w.wav") + " -q").status, 0);
  const std::vector<uint8_t> wav = delivered_sound(dir.file("w.wav"), 0, 0, 26460);
  ASSERT_EQ(wav.size(), 26460u);
  EXPECT_EQ(ffmpeg_decode(dir.file("f.avi"), "-map 0:a -f s16le"), wav);

  ffmpeg("-f lavfi -i testsrc=size=40x30:rate=10:duration=1 "
         "-f lavfi -i sine=frequency=300:sample_rate=11025:duration=1 "
         "-f lavfi -i sine=frequency=900:sample_rate=22050:duration=1 -map 0 -map 1 -map 2 -c:v rawvideo "
         "-pix_fmt bgr24 -c:a pcm_s16le " +
         q("two.avi"));
  for (const auto &[args, rate, track] : {std::tuple<std::string, int32_t, int32_t>{"", 11025, 0},
                                          {" --track 1", 22050, 1},
                                          {" --track=1 --sound " + q("two.avi"), 22050, 1}}) {
    SCOPED_TRACE(args);
    ASSERT_EQ(vexconv(q("two.avi") + " " + q("t.avi") + args + " /O -q").status, 0);
    EXPECT_EQ(ffprobe(dir.file("t.avi"), "-select_streams a -show_entries stream=sample_rate -of csv=p=0"),
              std::to_string(rate) + "\n");
    const std::vector<uint8_t> picked = delivered_sound(dir.file("two.avi"), 0, 0, rate * 2u, track);
    ASSERT_EQ(picked.size(), rate * 2u);
    EXPECT_EQ(ffmpeg_decode(dir.file("t.avi"), "-map 0:a -f s16le"), picked);
  }
  const ToolRun none = vexconv(q("two.avi") + " " + q("t2.avi") + " --track 2 -q");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE((none.err + none.out).find("no sound track 2"), std::string::npos) << none.err << none.out;
}

TEST_F(Conversions, RefusalsWriteNothingAndLeaveTheInput) {
  const std::string avi = in("in.avi"), before = bytes_of(inputs->file("in.avi"));
  fs::create_directory(dir.path() / "out");
  std::ofstream(dir.file("out/old.flc")) << "old";
  // An AVI of no frames at all (whole, as ffprobe reads it): nothing to
  // convert.
  OGFILE *zero = OGFileCreate(nullptr, dir.file("zero.avi").c_str(), 1, 0, 15, 1, 8, 8, 8, nullptr, 0);
  ASSERT_GT(OGFileClose(zero), 0u);
  const std::tuple<std::string, int, const char *> cases[] = {
      {avi + " " + q("missing/o.flc"), 1, "Error creating the output flic."},
      {avi + " " + q("out/o.avi") + " --codec no-such-encoder", 1, "Error creating the output AVI file."},
      {avi + " " + q("out/o.mov"), 1, "no output of this kind"},
      {avi + " " + avi + " /O", 1, "Output filename must be different than the input filename."},
      {avi + " " + q("out/old.flc"), 1, "exists; add /O to replace it"},
      {avi + " " + q("out/o.flc") + " /S5 /E2", 2, "/S and /E"},
      {q("out/none.avi") + " " + q("out/o.flc"), 1, "no such file"},
      {avi + " " + q("out/o.avi") + " --codec", 2, "--codec needs"},
      {avi + " " + q("out/o.avi") + " /B12", 2, "/B takes 8 or 16"},
      {q("zero.avi") + " " + q("out/o.png"), 1, "zero.avi: the video track holds no frames"},
      {avi + " " + q("out/o.png") + " --sound " + avi, 2, "o.png takes none"},
      {avi + " " + q("out/o.flc") + " --track 1", 2, "--sound and --track pick the sound track of an AVI output"},
      {avi + " " + q("out/o.avi") + " --track x", 2, "--track needs a track number"},
      {avi + " " + q("out/o.wav") + " --sound " + avi, 2, "a sound output takes IN's sound"}};
  for (const auto &[args, status, says] : cases) {
    const ToolRun r = vexconv(args);
    EXPECT_EQ(r.status, status) << args << "\n" << r.err;
    EXPECT_NE((r.err + r.out).find(says), std::string::npos) << args << "\n" << r.err << r.out;
  }
  EXPECT_EQ(entry_names(dir.path() / "out"), std::set<std::string>{"old.flc"}) << "nothing written, not even a temporary";
  EXPECT_EQ(bytes_of(dir.file("out/old.flc")), "old");
  EXPECT_EQ(bytes_of(inputs->file("in.avi")), before);
}

// 1200 frames to a still series take four digits; the output rate makes
// them out of one input frame (a 4 x 4 BMP each).
TEST_F(Conversions, ManyStillsFromOneFrameTakeTheDigitsTheirCountNeeds) {
  ffmpeg("-f lavfi -i color=c=red:size=4x4:rate=1:duration=1 -c:v rawvideo -pix_fmt bgr24 " + q("one.avi"));
  fs::create_directory(dir.path() / "s");
  const ToolRun r = vexconv(q("one.avi") + " " + q("s/f.bmp") + " /F1 /A1200");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("f0000.bmp to f1199.bmp: 1200 frames"), std::string::npos) << r.out;
  EXPECT_EQ(entry_names(dir.path() / "s").size(), 1200u);
  EXPECT_EQ(frames_of(dir.file("s/f1199.bmp")), frames_of(dir.file("one.avi")));
}

// Ctrl-C in the middle: vexconv stops, removes its temporary files, leaves
// OUT as it was (absent, or the stills a series would replace) and says
// what it did not write, exiting 1 (not ended by the signal itself); in
// the palette analysis of a long movie (one palette for all 1500 frames,
// seconds of work), within a second of the signal, no frame written.
TEST_F(Conversions, CtrlCLeavesOutAsItWas) {
  ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=12 -c:v mpeg4 -q:v 5 " + q("long.avi")); // 300 frames
  ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=60 -c:v mpeg4 -q:v 5 " + q("huge.avi"));
  for (const char *sub : {"o", "s", "p"})
    fs::create_directory(dir.path() / sub);
  write_originals(dir.path() / "s", 3);
  struct Row {
    std::string args;
    std::function<bool()> started;
    int wait_ms;
    std::vector<std::string> says;
    double within_s;
  };
  const auto under_way = [&](const char *sub) { return entry_names(dir.path() / sub).size(); };
  const Row rows[] = {{q("long.avi") + " " + q("o/o.avi") + " --codec ffv1",
                       [&] { return under_way("o") > 0; },
                       200,
                       {"vexconv: cancelled after "},
                       20},
                      {q("long.avi") + " " + q("s/f.png") + " -y",
                       [&] { return under_way("s") > 4; },
                       100,
                       {"vexconv: cancelled after ", "f000.png to " + dir.file("s/f299.png") + " not written"},
                       20},
                      {q("huge.avi") + " " + q("p/o.flc"), [] { return true; }, 500, {"cancelled after 0 frames"}, 1}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.args);
    const std::string cmd = "exec " + shell_quote(VEXCONV) + " " + r.args + " </dev/null >/dev/null 2>" + q("err.txt");
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Under way once the tool catches SIGINT (its handler is in place: a
    // loaded machine can take longer than the wait to start a process) and
    // the row's sign shows.
    const auto catches_sigint = [pid] {
      std::ifstream status("/proc/" + std::to_string(pid) + "/status");
      for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
          return (std::stoull(line.substr(7), nullptr, 16) & (1u << (SIGINT - 1))) != 0;
      return false;
    };
    const auto start = Clock::now();
    while (!(catches_sigint() && r.started()) && Clock::now() - start < 12s)
      std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(r.wait_ms));
    kill(pid, SIGINT);
    const auto signalled = Clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0 && Clock::now() - signalled < 20s)
      std::this_thread::sleep_for(5ms);
    const double after = std::chrono::duration<double>(Clock::now() - signalled).count();
    if (after >= 20) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    EXPECT_LT(after, r.within_s) << "seconds from the signal to the end";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by the job";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = bytes_of(dir.file("err.txt"));
    for (const std::string &s : r.says)
      EXPECT_NE(err.find(s), std::string::npos) << err;
  }
  EXPECT_TRUE(fs::is_empty(dir.path() / "o")) << "neither OUT nor the temporary file";
  EXPECT_TRUE(fs::is_empty(dir.path() / "p")) << "neither OUT nor the temporary file";
  expect_only_originals(dir.path() / "s", 3);
}

// A full disk and a read-only one, on a small tmpfs of their own (root
// only: skipped elsewhere): each output fails naming the cause and the
// disk is left empty; a still series that fills the disk keeps the files
// it would have replaced and says which names it did not write.
TEST_F(Conversions, AFullOrReadOnlyDiskFailsAndLeavesNothing) {
  const fs::path mnt = dir.path() / "mnt";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  struct Unmount {
    const fs::path &at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mnt};
  ffmpeg("-f lavfi -i testsrc=size=320x240:rate=10:duration=2 -f lavfi -i sine=sample_rate=22050:duration=2 "
         "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le " +
         q("big.avi"));
  // 40 stills of noise, about 9 KiB each.
  ffmpeg("-f lavfi -i color=c=gray:size=64x48:rate=10:duration=4 -vf noise=alls=100:allf=t+u -c:v rawvideo "
         "-pix_fmt bgr24 " +
         q("noise.avi"));
  write_originals(mnt, 2);
  const ToolRun r = vexconv(q("noise.avi") + " " + shell_quote((mnt / "f.png").string()) + " -y");
  EXPECT_EQ(r.status, 1) << r.err;
  expect_contains(r.err, {"No space left on device", "f00.png to "});
  expect_only_originals(mnt, 2);
  for (int i = 0; i < 4; ++i)
    fs::remove(mnt / still(i, 2));
  ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT, "size=16k"), 0);
  for (const bool read_only : {false, true}) {
    if (read_only) {
      ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=16k"), 0);
    }
    for (const char *out : {"o.flc", "o.avi", "o.vcs", "s.bmp", "s.png"}) {
      const ToolRun t = vexconv(q("big.avi") + " " + shell_quote((mnt / out).string()) + " -q");
      EXPECT_EQ(t.status, 1) << out << ": " << t.err;
      EXPECT_NE(t.err.find(read_only ? "Read-only file system" : "No space left on device"), std::string::npos)
          << out << ": " << t.err;
      EXPECT_TRUE(fs::is_empty(mnt)) << out;
    }
  }
}

} // namespace
} // namespace vex::testkit
