// Lists and numbered series as sound sources: entries joined in the list's
// output format, their /S /E /L switches, entries that fail, and lists that
// never end (naming themselves, nesting too deep).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lists/list_nesting.h"
#include "testkit/util/wav_file.h"
#include "testkit/util/temp_dir.h"
#include "tests/sfile/sfile_test_util.h"
#include "vexutil/util.h"

namespace {

using namespace sfile_test;
namespace tk = vex::testkit;

std::vector<uint8_t> tone(size_t bytes, uint8_t seed) {
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < bytes; ++i)
    v[i] = static_cast<uint8_t>(seed + i * 5);
  return v;
}

class ListSound : public ::testing::Test {
protected:
  tk::TempDir dir;
  std::vector<uint8_t> a = tone(8000, 1), b = tone(4000, 2), c = tone(2000, 3); // 8-bit mono, 8000 Hz

  void SetUp() override {
    tk::write_file(dir.file("a.wav"), tk::pcm_wav(8000, 8, 1, a));
    tk::write_file(dir.file("b.wav"), tk::pcm_wav(8000, 8, 1, b));
    tk::write_file(dir.file("c.wav"), tk::pcm_wav(8000, 8, 1, c));
  }
  std::string list(const std::string &name, const std::string &text) {
    std::ofstream(dir.file(name)) << text;
    return dir.file(name);
  }
  static std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto &p : parts)
      out.insert(out.end(), p.begin(), p.end());
    return out;
  }
  static std::vector<uint8_t> cut(const std::vector<uint8_t> &v, size_t from, size_t n) {
    return std::vector<uint8_t>(v.begin() + from, v.begin() + from + n);
  }
};

TEST_F(ListSound, EntriesFollowOneAnotherWithSwitchesAndComments) {
  const auto path = list("l.LsT", "# sound list\n" + dir.file("a.wav") + " /L2\n\n" + dir.file("b.wav") +
                                      " /S100 /E300\r\n   " + dir.file("c.wav") + "\n");
  Source s = open(path);
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(s->kind, SFILE_LIST);
  EXPECT_STREQ(s->type, "List");
  EXPECT_EQ(s->rate, 8000u);
  EXPECT_EQ(s->bits, 8u);
  // b from 100 ms to 300 ms: 800 bytes from byte 800.
  const auto want = join({a, a, cut(b, 800, 1600), c});
  EXPECT_EQ(s->total, want.size());
  EXPECT_EQ(read_all(s.get(), {3000}), want);
  EXPECT_EQ(s->at_end, 1);
  SFileReset(s.get());
  EXPECT_EQ(read_all(s.get(), {999}), want) << "after reset";
}

TEST_F(ListSound, TheListsFormatComesFromTheCallerOrItsFirstEntry) {
  tk::write_file(dir.file("s.wav"), tk::pcm_wav(16000, 16, 2, tone(6400, 9)));
  const auto path = list("f.lst", dir.file("s.wav") + "\n" + dir.file("a.wav") + "\n");
  Source s = open(path);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->rate, 16000u);
  EXPECT_EQ(s->bits, 16u);
  EXPECT_EQ(s->channels, 2u);
  // a (1 s of 8-bit mono at 8000 Hz) becomes 1 s at 16000 Hz 16-bit stereo.
  EXPECT_EQ(s->total, 6400u + 64000u);
  // A rising rate ends on the next-to-last source frame of an entry (the
  // last is only read ahead): 2 source frames, 4 output frames short.
  EXPECT_EQ(read_all(s.get()).size(), 6400u + 64000u - 16);
  s = open(path, {.rate = 4000, .bits = 8, .channels = 1});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->total, 400u + 4000u);
}

TEST_F(ListSound, SkippingIntoTheListStartsInTheRightEntry) {
  const auto path = list("k.lst", dir.file("a.wav") + "\n" + dir.file("b.wav") + "\n" + dir.file("c.wav") + "\n");
  // a is 1 s long: 250 ms into b, to 100 ms into c
  OpenOptions o{.start = 1250, .end = 1600};
  Source s = open(path, o);
  ASSERT_TRUE(s);
  EXPECT_EQ(read_all(s.get(), {128}), join({cut(b, 2000, 2000), cut(c, 0, 800)}));
  o.start = 1700; // a and b make 1.5 s: 200 ms into c
  o.end = 0;
  s = open(path, o);
  ASSERT_TRUE(s);
  EXPECT_EQ(read_all(s.get(), {4096}), cut(c, 1600, 400));
}

TEST_F(ListSound, NumberedSeriesWithAndWithoutAnEnd) {
  for (int i = 0; i < 4; ++i)
    tk::write_file(dir.file("n0" + std::to_string(i) + ".wav"), tk::pcm_wav(8000, 8, 1, tone(100, uint8_t(i))));
  Source s = open(dir.file("n??.wav*1-2"));
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(read_all(s.get()), join({tone(100, 1), tone(100, 2)}));
  // Without a last number: while the files are there.
  s = open(dir.file("n??"));
  ASSERT_TRUE(s);
  EXPECT_EQ(read_all(s.get()), join({tone(100, 0), tone(100, 1), tone(100, 2), tone(100, 3)}));
  // Switches on a series name.
  s = open(dir.file("n??.wav") + " /S2 /E3");
  ASSERT_TRUE(s);
  EXPECT_EQ(read_all(s.get()), join({tone(100, 2), tone(100, 3)}));
  // A series of no files.
  EXPECT_FALSE(open(dir.file("n??.wav*3-2")));
  EXPECT_EQ(errors(), std::vector<std::string>{"No files in the list file."});
  EXPECT_FALSE(open(dir.file("x??.wav")));
  EXPECT_EQ(errors(), std::vector<std::string>{"No files in the list file."});
}

