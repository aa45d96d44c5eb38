// The list reader on its own: entries, switches (and the names that only
// look like them), comments, repeats, series in both forms, the wrap after
// the end marker, lines the line reader cuts, and rewinding.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lists/list_reader.h"
#include "testkit/util/temp_dir.h"

namespace {

// An entry as next_entry gives it: "name first..last", "+" before a generated one; "" the end marker.
using Got = std::vector<std::string>;

// A source's list-reader fields, as a record would hold them, reading a
// list file or (none given) the source name alone.
struct Reader {
  VEXFILE *file = nullptr;
  char pattern[128] = {};
  int32_t counter = 0, end = 0, repeat = 0;
  char repeated[256] = {};
  int32_t first = 0, last = 0;
  std::string line;
  Reader(const std::string &source_name, const vex::testkit::TempDir *dir = nullptr) : line(source_name) {
    if (!dir)
      return;
    std::ofstream(dir->file("t.lst"), std::ios::binary) << source_name;
    file = VEXFileOpen(4096, dir->file("t.lst").c_str(), VEXFILE_READ);
  }
  ~Reader() { VEXFileClose(file); }
  vex::lists::ListState state() { return {file, pattern, counter, end, repeat, repeated, first, last}; }
  Got next(size_t n) {
    Got out;
    for (size_t i = 0; i < n; ++i) {
      vex::lists::ListEntry e;
      const bool generated = vex::lists::next_entry(state(), file ? "" : line.c_str(), e);
      out.push_back(e.name[0] ? (generated ? "+" : "") + std::string(e.name) + " " + std::to_string(e.first) + ".." +
                                    std::to_string(e.last)
                              : (generated ? "+" : ""));
    }
    return out;
  }
};

TEST(ListReader, ListFilesAndSourceNames) {
  vex::testkit::TempDir dir;
  for (const char *n : {"s1.x", "s2.x", "s3.x", "s5.x"})
    std::ofstream(dir.file(n)) << "x";
  const std::string long_name(200, 'n');
  const struct {
    std::string text;
    bool list; // a list file of the text, else the text as the source name
    Got want;
  } rows[] = {
      // Repeats, comments and ranges, then the end marker and the wrap.
      {"a.flc /L3\n# a comment\n\nb.flc /S5 /E9\n", true,
       {"a.flc 0..0", "+a.flc 0..0", "+a.flc 0..0", "b.flc 5..9", "", "a.flc 0..0"}},
      // A series with a star range, round and round.
      {"f??.pcx*8-11", false, {"+f08.pcx 0..0", "+f09.pcx 0..0", "+f10.pcx 0..0", "+f11.pcx 0..0", "", "+f08.pcx 0..0"}},
      // Series inside a list with switch ranges; one digit names no more; the empty series 5-3 is passed over.
      {"x.wav\npic???.bmp /S98 /E101\nf?.tga*8-12\nnone?.x*5-3\ny.wav /S-2\n", true,
       {"x.wav 0..0", "+pic098.bmp 0..0", "+pic099.bmp 0..0", "+pic100.bmp 0..0", "+pic101.bmp 0..0", "+f8.tga 0..0",
        "+f9.tga 0..0", "y.wav -2..0", ""}},
      // Open-ended series run while the files exist; from a number that has no file, nothing at all.
      {dir.file("s?.x /S1"), false,
       {"+" + dir.file("s1.x") + " 0..0", "+" + dir.file("s2.x") + " 0..0", "+" + dir.file("s3.x") + " 0..0", "",
        "+" + dir.file("s1.x") + " 0..0"}},
      {dir.file("s?.x"), false, {"", ""}},
      // Long lines come in pieces of 127; line ends are dropped.
      {long_name + "\r\nlast", true, {long_name.substr(0, 127) + " 0..0", long_name.substr(127) + " 0..0", "last 0..0", ""}},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.text.substr(0, 40));
    Reader f(r.text, r.list ? &dir : nullptr);
    EXPECT_EQ(f.next(r.want.size()), r.want);
  }
  Reader f("a /L5\nb\n", &dir); // a rewind starts again and forgets the repeat
  EXPECT_EQ(f.next(2), (Got{"a 0..0", "+a 0..0"}));
  vex::lists::rewind_list(f.state());
  EXPECT_EQ(f.next(1), Got{"a 0..0"});
}

