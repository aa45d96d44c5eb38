// The list reader on its own: entries, switches (and the names that only
// look like them), comments, repeats, series in both forms, the wrap after
// the end marker, and lines the line reader cuts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "lists/list_reader.h"
#include "testkit/util/temp_dir.h"

namespace {

using vex::lists::ListEntry;

// A source's list-reader fields, as a record would hold them.
struct Fields {
  VEXFILE *file = nullptr;
  char pattern[128] = {};
  int32_t counter = 0, end = 0, repeat = 0;
  char repeated[256] = {};
  int32_t first = 0, last = 0;
  std::string line; // the source name, when there is no list file

  ~Fields() { VEXFileClose(file); }
  vex::lists::ListState state() { return {file, pattern, counter, end, repeat, repeated, first, last}; }

  struct Got {
    bool generated;
    std::string name;
    int32_t first, last;
    bool operator==(const Got &) const = default;
    friend void PrintTo(const Got &g, std::ostream *os) {
      *os << (g.generated ? "generated " : "") << '"' << g.name << "\" " << g.first << ".." << g.last;
    }
  };
  Got next() {
    ListEntry e;
    const bool g = vex::lists::next_entry(state(), line.c_str(), e);
    return Got{g, e.name, e.first, e.last};
  }
};

using Got = Fields::Got;

class ListReader : public ::testing::Test {
protected:
  vex::testkit::TempDir dir;
  void open_list(Fields &f, const std::string &text) {
    const std::string path = dir.file("t.lst");
    std::ofstream(path, std::ios::binary) << text;
    f.file = VEXFileOpen(4096, path.c_str(), VEXFILE_READ);
    ASSERT_NE(f.file, nullptr);
  }
};

TEST_F(ListReader, RepeatsCommentsAndRangesThenTheEndAndTheWrap) {
  Fields f;
  open_list(f, "a.flc /L3\n# a comment\n\nb.flc /S5 /E9\n");
  const std::vector<Got> expected = {
      {false, "a.flc", 0, 0}, {true, "a.flc", 0, 0}, {true, "a.flc", 0, 0}, {false, "b.flc", 5, 9},
      {false, "", 0, 0},      {false, "a.flc", 0, 0}, // round again
  };
  for (const Got &want : expected)
    EXPECT_EQ(f.next(), want) << want.name;
}

TEST_F(ListReader, SeriesWithAStarRangeWithoutAListFile) {
  Fields f;
  f.line = "f??.pcx*8-11";
  for (int round = 0; round < 2; ++round) {
    for (const char *name : {"f08.pcx", "f09.pcx", "f10.pcx", "f11.pcx"})
      EXPECT_EQ(f.next(), (Got{true, name, 0, 0}));
    EXPECT_EQ(f.next(), (Got{false, "", 0, 0})) << "the end marker, round " << round;
  }
}

TEST_F(ListReader, SeriesInsideAListWithSwitchRanges) {
  Fields f;
  open_list(f, "x.wav\npic???.bmp /S98 /E101\nf?.tga*8-12\nnone?.x*5-3\ny.wav /S-2\n");
  const std::vector<Got> expected = {
      {false, "x.wav", 0, 0},      {true, "pic098.bmp", 0, 0}, {true, "pic099.bmp", 0, 0},
      {true, "pic100.bmp", 0, 0},  {true, "pic101.bmp", 0, 0},
      {true, "f8.tga", 0, 0},      {true, "f9.tga", 0, 0}, // one digit names no more
      {false, "y.wav", -2, 0},     // the empty series 5-3 is passed over
      {false, "", 0, 0},
  };
  for (const Got &want : expected)
    EXPECT_EQ(f.next(), want) << want.name;
}

TEST_F(ListReader, OpenEndedSeriesRunWhileTheFilesExist) {
  for (const char *n : {"s1.x", "s2.x", "s3.x", "s5.x"})
    std::ofstream(dir.file(n)) << "x";
  Fields f;
  f.line = dir.file("s?.x /S1");
  for (const char *n : {"s1.x", "s2.x", "s3.x"})
    EXPECT_EQ(f.next(), (Got{true, dir.file(n), 0, 0}));
  EXPECT_EQ(f.next(), (Got{false, "", 0, 0}));
  EXPECT_EQ(f.next(), (Got{true, dir.file("s1.x"), 0, 0})) << "and round again";
  // Starting at a number that has no file: nothing at all.
  Fields g;
  g.line = dir.file("s?.x");
  EXPECT_EQ(g.next(), (Got{false, "", 0, 0}));
  EXPECT_EQ(g.next(), (Got{false, "", 0, 0}));
}

// Folders and files whose names look like switches, and at each path that
// cutting such a folder or prefix out would give, another file. Each line
// is read once as a source name and once in a list file.
TEST_F(ListReader, SwitchesAreOnlyTrailingWordsOfALineThatNamesNoFile) {
  for (const char *folder : {"s5", "e2", "l3", "y.wav "})
    std::filesystem::create_directory(dir.path() / folder);
  for (const char *n : {"s5/x.wav", "e2/x.wav", "l3/x.wav", "x.wav", "s24x.wav", "y.wav /S3", "what?.wav", "s5/p1.x",
                        "s5/p2.x", "s5/p3.x"})
    std::ofstream(dir.file(n)) << "x";
  const std::string d = dir.path().string();
  const struct {
    std::string line;
    std::vector<Got> want;
  } rows[] = {
      {d + "/s5/x.wav", {{false, d + "/s5/x.wav", 0, 0}}},
      {d + "/e2/x.wav", {{false, d + "/e2/x.wav", 0, 0}}},
      {d + "/l3/x.wav", {{false, d + "/l3/x.wav", 0, 0}}}, // and no repeats
      {d + "/s24x.wav", {{false, d + "/s24x.wav", 0, 0}}},
      {d + "/S5/gone.wav", {{false, d + "/S5/gone.wav", 0, 0}}}, // no file either way
      {d + "/x.wav /S3 /E5", {{false, d + "/x.wav", 3, 5}}},
      {d + "/x.wav\t/e-5   /s3 ", {{false, d + "/x.wav", 3, -5}}},
      {d + "/x.wav /S3 /S7", {{false, d + "/x.wav", 3, 0}}}, // the first of a letter
      {d + "/x.wav /L2 /E4", {{false, d + "/x.wav", 0, 4}, {true, d + "/x.wav", 0, 4}}},
      {d + "/x.wav /L-2147483648", {{false, d + "/x.wav", 0, 0}}}, // no repeats below /L2
      {d + "/y.wav /S3", {{false, d + "/y.wav /S3", 0, 0}}},       // the whole line is a file (S3 in "y.wav ")
      {d + "/a /S3 b.wav", {{false, d + "/a /S3 b.wav", 0, 0}}},   // a switch word in the middle
      {d + "/x.wav/S3", {{false, d + "/x.wav/S3", 0, 0}}},         // not a word of its own
      {d + "/x.wav /S3x", {{false, d + "/x.wav /S3x", 0, 0}}},
      {d + "/x.wav /S-", {{false, d + "/x.wav /S-", 0, 0}}},
      {d + "/ /S3", {{false, d + "/ /S3", 0, 0}}},           // no name before the switch
      {"/S3 /E5", {{false, "/S3", 0, 5}}},                   // the first word is the name
      {d + "/what?.wav", {{false, d + "/what?.wav", 0, 0}}}, // a file, not a series
      {d + "/s5/p?.x /E2 /S1", {{true, d + "/s5/p1.x", 0, 0}, {true, d + "/s5/p2.x", 0, 0}}},
  };
  std::string text;
  std::vector<Got> all;
  for (const auto &r : rows) {
    SCOPED_TRACE(r.line);
    Fields f;
    f.line = r.line;
    for (const Got &want : r.want)
      EXPECT_EQ(f.next(), want);
    EXPECT_EQ(f.next(), (Got{false, "", 0, 0})) << "the source name is given once";
    EXPECT_EQ(f.next(), r.want[0]) << "and again after the end marker";
    text += r.line + "\n";
    all.insert(all.end(), r.want.begin(), r.want.end());
  }
  Fields f;
  open_list(f, text);
  for (const Got &want : all)
    EXPECT_EQ(f.next(), want) << want.name;
  EXPECT_EQ(f.next(), (Got{false, "", 0, 0}));
}

TEST_F(ListReader, LongLinesComeInPiecesAndLineEndsAreDropped) {
  Fields f;
  const std::string long_name(200, 'n');
  open_list(f, long_name + "\r\nlast");
  EXPECT_EQ(f.next(), (Got{false, long_name.substr(0, 127), 0, 0}));
  EXPECT_EQ(f.next(), (Got{false, long_name.substr(127), 0, 0}));
  EXPECT_EQ(f.next(), (Got{false, "last", 0, 0}));
  EXPECT_EQ(f.next(), (Got{false, "", 0, 0}));
}

TEST_F(ListReader, RewindStartsAgainAndForgetsTheRepeat) {
  Fields f;
  open_list(f, "a /L5\nb\n");
  EXPECT_EQ(f.next().name, "a");
  EXPECT_EQ(f.next(), (Got{true, "a", 0, 0}));
  vex::lists::rewind_list(f.state());
  EXPECT_EQ(f.next(), (Got{false, "a", 0, 0}));
}

TEST(SeriesName, DigitsFromTheUnitsLeftward) {
  EXPECT_EQ(vex::lists::series_name("pic???.bmp", 7), "pic007.bmp");
  EXPECT_EQ(vex::lists::series_name("a?b?c", 42), "a4b2c");
  EXPECT_EQ(vex::lists::series_name("??", 12345), "45") << "high digits dropped";
  EXPECT_EQ(vex::lists::series_name("none", 3), "none");
}

TEST(ListName, ExtensionInAnyCase) {
  EXPECT_TRUE(vex::lists::is_list_name("a.lst"));
  EXPECT_TRUE(vex::lists::is_list_name("dir/A.LsT"));
  EXPECT_FALSE(vex::lists::is_list_name("a.lst.wav"));
  EXPECT_FALSE(vex::lists::is_list_name("a.lstx"));
  EXPECT_FALSE(vex::lists::is_list_name("lst"));
}

} // namespace
