// Command lines of the tools: file names as they are, and switches in the
// library's own syntax ('/' + letter + value, '/-X' cancels earlier /X),
// read with GetSwitch and friends. A word that starts with '/' is a path,
// not a switch, when it names something that exists or lies in a folder
// that exists ("/tmp/out.flc"); write "./name" or "--" to force names.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vex::tools {

class CommandLine {
public:
  // aliases maps GNU-style words to switches, e.g. {"-v", "/V"}.
  CommandLine(int argc, char **argv, const std::vector<std::pair<std::string, std::string>> &aliases);

  const std::vector<std::string> &names() const { return names_; }
  bool help() const { return help_; }
  bool version() const { return version_; }

  bool flag(char letter);
  int number(char letter, int fallback);
  // Exact fraction, e.g. "/R29.97" or "/R30000;1001"; false when absent.
  bool fraction(char letter, uint32_t &num, uint32_t &den);
  // The switches as one text that the library's switch readers edit in
  // place (SFileCommandLine and friends).
  char *switches() { return switches_.data(); }
  // What no call took, trimmed; empty when every switch was known.
  std::string leftover() const;

private:
  std::vector<std::string> names_;
  std::vector<char> switches_; // zero-terminated, edited in place by the library
  bool help_ = false;
  bool version_ = false;
};

} // namespace vex::tools
