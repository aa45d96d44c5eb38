#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
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

// An output reserved beside its final name, written and committed over the
// old file; another abandoned; then each refusal leaves nothing behind.
TEST_F(FileMisc, TemporaryOutputsReplaceTheFinalNameWholeOrNotAtAll) {
  const std::string out = tmp_.file("out.bin");
  write_file(out, bytes("old"));
  const size_t need = tmp_.path().string().size() + 1 + 9 + 1; // "<folder>/.vxXXXXXX" and its zero
  std::vector<char> a(need), b(out.size() + 10);
  ASSERT_EQ(VEXFileReserveTemporary(out.c_str(), a.data(), static_cast<uint32_t>(a.size())), 1) << VEXLastError();
  ASSERT_EQ(VEXFileReserveTemporary(out.c_str(), b.data(), static_cast<uint32_t>(b.size())), 1) << VEXLastError();
  EXPECT_STRNE(a.data(), b.data());
  for (const char *t : {a.data(), b.data()}) {
    EXPECT_EQ(fs::path(t).parent_path(), tmp_.path());
    EXPECT_EQ(fs::path(t).filename().string().rfind(".vx", 0), 0u) << t;
    EXPECT_EQ(fs::path(t).filename().string().size(), 9u) << t;
    EXPECT_EQ(fs::file_size(t), 0u);
  }
  VEXFILE *f = VEXFileCreate(16, a.data());
  VEXFilePutNB(f, "new", 3);
  VEXFileClose(f);
  EXPECT_EQ(read_file(out), bytes("old")); // until the commit
  EXPECT_EQ(VEXFileCommitTemporary(a.data(), out.c_str()), 1) << VEXLastError();
  EXPECT_EQ(read_file(out), bytes("new"));
  VEXFileAbandonTemporary(b.data());
  VEXFileAbandonTemporary(b.data()); // gone already: nothing happens
  VEXFileAbandonTemporary(nullptr);

  fs::create_directory(tmp_.file("dir"));
  write_file(tmp_.file("dir/inner"), bytes("y"));
  struct Refusal {
    std::string final_name;
    uint32_t room;
    const char *reason;
  };
  const Refusal refusals[] = {
      {out, static_cast<uint32_t>(need - 1), "needs"},           // one byte short
      {tmp_.file("no/out.bin"), 256, "cannot create a file in"}, // no such folder
      {"", 256, "no output name"},
  };
  for (const Refusal &r : refusals) {
    SCOPED_TRACE(r.final_name);
    std::vector<char> name(256, 'x');
    EXPECT_EQ(VEXFileReserveTemporary(r.final_name.c_str(), name.data(), r.room), 0);
    EXPECT_STREQ(name.data(), "");
    EXPECT_NE(std::string(VEXLastError()).find(r.reason), std::string::npos) << VEXLastError();
  }
  // A commit that cannot rename (onto a folder) removes the temporary.
  ASSERT_EQ(VEXFileReserveTemporary(out.c_str(), a.data(), static_cast<uint32_t>(a.size())), 1);
  EXPECT_EQ(VEXFileCommitTemporary(a.data(), tmp_.file("dir").c_str()), 0);
  EXPECT_NE(std::string(VEXLastError()).find("cannot name the output"), std::string::npos) << VEXLastError();
  std::vector<std::string> left;
  for (const auto &e : fs::directory_iterator(tmp_.path()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"dir", "out.bin"})) << "no temporary stays behind";
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
