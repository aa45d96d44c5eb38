#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "testkit/util/temp_dir.h"
#include "vexutil/util.h"

namespace fs = std::filesystem;

namespace {

struct Path {
  char text[256] = {};
  explicit Path(const std::string &s) { std::strncpy(text, s.c_str(), sizeof text - 1); }
  std::string str() const { return text; }
};

// Keeps the working directory of the test process as it was.
class FileNames : public ::testing::Test {
protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(tmp_.path());
    fs::create_directory("sub");
    std::ofstream("sub/pic.bmp") << "x";
    cwd_ = fs::current_path().string();
  }
  void TearDown() override { fs::current_path(old_); }
  vex::testkit::TempDir tmp_;
  fs::path old_;
  std::string cwd_;
};

TEST(HasExtension, LastDotOfTheLastComponent) {
  const std::pair<const char *, int> cases[] = {{"dir.x/name", -1}, {".flc", 0},     {"c.", 1},
                                                {"a.tar.gz", 5},    {"c:/a.b/c", -1}, {"", -1}};
  for (const auto &[name, dot] : cases)
    EXPECT_EQ(HasExtension(name), dot < 0 ? nullptr : name + dot) << '"' << name << '"';
}

TEST(GetTempName, LettersFromNibbles) {
  char dest[64];
  EXPECT_EQ(GetTempName(dest, "/tmp/", "VX", 0), dest);
  EXPECT_STREQ(dest, "/tmp/VXAAAAAA.AAA");
  GetTempName(dest, "", "VX", 0x4321);
  EXPECT_STREQ(dest, "VXDEAAAA.AAA");
  GetTempName(dest, "d/", "", 0xFEDCBA98u);
  EXPECT_STREQ(dest, "d/IJKLMNOP.AAA");
  GetTempName(dest, "", "ABCDEFGHIJKLMNOP", 0);
  EXPECT_STREQ(dest, "ABCDEFGH.JKL");
}

TEST_F(FileNames, ExpandMakesAbsoluteNormalisedPaths) {
  const std::pair<std::string, std::string> cases[] = {
      {"sub/../sub/./pic.bmp", cwd_ + "/sub/pic.bmp"}, {"/a//b/../c/", "/a/c/"}, {"/..", "/"}, {"", ""}};
  for (const auto &[name, full] : cases) {
    Path p(name);
    ExpandFileName(p.text);
    EXPECT_EQ(p.str(), full) << '"' << name << '"';
  }
}

TEST_F(FileNames, ExpandLeavesTooLongResultsAlone) {
  const std::string name = "/" + std::string(254, 'n'); // 255: fits
  Path p(name);
  ExpandFileName(p.text);
  EXPECT_EQ(p.str(), name);
  const std::string rel(250, 'r'); // cwd + '/' + 250 is over 255
  Path q(rel);
  ExpandFileName(q.text);
  EXPECT_EQ(q.str(), rel);
}

TEST_F(FileNames, IsDirectoryRestoresOrStays) {
  Path p("sub");
  EXPECT_EQ(IsDirectory(p.text, 0), 1);
  EXPECT_EQ(p.str(), cwd_ + "/sub");
  EXPECT_EQ(fs::current_path().string(), cwd_);
  Path f("sub/pic.bmp");
  EXPECT_EQ(IsDirectory(f.text, 0), 0);
  EXPECT_EQ(f.str(), cwd_ + "/sub/pic.bmp");
  Path missing("nothing");
  EXPECT_EQ(IsDirectory(missing.text, 0), 0);
  Path root("/");
  EXPECT_EQ(IsDirectory(root.text, 0), 1);
  EXPECT_EQ(root.str(), "/");
  Path s("sub/");
  EXPECT_EQ(IsDirectory(s.text, 1), 1);
  EXPECT_EQ(fs::current_path().string(), cwd_ + "/sub");
}

TEST_F(FileNames, IsDirectoryOnAFullBufferDoesNotOverrun) {
  char buf[256];
  std::memset(buf, 'z', 255);
  buf[255] = '\0';
  EXPECT_EQ(IsDirectory(buf, 0), 0);
  EXPECT_EQ(std::strlen(buf), 255u);
}

TEST_F(FileNames, PiecesOfFilesAndDirectories) {
  struct Case {
    std::string name;
    int32_t drive, dir, base, ext;
    std::string want;
  };
  const Case cases[] = {
      {"sub/pic.bmp", 1, 1, 0, 0, cwd_ + "/sub/"}, {" sub/pic.bmp ", 0, 0, 1, 1, "pic.bmp"},
      {"sub/pic.bmp", 0, 0, 0, 1, ".bmp"},
      {"sub", 1, 1, 1, 1, cwd_ + "/sub/"}, // a directory gives no name or extension
      {"   ", 1, 1, 1, 1, ""},
  };
  for (const Case &c : cases) {
    Path p(c.name);
    GetFilePieces(p.text, c.drive, c.dir, c.base, c.ext);
    EXPECT_EQ(p.str(), c.want) << '"' << c.name << "\" " << c.drive << c.dir << c.base << c.ext;
  }
}

TEST_F(FileNames, DriveIsTheFirstCharacterOfTheFullPath) {
  Path p("sub");
  EXPECT_EQ(GetDrive(p.text), '/');
  EXPECT_EQ(p.str(), cwd_ + "/sub");
}

} // namespace
