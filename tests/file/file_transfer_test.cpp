// The buffered file and the calls on names against files written and read
// with the standard library: transfers across refills and past the end,
// positions inside and outside the buffer, lines, time stamps, erase and
// rename, temporaries committed whole or not at all.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "tests/file/file_test_util.h"
#include "vexutil/file.h"
#include "vexutil/util.h"

namespace fs = std::filesystem;

namespace {

using vex::testkit::read_file;
using vex::testkit::write_file;

std::vector<uint8_t> ramp(size_t n, uint8_t start = 0) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), start);
  return v;
}
std::vector<uint8_t> bytes(const std::string &s) { return {s.begin(), s.end()}; }

class Transfer : public testing::Test {
protected:
  vex::testkit::TempDir tmp_;
  std::string name_ = tmp_.file("t.bin");
};

TEST_F(Transfer, OpensRefuseBadArgumentsAndNamesOver127Characters) {
  write_file(name_, {1});
  const std::string dir = tmp_.path().string() + "/";
  const std::string ok = dir + std::string(127 - dir.size(), 'a');
  for (int32_t mode : {249, 252})
    EXPECT_EQ(VEXFileOpen(16, name_.c_str(), mode), nullptr) << mode;
  for (const std::string &bad : {tmp_.file("missing"), tmp_.path().string(), std::string(4000, 'x')})
    EXPECT_EQ(VEXFileOpen(16, bad.c_str(), VEXFILE_READ), nullptr) << bad;
  for (const std::string &bad : {tmp_.file("no/such/dir"), dir + std::string(128 - dir.size(), 'b'), std::string()})
    EXPECT_EQ(VEXFileCreate(16, bad.c_str()), nullptr) << bad;
  EXPECT_EQ(VEXFileOpen(16, nullptr, VEXFILE_READ), nullptr);
  EXPECT_EQ(VEXFileCreate(16, nullptr), nullptr);
  VEXFILE *f = VEXFileCreate(16, ok.c_str());
  ASSERT_NE(f, nullptr);
  char copy[VEXFILE_NAME_SIZE];
  EXPECT_STREQ(VEXFileGetName(f, copy), ok.c_str());
  EXPECT_STREQ(copy, ok.c_str());
  EXPECT_EQ(VEXFileGetName(f, nullptr), f->name);
  VEXFileClose(f);
}

TEST_F(Transfer, ReadsWritesAndSeeksAsWorkedOutByHand) {
  using vex::test::run;
  // A short read at the end, then none at once.
  write_file(name_, ramp(3));
  for (int32_t size : {0, 2, 4096})
    run(VEXFileOpen(size, name_.c_str(), VEXFILE_READ), "get(10)=3 get(10)=0 get(1)=0 atend=1");
  // Through one handle: written, read back, the middle overwritten and read
  // across the change (2D 2E D4 C3 as one little-endian word).
  VEXFILE *f = VEXFileCreate(32, name_.c_str());
  std::vector<uint8_t> got = ramp(100, 7);
  EXPECT_EQ(VEXFilePut(f, got.data(), 100), 100u);
  EXPECT_EQ(VEXFileSetPos(f, 0), 100u);
  got.assign(100, 0);
  EXPECT_EQ(VEXFileGet(f, got.data(), 100), 100u);
  EXPECT_EQ(got, ramp(100, 7));
  VEXFileFlush(f, 1);
  run(f, "size=100 setpos(40)=100 put32(0xA1B2C3D4)=0xA1B2C3D4 setpos(38)=44 get32=0xC3D42E2D get16=0xA1B2");
  auto expect = ramp(100, 7);
  vex::testkit::set_le32(expect, 40, 0xA1B2C3D4u);
  EXPECT_EQ(read_file(name_), expect);
  // Positions inside the buffer take no trip to the file (the offset stays
  // just after the 64 bytes of the fill); the current position does nothing.
  write_file(name_, ramp(200));
  run(VEXFileOpen(64, name_.c_str(), VEXFILE_READ), "get8=0 inbuf(10)=1 inbuf(63)=1 inbuf(64)=0 offset=64 setpos(50)=1 "
                                                    "offset=64 get8=50 setpos(51)=51 setpos(150)=51 get8=150");
  // Beyond the end a write leaves a gap of zeros; a read stops there, and a
  // seek past the end of a file read does not make it larger.
  run(VEXFileCreate(16, name_.c_str()), "put8(1)=1 setpos(10)=1 getpos=10 put8(2)=2 size=11");
  EXPECT_EQ(read_file(name_), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}));
  run(VEXFileOpen(16, name_.c_str(), VEXFILE_READ),
      "size=11 setpos(1000)=0 atend=1 get(1)=0 setpos(5) size=11 atend=0");
  // Align pads at the end of the file, moves inside it; 0 and 1 stay.
  for (size_t size : {6u, 10u}) {
    write_file(name_, ramp(size));
    run(VEXFileOpen(16, name_.c_str(), VEXFILE_READWRITE), "setpos(6)=0 align(4)=8 align(0)=8 align(1)=8");
    expect = ramp(size);
    expect.resize(std::max<size_t>(size, 8), 0);
    EXPECT_EQ(read_file(name_), expect);
  }
}

TEST(ShortWrites, SetTheErrorFlagForGood) {
  VEXFILE *f = VEXFileOpen(16, "/dev/full", VEXFILE_READWRITE);
  ASSERT_NE(f, nullptr) << "needs /dev/full";
  const auto data = ramp(100);
  EXPECT_EQ(f->write_error, 0);
  EXPECT_LT(VEXFilePut(f, data.data(), 100), 100u);
  EXPECT_EQ(f->write_error, 1);
  EXPECT_STREQ(VEXLastError(), std::strerror(ENOSPC)); // the system's reason, kept
  VEXFileFlush(f, 0);
  EXPECT_EQ(f->write_error, 1);
  VEXFileClose(f);
}

