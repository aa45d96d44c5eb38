// The fixed lines and the texts of the terminal front: cutting never
// overruns or splits a character, the overwrite question keeps its end,
// percentages are found, prompts show their default, answers are read.
#include <gtest/gtest.h>

#include <string>

#include "ui/front.h"
#include "ui/terminal_text.h"
#include "ui/text_line.h"

namespace vex::ui {
namespace {

bool valid_utf8(const std::string &s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size())
      return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
        return false;
    i += n;
  }
  return true;
}

TEST(Lines, CutAtEveryLengthAroundTheCapacityWithoutSplittingCharacters) {
  const std::string pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}; // 1 to 4 bytes
  for (const std::string &piece : pieces)
    for (size_t lead = 0; lead < 4; ++lead) {
      std::string text(lead, 'x');
      while (text.size() < 200)
        text += piece;
      StatusLine line(text);
      SCOPED_TRACE(piece.size() * 10 + lead);
      EXPECT_LE(line.length(), 95u);
      EXPECT_GE(line.length(), 95u - (piece.size() - 1));
      EXPECT_TRUE(valid_utf8(line.str()));
      EXPECT_EQ(text.compare(0, line.length(), line.str()), 0);
    }
}

TEST(Lines, AppendStopsAtTheEnd) {
  StatusLine line(std::string(91, 'q'));
  line.append(" Yes.");
  EXPECT_EQ(line.str(), std::string(91, 'q') + " Yes");
  line.append(" more");
  EXPECT_EQ(line.length(), 95u);
  Line<4> tiny("abcdef");
  EXPECT_STREQ(tiny.c_str(), "abc");
}

TEST(OverwriteQuestion, ShortNamesAreWhole) {
  EXPECT_EQ(overwrite_question("out.flc"), "File out.flc exists, overwrite?");
  const std::string name(75, 'n'); // exactly the room left in 99 bytes
  EXPECT_EQ(overwrite_question(name), "File " + name + " exists, overwrite?");
  EXPECT_EQ(overwrite_question(name).size(), 99u);
}

TEST(OverwriteQuestion, LongNamesLoseTheirMiddleVisibly) {
  for (size_t length : {76u, 100u, 127u, 500u, 5000u}) {
    std::string name = "/start/";
    while (name.size() + 10 < length)
      name += "\xC3\xA9";
    name += "/final.flc";
    const std::string q = overwrite_question(name);
    SCOPED_TRACE(length);
    EXPECT_LE(q.size(), 99u);
    EXPECT_TRUE(valid_utf8(q));
    EXPECT_EQ(q.rfind("File /start/", 0), 0u);
    EXPECT_NE(q.find("..."), std::string::npos);
    const std::string tail = "/final.flc exists, overwrite?";
    EXPECT_EQ(q.compare(q.size() - tail.size(), tail.size(), tail), 0) << q;
  }
}

TEST(Percent, TheLastNumberBeforeAPercentSign) {
  EXPECT_EQ(percent_in("Frame 3 of 7 (42%)"), 42);
  EXPECT_EQ(percent_in("12.5% done"), 12);
  EXPECT_EQ(percent_in("50% then 75%"), 75);
  EXPECT_EQ(percent_in("250%"), 100);
  EXPECT_EQ(percent_in("0%"), 0);
  EXPECT_EQ(percent_in("100 percent"), -1);
  EXPECT_EQ(percent_in("% alone"), -1);
  EXPECT_EQ(percent_in(".%"), -1);
  EXPECT_EQ(percent_in(""), -1);
  EXPECT_EQ(percent_in("99999999999999999999%"), 100);
}

TEST(ProgressLine, BarWhenAPercentageIsKnown) {
  EXPECT_EQ(progress_line("Frame 5 (50%)", 80), "[##########..........]  50% Frame 5 (50%)");
  EXPECT_EQ(progress_line("Loading...", 80), "Loading...");
  EXPECT_EQ(progress_line("(100%)", 80), "[####################] 100% (100%)");
  const std::string line = progress_line(std::string(300, 'x') + " 3%", 40);
  EXPECT_EQ(line.size(), 39u);
  EXPECT_EQ(line.rfind("[", 0), 0u);
}

TEST(Labels, MnemonicsBothWays) {
  EXPECT_EQ(mnemonic_label("&Cancel"), "_Cancel");
  EXPECT_EQ(mnemonic_label("&Done"), "_Done");
  EXPECT_EQ(mnemonic_label("Save && go"), "Save & go");
  EXPECT_EQ(mnemonic_label("snake_case"), "snake__case");
  EXPECT_EQ(plain_label("&Done"), "Done");
  EXPECT_EQ(plain_label("A && B"), "A & B");
  EXPECT_EQ(plain_label("trailing&"), "trailing");
}

Box question(int count, int default_index) {
  Box b;
  b.title = "T";
  b.text = "Go?";
  b.buttons[0] = Reply::yes;
  b.buttons[1] = Reply::no;
  b.buttons[2] = Reply::cancel;
  b.count = count;
  b.default_index = default_index;
  return b;
}

TEST(Prompts, TheDefaultIsInCapitals) {
  EXPECT_EQ(question_prompt(question(2, 1)), "T: Go? [y/N]");
  EXPECT_EQ(question_prompt(question(2, 0)), "T: Go? [Y/n]");
  EXPECT_EQ(question_prompt(question(3, 2)), "T: Go? [y/n/C]");
  Box untitled = question(2, 1);
  untitled.title.clear();
  EXPECT_EQ(question_prompt(untitled), "Go? [y/N]");
}

TEST(Prompts, AnswersByLetterOrWordAndEmptyIsTheDefault) {
  const Box b = question(3, 1);
  EXPECT_EQ(parse_reply("y", b), Reply::yes);
  EXPECT_EQ(parse_reply("  YES ", b), Reply::yes);
  EXPECT_EQ(parse_reply("n", b), Reply::no);
  EXPECT_EQ(parse_reply("Cancel", b), Reply::cancel);
  EXPECT_EQ(parse_reply("", b), Reply::no);
  EXPECT_EQ(parse_reply("maybe", b), Reply::none);
  EXPECT_EQ(parse_reply("c", question(2, 0)), Reply::none) << "no Cancel on a two-button box";
}

TEST(Templates, TitleOfTheDialogObjectOnly) {
  std::string title;
  EXPECT_TRUE(template_title(R"(<interface><object class="GtkWindow" id="VEXDialog">)"
                             R"(<property name="title" translatable="yes">Convert &amp; save</property>)"
                             R"(<child><object class="GtkLabel"><property name="title">No</property></object></child>)"
                             R"(</object></interface>)",
                             title));
  EXPECT_EQ(title, "Convert & save");
  EXPECT_TRUE(template_title(R"(<object id="VEXDialog"><child><object><property name="title">Inner</property>)"
                             R"(</object></child></object>)",
                             title));
  EXPECT_EQ(title, "") << "a child's title is not the dialog's";
  EXPECT_FALSE(template_title(R"(<object class="GtkWindow" id="Other"></object>)", title));
  EXPECT_FALSE(template_title("", title));
}

} // namespace
} // namespace vex::ui
