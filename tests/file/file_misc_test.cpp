#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/file.h"
#include "vexutil/util.h"

namespace fs = std::filesystem;

namespace {

using vex::test::read_file;
using vex::test::write_file;

std::vector<uint8_t> bytes(const std::string &s) { return {s.begin(), s.end()}; }

class FileMisc : public testing::Test {
protected:
  vex::testkit::TempDir tmp_;
  std::string name_ = tmp_.file("m.txt");
};

TEST_F(FileMisc, GetLineStripsLineEndsAndSplitsLongLines) {
  write_file(name_, bytes("ab\r\nabcd\n\n\rlast"));
  VEXFILE *f = VEXFileOpen(4, name_.c_str(), VEXFILE_READ);
  char buf[64];
  EXPECT_STREQ(VEXFileGetLine(f, buf, 64), "ab");
  char small[3];
  EXPECT_STREQ(VEXFileGetLine(f, small, 3), "ab");
  EXPECT_STREQ(VEXFileGetLine(f, small, 3), "cd");
  EXPECT_STREQ(VEXFileGetLine(f, small, 3), ""); // the line feed of "abcd"
  EXPECT_STREQ(VEXFileGetLine(f, buf, 64), "");  // the empty line
  EXPECT_STREQ(VEXFileGetLine(f, buf, 64), "\rlast");
  EXPECT_EQ(VEXFileAtEnd(f), 1);
  EXPECT_STREQ(VEXFileGetLine(f, buf, 64), "");
  char one[1] = {'x'};
  EXPECT_STREQ(VEXFileGetLine(f, one, 1), "");
  VEXFileClose(f);
}

TEST_F(FileMisc, TimeStampsRoundTripInTheirUpperHalf) {
  VEXFILE *f = VEXFileCreate(16, name_.c_str());
  VEXFilePut8(f, 1); // buffered: SetTime must flush it first
  // 0x01D00000 << 32 x 100 ns lies in 2014.
  VEXFileSetTime(f, 0x01D00000u);
  EXPECT_EQ(VEXFileGetTime(f), 0x01D00000u);
  VEXFileClose(f);
  VEXFILE *r = VEXFileOpen(0, name_.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileGetTime(r), 0x01D00000u);
  VEXFileClose(r);
  // Against the system's own clock of the file.
  struct stat st {};
  ASSERT_EQ(stat(name_.c_str(), &st), 0);
  const uint64_t ticks = (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                         static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  EXPECT_EQ(ticks >> 32, 0x01D00000u);
  EXPECT_EQ(read_file(name_), std::vector<uint8_t>{1});
}

TEST_F(FileMisc, EraseAndRenameResults) {
  EXPECT_EQ(VEXFileErase(tmp_.file("missing").c_str()), 1);
  write_file(name_, bytes("x"));
  EXPECT_EQ(VEXFileErase(name_.c_str()), 0);
  EXPECT_FALSE(fs::exists(name_));
  fs::create_directory(tmp_.file("dir"));
  write_file(tmp_.file("dir/inner"), bytes("y"));
  EXPECT_EQ(VEXFileErase(tmp_.file("dir").c_str()), 2);

  const std::string a = tmp_.file("a"), b = tmp_.file("b");
  write_file(a, bytes("first"));
  EXPECT_EQ(VEXFileRename(b.c_str(), a.c_str()), 0);
  EXPECT_EQ(read_file(b), bytes("first"));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_EQ(VEXFileRename(b.c_str(), a.c_str()), 1); // a is gone
  write_file(a, bytes("second"));
  EXPECT_EQ(VEXFileRename(b.c_str(), a.c_str()), 2); // never replaces b
  EXPECT_EQ(read_file(b), bytes("first"));
}

TEST_F(FileMisc, LogStringAppendsOrCreates) {
  LogString(name_.c_str(), "one ");
  LogString(name_.c_str(), "two\n");
  LogString(name_.c_str(), "");
  EXPECT_EQ(read_file(name_), bytes("one two\n"));
  LogString(tmp_.file("no/dir/log").c_str(), "lost"); // cannot be created: nothing happens
  EXPECT_FALSE(fs::exists(tmp_.file("no")));
}

TEST_F(FileMisc, FileSizeByName) {
  write_file(name_, std::vector<uint8_t>(12345, 9));
  EXPECT_EQ(vexfilesize(name_.c_str()), 12345u);
  EXPECT_EQ(vexfilesize(tmp_.file("missing").c_str()), 0u);
  EXPECT_EQ(vexfilesize(nullptr), 0u);
}

} // namespace
