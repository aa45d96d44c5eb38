// The text, number, switch and file-name functions of the C interface, one
// row per call against a result worked out by hand. A group names the call
// and how its result reads; a row gives the input and what the call gives
// as "result|buffer": the function's result (if it has one) and what it
// leaves in the caller's buffer. '@' in a wanted text stands for the
// working folder; a '*' matches anything (a value the case is not about).
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

// One call's buffers: s starts as a copy of the input, d is where a call
// that takes or makes a text puts it; u is the input read as a number.
struct Io {
  char s[512] = {}, d[512] = {};
  const char *in;
  uint32_t u;
};

template <void (*F)(char *)> std::string edit(Io &io) { return F(io.s), std::string(io.s); }
template <void (*F)(char *, char *)> std::string take(Io &io) { return F(io.d, io.s), std::string(io.d) + "|" + io.s; }
std::string with(Io &io, int32_t result) { return std::to_string(result) + "|" + io.s; }
std::string ratio(uint32_t num, uint32_t den) { return std::to_string(num) + "/" + std::to_string(den); }
std::string fraction(Io &io) {
  uint32_t num = 0, den = 0;
  const std::string rest = atofr(io.in, &num, &den);
  return ratio(num, den) + "|" + rest;
}
std::string elapsed(Io &io) { return GetElapsedTime(io.d, io.u); }
std::string value_or_def(Io &io) { return with(io, GetSwitchStr(io.s, 'O', io.d, "def")) + "|" + io.d; }
// GetFilePieces with the drive, folder, name and extension flags.
template <int D, int F, int N, int E> std::string pieces(Io &io) {
  return GetFilePieces(io.s, D, F, N, E), std::string(io.s);
}

struct Group {
  std::string (*call)(Io &);
  std::vector<std::pair<const char *, const char *>> rows; // input, wanted
};