TEST(ClosedHandles, EveryOperationIsHarmless) {
  VEXFILE *f = nullptr;
  uint8_t buf[4];
  char line[4] = "x";
  const uint32_t results[] = {VEXFileGetNB(f, buf, 4), VEXFileGet(f, buf, 4),    VEXFileGet8(f),
                              VEXFileGet32(f),         VEXFileGetBits(f, 5),     VEXFilePutNB(f, buf, 4),
                              VEXFilePut(f, buf, 4),   VEXFilePutBits(f, 1, 5), VEXFileGetPos(f),
                              VEXFileSetPos(f, 5),     VEXFileSize(f),           VEXFileBitPos(f),
                              VEXFileGetTime(f),       static_cast<uint32_t>(VEXFileIsInBuffer(f, 0))};
  for (uint32_t r : results)
    EXPECT_EQ(r, 0u);
  VEXFileByteAlign(f);
  VEXFileAlign(f, 4);
  VEXFileFlush(f, 1);
  VEXFileSetTime(f, 1);
  EXPECT_EQ(VEXFileAtEnd(f), 1);
  EXPECT_EQ(VEXFileGetName(f, nullptr), nullptr);
  EXPECT_STREQ(VEXFileGetLine(f, line, 4), "");
  VEXFileClose(f);
}

TEST_F(Transfer, LinesTimesSizesAndLogs) {
  write_file(name_, bytes("ab\r\nabcd\n\n\rlast"));
  VEXFILE *f = VEXFileOpen(4, name_.c_str(), VEXFILE_READ);
  char buf[64], small[3], one[1] = {'x'};
  // Line ends go; a line longer than the buffer comes in pieces.
  const std::pair<char *, const char *> lines[] = {{buf, "ab"},   {small, "ab"},     {small, "cd"}, {small, ""},
                                                   {buf, ""},     {buf, "\rlast"},   {buf, ""},     {one, ""}};
  for (const auto &[into, want] : lines)
    EXPECT_STREQ(VEXFileGetLine(f, into, into == buf ? 64 : into == small ? 3 : 1), want);
  EXPECT_EQ(VEXFileAtEnd(f), 1);
  VEXFileClose(f);

  // Time stamps round trip in their upper half (0x01D00000 << 32 x 100 ns
  // lies in 2014), against the system's own clock of the file.
  f = VEXFileCreate(16, name_.c_str());
  VEXFilePut8(f, 1); // buffered: SetTime must flush it first
  VEXFileSetTime(f, 0x01D00000u);
  EXPECT_EQ(VEXFileGetTime(f), 0x01D00000u);
  VEXFileClose(f);
  f = VEXFileOpen(0, name_.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileGetTime(f), 0x01D00000u);
  VEXFileClose(f);
  struct stat st {};
  ASSERT_EQ(stat(name_.c_str(), &st), 0);
  const uint64_t ticks = (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                         static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  EXPECT_EQ(ticks >> 32, 0x01D00000u);
  EXPECT_EQ(read_file(name_), std::vector<uint8_t>{1});

  write_file(name_, std::vector<uint8_t>(12345, 9));
  EXPECT_EQ(vexfilesize(name_.c_str()), 12345u);
  EXPECT_EQ(vexfilesize(tmp_.file("missing").c_str()), 0u);
  EXPECT_EQ(vexfilesize(nullptr), 0u);

  const std::string log = tmp_.file("log");
  for (const char *text : {"one ", "two\n", ""})
    LogString(log.c_str(), text);
  EXPECT_EQ(read_file(log), bytes("one two\n"));
  LogString(tmp_.file("no/dir/log").c_str(), "lost"); // cannot be created: nothing happens
  EXPECT_FALSE(fs::exists(tmp_.file("no")));
}

TEST_F(Transfer, EraseAndRenameResults) {
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
TEST_F(Transfer, TemporaryOutputsReplaceTheFinalNameWholeOrNotAtAll) {
  const std::string out = tmp_.file("out.bin");
  write_file(out, bytes("old"));
  const size_t need = tmp_.path().string().size() + 1 + 9 + 1; // "<folder>/.vxXXXXXX" and its zero
  std::vector<char> a(need), b(out.size() + 10);
  ASSERT_EQ(VEXFileReserveTemporary(out.c_str(), a.data(), static_cast<uint32_t>(a.size())), 1) << VEXLastError();
  ASSERT_EQ(VEXFileReserveTemporary(out.c_str(), b.data(), static_cast<uint32_t>(b.size())), 1) << VEXLastError();
  EXPECT_STRNE(a.data(), b.data());
  for (const char *t : {a.data(), b.data()}) {
    EXPECT_EQ(fs::path(t).parent_path(), tmp_.path());
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
  const struct { std::string final_name; uint32_t room; const char *reason; } refusals[] = {
      {out, static_cast<uint32_t>(need - 1), "needs"},           // one byte short
      {tmp_.file("no/out.bin"), 256, "cannot create a file in"}, // no such folder
      {"", 256, "no output name"},
  };
  for (const auto &r : refusals) {
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
  EXPECT_EQ(vex::testkit::entry_names(tmp_.path()), (std::set<std::string>{"dir", "out.bin"})) << "no temporary stays behind";
}

} // namespace
