#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/file.h"
#include "vexutil/util.h"

namespace {

using vex::test::read_file;
using vex::test::write_file;

std::vector<uint8_t> ramp(size_t n, uint8_t start = 0) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), start);
  return v;
}

class Transfer : public testing::Test {
protected:
  vex::testkit::TempDir tmp_;
  std::string name_ = tmp_.file("t.bin");
};

TEST_F(Transfer, OpenRefusesBadArguments) {
  write_file(name_, {1});
  EXPECT_EQ(VEXFileOpen(16, nullptr, VEXFILE_READ), nullptr);
  EXPECT_EQ(VEXFileOpen(16, name_.c_str(), 249), nullptr);
  EXPECT_EQ(VEXFileOpen(16, name_.c_str(), 252), nullptr);
  EXPECT_EQ(VEXFileOpen(16, tmp_.file("missing").c_str(), VEXFILE_READ), nullptr);
  EXPECT_EQ(VEXFileOpen(16, tmp_.path().c_str(), VEXFILE_READ), nullptr); // a directory
  EXPECT_EQ(VEXFileCreate(16, nullptr), nullptr);
  EXPECT_EQ(VEXFileCreate(16, tmp_.file("no/such/dir").c_str()), nullptr);
}

TEST_F(Transfer, NamesUpTo127CharactersOnly) {
  const std::string dir = tmp_.path().string() + "/";
  const std::string ok = dir + std::string(127 - dir.size(), 'a');
  const std::string too_long = dir + std::string(128 - dir.size(), 'b');
  VEXFILE *f = VEXFileCreate(16, ok.c_str());
  ASSERT_NE(f, nullptr);
  char copy[VEXFILE_NAME_SIZE];
  EXPECT_STREQ(VEXFileGetName(f, copy), ok.c_str());
  EXPECT_STREQ(copy, ok.c_str());
  EXPECT_EQ(VEXFileGetName(f, nullptr), f->name);
  VEXFileClose(f);
  EXPECT_EQ(VEXFileCreate(16, too_long.c_str()), nullptr);
  EXPECT_EQ(VEXFileOpen(16, std::string(4000, 'x').c_str(), VEXFILE_READ), nullptr);
  EXPECT_EQ(VEXFileCreate(16, ""), nullptr);
}

TEST_F(Transfer, ShortReadAtTheEndThenZeroAtOnce) {
  write_file(name_, ramp(3));
  for (int32_t size : {0, 2, 4096}) {
    VEXFILE *f = VEXFileOpen(size, name_.c_str(), VEXFILE_READ);
    uint8_t buf[10];
    EXPECT_EQ(VEXFileGet(f, buf, 10), 3u);
    EXPECT_EQ(VEXFileGet(f, buf, 10), 0u);
    EXPECT_EQ(VEXFileGetNB(f, buf, 1), 0u);
    EXPECT_EQ(VEXFileAtEnd(f), 1);
    VEXFileClose(f);
  }
}

TEST_F(Transfer, LittleEndianValuesAcrossRefills) {
  std::vector<uint8_t> bytes;
  for (uint32_t i = 0; i < 1000; ++i)
    for (int b = 0; b < 4; ++b)
      bytes.push_back(static_cast<uint8_t>((i * 0x01030507u) >> (8 * b)));
  write_file(name_, bytes);
  VEXFILE *f = VEXFileOpen(7, name_.c_str(), VEXFILE_READ); // 7 splits every other value
  for (uint32_t i = 0; i < 1000; ++i) {
    const uint32_t v = i * 0x01030507u;
    if (i % 3 == 0) {
      ASSERT_EQ(VEXFileGet32(f), v);
    } else if (i % 3 == 1) {
      ASSERT_EQ(VEXFileGet16(f), v & 0xFFFF);
      ASSERT_EQ(VEXFileGet16(f), v >> 16);
    } else {
      for (int b = 0; b < 4; ++b)
        ASSERT_EQ(VEXFileGet8(f), (v >> (8 * b)) & 0xFF);
    }
  }
  VEXFileClose(f);
}