const Group kGroups[] = {
    // Blanks are bytes 1 to 32; high bytes belong to words. TrimAscii also
    // drops high bytes at the ends. Quotes go only in pairs; one separator
    // at most.
    {edit<Trim>, {{" \t\r\n a b \r\n\t ", "a b"}, {"   \t ", ""}, {"\x01x\x1f", "x"}, {"\xe9t\xe9", "\xe9t\xe9"}}},
    {edit<TrimL>, {{"  left  ", "left  "}}},
    {edit<TrimAscii>, {{"\xff\x80 ok \xa0\x7f", "ok \xa0\x7f"}, {"\x80\x81\xfe", ""}}},
    {edit<RemoveQuotes>, {{" \"a b\" ", "a b"}, {"\"", "\""}, {"\"\"", ""}, {"\"a", "\"a"}}},
    {edit<AddBackslash>, {{"/tmp/x", "/tmp/x/"}, {"/tmp/x/", "/tmp/x/"}, {"dev:", "dev:"}, {"  ", ""}}},
    // The first word goes out of the text: blanks and one comma end a plain
    // word; a quoted name keeps its blanks.
    {take<GetAndRemoveFirst>, {{"  one two", "one|two"}, {"a,b c", "a,b|c"}, {"a ,, b", "a ,|, b"}, {"", "|"}}},
    {take<GetAndRemoveFirstQuoted>,
     {{"\"My File.flc\" out.avi", "My File.flc|out.avi"}, {"\"open", "\"open|"}, {"\"\" next  ", "|next"}}},
    {take<GetAndRemoveFirstQuoted>, {{"plain, rest ", "plain,|rest"}}},
    // A flag needs punctuation or the end after it; one occurrence per call.
    {[](Io &io) { return with(io, GetSwitch(io.s, 'V')); },
     {{"/v/x", "1|/x"}, {"/V2", "0|/V2"}, {"/v /v", "1| /v"}, {"/V2 /v-", "1|/V2 -"}, {"/", "0|/"}}},
    {[](Io &io) { return with(io, GetSwitchNum(io.s, 'R', 7)); },
     {{"in.flc /r-12 out.flc", "-12|in.flc  out.flc"}, {"/rx /r- /R30", "30|/rx /r- "}, {"/rx /r- ", "7|/rx /r- "}}},
    {[](Io &io) { return with(io, GetSwitchNum(io.s, 'W', 0)); }, {{"/w320x200", "320|x200"}}},
    {[](Io &io) {
       uint32_t num = 12345, den = 6789;
       GetSwitchFractional(io.s, 'R', &num, &den, 15, 2);
       return ratio(num, den) + "|" + io.s;
     },
     {{"/r29.97 x", "2997/100| x"}, {"/R30000;1001", "30000/1001|"}, {"none", "15/2|none"}}},
    {value_or_def,
     {{"/o\"a b.avi\" x", "1| x|a b.avi"}, {"/onext/x y", "1|/x y|next"}, {"/o\"open end", "1||open end"}}},
    {value_or_def, {{"/o \"unterminated", "0|/o \"unterminated|def"}}},
    {[](Io &io) { return with(io, GetSwitchStr(io.s, 'O', io.d, nullptr)) + "|" + io.d; }, {{"/o", "0|/o|"}}},
    // A later "/-X" cancels the switches before it; a quoted value stops at it.
    {edit<RemoveMinusSwitches>, {{"/L2 /Lfoo /-l /L3", "   /L3"}, {"abc /-", "abc "}, {"/a /-a /-b /a", "   /a"}}},
    {edit<RemoveMinusSwitches>, {{"/o\"a b\" /v /-o", " /v "}, {"/o\"never closed /-o", ""}}},
    // Numbers: signs, blanks, the 32-bit wrap; fractions as decimals or
    // "num;den"; odd inputs give defined results.
    {[](Io &io) { return std::to_string(atou32(io.in)); },
     {{"  \t+42xyz", "42"}, {"-17", "-17"}, {"abc", "0"}, {"-2147483648", "-2147483648"}, {"4294967295", "-1"}}},
    {fraction, {{"29.97", "2997/100|"}, {"-0.5", "4294967295/2|"}, {"2.5;2 tail", "5/4| tail"}, {"12.50x", "25/2|x"}}},
    {fraction,
     {{"abc", "0/1|abc"}, {"5;0", "5/1|"}, {"7;x", "7/1|x"}, {"-", "0/1|"}, {"99999999999999999999", "*/1|"}}},
    // Hundredths of a frame per second: a period in 1/1000 s, whole frames
    // per second, or hundredths; truncated, and at least 5.
    {[](Io &io) { return std::to_string(MakeFrameRate(static_cast<int32_t>(io.u))); },
     {{"0", "0"}, {"100", "1000"}, {"-30", "3000"}, {"-1500", "150000"}, {"-1501", "1501"}, {"30000", "5"}}},
    {elapsed, {{"1", "1 millisecond"}, {"999", "999 milliseconds"}, {"1000", "1 second"}, {"59999", "59 seconds"}}},
    {elapsed, {{"61000", "1 minute 1 second"}, {"120000", "2 minutes 0 seconds"}, {"3660000", "1 hour 1 minute"}}},
    {elapsed, {{"4294967295", "1193 hours 2 minutes"}}},
    {[](Io &io) { return CommaNum(io.d, io.u), std::string(io.d); },
     {{"999", "999"}, {"1000", "1,000"}, {"100000", "100,000"}, {"4294967295", "4,294,967,295"}}},
    // File names: the extension's dot is the last of the last piece.
    {[](Io &io) { return HasExtension(io.in) ? std::to_string(HasExtension(io.in) - io.in) : "null"; },
     {{"dir.x/name", "null"}, {".flc", "0"}, {"c.", "1"}, {"a.tar.gz", "5"}, {"c:/a.b/c", "null"}, {"", "null"}}},
    {edit<ExpandFileName>,
     {{"sub/../sub/./pic.bmp", "@/sub/pic.bmp"}, {"/a//b/../c/", "/a/c/"}, {"/..", "/"}, {"", ""}}},
    {[](Io &io) { return with(io, IsDirectory(io.s, 0)); },
     {{"sub", "1|@/sub"}, {"sub/pic.bmp", "0|@/sub/pic.bmp"}, {"nothing", "0|*"}, {"/", "1|/"}}},
    {[](Io &io) { return with(io, GetDrive(io.s)); }, {{"sub", "47|@/sub"}}},
    {pieces<1, 1, 0, 0>, {{"sub/pic.bmp", "@/sub/"}}},
    {pieces<0, 0, 1, 1>, {{" sub/pic.bmp ", "pic.bmp"}}},
    {pieces<0, 0, 0, 1>, {{"sub/pic.bmp", ".bmp"}}},
    {pieces<1, 1, 1, 1>, {{"sub", "@/sub/"}, {"   ", ""}}}, // a folder has no name
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
  for (size_t g = 0; g < std::size(kGroups); ++g)
    for (const auto &[in, wanted] : kGroups[g].rows) {
      std::string want = wanted;
      for (size_t at; (at = want.find('@')) != std::string::npos;)
        want.replace(at, 1, cwd_);
      Io io{.in = in, .u = static_cast<uint32_t>(std::strtoll(in, nullptr, 0))};
      std::strncpy(io.s, in, 255);
      const std::string got = kGroups[g].call(io);
      if (want.find('*') != std::string::npos)
        EXPECT_EQ(fnmatch(want.c_str(), got.c_str(), 0), 0) << "group " << g << " (\"" << in << "\") gave " << got;
      else
        EXPECT_EQ(got, want) << "group " << g << " (\"" << in << "\")";
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
  EXPECT_EQ(u32toa(u32toa(buf, 0), 0x80000000u), buf + 12);
  EXPECT_STREQ(buf, "0-2147483648");
  u32toa(buf, 2147483647u);
  EXPECT_STREQ(buf, "2147483647");
  EXPECT_EQ(atou32(nullptr), 0);
  EXPECT_GT(MakeFrameRate(INT32_MIN), 0);
  const char *t = "a/b/c";
  EXPECT_EQ(findchar(t, '/'), t + 1);
  EXPECT_EQ(findchar(t, 'z'), nullptr);
  EXPECT_EQ(findchar(t, 0), t + 5);
  // dir + prefix (8 at most) + the nibbles of n as letters A-P, low first.
  const std::tuple<const char *, const char *, uint32_t, const char *> names[] = {
      {"/tmp/", "VX", 0, "/tmp/VXAAAAAA.AAA"},
      {"d/", "", 0xFEDCBA98u, "d/IJKLMNOP.AAA"},
      {"", "ABCDEFGHIJKLMNOP", 0, "ABCDEFGH.JKL"}};
  for (const auto &[dir, prefix, n, want] : names) {
    EXPECT_EQ(GetTempName(buf, dir, prefix, n), buf);
    EXPECT_STREQ(buf, want);
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
  // The timer counts from the first call in this process, which is about 0.
  uint32_t last = VEXTimerRead();
  EXPECT_LT(last, 1000u);
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = VEXTimerRead();
    EXPECT_GE(now, last);
    last = now;
  }
}

} // namespace
