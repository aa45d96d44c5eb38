#include <gtest/gtest.h>

#include <string>

#include "vexutil/util.h"

namespace {

// Runs an in-place editor over a copy of text in a roomy buffer.
template <class Fn> std::string edit(const std::string &text, Fn fn) {
  char buf[512] = {};
  text.copy(buf, sizeof buf - 2);
  fn(buf);
  return buf;
}

struct Split {
  std::string first, rest;
};

template <class Fn> Split take(const std::string &text, Fn fn) {
  char dest[512] = {}, s[512] = {};
  text.copy(s, sizeof s - 1);
  fn(dest, s);
  return {dest, s};
}

TEST(Trim, BlanksAreBytesOneToThirtyTwo) {
  EXPECT_EQ(edit(" \t\r\n a b \r\n\t ", Trim), "a b");
  EXPECT_EQ(edit("   \t ", Trim), "");
  EXPECT_EQ(edit("", Trim), "");
  EXPECT_EQ(edit("\x01x\x1f", Trim), "x");
  EXPECT_EQ(edit("\xe9t\xe9", Trim), "\xe9t\xe9"); // high bytes belong to words
  EXPECT_EQ(edit("  left  ", TrimL), "left  ");
}

TEST(Trim, AsciiAlsoDropsHighBytes) {
  EXPECT_EQ(edit("\xff\x80 ok \xa0\x7f", TrimAscii), "ok \xa0\x7f");
  EXPECT_EQ(edit("\x80\x81\xfe", TrimAscii), "");
}

TEST(FirstWord, BlanksAndOneComma) {
  auto s = take("  one two", GetAndRemoveFirst);
  EXPECT_EQ(s.first, "one");
  EXPECT_EQ(s.rest, "two");
  s = take("a,b c", GetAndRemoveFirst);
  EXPECT_EQ(s.first, "a,b");
  EXPECT_EQ(s.rest, "c");
  s = take("a , b", GetAndRemoveFirst);
  EXPECT_EQ(s.first, "a ,");
  EXPECT_EQ(s.rest, "b");
  s = take("a ,, b", GetAndRemoveFirst);
  EXPECT_EQ(s.first, "a ,");
  EXPECT_EQ(s.rest, ", b");
  s = take("", GetAndRemoveFirst);
  EXPECT_EQ(s.first, "");
  EXPECT_EQ(s.rest, "");
}

TEST(FirstWord, QuotedNamesKeepTheirBlanks) {
  auto s = take("\"My File.flc\" out.avi", GetAndRemoveFirstQuoted);
  EXPECT_EQ(s.first, "My File.flc");
  EXPECT_EQ(s.rest, "out.avi");
  s = take("\"open", GetAndRemoveFirstQuoted);
  EXPECT_EQ(s.first, "\"open");
  EXPECT_EQ(s.rest, "");
  s = take("\"\" next  ", GetAndRemoveFirstQuoted);
  EXPECT_EQ(s.first, "");
  EXPECT_EQ(s.rest, "next");
  s = take("plain, rest ", GetAndRemoveFirstQuoted);
  EXPECT_EQ(s.first, "plain,");
  EXPECT_EQ(s.rest, "rest");
}

TEST(Quotes, RemovedOnlyInPairs) {
  EXPECT_EQ(edit(" \"a b\" ", RemoveQuotes), "a b");
  EXPECT_EQ(edit("\"", RemoveQuotes), "\"");
  EXPECT_EQ(edit("\"\"", RemoveQuotes), "");
  EXPECT_EQ(edit("\"a", RemoveQuotes), "\"a");
}

TEST(AddBackslash, OneSeparatorAtMost) {
  EXPECT_EQ(edit("/tmp/x", AddBackslash), "/tmp/x/");
  EXPECT_EQ(edit("/tmp/x/", AddBackslash), "/tmp/x/");
  EXPECT_EQ(edit("dev:", AddBackslash), "dev:");
  EXPECT_EQ(edit("  ", AddBackslash), "");
}

} // namespace
