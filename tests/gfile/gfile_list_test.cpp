// Lists as graphics sources: entries of mixed kinds and sizes, frame ranges
// per entry, a first frame inside the third entry or past the end, the
// wrap-round, a list that names itself and a list of 10,000 entries.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"

namespace {

using namespace gfile_test;

struct Inputs {
  vex::testkit::TempDir dir;
  std::string a = dir.file("a.flc"), b = dir.file("b.bmp"), c = dir.file("c.flc");
  // Each entry's frames in true colour, as a source of its own delivers them.
  std::vector<std::vector<uint8_t>> fa, fb, fc;
  Inputs() {
    vex::testkit::PatternOptions o{.width = 64, .height = 40, .frames = 7};
    vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, a);
    o.width = 32;
    o.height = 24;
    o.frames = 5;
    o.seed = 9;
    vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, c);
    vex::testkit::ffmpeg("-f lavfi -i testsrc=size=48x32 -frames:v 1 -update 1 -pix_fmt bgr24 " + b);
    fa = all_frames(open(a, Options{.flags = GFILE_TRUE_COLOUR}).get());
    fb = all_frames(open(b, Options{.flags = GFILE_TRUE_COLOUR}).get());
    fc = all_frames(open(c, Options{.flags = GFILE_TRUE_COLOUR}).get());
  }
  std::string list(const std::string &name, const std::string &text) const {
    const std::string path = dir.file(name);
    std::ofstream(path) << text;
    return path;
  }
};

// The top-left w x h pixels of a true-colour output of width ow.
std::vector<uint8_t> corner(const std::vector<uint8_t> &frame, int ow, int w, int h) {
  std::vector<uint8_t> out;
  for (int y = 0; y < h; ++y)
    out.insert(out.end(), frame.begin() + y * ow * 4, frame.begin() + (y * ow + w) * 4);
  return out;
}

TEST(GfileList, MixedEntriesAccumulateAndDeliverInOrder) {
  Inputs in;
  const std::string lst = in.list("m.lst", in.a + "\n# a comment\n\n" + in.b + "\n" + in.c + " /S2 /E4\n");
  Source g = open(lst, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->kind, GFILE_LIST);
  EXPECT_STREQ(g->type, "List");
  EXPECT_EQ(g->width, 64);
  EXPECT_EQ(g->height, 40);
  EXPECT_EQ(g->depth, 24); // the still
  EXPECT_EQ(g->frame_count, 7 + 1 + 3);
  EXPECT_EQ(g->source_num, 20u);
  std::vector<std::string> opening;
  for (const auto &m : messages())
    if (m.first.rfind("Opening ", 0) == 0)
      opening.push_back(m.first);
  EXPECT_EQ(opening, (std::vector<std::string>{"Opening " + in.a + "...", "Opening " + in.b + "...",
                                               "Opening " + in.c + "...", "Opening ..."}));
  const auto got = all_frames(g.get());
  ASSERT_EQ(got.size(), 11u);
  for (size_t i = 0; i < 7; ++i)
    EXPECT_EQ(got[i], in.fa[i]) << i;
  EXPECT_EQ(corner(got[7], 64, 48, 32), in.fb[0]);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(corner(got[8 + i], 64, 32, 24), in.fc[1 + i]) << i;
}

TEST(GfileList, FirstFrameInsideTheThirdEntryAndPastTheEnd) {
  Inputs in;
  const std::string lst = in.list("m.lst", in.a + "\n" + in.b + "\n" + in.c + "\n");
  // 7 + 1 frames before the third entry: first frame 11 is its third.
  Source g = open(lst, Options{.flags = GFILE_TRUE_COLOUR, .first = 11});
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->frame_count, 3);
  const auto got = all_frames(g.get());
  ASSERT_EQ(got.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(corner(got[i], 64, 32, 24), in.fc[2 + i]) << i;

  Source past = open(lst, Options{.flags = GFILE_TRUE_COLOUR, .first = 500});
  ASSERT_NE(past, nullptr);
  EXPECT_EQ(past->frame_count, 1);
  ASSERT_EQ(GFileGet(past.get()), 1);
  EXPECT_EQ(corner(output(*past), 64, 32, 24), in.fc[4]);
}

TEST(GfileList, ASeriesIsAListAndResetStartsItAgain) {
  Inputs in;
  vex::testkit::PatternOptions o{.width = 16, .height = 8, .frames = 2};
  for (int k = 3; k <= 5; ++k)
    vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, in.dir.file("p0" + std::to_string(k) + ".flc"));
  Source g = open(in.dir.file("p??.flc*3-5"), Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->kind, GFILE_LIST);
  EXPECT_EQ(g->frame_count, 6);
  const auto first = all_frames(g.get());
  ASSERT_EQ(first.size(), 6u);
  EXPECT_EQ(first[0], first[2]); // the same animation in each file
  GFileReset(g.get());
  EXPECT_EQ(all_frames(g.get()), first);
}

