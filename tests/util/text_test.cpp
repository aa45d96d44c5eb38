// The text, number, switch and file-name functions of the C interface, one
// row per call against a result worked out by hand. A row names the call,
// its input and what it gives as "result|buffer": the function's result
// (if it has one) and what it leaves in the caller's buffer. '@' in a
// wanted text stands for the working folder; a '*' matches anything (a
// value the case is not about).
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>

#include "testkit/util/temp_dir.h"
#include "vexutil/util.h"

namespace fs = std::filesystem;

namespace {

struct Row {
  const char *call, *in, *want;
};

std::string apply(const std::string &call, const char *in) {
  char s[512] = {}, d[512] = {};
  std::strncpy(s, in, 255);
  const auto with = [&](auto result) { return std::to_string(result) + "|" + s; };
  const auto edit = [&](void (*fn)(char *)) { return fn(s), std::string(s); };
  const auto take = [&](void (*fn)(char *, char *)) { return fn(d, s), std::string(d) + "|" + s; };
  const uint32_t u = static_cast<uint32_t>(std::strtoll(in, nullptr, 0));
  uint32_t num = 12345, den = 6789;
  if (call == "Trim") return edit(Trim);
  if (call == "TrimL") return edit(TrimL);
  if (call == "TrimAscii") return edit(TrimAscii);
  if (call == "RemoveQuotes") return edit(RemoveQuotes);
  if (call == "AddBackslash") return edit(AddBackslash);
  if (call == "RemoveMinusSwitches") return edit(RemoveMinusSwitches);
  if (call == "ExpandFileName") return edit(ExpandFileName);
  if (call == "GetAndRemoveFirst") return take(GetAndRemoveFirst);
  if (call == "GetAndRemoveFirstQuoted") return take(GetAndRemoveFirstQuoted);
  if (call == "GetSwitch V") return with(GetSwitch(s, 'V'));
  if (call == "GetSwitchNum R 7") return with(GetSwitchNum(s, 'R', 7));
  if (call == "GetSwitchNum W 0") return with(GetSwitchNum(s, 'W', 0));
  if (call == "GetSwitchFractional R 15/2")
    return GetSwitchFractional(s, 'R', &num, &den, 15, 2), std::to_string(num) + "/" + std::to_string(den) + "|" + s;
  if (call == "GetSwitchStr O def" || call == "GetSwitchStr O null")
    return with(GetSwitchStr(s, 'O', d, call.ends_with("def") ? "def" : nullptr)) + "|" + d;
  if (call == "atofr") {
    const std::string rest = atofr(in, &num, &den);
    return std::to_string(num) + "/" + std::to_string(den) + "|" + rest;
  }
  if (call == "atou32") return std::to_string(atou32(in));
  if (call == "MakeFrameRate") return std::to_string(MakeFrameRate(static_cast<int32_t>(u)));
  if (call == "GetElapsedTime") return GetElapsedTime(d, u);
  if (call == "CommaNum") return CommaNum(d, u), std::string(d);
  if (call == "HasExtension") return HasExtension(in) ? std::to_string(HasExtension(in) - in) : "null";
  if (call == "IsDirectory") return with(IsDirectory(s, 0));
  if (call == "GetDrive") return with(GetDrive(s));
  if (call.starts_with("GetFilePieces ")) { // the four flags as digits
    const char *f = call.c_str() + 14;
    return GetFilePieces(s, f[0] - '0', f[1] - '0', f[2] - '0', f[3] - '0'), std::string(s);
  }
  ADD_FAILURE() << "no call " << call;
  return "";
}

const Row kRows[] = {
    // Trim: blanks are bytes 1 to 32; high bytes belong to words. TrimAscii
    // also drops high bytes at the ends. Quotes go only in pairs; one
    // separator at most.
    {"Trim", " \t\r\n a b \r\n\t ", "a b"}, {"Trim", "   \t ", ""}, {"Trim", "", ""}, {"Trim", "\x01x\x1f", "x"},
    {"Trim", "\xe9t\xe9", "\xe9t\xe9"}, {"TrimL", "  left  ", "left  "},
    {"TrimAscii", "\xff\x80 ok \xa0\x7f", "ok \xa0\x7f"}, {"TrimAscii", "\x80\x81\xfe", ""},
    {"RemoveQuotes", " \"a b\" ", "a b"}, {"RemoveQuotes", "\"", "\""}, {"RemoveQuotes", "\"\"", ""},
    {"RemoveQuotes", "\"a", "\"a"}, {"AddBackslash", "/tmp/x", "/tmp/x/"}, {"AddBackslash", "/tmp/x/", "/tmp/x/"},
    {"AddBackslash", "dev:", "dev:"}, {"AddBackslash", "  ", ""},
    // The first word goes out of the text: blanks and one comma end a plain
    // word; a quoted name keeps its blanks.
    {"GetAndRemoveFirst", "  one two", "one|two"}, {"GetAndRemoveFirst", "a,b c", "a,b|c"},
    {"GetAndRemoveFirst", "a , b", "a ,|b"}, {"GetAndRemoveFirst", "a ,, b", "a ,|, b"}, {"GetAndRemoveFirst", "", "|"},
    {"GetAndRemoveFirstQuoted", "\"My File.flc\" out.avi", "My File.flc|out.avi"},
    {"GetAndRemoveFirstQuoted", "\"open", "\"open|"}, {"GetAndRemoveFirstQuoted", "\"\" next  ", "|next"},
    {"GetAndRemoveFirstQuoted", "plain, rest ", "plain,|rest"},
    // A flag needs punctuation or the end after it; one occurrence per call.
    {"GetSwitch V", "in /v", "1|in "}, {"GetSwitch V", "/v/x", "1|/x"}, {"GetSwitch V", "/V2", "0|/V2"},
    {"GetSwitch V", "/v /v", "1| /v"}, {"GetSwitch V", "/V2 /v-", "1|/V2 -"}, {"GetSwitch V", "/", "0|/"},
    {"GetSwitchNum R 7", "in.flc /r-12 out.flc", "-12|in.flc  out.flc"}, {"GetSwitchNum R 7", "/rx /r- /R30", "30|/rx /r- "},
    {"GetSwitchNum R 7", "/rx /r- ", "7|/rx /r- "}, {"GetSwitchNum W 0", "/w320x200", "320|x200"},
    {"GetSwitchFractional R 15/2", "/r29.97 x", "2997/100| x"}, {"GetSwitchFractional R 15/2", "/R30000;1001", "30000/1001|"},
    {"GetSwitchFractional R 15/2", "none", "15/2|none"},
    {"GetSwitchStr O def", "/o\"a b.avi\" x", "1| x|a b.avi"}, {"GetSwitchStr O def", "/onext/x y", "1|/x y|next"},
    {"GetSwitchStr O def", "/o \"unterminated", "0|/o \"unterminated|def"},
    {"GetSwitchStr O def", "/o\"open end", "1||open end"}, {"GetSwitchStr O null", "/o", "0|/o|"},
    // A later "/-X" cancels the switches before it; a quoted value stops at it.
    {"RemoveMinusSwitches", "/L2 /Lfoo /-l /L3", "   /L3"}, {"RemoveMinusSwitches", "abc /-", "abc "},
    {"RemoveMinusSwitches", "/Ofirst /-O /Osecond", "  /Osecond"}, {"RemoveMinusSwitches", "/o\"a b\" /v /-o", " /v "},
    {"RemoveMinusSwitches", "/o\"never closed /-o", ""}, {"RemoveMinusSwitches", "/a /-a /-b /a", "   /a"},
    // Numbers: signs, blanks, the 32-bit wrap; fractions as decimals or
    // "num;den"; odd inputs give defined results.
    {"atou32", "  \t+42xyz", "42"}, {"atou32", "-17", "-17"}, {"atou32", "abc", "0"},
    {"atou32", "-2147483648", "-2147483648"}, {"atou32", "4294967295", "-1"},
    {"atofr", "29.97", "2997/100|"}, {"atofr", "-0.5", "4294967295/2|"}, {"atofr", "30000;1001", "30000/1001|"},
    {"atofr", "2.5;2 tail", "5/4| tail"}, {"atofr", "12.50x", "25/2|x"}, {"atofr", "abc", "0/1|abc"},
    {"atofr", "5;0", "5/1|"}, {"atofr", "7;x", "7/1|x"}, {"atofr", "8.;", "8/1|"}, {"atofr", "-", "0/1|"},
    {"atofr", "", "0/1|"}, {"atofr", "99999999999999999999", "*/1|"}, // wraps silently instead of failing
    // Hundredths of a frame per second: a period in 1/1000 s, whole frames
    // per second, or hundredths; truncated, and at least 5.
    {"MakeFrameRate", "0", "0"}, {"MakeFrameRate", "100", "1000"}, {"MakeFrameRate", "33", "3030"},
    {"MakeFrameRate", "-30", "3000"}, {"MakeFrameRate", "-1500", "150000"}, {"MakeFrameRate", "-1501", "1501"},
    {"MakeFrameRate", "-2997", "2997"}, {"MakeFrameRate", "30000", "5"}, {"MakeFrameRate", "2147483647", "5"},
    {"GetElapsedTime", "0", "0 milliseconds"}, {"GetElapsedTime", "1", "1 millisecond"},
    {"GetElapsedTime", "999", "999 milliseconds"}, {"GetElapsedTime", "1000", "1 second"},
    {"GetElapsedTime", "1999", "1 second"}, {"GetElapsedTime", "59999", "59 seconds"},
    {"GetElapsedTime", "61000", "1 minute 1 second"}, {"GetElapsedTime", "120000", "2 minutes 0 seconds"},
    {"GetElapsedTime", "3599999", "59 minutes 59 seconds"}, {"GetElapsedTime", "3660000", "1 hour 1 minute"},
    {"GetElapsedTime", "7200000", "2 hours 0 minutes"}, {"GetElapsedTime", "4294967295", "1193 hours 2 minutes"},
    {"CommaNum", "0", "0"}, {"CommaNum", "999", "999"}, {"CommaNum", "1000", "1,000"}, {"CommaNum", "100000", "100,000"},
    {"CommaNum", "1234567", "1,234,567"}, {"CommaNum", "4294967295", "4,294,967,295"},
    // File names: the extension's dot is the last of the last piece.
    {"HasExtension", "dir.x/name", "null"}, {"HasExtension", ".flc", "0"}, {"HasExtension", "c.", "1"},
    {"HasExtension", "a.tar.gz", "5"}, {"HasExtension", "c:/a.b/c", "null"}, {"HasExtension", "", "null"},
    {"ExpandFileName", "sub/../sub/./pic.bmp", "@/sub/pic.bmp"}, {"ExpandFileName", "/a//b/../c/", "/a/c/"},
    {"ExpandFileName", "/..", "/"}, {"ExpandFileName", "", ""},
    {"IsDirectory", "sub", "1|@/sub"}, {"IsDirectory", "sub/pic.bmp", "0|@/sub/pic.bmp"},
    {"IsDirectory", "nothing", "0|*"}, {"IsDirectory", "/", "1|/"}, {"GetDrive", "sub", "47|@/sub"},
    {"GetFilePieces 1100", "sub/pic.bmp", "@/sub/"}, {"GetFilePieces 0011", " sub/pic.bmp ", "pic.bmp"},
    {"GetFilePieces 0001", "sub/pic.bmp", ".bmp"}, {"GetFilePieces 1111", "sub", "@/sub/"}, // a folder has no name
    {"GetFilePieces 1111", "   ", ""},
};

// In a temporary working folder holding sub/pic.bmp; the test process's
// own working folder comes back afterwards.
class TextCalls : public ::testing::Test {
protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(tmp_.path());
    fs::create_directory("sub");
    std::ofstream("sub/pic.bmp") << "x";
    cwd_ = fs::current_path().string();
  }
  void TearDown() override { fs::current_path(old_); }
  vex::testkit::TempDir tmp_;
  fs::path old_;
  std::string cwd_;
};

