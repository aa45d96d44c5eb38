#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <optional>
#include <string>

#include "vexutil/util.h"

namespace {

TEST(Gcd, ReducesToLowestTermsAndLeavesZeroAlone) {
  struct Case {
    uint32_t a, b, want_a, want_b;
  };
  for (const Case c : {Case{12, 18, 2, 3}, Case{0, 18, 0, 18}, Case{7, 0, 7, 0}}) {
    uint32_t a = c.a, b = c.b;
    GCDNums(&a, &b);
    EXPECT_EQ(a, c.want_a) << c.a << "/" << c.b;
    EXPECT_EQ(b, c.want_b) << c.a << "/" << c.b;
  }
  // Against std::gcd over a spread of pairs, the largest values included.
  for (uint32_t x : {1u, 6u, 1001u, 30000u, 65536u, 0xFFFFFFFFu, 0x80000000u})
    for (uint32_t y : {1u, 4u, 1001u, 3003u, 0x10000u, 0xFFFFFFFFu}) {
      uint32_t p = x, q = y;
      GCDNums(&p, &q);
      const uint32_t g = std::gcd(x, y);
      EXPECT_EQ(p, x / g) << x << "/" << y;
      EXPECT_EQ(q, y / g) << x << "/" << y;
    }
}

// What atofr leaves behind: numerator, denominator and the unread text (no
// value: the numerator or the rest is not what the case is about).
struct AtofrCase {
  const char *text;
  std::optional<uint32_t> num;
  uint32_t den;
  std::optional<std::string> rest;
};

TEST(Atofr, DecimalsFractionsSignsAndOddInputs) {
  const AtofrCase cases[] = {
      {"29.97", 2997, 100, {}},
      {"-0.5", 0u - 1u, 2, {}},
      {"30000;1001", 30000, 1001, {}},
      {"2.5;2 tail", 5, 4, " tail"},
      {"12.50x", 25, 2, "x"},
      // Odd inputs give defined results.
      {"abc", 0, 1, "abc"},
      {"5;0", 5, 1, {}},
      {"7;x", 7, 1, "x"},
      {"8.;", 8, 1, ""},
      {"-", 0, 1, {}},
      {"", 0, 1, {}},
      {"99999999999999999999", {}, 1, ""}, // wraps silently instead of failing
  };
  for (const AtofrCase &c : cases) {
    uint32_t n = 12345, d = 6789;
    const std::string rest = atofr(c.text, &n, &d);
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    EXPECT_EQ(d, c.den);
    if (c.num) {
      EXPECT_EQ(n, *c.num);
    }
    if (c.rest) {
      EXPECT_EQ(rest, *c.rest);
    }
  }
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
