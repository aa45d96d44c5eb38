// Lists as graphics sources: entries of mixed kinds and sizes, frame
// ranges per entry, a first frame inside the third entry or past the end,
// series, switch-looking names, nesting and its limits; and the long
// steps of an open (counting a movie's frames, walking a list), which
// report and can be cancelled, and 24-bit promotion by frame count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/wav_file.h"
#include "testkit/gfile/source_calls.h"
#include "vexutil/sfile.h"

namespace gfile_test {
namespace {

namespace tk = vex::testkit;

// The top-left w x h pixels of a true-colour output of width ow.
std::vector<uint8_t> corner(const std::vector<uint8_t> &frame, int ow, int w, int h) {
  return window(frame, ow, 4, 0, 0, w, h);
}

std::string list(const TempDir &dir, const std::string &name, const std::string &text) {
  std::ofstream(dir.file(name)) << text;
  return dir.file(name);
}

// Entries a.flc (64 x 40, 7 frames), b.bmp (48 x 32) and c.flc (32 x 24,
// 5 frames) against each opened on its own: the list's record
// accumulates them, its frames are theirs in the top-left corner.
TEST(GfileList, MixedEntriesAccumulateAndDeliverInOrder) {
  TempDir dir;
  const std::string a = pattern_flc(dir, "a.flc", {.width = 64, .height = 40, .frames = 7});
  const std::string c = pattern_flc(dir, "c.flc", {.width = 32, .height = 24, .frames = 5, .seed = 9});
  const std::string b = tool_file(dir, "b.bmp", "testsrc=size=48x32", "-frames:v 1 -update 1 -pix_fmt bgr24");
  const Frames fa = frames(a, {.flags = kTrue}), fb = frames(b, {.flags = kTrue}), fc = frames(c, {.flags = kTrue});
  MessageLog log;
  Source g = must(list(dir, "m.lst", a + "\n# a comment\n\n" + b + "\n" + c + " /S2 /E4\n"), {.flags = kTrue});
  EXPECT_EQ(shape(*g), (Shape{GFILE_LIST, 64, 40, 24, 7 + 1 + 3, 20, 1})); // 24 bits: the still
  EXPECT_STREQ(g->type, "List");
  EXPECT_EQ(heard(log, "Opening ", false), (std::vector<std::string>{"Opening " + a + "...", "Opening " + b + "...",
                                                                    "Opening " + c + "...", "Opening ..."}));
  Frames got = all_frames(g.get());
  ASSERT_EQ(got.size(), 11u);
  for (size_t i = 0; i < 11; ++i)
    EXPECT_EQ(i < 7 ? got[i] : i == 7 ? corner(got[i], 64, 48, 32) : corner(got[i], 64, 32, 24),
              i < 7 ? fa[i] : i == 7 ? fb[0] : fc[i - 7]) << i;
  // 7 + 1 frames before the third entry: first frame 11 is its third; past the end, its last.
  const std::string plain = list(dir, "p.lst", a + "\n" + b + "\n" + c + "\n");
  got = frames(plain, {.flags = kTrue, .first = 11});
  ASSERT_EQ(got.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(corner(got[i], 64, 32, 24), fc[2 + i]) << i;
  got = frames(plain, {.flags = kTrue, .first = 500});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(corner(got[0], 64, 32, 24), fc[4]);
}

// Trailing switches give a plain name its range unless the caller gave
// one, and repeat it (/L), also under a folder that looks like a switch,
// with a different animation (decoy) at the path that cutting the folder's
// name out would give (which words are switches is the list reader's, with
// its own test); a series (in a list line, under such a folder, or as
// name*first-last) is a list that GFileReset starts again.
TEST(GfileList, SwitchLookingNamesOpenAsGivenAndTrailingSwitchesGiveTheRange) {
  TempDir dir;
  const std::string d = dir.path().string() + "/";
  for (const char *folder : {"s5", "plain"})
    std::filesystem::create_directories(d + folder);
  for (const char *n : {"c.flc", "s5/x.flc", "plain/s24x.flc", "s5/p03.flc", "s5/p04.flc", "p03.flc", "p04.flc", "p05.flc"})
    pattern_flc(dir, n, {.width = 16, .height = 8, .frames = 7, .seed = 3});
  for (const char *n : {"x.flc", "plainx.flc"})
    pattern_flc(dir, n, {.width = 16, .height = 8, .frames = 4, .seed = 8});
  list(dir, "m.lst", d + "s5/x.flc\n" + d + "plain/s24x.flc /S6\n" + d + "c.flc /s3 /e5\n");
  const Frames want = frames(d + "c.flc", {.flags = kTrue});
  ASSERT_EQ(want.size(), 7u);
  using Runs = std::vector<std::pair<int, int>>; // runs of frames of the animation, 1-based
  const Runs whole = {{1, 7}};
  const struct {
    std::string name;
    int32_t first, last; // the caller's
    Runs runs;
  } rows[] = {
      {"s5/x.flc", 0, 0, whole},          {"c.flc /S3 /E5", 0, 0, {{3, 5}}},  {"s5/x.flc /e5 /s3", 0, 0, {{3, 5}}},
      {"c.flc /S3 /E5", 2, 6, {{2, 6}}},  // the caller's range wins
      {"c.flc /S3 /E5", 4, 0, {{4, 7}}},  {"c.flc /L2", 0, 0, {{1, 7}, {1, 7}}},
      {"s5/p??.flc /S3 /E4", 0, 0, {{1, 7}, {1, 7}}}, {"p??.flc*3-5", 0, 0, {{1, 7}, {1, 7}, {1, 7}}},
      {"m.lst", 0, 0, {{1, 7}, {6, 7}, {3, 5}}},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    Source g = must(d + r.name, {.flags = kTrue, .first = r.first, .last = r.last});
    Frames expected;
    for (const auto &[from, to] : r.runs)
      expected.insert(expected.end(), want.begin() + from - 1, want.begin() + to);
    EXPECT_EQ(all_frames(g.get()), expected);
    GFileReset(g.get());
    EXPECT_EQ(all_frames(g.get()), expected) << "after GFileReset";
  }
  // Lists inside lists: eight deep play their entry, nine are refused, naming the depth.
  for (const int depth : {8, 9}) {
    std::string entry = d + "c.flc";
    for (int i = depth; i > 0; --i)
      entry = list(dir, "n" + std::to_string(depth) + "_" + std::to_string(i) + ".lst", entry + "\n");
    const Source g = open(entry);
    EXPECT_EQ(g ? all_frames(g.get()) : Frames{}, depth == 8 ? want : Frames{}) << depth << " deep";
    EXPECT_EQ(std::string(VEXLastError()).find("Lists nest more than 8 deep"), depth == 8 ? std::string::npos : 0u)
        << VEXLastError();
  }
  // Repeated lists of repeated entries multiply: 20^3 entries open, 20^4
  // pass the budget of one open, however few files that opens.
  list(dir, "w0.lst", d + "x.flc /E1 /L20\n");
  for (int i = 1; i <= 3; ++i)
    list(dir, "w" + std::to_string(i) + ".lst", d + "w" + std::to_string(i - 1) + ".lst /L20\n");
  EXPECT_EQ(must(d + "w2.lst")->frame_count, 8000);
  EXPECT_FALSE(open(d + "w3.lst"));
  EXPECT_NE(std::string(VEXLastError()).find("more than 100000 entries"), std::string::npos) << VEXLastError();
}

// The long steps of an open report and can be cancelled: the listing of a
// movie's frames ("Counting frames in <name> (<p>%)...", level 1 at its
// start, naming the input) in both sources, and the walk over a list's
// entries ("Opening <entry>..."). Answered true, the open fails with the
// reason "cancelled" and no error message, and nothing more is asked;
// answered false, the same open succeeds.
TEST(GfileOpenCancel, LongStepsOfAnOpenReportAndStopWhenAsked) {
  TempDir dir;
  const std::string avi = tool_file(dir, "m.avi", "testsrc=size=64x48:rate=25:duration=2",
                                    "-f lavfi -i sine=sample_rate=8000:duration=2 -c:v mpeg4 -c:a pcm_u8");
  const std::string mp4 = tool_file(dir, "m.mp4", "testsrc=size=64x48:rate=25:duration=2", "-c:v mpeg4");
  for (const char *w : {"a.wav", "b.wav"})
    write_file(dir.file(w), tk::pcm_wav(8000, 8, 1, std::vector<uint8_t>(800, 128)));
  const std::string lst = list(dir, "l.lst", mp4 + "\n" + avi + "\n");
  const std::string wavs = list(dir, "w.lst", dir.file("a.wav") + "\n" + dir.file("b.wav") + "\n");
  const struct {
    std::string name;
    bool sound; // SFileOpen, else GFileOpen
    const char *prefix;
  } rows[] = {{avi, false, "Counting frames in "}, {mp4, false, "Counting frames in "}, {lst, false, "Opening "},
              {lst, false, "Counting frames in "}, {avi, true, "Counting frames in "},  {wavs, true, "Opening "}};
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name + (r.sound ? " (sound) at " : " at ") + r.prefix);
    const auto opens = [&] {
      if (!r.sound)
        return open(r.name) != nullptr;
      SFILE *s = SFileOpen(r.name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, MessageLog::callback);
      SFileClose(s);
      return s != nullptr;
    };
    MessageLog log;
    ASSERT_TRUE(opens()) << VEXLastError();
    const int stop_at = nth_message(log, r.prefix);
    ASSERT_GE(stop_at, 0);
    log.clear();
    log.cancel_at(stop_at);
    EXPECT_FALSE(opens());
    EXPECT_STREQ(VEXLastError(), "cancelled");
    EXPECT_EQ(log.messages().size(), size_t(stop_at) + 1) << "nothing more is asked after the answer";
    EXPECT_TRUE(log.at_level(2).empty());
  }
  MessageLog log;
  must(mp4);
  ASSERT_FALSE(log.messages().empty());
  EXPECT_EQ(log.messages()[0].level, 1);
  EXPECT_EQ(log.messages()[0].text.rfind("Counting frames in " + mp4 + " (", 0), 0u) << log.messages()[0].text;
}

// A 24-bit AVI of ten frames is promoted (filtered to 8 bits) and of nine
// is not: its first frame is then the one promotion 1 (always) or 2 (never) gives.
TEST(GfilePromotion, ATwentyFourBitAviOfTenFramesIsPromotedAndOfNineIsNot) {
  TempDir dir;
  for (const int n : {9, 10}) {
    // Gentle gradients: neighbourhoods whose ranges the filter quantises.
    const std::string avi = tool_file(dir, "p" + std::to_string(n) + ".avi", "gradients=size=40x30:rate=10:seed=7",
                                      "-frames:v " + std::to_string(n) + " -c:v rawvideo -pix_fmt bgr24");
    Source automatic = must(avi);
    EXPECT_EQ((std::vector{automatic->depth_read, automatic->depth}), (std::vector{24, 24}));
    const std::vector<uint8_t> got = next(automatic.get());
    EXPECT_EQ(automatic->frame_depth, 24);
    const std::vector<uint8_t> always = next(must(avi, {.promotion = 1}).get()), never = next(must(avi, {.promotion = 2}).get());
    ASSERT_NE(always, never) << "the picture must give the filter something to change";
    EXPECT_EQ(got, n == 10 ? always : never) << n;
  }
}

} // namespace
} // namespace gfile_test