TEST_F(TextCalls, EveryRowGivesTheHandWorkedResult) {
  for (const Row &r : kRows) {
    std::string want = r.want;
    for (size_t at; (at = want.find('@')) != std::string::npos;)
      want.replace(at, 1, cwd_);
    const std::string got = apply(r.call, r.in);
    if (want.find('*') != std::string::npos)
      EXPECT_EQ(fnmatch(want.c_str(), got.c_str(), 0), 0) << r.call << "(\"" << r.in << "\") gave " << got;
    else
      EXPECT_EQ(got, want) << r.call << "(\"" << r.in << "\")";
  }
}

TEST_F(TextCalls, ResultsThatDoNotFitLeaveTheBufferAlone) {
  char dest[300];
  for (const std::string &name : {"/" + std::string(254, 'n'), std::string(250, 'r')}) { // 255 fits; cwd + 251 not
    std::strcpy(dest, name.c_str());
    ExpandFileName(dest);
    EXPECT_EQ(dest, name);
  }
  std::memset(dest, 'z', 255);
  dest[255] = '\0';
  EXPECT_EQ(IsDirectory(dest, 0), 0);
  EXPECT_EQ(std::strlen(dest), 255u);
  // stay: the folder becomes the working folder.
  std::strcpy(dest, "sub/");
  EXPECT_EQ(IsDirectory(dest, 1), 1);
  EXPECT_EQ(fs::current_path().string(), cwd_ + "/sub");
}

