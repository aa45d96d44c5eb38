// vexconv talking through this family on a real terminal: the progress
// bar, the overwrite question answered Yes and No, /O answering it in
// advance, the palette analysis shown and stopped by Ctrl-C through the
// cancel question, and the progress line ended before the summary or the
// failure.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "testkit/flic/fli_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/ui/ui_harness.h"

namespace vex::ui::test {
namespace {

using namespace std::chrono_literals;

class VexconvTalk : public ::testing::Test {
protected:
  void SetUp() override {
    testkit::PatternOptions o{.width = 64, .height = 48, .frames = frames};
    anim = testkit::PatternAnimation(o);
    ASSERT_FALSE(testkit::write_fli(anim, 5, in).empty());
  }
  // vexconv with args on a fresh terminal.
  std::function<int()> vexconv(std::vector<std::string> args) {
    return [args] {
      std::vector<char *> argv{const_cast<char *>(VEXCONV)};
      for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
      argv.push_back(nullptr);
      execv(VEXCONV, argv.data());
      return 127;
    };
  }
  off_t size_of(const std::string &name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 ? st.st_size : -1;
  }
  uint32_t frames = 30;
  testkit::TempDir dir;
  std::string in = dir.file("in.fli"), out = dir.file("out.flc");
  testkit::PatternAnimation anim{testkit::PatternOptions{}};
};

TEST_F(VexconvTalk, ProgressBarAndOverwriteAnsweredNoThenYes) {
  std::ofstream(out) << "old";
  {
    PtyChild child(vexconv({in, out}));
    ASSERT_TRUE(child.expect("out.flc exists, overwrite? [y/N] ")) << child.output();
    child.type("n\n");
    const ChildResult r = child.finish();
    expect_exit(r, 1);
    expect_said(r, {"exists; add /O to replace it"});
    EXPECT_EQ(size_of(out), 3) << "the old file is kept";
  }
  {
    PtyChild child(vexconv({in, out}));
    ASSERT_TRUE(child.expect("out.flc exists, overwrite? [y/N] ")) << child.output();
    child.type("y\n");
    const ChildResult r = child.finish();
    expect_exit(r);
    EXPECT_GT(size_of(out), 1000);
    expect_said(r, {"] 100% Frame 30 of 30 (100%)", "30 frames, 64 x 48"});
  }
}

TEST_F(VexconvTalk, SwitchOAnswersInAdvanceAndTheInputIsNeverTheOutput) {
  std::ofstream(out) << "old";
  PtyChild child(vexconv({in, out, "/O"}));
  const ChildResult r = child.finish();
  expect_exit(r);
  expect_not_said(r, {"overwrite?"});
  PtyChild dup(vexconv({in, in, "/O"}));
  const ChildResult d = dup.finish();
  expect_exit(d, 1);
  expect_said(d, {"Output filename must be different than the input filename."});
}

// A true-colour movie to FLIC waits for the analysis of all its frames
// before the first one (about two seconds here): the status line shows
// the analysis at once, and Ctrl-C answered Yes ends the job, leaving
// only the input.
TEST_F(VexconvTalk, TheAnalysisShowsAndCtrlCStopsIt) {
  const std::string movie = dir.file("m.avi");
  testkit::ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=20 -c:v mpeg4 -q:v 5 " +
                  testkit::shell_quote(movie));
  PtyChild child(vexconv({movie, out}));
  ASSERT_TRUE(child.expect("Analyzing colors in frame ", 1500ms)) << child.output();
  child.type("\x03");
  ASSERT_TRUE(child.expect("Do you want to cancel? [y/N] ", 1000ms)) << child.output();
  child.type("y\n");
  const ChildResult r = child.finish(1000ms);
  expect_exit(r, 1);
  expect_said(r, {"cancelled after", "out.flc not written"});
  size_t files = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir.path()))
    files += e.path().filename() != "in.fli" && e.path().filename() != "m.avi" ? 1 : 0;
  EXPECT_EQ(files, 0u) << "neither OUT nor its temporary file";
}

} // namespace
// The progress line drawn in place is ended before anything else is said:
// the summary, and the failure after Ctrl-C, start lines of their own.
TEST_F(VexconvTalk, TheProgressLineEndsBeforeTheSummaryAndTheCancel) {
  {
    PtyChild child(vexconv({in, out, "/O"}));
    const ChildResult r = child.finish();
    expect_exit(r);
    expect_said(r, {"(100%)", "\n" + in + " -> " + out + ": 30 frames"});
  }
  // Seconds of conversion (3000 frames), unless cancelled.
  const std::string long_in = dir.file("long.avi");
  testkit::ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=120 -c:v mpeg4 -q:v 8 " + long_in);
  PtyChild child(vexconv({long_in, dir.file("o.avi"), "--codec", "mjpeg", "/O"}));
  ASSERT_TRUE(child.expect("Frame ")) << child.output();
  child.type("\x03");
  ASSERT_TRUE(child.expect("Do you want to cancel? [y/N] ")) << child.output();
  child.type("y\n");
  const ChildResult r = child.finish(20s);
  expect_exit(r, 1);
  expect_said(r, {"\nvexconv: cancelled after "});
  expect_not_said(r, {"leftvexconv"});
}

} // namespace vex::ui::test
