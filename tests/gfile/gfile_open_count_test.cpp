// How often the tools open their input, counted as the system sees it: the
// tools run with a small library preloaded that counts every open, openat
// and fopen of the input's name (testkit/util/open_counter.c). Describing
// an input of any kind opens it once; a conversion opens it once for the
// pictures (the palette source shares that open) and once for the sound.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "testkit/gfile/kind_samples.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"

namespace {

namespace tk = vex::testkit;
using tk::shell_quote;

// One sample of each kind of input, made once for the whole suite.
class Samples {
public:
  static const Samples &get() {
    static const Samples s;
    return s;
  }
  const tk::TempDir &dir() const { return dir_; }

private:
  Samples() { tk::write_kind_samples(dir_); }
  tk::TempDir dir_;
};

// Opens of `name` by the tool run with `args`; -1 when the count is missing.
int opens(const char *tool, const std::string &args, const std::string &name) {
  const Samples &s = Samples::get();
  tk::TempDir dir;
  const std::string counts = dir.file("counts");
  const std::string env = "VEX_COUNT_OPENS_OF=" + shell_quote(name) + " VEX_COUNT_OPENS_TO=" + shell_quote(counts) +
                          " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 LD_PRELOAD=" +
                          shell_quote(OPEN_COUNTER) + " " + shell_quote(tool) + " ";
  const tk::ToolRun r = tk::run_tool("env", env + args, dir, s.dir().path());
  EXPECT_EQ(r.status, 0) << args << ": " << r.err;
  std::ifstream in(counts);
  int n = -1;
  in >> n;
  return n;
}

class DescribeOnce : public ::testing::TestWithParam<const char *> {};

TEST_P(DescribeOnce, VexinfoOpensTheInputOnce) { EXPECT_EQ(opens(VEXINFO, GetParam(), GetParam()), 1); }

INSTANTIATE_TEST_SUITE_P(EveryKind, DescribeOnce,
                         ::testing::Values("a.flc", "m.kvn", "m.tlm", "m.exe", "m.raw", "s.wav", "m.avi", "m.mov",
                                           "p.bmp", "p.pcx", "p.png", "p.tga", "p.tif", "p.gif", "p.jpg"),
                         [](const auto &info) {
                           std::string n = info.param;
                           n[1] = '_';
                           return n;
                         });

TEST(OpenCount, AListOpensItselfAndEachEntryOnce) {
  EXPECT_EQ(opens(VEXINFO, "l.lst", "l.lst"), 1);
  EXPECT_EQ(opens(VEXINFO, "l.lst", "a.flc"), 1);
  EXPECT_EQ(opens(VEXINFO, "l.lst", "b.flc"), 1);
}

TEST(OpenCount, AConversionOpensThePicturesAndTheSoundOnceEach) {
  EXPECT_LE(opens(VEXCONV, "m.avi out.avi -q -y", "m.avi"), 2); // pictures, sound
  EXPECT_EQ(opens(VEXCONV, "m.avi out.flc -q -y", "m.avi"), 1); // the palette source shares the open
  EXPECT_EQ(opens(VEXCONV, "m.kvn out.png -q -y", "m.kvn"), 1);
}

} // namespace
