// overwrite and CheckForDup against real files: links, relative and full
// names, letter case, names longer than the buffers. The status window's
// questions and messages go to a terminal front with nobody to answer, so
// each case runs in a detached child with a time limit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "testkit/util/temp_dir.h"
#include "tests/ui/ui_harness.h"
#include "ui/ui_testing.h"
#include "vexutil/ui.h"

namespace vex::ui::test {
namespace {

using namespace std::chrono_literals;
using testkit::TempDir;

void touch(const std::string &path) { std::ofstream(path) << "x"; }

constexpr const char *kSame = "Output filename must be different than the input filename.";

TEST(Overwrite, AbsentFileMayBeWrittenAndNothingIsShown) {
  TempDir dir;
  const std::string name = dir.file("absent.flc");
  const ChildResult r = run_detached(
      [&] {
        StatusInit(nullptr, nullptr, 0);
        StatusOpen("T", "", nullptr);
        CHILD_CHECK(overwrite(name.c_str(), 0) == 1);
        CHILD_CHECK(overwrite(name.c_str(), 1) == 1);
        CHILD_CHECK(testing::status_text() == "Loading...");
        StatusClose(0);
        return 0;
      },
      10s);
  expect_exit(r);
  expect_not_said(r, {"overwrite?"});
}

TEST(Overwrite, ExistingFileIsRefusedByTheDefaultNo) {
  TempDir dir;
  const std::string name = dir.file("there.flc");
  touch(name);
  const ChildResult r = run_detached(
      [&] {
        StatusInit(nullptr, nullptr, 0);
        StatusOpen("T", "", nullptr);
        CHILD_CHECK(overwrite(name.c_str(), 0) == 0);
        CHILD_CHECK(testing::status_text() == "File " + name + " exists, overwrite? No.");
        CHILD_CHECK(overwrite(name.c_str(), 1) == 0); // through the dialog's box
        StatusClose(0);
        return 0;
      },
      10s);
  expect_exit(r);
  expect_said(r, {"File " + name + " exists, overwrite? [y/N] No"});
}

TEST(Overwrite, NamesLongerThanTheBuffersStillAsk) {
  TempDir dir;
  std::string deep = dir.path().string();
  while (deep.size() < 300) {
    deep += "/" + std::string(40, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const std::string name = deep + "/long-output.flc";
  touch(name);
  const ChildResult r = run_detached(
      [&] {
        StatusInit(nullptr, nullptr, 0);
        StatusOpen("T", "", nullptr);
        CHILD_CHECK(overwrite(name.c_str(), 0) == 0); // asked, not taken as absent
        const std::string s = testing::status_text();
        CHILD_CHECK(s.find("...") != std::string::npos);
        CHILD_CHECK(s.size() == 95); // the status line keeps what fits of the question
        StatusClose(0);
        return 0;
      },
      10s);
  expect_exit(r);
  // The question itself keeps its end.
  expect_said(r, {"/long-output.flc exists, overwrite? [y/N] No"});
}

TEST(CheckForDup, OneFileUnderManyNamesIsRefusedWithTheMessage) {
  TempDir dir;
  const std::string in = dir.file("in.flc");
  touch(in);
  ASSERT_EQ(link(in.c_str(), dir.file("hard.flc").c_str()), 0);
  ASSERT_EQ(symlink(in.c_str(), dir.file("soft.flc").c_str()), 0);
  const ChildResult r = run_detached(
      [&] {
        CHILD_CHECK(chdir(dir.path().c_str()) == 0);
        CHILD_CHECK(CheckForDup(in.c_str(), in.c_str()) == 0);
        CHILD_CHECK(CheckForDup(in.c_str(), "./in.flc") == 0);
        CHILD_CHECK(CheckForDup("in.flc", (dir.path() / "sub/../in.flc").c_str()) == 0);
        CHILD_CHECK(CheckForDup(in.c_str(), "hard.flc") == 0);
        CHILD_CHECK(CheckForDup("soft.flc", in.c_str()) == 0);
        // Not written yet: the same full path is the same file.
        CHILD_CHECK(CheckForDup("new.flc", "./new.flc") == 0);
        return 0;
      },
      10s);
  expect_exit(r);
  EXPECT_EQ(times_said(r, kSame), 6u) << r.output;
}

TEST(CheckForDup, DifferentFilesPassSilently) {
  TempDir dir;
  touch(dir.file("a.flc"));
  touch(dir.file("b.flc"));
  touch(dir.file("A.flc"));
  const ChildResult r = run_detached(
      [&] {
        CHILD_CHECK(chdir(dir.path().c_str()) == 0);
        CHILD_CHECK(CheckForDup("a.flc", "b.flc") == 1);
        // Letter case names different files on Linux.
        CHILD_CHECK(CheckForDup("a.flc", "A.flc") == 1);
        CHILD_CHECK(CheckForDup("a.flc", "missing.flc") == 1);
        CHILD_CHECK(CheckForDup("x.flc", "X.flc") == 1);
        const std::string long_a = std::string(300, 'p') + "a", long_b = std::string(300, 'p') + "b";
        CHILD_CHECK(CheckForDup(long_a.c_str(), long_b.c_str()) == 1);
        CHILD_CHECK(CheckForDup(long_a.c_str(), long_a.c_str()) == 0);
        return 0;
      },
      10s);
  expect_exit(r);
  EXPECT_EQ(times_said(r, kSame), 1u) << "only the one long duplicate is refused\n" << r.output;
}

} // namespace
} // namespace vex::ui::test