// Folders and names that look like switches open as given, with another
// sound (a) at the path that cutting the switch out would give or with
// none; a plain name's trailing /S and /E trim it (milliseconds here)
// unless the caller trims, and /L repeats it.
TEST_F(ListSound, SwitchLookingNamesOpenAsGivenAndTrailingSwitchesTrim) {
  const std::string d = dir.path().string() + "/";
  for (const char *folder : {"s5", "e2", "l3", "plain", "n/s5", "b.wav "})
    std::filesystem::create_directories(d + folder);
  for (const char *n : {"s5/x.wav", "e2/x.wav", "l3/x.wav", "plain/s24x.wav", "n/s5/y.wav"})
    tk::write_file(d + n, tk::pcm_wav(8000, 8, 1, b));
  tk::write_file(d + "b.wav /S3.wav", tk::pcm_wav(8000, 8, 1, c));
  for (const char *n : {"x.wav", "plainx.wav"})
    tk::write_file(d + n, tk::pcm_wav(8000, 8, 1, a));
  const auto line = list("m.lst", d + "s5/x.wav\n" + d + "plain/s24x.wav /S100 /E300\n" + d + "b.wav /S3\n");
  const struct {
    std::string name;
    int32_t start, end; // the caller's
    std::vector<uint8_t> want;
  } rows[] = {
      {d + "s5/x.wav", 0, 0, b},
      {d + "e2/x.wav", 0, 0, b},
      {d + "l3/x.wav", 0, 0, b},
      {d + "plain/s24x.wav", 0, 0, b},
      {d + "n/s5/y.wav", 0, 0, b},
      {d + "b.wav /S3", 0, 0, c}, // the whole name is a file: S3.wav in "b.wav "
      {d + "c.wav /S100 /E200", 0, 0, cut(c, 800, 800)},
      {d + "s5/x.wav /e300 /s100", 0, 0, cut(b, 800, 1600)},
      {d + "c.wav /S100 /E200", 50, 0, cut(c, 400, 1600)}, // the caller's trimming wins
      {d + "c.wav /L2", 0, 0, join({c, c})},
      {line, 0, 0, join({b, cut(b, 800, 1600), c})},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    Source s = open(r.name, {.start = r.start, .end = r.end});
    if (!s) {
      ADD_FAILURE() << VEXLastError();
      continue;
    }
    EXPECT_EQ(read_all(s.get()), r.want);
  }
}

TEST_F(ListSound, ListsOfNothingFail) {
  for (const std::string &text : std::vector<std::string>{"", "\n\n# nothing\n", dir.file("missing.wav") + "\n" + dir.file("gone.wav") + "\n"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(open(list("e.lst", text)));
    EXPECT_EQ(errors(), std::vector<std::string>{"No files in the list file."});
  }
  // Entries that fail are skipped.
  Source s = open(list("m.lst", dir.file("missing.wav") + "\n" + dir.file("c.wav") + "\n"));
  ASSERT_TRUE(s);
  EXPECT_EQ(read_all(s.get()), c);
  // The list file itself missing.
  EXPECT_FALSE(open(dir.file("none.lst")));
  EXPECT_EQ(errors().size(), 1u);
  EXPECT_STREQ(VEXLastError(), "no such file");
}

TEST_F(ListSound, ListsThatNameThemselvesFailWithoutRecursing) {
  list("self.lst", dir.file("a.wav") + "\n" + dir.file("self.lst") + "\n");
  EXPECT_FALSE(open(dir.file("self.lst")));
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_NE(errors()[0].find("names itself"), std::string::npos) << errors()[0];
  // Through another list, and through a series of lists.
  list("p.lst", dir.file("q.lst") + "\n");
  list("q.lst", dir.file("c.wav") + "\n" + dir.file("p.lst") + "\n");
  EXPECT_FALSE(open(dir.file("p.lst")));
  EXPECT_NE(std::string(VEXLastError()).find("names itself"), std::string::npos) << VEXLastError();
  list("r00.lst", dir.file("r??.lst*0-1") + "\n");
  list("r01.lst", dir.file("b.wav") + "\n");
  EXPECT_FALSE(open(dir.file("r00.lst")));
  EXPECT_NE(std::string(VEXLastError()).find("names itself"), std::string::npos) << VEXLastError();
  // A list nested less deep than the bound is fine; one step more fails.
  const uint32_t depth = vex::lists::kMaxListDepth;
  list("d0.lst", dir.file("a.wav") + "\n");
  for (uint32_t i = 1; i <= depth; ++i)
    list("d" + std::to_string(i) + ".lst", dir.file("d" + std::to_string(i - 1) + ".lst") + "\n");
  Source s = open(dir.file("d" + std::to_string(depth - 1) + ".lst"));
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(read_all(s.get()), a);
  EXPECT_FALSE(open(dir.file("d" + std::to_string(depth) + ".lst")));
  EXPECT_NE(std::string(VEXLastError()).find("nest more than"), std::string::npos) << VEXLastError();
}

TEST_F(ListSound, AListOfTooManyEntriesStops) {
  // 20 x 20 x 20 x 20 entries: beyond the budget of one open.
  list("w0.lst", std::string(20, '\n') + dir.file("c.wav") + " /L20\n");
  for (int i = 1; i <= 3; ++i)
    list("w" + std::to_string(i) + ".lst", dir.file("w" + std::to_string(i - 1) + ".lst") + " /L20\n");
  EXPECT_FALSE(open(dir.file("w3.lst")));
  EXPECT_NE(std::string(VEXLastError()).find("more than"), std::string::npos) << VEXLastError();
}

} // namespace
