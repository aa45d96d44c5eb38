// Splits a command-line fragment into words the way /bin/sh does for the
// plain cases the tests write: blanks separate, single quotes keep
// everything, double quotes keep all but \$ \` \" \\, a bare backslash keeps
// the next character. Anything else the shell would expand ($, `, globs,
// redirections) makes the split refuse, so a caller never acts on a
// reading the shell would not share.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vex::testkit {

std::optional<std::vector<std::string>> shell_words(const std::string &text);

} // namespace vex::testkit
