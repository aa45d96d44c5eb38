// Byte order against values worked out by hand, and the bounded reader at
// the edge of its span: the last byte is readable, one more is not, and a
// failed read leaves the reader where it was with the error kept.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "util/bytes.h"

namespace {

using vex::util::ByteReader;

TEST(Bytes, ReadsBothByteOrdersAsWorkedOutByHand) {
  const uint8_t b[] = {0x12, 0x34, 0x56, 0x78, 0xFF};
  EXPECT_EQ(vex::util::le16(b), 0x3412u);
  EXPECT_EQ(vex::util::le24(b), 0x563412u);
  EXPECT_EQ(vex::util::le32(b), 0x78563412u);
  EXPECT_EQ(vex::util::be16(b), 0x1234u);
  EXPECT_EQ(vex::util::be32(b), 0x12345678u);
  // The top bit comes through unsigned, not sign-extended.
  const uint8_t top[] = {0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(vex::util::le16(top), 0xFFFEu);
  EXPECT_EQ(vex::util::le32(top), 0xFFFFFFFEu);
}

TEST(Bytes, WritesReadBackAndAppendsInOrder) {
  std::array<uint8_t, 10> b{};
  vex::util::put_le16(b.data(), 0xBEEF);
  vex::util::put_le32(b.data() + 2, 0xCAFEF00Du);
  vex::util::put_le24(b.data() + 6, 0xFF123456u); // the top byte is not written
  EXPECT_EQ(b, (std::array<uint8_t, 10>{0xEF, 0xBE, 0x0D, 0xF0, 0xFE, 0xCA, 0x56, 0x34, 0x12, 0x00}));
  std::vector<uint8_t> v;
  vex::util::append_le16(v, 0x10203); // only the low 16 bits go in
  vex::util::append_le32(v, 0x04050607u);
  EXPECT_EQ(v, (std::vector<uint8_t>{0x03, 0x02, 0x07, 0x06, 0x05, 0x04}));
}

TEST(ByteReader, ReadsFieldsToTheLastByte) {
  const uint8_t b[] = {1, 2, 3, 4, 5, 6, 7};
  ByteReader in(b);
  EXPECT_EQ(in.u8(), 1u);
  EXPECT_EQ(in.u16(), 0x0302u);
  EXPECT_EQ(in.u32(), 0x07060504u);
  EXPECT_EQ(in.remaining(), 0u);
  EXPECT_TRUE(in.has(0));
  EXPECT_FALSE(in.has(1));
  EXPECT_TRUE(in.ok());
}

TEST(ByteReader, AShortReadConsumesNothingAndTheErrorSticks) {
  const uint8_t b[] = {9, 8, 7};
  ByteReader in(b);
  EXPECT_EQ(in.u32(), 0u); // 4 of 3
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(in.position(), 0u);
  // A read that fits still works, but the parse as a whole stays failed.
  EXPECT_EQ(in.u16(), 0x0809u);
  EXPECT_FALSE(in.ok());
  EXPECT_TRUE(in.take(2).empty());
  EXPECT_EQ(in.remaining(), 1u);
}

TEST(ByteReader, TakeSkipAndRestStayInsideTheSpan) {
  const uint8_t b[] = {1, 2, 3, 4, 5};
  ByteReader in(b);
  const auto two = in.take(2);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two.data(), b);
  in.skip(1);
  EXPECT_EQ(in.position(), 3u);
  const auto rest = in.rest();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[0], 4u);
  EXPECT_TRUE(in.ok());
  in.skip(1);
  EXPECT_FALSE(in.ok());
  // A length close to SIZE_MAX must not wrap the position check.
  ByteReader huge(b);
  EXPECT_TRUE(huge.take(SIZE_MAX).empty());
  EXPECT_FALSE(huge.has(SIZE_MAX - 2));
  EXPECT_FALSE(huge.ok());
}

TEST(ByteReader, AnEmptySpanReadsNothing) {
  ByteReader in(std::span<const uint8_t>{});
  EXPECT_TRUE(in.has(0));
  EXPECT_EQ(in.u8(), 0u);
  EXPECT_FALSE(in.ok());
}

} // namespace
