// The tools' rule for names and switches: absolute paths start with '/'
// like switches do, so paths built from folders that look like switches
// (every letter the tools or the library's parsers know, followed by
// digits or by the next '/') must stay names, whether they exist or not.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/pattern.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "vexutil/flic.h"

namespace vex::testkit {
namespace {

namespace fs = std::filesystem;

uint32_t frames_of(const std::string &flc) {
  VEXFLIC *h = VEXFlicOpen(flc.c_str());
  if (!h)
    return 0;
  const uint32_t n = h->frame_count;
  VEXFlicClose(h);
  return n;
}

// Folders named after switches: numbers, fractions and bare flags of both
// tools, a retired one, and a cancel. (Folders like S4, E6 or L2 are names
// to the tools too, but the picture and sound sources read them as frame
// switches: tool_sources_test.cpp covers those.)
const char *const kSwitchFolders = "F25/F29.97/A15/X3/Y2/W8/H6/T1/O/Q/V/V1/N3/R25/-O/-";

class ToolNames : public ::testing::Test {
protected:
  void SetUp() override {
    PatternOptions o{.width = 20, .height = 10, .frames = 12};
    deep = dir.path() / kSwitchFolders;
    fs::create_directories(deep);
    in = (deep / "in.fli").string();
    ASSERT_FALSE(write_fli(PatternAnimation(o), 7, in).empty());
    // A first folder that does not exist, with the same switch-like tail.
    missing = "/vex-no-such-folder-" + std::to_string(getpid()) + "/" + kSwitchFolders;
    ASSERT_FALSE(fs::exists(missing.substr(0, missing.find('/', 1))));
  }
  TempDir dir;
  fs::path deep;
  std::string in, missing;
};

TEST_F(ToolNames, ExistingPathsWithSwitchFoldersAreNames) {
  ToolRun r = run_tool(VEXINFO, shell_quote(in), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"frames   12"});
  // The folder V is no /V.
  expect_lacks(r.out, {"frame 1 "});

  const std::string out = (deep / "out.flc").string();
  r = run_tool(VEXCONV, shell_quote(in) + " " + shell_quote(out), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  // Neither /W8 nor /H6 nor /Q came from the folders.
  expect_contains(r.out, {"12 frames"});
  EXPECT_EQ(frames_of(out), 12u);
  VEXFLIC *h = VEXFlicOpen(out.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->rate, -10000) << "the input's speed, not /F25 or /F29.97";
  VEXFlicClose(h);
  // The folder O is no /O: an existing output is still refused.
  EXPECT_EQ(run_tool(VEXCONV, shell_quote(in) + " " + shell_quote(out), dir).status, 1);
}

TEST_F(ToolNames, PathsUnderAMissingFolderAreNamesToo) {
  ToolRun r = run_tool(VEXINFO, shell_quote(missing + "/in.fli"), dir);
  EXPECT_EQ(r.status, 1);
  expect_contains(r.err, {missing + "/in.fli: no such file"});
  expect_lacks(r.err, {"switch"});

  r = run_tool(VEXCONV, shell_quote(missing + "/in.fli") + " " + shell_quote(dir.file("o.flc")), dir);
  EXPECT_EQ(r.status, 1);
  expect_contains(r.err, {missing + "/in.fli: no such file"});

  // An output whose folders do not exist cannot be written; no switch is
  // read from its name.
  r = run_tool(VEXCONV, shell_quote(in) + " " + shell_quote(missing + "/out.flc"), dir);
  EXPECT_EQ(r.status, 1) << r.err;
  expect_contains(r.err, {missing + "/out.flc"});
  EXPECT_FALSE(fs::exists(missing.substr(0, missing.find('/', 1))));
}

TEST_F(ToolNames, SwitchesBesideSuchPathsStillWork) {
  const std::string part = (deep / "part.flc").string();
  ToolRun r = run_tool(VEXCONV, shell_quote(in) + " /S4 " + shell_quote(part) + " /E6 /Q", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(frames_of(part), 3u);
  // Several switches in one word, any case, and a cancel in another.
  r = run_tool(VEXCONV, shell_quote(in) + " " + shell_quote(part) + " /o/s2/e6 /-Q", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  expect_contains(r.out, {"5 frames"});
  EXPECT_EQ(frames_of(part), 5u);
  r = run_tool(VEXINFO, "/V " + shell_quote(in), dir);
  EXPECT_EQ(r.status, 0);
  expect_contains(r.out, {"frame 12 "});
}

TEST_F(ToolNames, DoubleDashMakesEveryLaterWordAName) {
  ToolRun r = run_tool(VEXINFO, "-- /V", dir);
  EXPECT_EQ(r.status, 1);
  expect_contains(r.err, {"/V: no such file"});
  r = run_tool(VEXINFO, shell_quote(in) + " -- " + shell_quote(in), dir);
  EXPECT_EQ(r.status, 0);
  expect_lacks(r.out, {"frame 1 "});
  r = run_tool(VEXCONV, "-- " + shell_quote(in) + " " + shell_quote(dir.file("o.flc")) + " /O", dir);
  EXPECT_EQ(r.status, 2) << "/O after -- is a third name";
  expect_contains(r.err, {"got 3 names"});
  EXPECT_FALSE(fs::exists(dir.file("o.flc")));
  // --gui after -- names the output: a FLIC without extension, which the
  // writer gives ".flc".
  r = run_tool(VEXCONV, "-- " + shell_quote(in) + " --gui /Q", dir, dir.path().string());
  EXPECT_EQ(r.status, 2) << "/Q after -- is a third name: " << r.err;
  r = run_tool(VEXCONV, shell_quote(in) + " -q -- --gui", dir, dir.path().string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir.file("--gui.flc")));
}

TEST_F(ToolNames, HelpStatesTheRule) {
  for (const char *tool : {VEXINFO, VEXCONV}) {
    const ToolRun r = run_tool(tool, "--help", dir);
    EXPECT_EQ(r.status, 0);
    expect_contains(r.out, {"/data/s1/movie.avi is a name", "After --"});
  }
}

} // namespace
} // namespace vex::testkit
