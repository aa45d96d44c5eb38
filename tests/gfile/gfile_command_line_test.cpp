// GFileCommandLine: rates given as durations, the palette rules, and
// options skipped by null pointers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vexutil/gfile.h"

namespace {

struct Options {
  uint32_t fn = 7, fd = 7, an = 7, ad = 7;
  int32_t x = 7, y = 7, w = 7, h = 7, s = 7, e = 7, p = 7, u = 7, i = 7, q = 7, split = 7, d = 7, t = 7;
  char palette[128] = "unset";
  std::string left;
};

Options read(const char *text) {
  std::vector<char> cmd(text, text + std::strlen(text) + 1);
  Options o;
  GFileCommandLine(cmd.data(), &o.fn, &o.fd, &o.an, &o.ad, &o.x, &o.y, &o.w, &o.h, &o.s, &o.e, &o.p, &o.u, &o.i,
                   &o.q, &o.split, &o.d, &o.t, o.palette);
  o.left = cmd.data();
  return o;
}

TEST(GraphicsSwitches, RatesAsFramesPerSecondOrDurations) {
  Options o = read("/F-100 /A30");
  EXPECT_EQ(o.fn, 10u);
  EXPECT_EQ(o.fd, 1u);
  EXPECT_EQ(o.an, 30u);
  EXPECT_EQ(o.ad, 1u);
  o = read("/F-3333 /A29.97");
  EXPECT_EQ(o.fn, 100000u); // 10 us units: 3333 of them a frame
  EXPECT_EQ(o.fd, 3333u);
  EXPECT_EQ(o.an, 2997u);
  EXPECT_EQ(o.ad, 100u);
  o = read("/F-1500 /A-1501");
  EXPECT_EQ(o.fn * 3, o.fd * 2) << "-1500: milliseconds, 2/3 frames per second";
  EXPECT_EQ(o.an, 100000u);
  EXPECT_EQ(o.ad, 1501u);
  o = read("/F-33.5");
  EXPECT_EQ(o.fn, 2000u); // 33.5 ms a frame
  EXPECT_EQ(o.fd, 67u);
  o = read("");
  EXPECT_EQ(o.fn, 0u);
  EXPECT_EQ(o.fd, 0u);
}

TEST(GraphicsSwitches, PaletteIndexFollowsTheEntryCount) {
  Options o = read("/Q200");
  EXPECT_EQ(o.q, 200);
  EXPECT_EQ(o.i, 28);
  o = read("/Q200 /I100");
  EXPECT_EQ(o.i, 56);
  o = read("/I-5 /Q10");
  EXPECT_EQ(o.i, 0);
  o = read("");
  EXPECT_EQ(o.q, 256);
  EXPECT_EQ(o.i, 0);
  for (const char *q : {"/Q0", "/Q257", "/Q-1"})
    EXPECT_EQ(read(q).q, 256) << q;
  EXPECT_EQ(read("").u, 0x10000);
  for (const char *u : {"/U0", "/U65537", "/U-7"})
    EXPECT_EQ(read(u).u, 0x10000) << u;
  EXPECT_EQ(read("/U100").u, 100);
}

TEST(GraphicsSwitches, EveryOptionAndWhatIsLeft) {
  const Options o = read("in.flc /x-4 /Y5 /W320 /H200 /S2 /E9 /P1 /$16 /D2 /T1 /&\"my pal.bmp\" out.flc");
  EXPECT_EQ(std::vector<int32_t>({o.x, o.y, o.w, o.h, o.s, o.e, o.p, o.split, o.d, o.t}),
            std::vector<int32_t>({-4, 5, 320, 200, 2, 9, 1, 16, 2, 1}));
  EXPECT_STREQ(o.palette, "my pal.bmp");
  EXPECT_EQ(o.left.find('/'), std::string::npos) << o.left;
  EXPECT_STREQ(read("").palette, "");
}

TEST(GraphicsSwitches, NullPointersSkipButCropAndRangeAlwaysLeave) {
  char cmd[] = "a /X3 /S4 /Q50 /I9 /F25";
  GFileCommandLine(cmd, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_STREQ(cmd, "a   /Q50 /I9 /F25");
  // A long palette name is cut to 127 characters.
  std::string text = "/&" + std::string(300, 'p');
  std::vector<char> long_cmd(text.begin(), text.end());
  long_cmd.push_back('\0');
  char palette[128];
  GFileCommandLine(long_cmd.data(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, palette);
  EXPECT_EQ(std::string(palette), std::string(127, 'p'));
}

} // namespace
