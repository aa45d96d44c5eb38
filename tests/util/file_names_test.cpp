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
  const char *a = "dir.x/name";
  EXPECT_EQ(HasExtension(a), nullptr);
  const char *b = ".flc";
  EXPECT_EQ(HasExtension(b), b);
  const char *c = "c.";
  EXPECT_EQ(HasExtension(c), c + 1);
  const char *d = "a.tar.gz";
  EXPECT_EQ(HasExtension(d), d + 5);
  EXPECT_EQ(HasExtension("c:/a.b/c"), nullptr);
  EXPECT_EQ(HasExtension(""), nullptr);
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
  Path p("sub/../sub/./pic.bmp");
  ExpandFileName(p.text);
  EXPECT_EQ(p.str(), cwd_ + "/sub/pic.bmp");
  Path q("/a//b/../c/");
  ExpandFileName(q.text);
  EXPECT_EQ(q.str(), "/a/c/");
  Path r("/..");
  ExpandFileName(r.text);
  EXPECT_EQ(r.str(), "/");
  Path e("");
  ExpandFileName(e.text);
  EXPECT_EQ(e.str(), "");
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
  Path p("sub/pic.bmp");
  GetFilePieces(p.text, 1, 1, 0, 0);
  EXPECT_EQ(p.str(), cwd_ + "/sub/");
  Path n(" sub/pic.bmp ");
  GetFilePieces(n.text, 0, 0, 1, 1);
  EXPECT_EQ(n.str(), "pic.bmp");
  Path x("sub/pic.bmp");
  GetFilePieces(x.text, 0, 0, 0, 1);
  EXPECT_EQ(x.str(), ".bmp");
  Path d("sub");
  GetFilePieces(d.text, 1, 1, 1, 1); // a directory gives no name or extension
  EXPECT_EQ(d.str(), cwd_ + "/sub/");
  Path e("   ");
  GetFilePieces(e.text, 1, 1, 1, 1);
  EXPECT_EQ(e.str(), "");
}

TEST_F(FileNames, DriveIsTheFirstCharacterOfTheFullPath) {
  Path p("sub");
  EXPECT_EQ(GetDrive(p.text), '/');
  EXPECT_EQ(p.str(), cwd_ + "/sub");
}

} // namespace