TEST_F(Transfer, WriteThenReadBackThroughOneHandle) {
  VEXFILE *f = VEXFileCreate(32, name_.c_str());
  const auto data = ramp(100, 7);
  EXPECT_EQ(VEXFilePut(f, data.data(), 100), 100u);
  EXPECT_EQ(VEXFileSize(f), 100u);
  EXPECT_EQ(VEXFileSetPos(f, 0), 100u);
  std::vector<uint8_t> got(100);
  EXPECT_EQ(VEXFileGet(f, got.data(), 100), 100u);
  EXPECT_EQ(got, data);
  VEXFileFlush(f, 1);
  EXPECT_EQ(VEXFileSize(f), 100u);
  // Overwrite the middle, then read across the change.
  VEXFileSetPos(f, 40);
  VEXFilePut32(f, 0xA1B2C3D4u);
  VEXFileSetPos(f, 38);
  EXPECT_EQ(VEXFileGet32(f), 0xC3D42E2Du); // 2D 2E D4 C3 as one little-endian word
  EXPECT_EQ(VEXFileGet16(f), 0xA1B2u);
  VEXFileClose(f);
  auto expect = data;
  expect[40] = 0xD4, expect[41] = 0xC3, expect[42] = 0xB2, expect[43] = 0xA1;
  EXPECT_EQ(read_file(name_), expect);
}

TEST_F(Transfer, LargeTransfersBypassTheBuffer) {
  const auto data = ramp(10000, 3);
  VEXFILE *f = VEXFileCreate(64, name_.c_str());
  VEXFilePut8(f, 0xEE);                           // buffered
  EXPECT_EQ(VEXFilePut(f, data.data(), 10000), 10000u); // drains, then direct
  VEXFileClose(f);
  auto expect = data;
  expect.insert(expect.begin(), 0xEE);
  EXPECT_EQ(read_file(name_), expect);
  VEXFILE *r = VEXFileOpen(64, name_.c_str(), VEXFILE_READ);
  std::vector<uint8_t> got(expect.size());
  EXPECT_EQ(VEXFileGet8(r), 0xEEu);
  EXPECT_EQ(VEXFileGet(r, got.data(), 10000), 10000u);
  got.resize(10000);
  EXPECT_EQ(got, data);
  VEXFileClose(r);
}

TEST_F(Transfer, SetPosInsideTheBufferTouchesNoFile) {
  write_file(name_, ramp(200));
  VEXFILE *f = VEXFileOpen(64, name_.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileGet8(f), 0u); // fills 64
  EXPECT_EQ(VEXFileIsInBuffer(f, 10), 1);
  EXPECT_EQ(VEXFileIsInBuffer(f, 63), 1);
  EXPECT_EQ(VEXFileIsInBuffer(f, 64), 0);
  const uint32_t offset = f->file_offset;
  EXPECT_EQ(VEXFileSetPos(f, 50), 1u);
  EXPECT_EQ(f->file_offset, offset);
  EXPECT_EQ(VEXFileGet8(f), 50u);
  EXPECT_EQ(VEXFileSetPos(f, 51), 51u); // the current position: nothing happens
  EXPECT_EQ(VEXFileSetPos(f, 150), 51u);
  EXPECT_EQ(VEXFileGet8(f), 150u);
  VEXFileClose(f);
}

TEST_F(Transfer, SetPosBeyondTheEndThenWriteLeavesAGapOfZeros) {
  VEXFILE *f = VEXFileCreate(16, name_.c_str());
  VEXFilePut8(f, 1);
  VEXFileSetPos(f, 10);
  EXPECT_EQ(VEXFileGetPos(f), 10u);
  VEXFilePut8(f, 2);
  EXPECT_EQ(VEXFileSize(f), 11u);
  VEXFileClose(f);
  std::vector<uint8_t> expect(11, 0);
  expect[0] = 1, expect[10] = 2;
  EXPECT_EQ(read_file(name_), expect);
  VEXFILE *r = VEXFileOpen(16, name_.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileSize(r), 11u);
  VEXFileSetPos(r, 1000);
  EXPECT_EQ(VEXFileAtEnd(r), 1);
  uint8_t b;
  EXPECT_EQ(VEXFileGet(r, &b, 1), 0u);
  // A seek past the end of a file being read does not make it larger.
  VEXFileSetPos(r, 5);
  EXPECT_EQ(VEXFileSize(r), 11u);
  EXPECT_EQ(VEXFileAtEnd(r), 0);
  VEXFileClose(r);
}