// Folders and names that look like switches open as given, with a
// different animation (decoy) at the path that cutting the switch out would
// give or with none; trailing switches give a plain name its range unless
// the caller gave one, and repeat it (/L); a series and a list line under
// such a folder work too.
TEST(GfileList, SwitchLookingNamesOpenAsGivenAndTrailingSwitchesGiveTheRange) {
  vex::testkit::TempDir dir;
  const std::string d = dir.path().string() + "/";
  for (const char *folder : {"s5", "e2", "l3", "plain", "n/s5", "a ", "n/q.flc "})
    std::filesystem::create_directories(d + folder);
  namespace tk = vex::testkit;
  const tk::PatternAnimation real(tk::PatternOptions{.width = 16, .height = 8, .frames = 7, .seed = 3});
  const tk::PatternAnimation decoy(tk::PatternOptions{.width = 16, .height = 8, .frames = 4, .seed = 8});
  for (const char *n : {"c.flc", "s5/x.flc", "e2/x.flc", "l3/x.flc", "plain/s24x.flc", "n/s5/y.flc", "a /S3 b.flc",
                        "n/q.flc /S3.flc", "s5/p03.flc", "s5/p04.flc"})
    tk::write_flc(real, -5000, d + n);
  for (const char *n : {"x.flc", "plainx.flc", "n/q.flc"})
    tk::write_flc(decoy, -5000, d + n);
  std::ofstream(d + "m.lst") << d << "s5/x.flc\n" << d << "plain/s24x.flc /S6\n" << d << "c.flc /s3 /e5\n";
  const auto want = all_frames(open(d + "c.flc", Options{.flags = GFILE_TRUE_COLOUR}).get());
  ASSERT_EQ(want.size(), 7u);
  using Runs = std::vector<std::pair<int, int>>; // runs of frames of the animation, 1-based
  const Runs whole = {{1, 7}};
  const struct {
    std::string name;
    int32_t first, last; // the caller's
    Runs runs;
  } rows[] = {
      {"s5/x.flc", 0, 0, whole},
      {"e2/x.flc", 0, 0, whole},
      {"l3/x.flc", 0, 0, whole},
      {"plain/s24x.flc", 0, 0, whole},
      {"n/s5/y.flc", 0, 0, whole},
      {"a /S3 b.flc", 0, 0, whole}, // a switch word in the middle
      {"n/q.flc /S3", 0, 0, whole}, // the whole name is a file: S3.flc in "q.flc "
      {"c.flc /S3 /E5", 0, 0, {{3, 5}}},
      {"s5/x.flc /e5 /s3", 0, 0, {{3, 5}}},
      {"c.flc /S3 /E5", 2, 6, {{2, 6}}}, // the caller's range wins
      {"c.flc /S3 /E5", 4, 0, {{4, 7}}},
      {"c.flc /L2", 0, 0, {{1, 7}, {1, 7}}},
      {"s5/p??.flc /S3 /E4", 0, 0, {{1, 7}, {1, 7}}},
      {"m.lst", 0, 0, {{1, 7}, {6, 7}, {3, 5}}},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    Source g = open(d + r.name, Options{.flags = GFILE_TRUE_COLOUR, .first = r.first, .last = r.last});
    if (!g) {
      ADD_FAILURE() << VEXLastError();
      continue;
    }
    std::vector<std::vector<uint8_t>> expected;
    for (const auto &[from, to] : r.runs)
      expected.insert(expected.end(), want.begin() + from - 1, want.begin() + to);
    EXPECT_EQ(all_frames(g.get()), expected);
  }
}

TEST(GfileList, BadListsFailWithTheirMessage) {
  Inputs in;
  const std::string self = in.dir.file("self.lst");
  in.list("self.lst", in.a + "\n" + self + "\n");
  EXPECT_EQ(open(self), nullptr);
  EXPECT_EQ(errors().size(), 1u);
  EXPECT_NE(std::string(VEXLastError()), "");

  EXPECT_EQ(open(in.list("empty.lst", "# nothing\n\n")), nullptr);
  EXPECT_EQ(errors(), std::vector<std::string>{"No files in the list file."});

  const std::string missing = in.list("missing.lst", in.a + "\n" + in.dir.file("nowhere.flc") + "\n");
  EXPECT_EQ(open(missing), nullptr);
  EXPECT_EQ(errors(), std::vector<std::string>{"Error opening: " + in.dir.file("nowhere.flc")});
}

TEST(GfileList, TenThousandEntriesOpenAndPlay) {
  Inputs in;
  vex::testkit::PatternOptions o{.width = 8, .height = 8, .frames = 1};
  const std::string one = in.dir.file("one.flc");
  vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, one);
  std::string text;
  for (int i = 0; i < 10000; ++i)
    text += one + "\n";
  Source g = open(in.list("big.lst", text));
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->frame_count, 10000);
  for (int i = 0; i < 10000; ++i)
    ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(g->at_end, 1);
}

} // namespace
