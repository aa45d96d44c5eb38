// The shared size limits at their edges, and the size arithmetic with
// operands whose product does not fit 64 bits.
#include <gtest/gtest.h>

#include <cstdint>

#include "util/limits.h"

namespace {

using vex::util::buffer_size;
using vex::util::kMaxBufferBytes;
using vex::util::kMaxSide;
using vex::util::picture_fits;

TEST(Limits, PictureSidesAndAreaAtTheirEdges) {
  EXPECT_TRUE(picture_fits(1, 1));
  EXPECT_FALSE(picture_fits(0, 1));
  EXPECT_FALSE(picture_fits(1, 0));
  EXPECT_TRUE(picture_fits(kMaxSide, 1));
  EXPECT_FALSE(picture_fits(kMaxSide + 1, 1));
  EXPECT_FALSE(picture_fits(1, kMaxSide + 1));
  // 2^26 pixels exactly, and one row more.
  EXPECT_TRUE(picture_fits(8192, 8192));
  EXPECT_FALSE(picture_fits(8192, 8193));
  // 32767 x 2048 = 67,106,816 <= 67,108,864; x 2049 is over.
  EXPECT_TRUE(picture_fits(kMaxSide, 2048));
  EXPECT_FALSE(picture_fits(kMaxSide, 2049));
  // Sides that would overflow a 32-bit product are refused, not wrapped.
  EXPECT_FALSE(picture_fits(0x10000, 0x10000));
  EXPECT_FALSE(picture_fits(UINT64_MAX, UINT64_MAX));
}

TEST(Limits, BufferSizesAreProductsWithinTheLimit) {
  size_t n = 0;
  ASSERT_TRUE(buffer_size(640, 480, 4, 16, &n));
  EXPECT_EQ(n, 640u * 480u * 4u + 16u);
  ASSERT_TRUE(buffer_size(kMaxBufferBytes, 1, &n));
  EXPECT_EQ(n, kMaxBufferBytes);
  EXPECT_FALSE(buffer_size(kMaxBufferBytes, 1, 1, 1, &n));
  EXPECT_FALSE(buffer_size(kMaxBufferBytes / 2 + 1, 2, &n));
  ASSERT_TRUE(buffer_size(0, UINT64_MAX, 7, 5, &n));
  EXPECT_EQ(n, 5u);
}

TEST(Limits, ProductsThatWrap64BitsAreRefused) {
  size_t n = 12345;
  // 2^32 * 2^32 is 0 modulo 2^64; the check must not be fooled by it.
  EXPECT_FALSE(buffer_size(uint64_t{1} << 32, uint64_t{1} << 32, &n));
  EXPECT_FALSE(buffer_size(3, 3, uint64_t{1} << 63, 0, &n));
  EXPECT_FALSE(buffer_size(1, 1, 1, UINT64_MAX, &n));
  EXPECT_EQ(n, 12345u); // untouched on refusal
}

} // namespace
