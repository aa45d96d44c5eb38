#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "vexutil/util.h"

namespace {

std::string elapsed(uint32_t ms) {
  char buf[64];
  EXPECT_EQ(GetElapsedTime(buf, ms), buf);
  return buf;
}

std::string commas(uint32_t v) {
  char buf[16];
  CommaNum(buf, v);
  return buf;
}

TEST(U32toa, SignedDecimalAndChaining) {
  char buf[32];
  char *end = u32toa(buf, 0);
  EXPECT_STREQ(buf, "0");
  EXPECT_EQ(end, buf + 1);
  end = u32toa(buf, 0x80000000u);
  EXPECT_STREQ(buf, "-2147483648");
  EXPECT_EQ(*end, '\0');
  end = u32toa(u32toa(buf, 12), 0xFFFFFFFFu);
  EXPECT_STREQ(buf, "12-1");
  EXPECT_EQ(end, buf + 4);
  u32toa(buf, 2147483647u);
  EXPECT_STREQ(buf, "2147483647");
}

TEST(Atou32, SignsBlanksAndStops) {
  EXPECT_EQ(atou32("  \t+42xyz"), 42);
  EXPECT_EQ(atou32("-17"), -17);
  EXPECT_EQ(atou32("abc"), 0);
  EXPECT_EQ(atou32("-2147483648"), INT32_MIN);
  EXPECT_EQ(atou32("4294967295"), -1); // 32-bit wrap
  EXPECT_EQ(atou32(nullptr), 0);
}

TEST(Findchar, FindsFirstAndTheTerminator) {
  const char *t = "a/b/c";
  EXPECT_EQ(findchar(t, '/'), t + 1);
  EXPECT_EQ(findchar(t, 'z'), nullptr);
  EXPECT_EQ(findchar(t, 0), t + 5);
}

TEST(ElapsedTime, EveryRangeTruncates) {
  EXPECT_EQ(elapsed(0), "0 milliseconds");
  EXPECT_EQ(elapsed(1), "1 millisecond");
  EXPECT_EQ(elapsed(999), "999 milliseconds");
  EXPECT_EQ(elapsed(1000), "1 second");
  EXPECT_EQ(elapsed(1999), "1 second");
  EXPECT_EQ(elapsed(59999), "59 seconds");
  EXPECT_EQ(elapsed(61000), "1 minute 1 second");
  EXPECT_EQ(elapsed(120000), "2 minutes 0 seconds");
  EXPECT_EQ(elapsed(3599999), "59 minutes 59 seconds");
  EXPECT_EQ(elapsed(61 * 60000), "1 hour 1 minute");
  EXPECT_EQ(elapsed(2 * 3600000), "2 hours 0 minutes");
  EXPECT_EQ(elapsed(0xFFFFFFFFu), "1193 hours 2 minutes");
}

TEST(CommaNum, GroupsOfThree) {
  EXPECT_EQ(commas(0), "0");
  EXPECT_EQ(commas(999), "999");
  EXPECT_EQ(commas(1000), "1,000");
  EXPECT_EQ(commas(1234567), "1,234,567");
  EXPECT_EQ(commas(100000), "100,000");
  EXPECT_EQ(commas(4294967295u), "4,294,967,295");
  // D digits give D + (D - 1) / 3 characters.
  for (uint32_t v = 1, d = 1; d <= 10; v = v * 10, ++d)
    EXPECT_EQ(commas(v).size(), d + (d - 1) / 3) << v;
}

TEST(Timer, MonotonicFromTheFirstCall) {
  const uint32_t a = VEXTimerRead();
  EXPECT_LT(a, 1000u); // the first call in this process is about 0
  uint32_t last = a;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t t = VEXTimerRead();
    EXPECT_GE(t, last);
    last = t;
  }
}

} // namespace