TEST_F(Transfer, AlignMovesOrPads) {
  write_file(name_, ramp(6));
  VEXFILE *f = VEXFileOpen(16, name_.c_str(), VEXFILE_READWRITE);
  VEXFileSetPos(f, 6);
  VEXFileAlign(f, 4);
  EXPECT_EQ(VEXFileGetPos(f), 8u);
  VEXFileClose(f);
  EXPECT_EQ(read_file(name_), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 0, 0}));
  write_file(name_, ramp(10));
  f = VEXFileOpen(16, name_.c_str(), VEXFILE_READWRITE);
  VEXFileSetPos(f, 6);
  VEXFileAlign(f, 4);
  EXPECT_EQ(VEXFileGetPos(f), 8u);
  VEXFileAlign(f, 0);
  VEXFileAlign(f, 1);
  EXPECT_EQ(VEXFileGetPos(f), 8u);
  VEXFileClose(f);
  EXPECT_EQ(read_file(name_), ramp(10));
}

TEST_F(Transfer, ShortWritesSetTheErrorFlag) {
  VEXFILE *f = VEXFileOpen(16, "/dev/full", VEXFILE_READWRITE);
  ASSERT_NE(f, nullptr) << "needs /dev/full";
  const auto data = ramp(100);
  EXPECT_EQ(f->write_error, 0);
  EXPECT_LT(VEXFilePut(f, data.data(), 100), 100u);
  EXPECT_EQ(f->write_error, 1);
  EXPECT_STREQ(VEXLastError(), std::strerror(ENOSPC)); // the system's reason, kept
  VEXFileFlush(f, 0);
  EXPECT_EQ(f->write_error, 1); // never cleared
  VEXFileClose(f);
}

TEST(ClosedHandles, EveryOperationIsHarmless) {
  VEXFILE *f = nullptr;
  uint8_t buf[4];
  char line[4] = "x";
  EXPECT_EQ(VEXFileGetNB(f, buf, 4), 0u);
  EXPECT_EQ(VEXFileGet(f, buf, 4), 0u);
  EXPECT_EQ(VEXFileGet8(f), 0u);
  EXPECT_EQ(VEXFileGet32(f), 0u);
  EXPECT_EQ(VEXFileGetBits(f, 5), 0u);
  EXPECT_EQ(VEXFilePutNB(f, buf, 4), 0u);
  EXPECT_EQ(VEXFilePut(f, buf, 4), 0u);
  EXPECT_EQ(VEXFilePutBits(f, 1, 5), 0u);
  VEXFileByteAlign(f);
  VEXFileAlign(f, 4);
  VEXFileFlush(f, 1);
  EXPECT_EQ(VEXFileGetPos(f), 0u);
  EXPECT_EQ(VEXFileSetPos(f, 5), 0u);
  EXPECT_EQ(VEXFileSize(f), 0u);
  EXPECT_EQ(VEXFileAtEnd(f), 1);
  EXPECT_EQ(VEXFileIsInBuffer(f, 0), 0);
  EXPECT_EQ(VEXFileBitPos(f), 0u);
  EXPECT_EQ(VEXFileGetName(f, nullptr), nullptr);
  EXPECT_STREQ(VEXFileGetLine(f, line, 4), "");
  EXPECT_EQ(VEXFileGetTime(f), 0u);
  VEXFileSetTime(f, 1);
  VEXFileClose(f);
}

} // namespace
