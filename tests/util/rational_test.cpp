#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>

#include "vexutil/util.h"

namespace {

struct Fraction {
  uint32_t num, den;
  std::string rest;
};

Fraction parse(const char *text) {
  uint32_t n = 12345, d = 6789;
  const char *end = atofr(text, &n, &d);
  return {n, d, end};
}

TEST(Gcd, ReducesToLowestTermsAndLeavesZeroAlone) {
  uint32_t a = 12, b = 18;
  GCDNums(&a, &b);
  EXPECT_EQ(a, 2u);
  EXPECT_EQ(b, 3u);
  a = 0, b = 18;
  GCDNums(&a, &b);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 18u);
  a = 7, b = 0;
  GCDNums(&a, &b);
  EXPECT_EQ(a, 7u);
  EXPECT_EQ(b, 0u);
  // Against std::gcd over a spread of pairs, the largest values included.
  for (uint32_t x : {1u, 6u, 1001u, 30000u, 65536u, 0xFFFFFFFFu, 0x80000000u})
    for (uint32_t y : {1u, 4u, 1001u, 3003u, 0x10000u, 0xFFFFFFFFu}) {
      uint32_t p = x, q = y;
      GCDNums(&p, &q);
      const uint32_t g = std::gcd(x, y);
      EXPECT_EQ(p, x / g);
      EXPECT_EQ(q, y / g);
    }
}

TEST(Atofr, ReadsDecimalsFractionsAndSigns) {
  auto f = parse("29.97");
  EXPECT_EQ(f.num, 2997u);
  EXPECT_EQ(f.den, 100u);
  f = parse("-0.5");
  EXPECT_EQ(f.num, 0u - 1u);
  EXPECT_EQ(f.den, 2u);
  f = parse("30000;1001");
  EXPECT_EQ(f.num, 30000u);
  EXPECT_EQ(f.den, 1001u);
  f = parse("2.5;2 tail");
  EXPECT_EQ(f.num, 5u);
  EXPECT_EQ(f.den, 4u);
  EXPECT_EQ(f.rest, " tail");
  f = parse("12.50x");
  EXPECT_EQ(f.num, 25u);
  EXPECT_EQ(f.den, 2u);
  EXPECT_EQ(f.rest, "x");
}

TEST(Atofr, OddInputsGiveDefinedResults) {
  auto f = parse("abc");
  EXPECT_EQ(f.num, 0u);
  EXPECT_EQ(f.den, 1u);
  EXPECT_EQ(f.rest, "abc");
  f = parse("5;0");
  EXPECT_EQ(f.num, 5u);
  EXPECT_EQ(f.den, 1u);
  f = parse("7;x");
  EXPECT_EQ(f.num, 7u);
  EXPECT_EQ(f.den, 1u);
  EXPECT_EQ(f.rest, "x");
  f = parse("8.;");
  EXPECT_EQ(f.num, 8u);
  EXPECT_EQ(f.den, 1u);
  EXPECT_EQ(f.rest, "");
  f = parse("-");
  EXPECT_EQ(f.num, 0u);
  EXPECT_EQ(f.den, 1u);
  f = parse("");
  EXPECT_EQ(f.num, 0u);
  EXPECT_EQ(f.den, 1u);
  // Wraps silently on too many digits instead of failing.
  f = parse("99999999999999999999");
  EXPECT_EQ(f.den, 1u);
  EXPECT_EQ(f.rest, "");
}

TEST(MakeFrameRate, ThreeFormsAndTheFloor) {
  EXPECT_EQ(MakeFrameRate(0), 0);
  EXPECT_EQ(MakeFrameRate(100), 1000);   // 10 fps
  EXPECT_EQ(MakeFrameRate(33), 3030);    // truncated
  EXPECT_EQ(MakeFrameRate(-30), 3000);   // whole frames per second
  EXPECT_EQ(MakeFrameRate(-1500), 150000);
  EXPECT_EQ(MakeFrameRate(-1501), 1501); // hundredths
  EXPECT_EQ(MakeFrameRate(-2997), 2997);
  EXPECT_EQ(MakeFrameRate(30000), 5);    // 3 raised to the minimum
  EXPECT_EQ(MakeFrameRate(INT32_MAX), 5);
  EXPECT_GT(MakeFrameRate(INT32_MIN), 0);
}

} // namespace