// Folders and files whose names look like switches, and at each path that
// cutting such a folder or prefix out would give, another file. Each line
// is read once as a source name and once in a list file.
TEST(ListReader, SwitchesAreOnlyTrailingWordsOfALineThatNamesNoFile) {
  vex::testkit::TempDir dir;
  for (const char *folder : {"s5", "e2", "l3", "y.wav "})
    std::filesystem::create_directory(dir.path() / folder);
  for (const char *n : {"s5/x.wav", "e2/x.wav", "l3/x.wav", "x.wav", "s24x.wav", "y.wav /S3", "what?.wav", "s5/p1.x",
                        "s5/p2.x", "s5/p3.x"})
    std::ofstream(dir.file(n)) << "x";
  const std::string d = dir.path().string();
  const struct {
    std::string line;
    Got want;
  } rows[] = {
      {d + "/s5/x.wav", {d + "/s5/x.wav 0..0"}},
      {d + "/e2/x.wav", {d + "/e2/x.wav 0..0"}},
      {d + "/l3/x.wav", {d + "/l3/x.wav 0..0"}}, // and no repeats
      {d + "/s24x.wav", {d + "/s24x.wav 0..0"}},
      {d + "/S5/gone.wav", {d + "/S5/gone.wav 0..0"}}, // no file either way
      {d + "/x.wav /S3 /E5", {d + "/x.wav 3..5"}},
      {d + "/x.wav\t/e-5   /s3 ", {d + "/x.wav 3..-5"}},
      {d + "/x.wav /S3 /S7", {d + "/x.wav 3..0"}}, // the first of a letter
      {d + "/x.wav /L2 /E4", {d + "/x.wav 0..4", "+" + d + "/x.wav 0..4"}},
      {d + "/x.wav /L-2147483648", {d + "/x.wav 0..0"}},   // no repeats below /L2
      {d + "/y.wav /S3", {d + "/y.wav /S3 0..0"}},         // the whole line is a file (S3 in "y.wav ")
      {d + "/a /S3 b.wav", {d + "/a /S3 b.wav 0..0"}},     // a switch word in the middle
      {d + "/x.wav/S3", {d + "/x.wav/S3 0..0"}},           // not a word of its own
      {d + "/x.wav /S3x", {d + "/x.wav /S3x 0..0"}},
      {d + "/x.wav /S-", {d + "/x.wav /S- 0..0"}},
      {d + "/ /S3", {d + "/ /S3 0..0"}},                   // no name before the switch
      {"/S3 /E5", {"/S3 0..5"}},                           // the first word is the name
      {d + "/what?.wav", {d + "/what?.wav 0..0"}},         // a file, not a series
      {d + "/s5/p?.x /E2 /S1", {"+" + d + "/s5/p1.x 0..0", "+" + d + "/s5/p2.x 0..0"}},
  };
  std::string text;
  Got all;
  for (const auto &r : rows) {
    SCOPED_TRACE(r.line);
    Got want = r.want;
    want.insert(want.end(), {"", r.want[0]}); // the source name is given once, and again after the end marker
    EXPECT_EQ(Reader(r.line).next(want.size()), want);
    text += r.line + "\n";
    all.insert(all.end(), r.want.begin(), r.want.end());
  }
  all.push_back("");
  EXPECT_EQ(Reader(text, &dir).next(all.size()), all);
}

TEST(ListReader, SeriesNamesAndListNames) {
  EXPECT_EQ(vex::lists::series_name("pic???.bmp", 7), "pic007.bmp"); // digits from the units leftward
  EXPECT_EQ(vex::lists::series_name("a?b?c", 42), "a4b2c");
  EXPECT_EQ(vex::lists::series_name("??", 12345), "45") << "high digits dropped";
  EXPECT_EQ(vex::lists::series_name("none", 3), "none");
  for (const auto &[name, is_list] : {std::pair{"a.lst", true}, {"dir/A.LsT", true}, {"a.lst.wav", false},
                                      {"a.lstx", false}, {"lst", false}})
    EXPECT_EQ(vex::lists::is_list_name(name), is_list) << name;
}

} // namespace
