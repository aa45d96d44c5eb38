// vexconv talking through this family on a real terminal: the progress
// bar, the overwrite question answered No and Yes, /O answering it in
// advance, the palette analysis shown and stopped by Ctrl-C through the
// cancel question, and the progress line ended before the summary or the
// failure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/flic/fli_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/ui/ui_test_util.h"

namespace vex::ui::test {
namespace {

namespace fs = std::filesystem;

// vexconv with args, for a fresh terminal.
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

TEST(VexconvTalk, OverwriteAnsweredNoThenYesWithTheBarAndTheSummaryOnALineOfItsOwn) {
  testkit::TempDir dir;
  const std::string in = dir.file("in.fli"), out = dir.file("out.flc");
  ASSERT_FALSE(testkit::write_fli(testkit::PatternAnimation({.width = 64, .height = 48, .frames = 30}), 5, in).empty());
  std::ofstream(out) << "old";
  for (const char *answer : {"n\n", "y\n"}) {
    Pty child(vexconv({in, out}));
    ASSERT_TRUE(child.expect("out.flc exists, overwrite? [y/N] ")) << child.output();
    child.type(answer);
    if (answer[0] == 'n') {
      expect_child(child.finish(), 1, {"exists; add /O to replace it"});
      EXPECT_EQ(fs::file_size(out), 3u) << "the old file is kept";
    } else {
      expect_child(child.finish(), 0,
                   {"] 100% Frame 30 of 30 (100%)", "\n" + in + " -> " + out + ": 30 frames, 64 x 48"});
      EXPECT_GT(fs::file_size(out), 1000u);
    }
  }
  Pty replace(vexconv({in, out, "/O"}));
  expect_child(replace.finish(), 0, {}, {"overwrite?"});
  Pty same(vexconv({in, in, "/O"})); // refused under the status window's caption
  expect_child(same.finish(), 1, {"vexconv: Output filename must be different than the input filename."});
}

// A true-colour movie to FLIC waits for the analysis of all its frames
// before the first one (about two seconds here): the status line shows
// the analysis at once, and Ctrl-C answered Yes ends the job on a line of
// its own (the status line is redrawn after the question), leaving only
// the input.
TEST(VexconvTalk, TheAnalysisShowsAndCtrlCStopsIt) {
  testkit::TempDir dir;
  const std::string movie = dir.file("m.avi");
  testkit::ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=20 -c:v mpeg4 -q:v 5 " +
                  testkit::shell_quote(movie));
  Pty child(vexconv({movie, dir.file("out.flc")}));
  ASSERT_TRUE(child.expect("Analyzing colors in frame ", 1500ms)) << child.output();
  child.type("\x03");
  ASSERT_TRUE(child.expect("Do you want to cancel? [y/N] ", 1000ms)) << child.output();
  child.type("y\n");
  expect_child(child.finish(1000ms), 1, {"\nvexconv: cancelled after ", "out.flc not written"});
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "neither OUT nor its temporary file";
}

} // namespace
} // namespace vex::ui::test
