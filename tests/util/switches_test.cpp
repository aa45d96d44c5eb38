#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vexutil/util.h"

namespace {

// A command line in a writable buffer.
struct Cmd {
  char text[256] = {};
  explicit Cmd(const char *s) { std::strncpy(text, s, sizeof text - 1); }
  std::string str() const { return text; }
};

TEST(GetSwitch, FlagNeedsAPunctuationOrEndAfterIt) {
  Cmd c("in /v");
  EXPECT_EQ(GetSwitch(c.text, 'V'), 1);
  EXPECT_EQ(c.str(), "in ");
  Cmd d("/v/x");
  EXPECT_EQ(GetSwitch(d.text, 'V'), 1);
  EXPECT_EQ(d.str(), "/x");
  Cmd e("/V2");
  EXPECT_EQ(GetSwitch(e.text, 'V'), 0);
  EXPECT_EQ(e.str(), "/V2");
  Cmd f("/v /v");
  EXPECT_EQ(GetSwitch(f.text, 'V'), 1);
  EXPECT_EQ(f.str(), " /v"); // one occurrence per call
  Cmd g("/V2 /v-");
  EXPECT_EQ(GetSwitch(g.text, 'V'), 1); // passes over /V2
  EXPECT_EQ(g.str(), "/V2 -");
  Cmd h("/");
  EXPECT_EQ(GetSwitch(h.text, 'V'), 0);
}

TEST(GetSwitchNum, SignedValuesAndDefaults) {
  Cmd c("in.flc /r-12 out.flc");
  EXPECT_EQ(GetSwitchNum(c.text, 'R', 7), -12);
  EXPECT_EQ(c.str(), "in.flc  out.flc");
  Cmd d("/rx /r- /R30");
  EXPECT_EQ(GetSwitchNum(d.text, 'R', 7), 30);
  EXPECT_EQ(d.str(), "/rx /r- ");
  EXPECT_EQ(GetSwitchNum(d.text, 'R', 7), 7);
  Cmd e("/w320x200");
  EXPECT_EQ(GetSwitchNum(e.text, 'W', 0), 320);
  EXPECT_EQ(e.str(), "x200");
}

TEST(GetSwitchFractional, RationalsAndDefaults) {
  uint32_t n = 0, d = 0;
  Cmd c("/r29.97 x");
  GetSwitchFractional(c.text, 'R', &n, &d, 1, 1);
  EXPECT_EQ(n, 2997u);
  EXPECT_EQ(d, 100u);
  EXPECT_EQ(c.str(), " x");
  Cmd e("/R30000;1001");
  GetSwitchFractional(e.text, 'R', &n, &d, 1, 1);
  EXPECT_EQ(n, 30000u);
  EXPECT_EQ(d, 1001u);
  EXPECT_EQ(e.str(), "");
  Cmd f("none");
  GetSwitchFractional(f.text, 'R', &n, &d, 15, 2);
  EXPECT_EQ(n, 15u);
  EXPECT_EQ(d, 2u);
}

TEST(GetSwitchStr, QuotedAndPlainValues) {
  char dest[128];
  Cmd c("/o\"a b.avi\" x");
  EXPECT_EQ(GetSwitchStr(c.text, 'O', dest, "def"), 1);
  EXPECT_STREQ(dest, "a b.avi");
  EXPECT_EQ(c.str(), " x");
  Cmd d("/onext/x y");
  EXPECT_EQ(GetSwitchStr(d.text, 'O', dest, "def"), 1);
  EXPECT_STREQ(dest, "next");
  EXPECT_EQ(d.str(), "/x y");
  Cmd e("/o \"unterminated");
  EXPECT_EQ(GetSwitchStr(e.text, 'O', dest, "def"), 0);
  EXPECT_STREQ(dest, "def");
  EXPECT_EQ(e.str(), "/o \"unterminated");
  Cmd f("/o\"open end");
  EXPECT_EQ(GetSwitchStr(f.text, 'O', dest, "def"), 1);
  EXPECT_STREQ(dest, "open end");
  EXPECT_EQ(f.str(), "");
  Cmd g("/o");
  EXPECT_EQ(GetSwitchStr(g.text, 'O', dest, nullptr), 0);
  EXPECT_STREQ(dest, "");
}

TEST(RemoveMinusSwitches, LaterMinusCancelsEarlier) {
  Cmd c("/L2 /Lfoo /-l /L3");
  RemoveMinusSwitches(c.text);
  EXPECT_EQ(c.str(), "   /L3");
  Cmd d("abc /-");
  RemoveMinusSwitches(d.text);
  EXPECT_EQ(d.str(), "abc ");
  Cmd e("/Ofirst /-O /Osecond");
  RemoveMinusSwitches(e.text);
  EXPECT_EQ(e.str(), "  /Osecond");
  Cmd f("/o\"a b\" /v /-o");
  RemoveMinusSwitches(f.text);
  EXPECT_EQ(f.str(), " /v ");
  Cmd g("/o\"never closed /-o");
  RemoveMinusSwitches(g.text); // the quoted value stops at the cancelling switch
  EXPECT_EQ(g.str(), "");
  Cmd h("/a /-a /-b /a");
  RemoveMinusSwitches(h.text);
  EXPECT_EQ(h.str(), "   /a");
}

} // namespace
