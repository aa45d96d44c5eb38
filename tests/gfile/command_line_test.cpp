// GFileCommandLine: rates given as durations, the palette rules, every
// option and what is left of the line, and options skipped by null pointers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "vexutil/gfile.h"

namespace {

// Every value the switches set, by switch letter (F and A as num/den); 7 where untouched.
std::map<std::string, std::string> read(const char *text) {
  std::vector<char> cmd(text, text + std::strlen(text) + 1);
  uint32_t fn = 7, fd = 7, an = 7, ad = 7;
  int32_t v[15] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  char palette[128] = "unset";
  GFileCommandLine(cmd.data(), &fn, &fd, &an, &ad, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
                   &v[10], &v[11], &v[12], palette);
  std::map<std::string, std::string> out = {{"F", std::to_string(fn) + "/" + std::to_string(fd)},
                                            {"A", std::to_string(an) + "/" + std::to_string(ad)},
                                            {"&", palette},
                                            {"left", cmd.data()}};
  const char *letters[] = {"X", "Y", "W", "H", "S", "E", "P", "U", "I", "Q", "$", "D", "T"};
  for (int i = 0; i < 13; ++i)
    out[letters[i]] = std::to_string(v[i]);
  return out;
}

TEST(GraphicsSwitches, ValuesByHand) {
  const struct {
    const char *line;
    std::map<std::string, std::string> want;
  } rows[] = {
      // Rates as frames a second, or durations (negative): milliseconds from -1500 up, tens of
      // microseconds below; as reduced fractions.
      {"/F-100 /A30", {{"F", "10/1"}, {"A", "30/1"}}},
      {"/F-3333 /A29.97", {{"F", "100000/3333"}, {"A", "2997/100"}}},
      {"/F-1500 /A-1501", {{"F", "2/3"}, {"A", "100000/1501"}}},
      {"/F-33.5", {{"F", "2000/67"}}},                           // 33.5 ms a frame
      {"", {{"F", "0/0"}, {"Q", "256"}, {"I", "0"}, {"U", "65536"}, {"&", ""}}},
      // The first index follows the entry count: 256 - entries unless given and fitting.
      {"/Q200", {{"Q", "200"}, {"I", "28"}}},
      {"/Q200 /I100", {{"I", "56"}}},
      {"/I-5 /Q10", {{"I", "0"}}},
      {"/Q0", {{"Q", "256"}}}, {"/Q257", {{"Q", "256"}}}, {"/Q-1", {{"Q", "256"}}},
      {"/U0", {{"U", "65536"}}}, {"/U65537", {{"U", "65536"}}}, {"/U-7", {{"U", "65536"}}}, {"/U100", {{"U", "100"}}},
      {"in.flc /x-4 /Y5 /W320 /H200 /S2 /E9 /P1 /$16 /D2 /T1 /&\"my pal.bmp\" out.flc",
       {{"X", "-4"}, {"Y", "5"}, {"W", "320"}, {"H", "200"}, {"S", "2"}, {"E", "9"}, {"P", "1"}, {"$", "16"},
        {"D", "2"}, {"T", "1"}, {"&", "my pal.bmp"}}},
  };
  for (const auto &r : rows) {
    const auto got = read(r.line);
    for (const auto &[key, value] : r.want)
      EXPECT_EQ(got.at(key), value) << r.line << ": /" << key;
  }
  EXPECT_EQ(read(rows[std::size(rows) - 1].line).at("left").find('/'), std::string::npos);
  // Null pointers skip their switches, but the crop and range switches always leave the line.
  char cmd[] = "a /X3 /S4 /Q50 /I9 /F25";
  GFileCommandLine(cmd, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_STREQ(cmd, "a   /Q50 /I9 /F25");
  // A long palette name is cut to 127 characters.
  EXPECT_EQ(read(("/&" + std::string(300, 'p')).c_str()).at("&"), std::string(127, 'p'));
}

} // namespace