TEST(Numbers, ChainedDecimalsGcdAndNulls) {
  char buf[64];
  EXPECT_EQ(u32toa(buf, 0), buf + 1);
  EXPECT_STREQ(buf, "0");
  EXPECT_EQ(u32toa(u32toa(buf, 12), 0x80000000u), buf + 13);
  EXPECT_STREQ(buf, "12-2147483648");
  u32toa(buf, 2147483647u);
  EXPECT_STREQ(buf, "2147483647");
  EXPECT_EQ(atou32(nullptr), 0);
  EXPECT_GT(MakeFrameRate(INT32_MIN), 0);
  const char *t = "a/b/c";
  EXPECT_EQ(findchar(t, '/'), t + 1);
  EXPECT_EQ(findchar(t, 'z'), nullptr);
  EXPECT_EQ(findchar(t, 0), t + 5);
  // dir + prefix (8 at most) + the nibbles of n as letters A-P, low first.
  const Row names[] = {{"/tmp/", "VX", "/tmp/VXAAAAAA.AAA"}, {"", "VX", "VXDEAAAA.AAA"}, {"d/", "", "d/IJKLMNOP.AAA"},
                       {"", "ABCDEFGHIJKLMNOP", "ABCDEFGH.JKL"}};
  const uint32_t seeds[] = {0, 0x4321, 0xFEDCBA98u, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(GetTempName(buf, names[i].call, names[i].in, seeds[i]), buf);
    EXPECT_STREQ(buf, names[i].want);
  }
  // Lowest terms against std::gcd, zeros left alone.
  for (uint32_t x : {0u, 1u, 6u, 12u, 1001u, 30000u, 65536u, 0xFFFFFFFFu, 0x80000000u})
    for (uint32_t y : {0u, 1u, 4u, 18u, 1001u, 3003u, 0x10000u, 0xFFFFFFFFu}) {
      uint32_t p = x, q = y;
      GCDNums(&p, &q);
      const uint32_t g = x && y ? std::gcd(x, y) : 1;
      EXPECT_EQ(p, x / g) << x << "/" << y;
      EXPECT_EQ(q, y / g) << x << "/" << y;
    }
}

TEST(Timer, MonotonicFromTheFirstCall) {
  uint32_t last = VEXTimerRead();
  EXPECT_LT(last, 1000u); // the first call in this process is about 0
  for (int i = 0; i < 1000; ++i) {
    const uint32_t t = VEXTimerRead();
    EXPECT_GE(t, last);
    last = t;
  }
}

} // namespace
