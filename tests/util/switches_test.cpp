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

// A switch call on a line: its result and the line it leaves.
struct LineCase {
  const char *line;
  int32_t result;
  const char *left;
};

TEST(GetSwitch, FlagNeedsAPunctuationOrEndAfterIt) {
  const LineCase cases[] = {
      {"in /v", 1, "in "},   {"/v/x", 1, "/x"},
      {"/V2", 0, "/V2"},     {"/v /v", 1, " /v"},     // one occurrence per call
      {"/V2 /v-", 1, "/V2 -"}, {"/", 0, "/"},         // passes over /V2
  };
  for (const LineCase &c : cases) {
    Cmd cmd(c.line);
    EXPECT_EQ(GetSwitch(cmd.text, 'V'), c.result) << c.line;
    EXPECT_EQ(cmd.str(), c.left) << c.line;
  }
}

TEST(GetSwitchNum, SignedValuesAndDefaults) {
  struct Case {
    const char *line;
    char letter;
    int32_t fallback, result;
    const char *left;
  };
  for (const Case &c : {Case{"in.flc /r-12 out.flc", 'R', 7, -12, "in.flc  out.flc"},
                        Case{"/rx /r- /R30", 'R', 7, 30, "/rx /r- "}, Case{"/rx /r- ", 'R', 7, 7, "/rx /r- "},
                        Case{"/w320x200", 'W', 0, 320, "x200"}}) {
    Cmd cmd(c.line);
    EXPECT_EQ(GetSwitchNum(cmd.text, c.letter, c.fallback), c.result) << c.line;
    EXPECT_EQ(cmd.str(), c.left) << c.line;
  }
}

TEST(GetSwitchFractional, RationalsAndDefaults) {
  struct Case {
    const char *line;
    uint32_t num, den;
    const char *left;
  };
  for (const Case &c : {Case{"/r29.97 x", 2997, 100, " x"}, Case{"/R30000;1001", 30000, 1001, ""},
                        Case{"none", 15, 2, "none"}}) {
    uint32_t n = 0, d = 0;
    Cmd cmd(c.line);
    GetSwitchFractional(cmd.text, 'R', &n, &d, 15, 2);
    EXPECT_EQ(n, c.num) << c.line;
    EXPECT_EQ(d, c.den) << c.line;
    EXPECT_EQ(cmd.str(), c.left) << c.line;
  }
}

TEST(GetSwitchStr, QuotedAndPlainValues) {
  struct Case {
    const char *line, *fallback;
    int32_t result;
    const char *value, *left;
  };
  const Case cases[] = {
      {"/o\"a b.avi\" x", "def", 1, "a b.avi", " x"},
      {"/onext/x y", "def", 1, "next", "/x y"},
      {"/o \"unterminated", "def", 0, "def", "/o \"unterminated"},
      {"/o\"open end", "def", 1, "open end", ""},
      {"/o", nullptr, 0, "", "/o"},
  };
  for (const Case &c : cases) {
    char dest[128];
    Cmd cmd(c.line);
    EXPECT_EQ(GetSwitchStr(cmd.text, 'O', dest, c.fallback), c.result) << c.line;
    EXPECT_STREQ(dest, c.value) << c.line;
    EXPECT_EQ(cmd.str(), c.left) << c.line;
  }
}

TEST(RemoveMinusSwitches, LaterMinusCancelsEarlier) {
  const std::pair<const char *, const char *> cases[] = {
      {"/L2 /Lfoo /-l /L3", "   /L3"},
      {"abc /-", "abc "},
      {"/Ofirst /-O /Osecond", "  /Osecond"},
      {"/o\"a b\" /v /-o", " /v "},
      {"/o\"never closed /-o", ""}, // the quoted value stops at the cancelling switch
      {"/a /-a /-b /a", "   /a"},
  };
  for (const auto &[line, left] : cases) {
    Cmd cmd(line);
    RemoveMinusSwitches(cmd.text);
    EXPECT_EQ(cmd.str(), left) << line;
  }
}

} // namespace
