// The fixed lines and the texts of the terminal front: cutting never
// overruns or splits a character, the overwrite question keeps its end,
// percentages are found, prompts show their default, answers are read.
// Every expected text is written out by hand.
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

// Characters of 1 to 4 bytes after 0 to 3 bytes of lead: every way the
// 95-byte room can end inside a character.
TEST(Lines, CutAtTheRoomWithoutSplittingCharactersAndAppendStops) {
  for (const std::string piece : {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"})
    for (size_t lead = 0; lead < 4; ++lead) {
      std::string text(lead, 'x');
      while (text.size() < 200)
        text += piece;
      const StatusLine line(text);
      SCOPED_TRACE(piece.size() * 10 + lead);
      EXPECT_LE(line.length(), 95u);
      EXPECT_GE(line.length(), 95u - (piece.size() - 1));
      EXPECT_TRUE(valid_utf8(line.str()));
      EXPECT_EQ(text.compare(0, line.length(), line.str()), 0);
    }
  StatusLine line(std::string(91, 'q'));
  line.append(" Yes.");
  EXPECT_EQ(line.str(), std::string(91, 'q') + " Yes");
  line.append(" more");
  EXPECT_EQ(line.length(), 95u);
  EXPECT_STREQ(Line<4>("abcdef").c_str(), "abc");
}

TEST(OverwriteQuestion, ShortNamesAreWholeAndLongOnesLoseTheirMiddleVisibly) {
  EXPECT_EQ(overwrite_question("out.flc"), "File out.flc exists, overwrite?");
  const std::string fits(75, 'n'); // exactly the room left in 99 bytes
  EXPECT_EQ(overwrite_question(fits), "File " + fits + " exists, overwrite?");
  for (size_t length : {76u, 100u, 127u, 500u, 5000u}) {
    std::string name = "/start/";
    while (name.size() + 10 < length)
      name += "\xC3\xA9";
    name += "/final.flc";
    const std::string q = overwrite_question(name), tail = "/final.flc exists, overwrite?";
    SCOPED_TRACE(length);
    EXPECT_LE(q.size(), 99u);
    EXPECT_TRUE(valid_utf8(q));
    EXPECT_EQ(q.rfind("File /start/", 0), 0u);
    EXPECT_NE(q.find("..."), std::string::npos);
    EXPECT_EQ(q.compare(q.size() - tail.size(), tail.size(), tail), 0) << q;
  }
}

TEST(Texts, PercentProgressAndLabels) {
  const std::pair<const char *, int> percents[] = {{"Frame 3 of 7 (42%)", 42},
                                                   {"12.5% done", 12},
                                                   {"50% then 75%", 75},
                                                   {"250%", 100},
                                                   {"0%", 0},
                                                   {"100 percent", -1},
                                                   {"% alone", -1},
                                                   {".%", -1},
                                                   {"", -1},
                                                   {"99999999999999999999%", 100}};
  for (const auto &[text, want] : percents)
    EXPECT_EQ(percent_in(text), want) << text;
  EXPECT_EQ(progress_line("Frame 5 (50%)", 80), "[##########..........]  50% Frame 5 (50%)");
  EXPECT_EQ(progress_line("Loading...", 80), "Loading...");
  EXPECT_EQ(progress_line("(100%)", 80), "[####################] 100% (100%)");
  EXPECT_EQ(progress_line("(99%)", 80), "[###################.]  99% (99%)") << "cells are whole fives";
  EXPECT_EQ(progress_line("(3%)", 80), "[....................]   3% (3%)");
  const std::string cut = progress_line(std::string(300, 'x') + " 3%", 40);
  EXPECT_EQ(cut.size(), 39u);
  EXPECT_EQ(cut.rfind("[", 0), 0u);
  const std::pair<const char *, const char *> mnemonics[] = {
      {"&Cancel", "_Cancel"}, {"&Done", "_Done"}, {"Save && go", "Save & go"}, {"snake_case", "snake__case"}};
  for (const auto &[label, want] : mnemonics)
    EXPECT_EQ(mnemonic_label(label), want);
  const std::pair<const char *, const char *> plains[] = {
      {"&Done", "Done"}, {"A && B", "A & B"}, {"trailing&", "trailing"}};
  for (const auto &[label, want] : plains)
    EXPECT_EQ(plain_label(label), want);
}

Box question(int count, int default_index, const char *title = "T") {
  Box b;
  b.title = title;
  b.text = "Go?";
  b.buttons[0] = Reply::yes;
  b.buttons[1] = Reply::no;
  b.buttons[2] = Reply::cancel;
  b.count = count;
  b.default_index = default_index;
  return b;
}

TEST(Prompts, TheDefaultIsInCapitalsAndAnswersAreReadByLetterOrWord) {
  EXPECT_EQ(question_prompt(question(2, 1)), "T: Go? [y/N]");
  EXPECT_EQ(question_prompt(question(2, 0)), "T: Go? [Y/n]");
  EXPECT_EQ(question_prompt(question(3, 2)), "T: Go? [y/n/C]");
  EXPECT_EQ(question_prompt(question(2, 1, "")), "Go? [y/N]");
  const std::pair<const char *, Reply> answers[] = {{"y", Reply::yes}, {"  YES ", Reply::yes},
                                                    {"n", Reply::no},  {"Cancel", Reply::cancel},
                                                    {"", Reply::no},   {"maybe", Reply::none}};
  for (const auto &[typed, want] : answers)
    EXPECT_EQ(parse_reply(typed, question(3, 1)), want) << '"' << typed << '"';
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
