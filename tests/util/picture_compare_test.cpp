// The PSNR the lossy round trips are bounded by, against values worked out
// by hand.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "testkit/util/picture_compare.h"

namespace {

TEST(Psnr, HandComputedValues) {
  const std::vector<uint8_t> a(100, 10);
  EXPECT_EQ(vex::testkit::psnr(a, a), 99.0);
  // Every byte off by 1: 10 log10(255^2) = 48.1308 dB.
  EXPECT_NEAR(vex::testkit::psnr(a, std::vector<uint8_t>(100, 11)), 48.1308, 1e-4);
  // One byte of four off by 255: mean square 255^2 / 4, so 10 log10(4) dB.
  EXPECT_NEAR(vex::testkit::psnr({0, 0, 0, 0}, {255, 0, 0, 0}), 6.0206, 1e-4);
  EXPECT_THROW(vex::testkit::psnr(a, std::vector<uint8_t>(99, 10)), std::invalid_argument);
  EXPECT_THROW(vex::testkit::psnr({}, {}), std::invalid_argument);
}

} // namespace
