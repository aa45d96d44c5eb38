// The diagnostic sink: silent by default, the program's callback when one
// is set, stderr under the environment switch or when a caller's own
// setting asks; and the profile reader behind those settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/util/temp_dir.h"
#include "util/diagnostics.h"
#include "util/profile.h"
#include "vexutil/util.h"

namespace {

void collect(void *user, const char *line) { static_cast<std::vector<std::string> *>(user)->push_back(line); }

class Diagnostics : public ::testing::Test {
protected:
  void SetUp() override {
    unsetenv("VEXUTIL_DIAGNOSTICS");
    vex::util::reload_diagnostics_switch();
  }
  void TearDown() override {
    VEXSetDiagnosticSink(nullptr, nullptr);
    unsetenv("VEXUTIL_DIAGNOSTICS");
    vex::util::reload_diagnostics_switch();
  }
  std::string said(std::string_view line, bool asked = false) {
    testing::internal::CaptureStderr();
    vex::util::diagnose(line, asked);
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(Diagnostics, SilentByDefault) { EXPECT_EQ(said("Memory Error: Error: ran out of memory!"), ""); }

TEST_F(Diagnostics, TheSwitchSendsLinesToStderr) {
  setenv("VEXUTIL_DIAGNOSTICS", "1", 1);
  vex::util::reload_diagnostics_switch();
  EXPECT_EQ(said("one line"), "one line\n");
  EXPECT_EQ(said(std::string(3000, 'x')), std::string(1023, 'x') + "\n"); // cut, not overrun
  setenv("VEXUTIL_DIAGNOSTICS", "0", 1);
  vex::util::reload_diagnostics_switch();
  EXPECT_EQ(said("one line"), "");
  setenv("VEXUTIL_DIAGNOSTICS", "yes", 1); // no number: off
  vex::util::reload_diagnostics_switch();
  EXPECT_EQ(said("one line"), "");
}

TEST_F(Diagnostics, ACallerThatAskedIsHeardWithoutTheSwitch) { EXPECT_EQ(said("asked for", true), "asked for\n"); }

TEST_F(Diagnostics, TheSinkTakesEveryLineInsteadOfStderr) {
  std::vector<std::string> lines;
  VEXSetDiagnosticSink(collect, &lines);
  setenv("VEXUTIL_DIAGNOSTICS", "1", 1);
  vex::util::reload_diagnostics_switch();
  EXPECT_EQ(said("first"), "");
  EXPECT_EQ(said("second", true), "");
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
  VEXSetDiagnosticSink(nullptr, nullptr);
  EXPECT_EQ(said("third"), "third\n"); // back to the switch
  EXPECT_EQ(lines.size(), 2u);
}

TEST(Profile, LeadingIntegersAsTheProfileReaderTakesThem) {
  EXPECT_EQ(vex::util::leading_int(" 42 "), 42);
  EXPECT_EQ(vex::util::leading_int("-7x"), -7);
  EXPECT_EQ(vex::util::leading_int("+3"), 3);
  EXPECT_EQ(vex::util::leading_int("x1"), 0);
  EXPECT_EQ(vex::util::leading_int(""), 0);
  EXPECT_EQ(vex::util::leading_int("99999999999"), 0x7FFFFFFF);
  EXPECT_EQ(vex::util::leading_int("-99999999999"), -0x7FFFFFFF);
}

TEST(Profile, EnvironmentThenIniFileThenDefault) {
  vex::testkit::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  unsetenv("VEXUTIL_TEST_SETTING");
  EXPECT_EQ(vex::util::profile_file(), dir.file("vexutil.ini"));
  EXPECT_EQ(vex::util::profile_int("Test", "Level", "VEXUTIL_TEST_SETTING", 9), 9); // no file
  std::ofstream(dir.file("vexutil.ini")) << "[test]\nlevel = 4\n";
  EXPECT_EQ(vex::util::profile_int("Test", "Level", "VEXUTIL_TEST_SETTING", 9), 4);
  EXPECT_EQ(vex::util::profile_int("Test", "Other", "VEXUTIL_TEST_SETTING", 9), 9);
  setenv("VEXUTIL_TEST_SETTING", "11", 1);
  EXPECT_EQ(vex::util::profile_int("Test", "Level", "VEXUTIL_TEST_SETTING", 9), 11);
  unsetenv("VEXUTIL_TEST_SETTING");
  unsetenv("XDG_CONFIG_HOME");
}

} // namespace
