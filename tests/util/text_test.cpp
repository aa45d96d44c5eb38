#include <gtest/gtest.h>

#include <string>

#include "vexutil/util.h"

namespace {

using Editor = void (*)(char *);
using Taker = void (*)(char *, char *);

// Runs an in-place editor over a copy of text in a roomy buffer.
std::string edit(const std::string &text, Editor fn) {
  char buf[512] = {};
  text.copy(buf, sizeof buf - 2);
  fn(buf);
  return buf;
}

struct EditCase {
  const char *what;
  Editor fn;
  std::string in, out;
};

TEST(TextEdits, TrimQuotesAndSeparators) {
  const EditCase cases[] = {
      // Trim: blanks are bytes 1 to 32; high bytes belong to words.
      {"Trim", Trim, " \t\r\n a b \r\n\t ", "a b"},
      {"Trim", Trim, "   \t ", ""},
      {"Trim", Trim, "", ""},
      {"Trim", Trim, "\x01x\x1f", "x"},
      {"Trim", Trim, "\xe9t\xe9", "\xe9t\xe9"},
      {"TrimL", TrimL, "  left  ", "left  "},
      // TrimAscii also drops high bytes at the ends.
      {"TrimAscii", TrimAscii, "\xff\x80 ok \xa0\x7f", "ok \xa0\x7f"},
      {"TrimAscii", TrimAscii, "\x80\x81\xfe", ""},
      // Quotes go only in pairs.
      {"RemoveQuotes", RemoveQuotes, " \"a b\" ", "a b"},
      {"RemoveQuotes", RemoveQuotes, "\"", "\""},
      {"RemoveQuotes", RemoveQuotes, "\"\"", ""},
      {"RemoveQuotes", RemoveQuotes, "\"a", "\"a"},
      // One separator at most.
      {"AddBackslash", AddBackslash, "/tmp/x", "/tmp/x/"},
      {"AddBackslash", AddBackslash, "/tmp/x/", "/tmp/x/"},
      {"AddBackslash", AddBackslash, "dev:", "dev:"},
      {"AddBackslash", AddBackslash, "  ", ""},
  };
  for (const EditCase &c : cases)
    EXPECT_EQ(edit(c.in, c.fn), c.out) << c.what << "(\"" << c.in << "\")";
}

struct TakeCase {
  const char *what;
  Taker fn;
  std::string in, first, rest;
};

// The first word goes to dest and out of the text: blanks and one comma
// end a plain word; a quoted name keeps its blanks.
TEST(FirstWord, PlainAndQuoted) {
  const TakeCase cases[] = {
      {"GetAndRemoveFirst", GetAndRemoveFirst, "  one two", "one", "two"},
      {"GetAndRemoveFirst", GetAndRemoveFirst, "a,b c", "a,b", "c"},
      {"GetAndRemoveFirst", GetAndRemoveFirst, "a , b", "a ,", "b"},
      {"GetAndRemoveFirst", GetAndRemoveFirst, "a ,, b", "a ,", ", b"},
      {"GetAndRemoveFirst", GetAndRemoveFirst, "", "", ""},
      {"GetAndRemoveFirstQuoted", GetAndRemoveFirstQuoted, "\"My File.flc\" out.avi", "My File.flc", "out.avi"},
      {"GetAndRemoveFirstQuoted", GetAndRemoveFirstQuoted, "\"open", "\"open", ""},
      {"GetAndRemoveFirstQuoted", GetAndRemoveFirstQuoted, "\"\" next  ", "", "next"},
      {"GetAndRemoveFirstQuoted", GetAndRemoveFirstQuoted, "plain, rest ", "plain,", "rest"},
  };
  for (const TakeCase &c : cases) {
    char dest[512] = {}, s[512] = {};
    c.in.copy(s, sizeof s - 1);
    c.fn(dest, s);
    EXPECT_EQ(std::string(dest), c.first) << c.what << "(\"" << c.in << "\")";
    EXPECT_EQ(std::string(s), c.rest) << c.what << "(\"" << c.in << "\")";
  }
}

} // namespace
