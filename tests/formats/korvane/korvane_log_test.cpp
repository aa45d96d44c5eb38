// The "Debug" setting's Linux equivalents and the diagnostic lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "formats/korvane/korvane.h"
#include "testkit/util/source_of.h"
#include "formats/korvane/korvane_log.h"
#include "util/profile.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/util.h"

namespace {

using vex::util::ini_int;

TEST(KorvaneDebugSetting, IniValuesAsTheProfileReaderTakesThem) {
  const std::string text = "; comment\n[Other]\nDebug=7\n[ korvane ]\r\n  debug = 1 \r\nx=2\n";
  EXPECT_EQ(ini_int(text, "Korvane", "Debug", 0), 1);
  EXPECT_EQ(ini_int(text, "Other", "DEBUG", 0), 7);
  EXPECT_EQ(ini_int(text, "Korvane", "Missing", 5), 5);
  EXPECT_EQ(ini_int("[Korvane]\nDebug=12abc\n", "Korvane", "Debug", 0), 12);
  EXPECT_EQ(ini_int("[Korvane]\nDebug=abc\n", "Korvane", "Debug", 3), 0);
  EXPECT_EQ(ini_int("[Korvane]\nDebug=-4\n", "Korvane", "Debug", 0), -4);
  EXPECT_EQ(ini_int("Debug=1\n[Korvane]\n", "Korvane", "Debug", 9), 9); // before any section
}

class KorvaneLogging : public ::testing::Test {
protected:
  void TearDown() override {
    unsetenv("VEXUTIL_KORVANE_DEBUG");
    unsetenv("XDG_CONFIG_HOME");
    vex::formats::korvane::reload_debug_setting();
  }
  vex::testkit::TempDir dir;
};

TEST_F(KorvaneLogging, EnvironmentBeatsTheIniFileAndOnlyLowByteOneLogs) {
  std::ofstream(dir.file("vexutil.ini")) << "[Korvane]\nDebug=1\n";
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  unsetenv("VEXUTIL_KORVANE_DEBUG");
  vex::formats::korvane::reload_debug_setting();
  EXPECT_EQ(vex::formats::korvane::debug_setting(), 0x1001u);
  EXPECT_TRUE(vex::formats::korvane::log_enabled());
  setenv("VEXUTIL_KORVANE_DEBUG", "0", 1);
  vex::formats::korvane::reload_debug_setting();
  EXPECT_FALSE(vex::formats::korvane::log_enabled());
  setenv("VEXUTIL_KORVANE_DEBUG", "257", 1); // low byte 1
  vex::formats::korvane::reload_debug_setting();
  EXPECT_TRUE(vex::formats::korvane::log_enabled());
  setenv("VEXUTIL_KORVANE_DEBUG", "2", 1);
  vex::formats::korvane::reload_debug_setting();
  EXPECT_FALSE(vex::formats::korvane::log_enabled());
}

TEST_F(KorvaneLogging, FailedOpensSayWhyOnStderr) {
  setenv("VEXUTIL_KORVANE_DEBUG", "1", 1);
  vex::formats::korvane::reload_debug_setting();
  const std::string missing = dir.file("missing.kvn");
  testing::internal::CaptureStderr();
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing.c_str()), 0), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "KorvaOpen - file: " + missing + "\nCouldn't open the Korvane file\n");

  std::ofstream(dir.file("junk.kvn")) << std::string(200, 'x');
  testing::internal::CaptureStderr();
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(dir.file("junk.kvn").c_str()), 0), nullptr);
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Wasn't a Korvane file\n"), std::string::npos) << err;

  setenv("VEXUTIL_KORVANE_DEBUG", "0", 1);
  vex::formats::korvane::reload_debug_setting();
  testing::internal::CaptureStderr();
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing.c_str()), 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

void collect(void *user, const char *line) { static_cast<std::vector<std::string> *>(user)->push_back(line); }

TEST_F(KorvaneLogging, WithASinkTheLinesGoThereAndNotToStderr) {
  std::vector<std::string> lines;
  VEXSetDiagnosticSink(collect, &lines);
  const std::string missing = dir.file("missing.kvn");
  setenv("VEXUTIL_KORVANE_DEBUG", "1", 1);
  vex::formats::korvane::reload_debug_setting();
  testing::internal::CaptureStderr();
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing.c_str()), 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(lines, (std::vector<std::string>{"KorvaOpen - file: " + missing, "Couldn't open the Korvane file"}));
  // The setting still decides whether Korvane speaks at all.
  lines.clear();
  setenv("VEXUTIL_KORVANE_DEBUG", "0", 1);
  vex::formats::korvane::reload_debug_setting();
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing.c_str()), 0), nullptr);
  EXPECT_TRUE(lines.empty());
  VEXSetDiagnosticSink(nullptr, nullptr);
  // The reason is kept whatever the setting.
  EXPECT_STREQ(VEXLastError(), "no such file");
}

} // namespace
