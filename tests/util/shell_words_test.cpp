// The testkit's splitter of command-line fragments (the in-process ffmpeg
// oracle reads the tests' ffmpeg arguments with it) against /bin/sh itself:
// every fragment it splits, the shell splits into the same words, and it
// refuses every fragment the shell would expand or redirect.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testkit/util/shell_words.h"

namespace {

// The words /bin/sh makes of `fragment`, as printf prints them one a line
// between brackets.
std::vector<std::string> shells_words(const std::string &fragment) {
  const std::string command = "printf '[%s]\\n' " + fragment;
  FILE *p = popen(command.c_str(), "r");
  if (!p)
    return {"popen failed"};
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
    out.append(buffer, n);
  pclose(p);
  std::vector<std::string> words;
  for (size_t at = 0; at < out.size();) {
    const size_t end = out.find("]\n", at);
    if (end == std::string::npos || out[at] != '[')
      return {"unreadable: " + out};
    words.push_back(out.substr(at + 1, end - at - 1));
    at = end + 2;
  }
  return words;
}

TEST(ShellWords, SplitsAsTheShellDoes) {
  for (const char *fragment :
       {"-f lavfi -i testsrc=size=32x24:rate=10", "  spaced\tout  words  ", "'single  quoted' x",
        "\"double \\\" \\\\ \\$ kept\" y", "\"a\\b\" 'c\\d'", "mixed'quo'\"tes\"here", "back\\ slash\\'s",
        "-vf \"scale=64:48,format=rgb24\"", "''", "a '' b", "\"\"", "-metadata title='x y'"}) {
    SCOPED_TRACE(fragment);
    const auto words = vex::testkit::shell_words(fragment);
    ASSERT_TRUE(words.has_value());
    EXPECT_EQ(*words, shells_words(fragment));
  }
}

TEST(ShellWords, RefusesWhatTheShellWouldExpandOrRedirect) {
  for (const char *fragment : {"$HOME", "\"$HOME\"", "`true`", "\"`true`\"", "a*", "a?", "[ab]", "{a,b}", "~", "a|b",
                               "a&", "a;b", "a>b", "a<b", "(a)", "a #c", "'open", "\"open", "trailing\\"}) {
    SCOPED_TRACE(fragment);
    EXPECT_FALSE(vex::testkit::shell_words(fragment).has_value());
  }
}

} // namespace
