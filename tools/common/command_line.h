// Command lines of the tools: file names as they are, and switches in the
// library's own syntax ('/' + letter + value, '/-X' cancels earlier /X),
// read with GetSwitch and friends.
//
// Which words are names: every path starts with '/' as a switch does, so
// the library's parsers only ever see words that are switches of this
// tool and nothing else. A word is a switch word when
//   - it comes before "--",
//   - it starts with '/',
//   - no file or folder of that name exists, and
//   - the whole word reads as switches of this tool (the tool's letters
//     with values of the right kind: "/S10", "/F29.97", "/O/Q", "/-O").
// Every other word is a name, so "/data/s1/movie.avi" stays a name whether
// or not /data exists ("/data" is no switch), and "/tmp/S1/out.flc" never
// sets a first frame. A name that reads as switches and exists nowhere
// (say "/s1") is written "./s1" or after "--".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vex::tools {

enum class SwitchKind {
  flag,     // "/Y"
  number,   // "/S10", "/S-2"
  fraction, // "/F15", "/F29.97", "/F30000;1001", "/F-100"
  text,     // "/&pal.png", "/&\"dir/pal.png\"" (a value with '/' is quoted)
};

struct SwitchRule {
  char letter; // upper case
  SwitchKind kind;
};

class CommandLine {
public:
  // switches: the tool's own; aliases maps GNU-style words to switches,
  // e.g. {"-v", "/V"}.
  CommandLine(int argc, char **argv, std::span<const SwitchRule> switches,
              const std::vector<std::pair<std::string, std::string>> &aliases);

  const std::vector<std::string> &names() const { return names_; }
  bool help() const { return help_; }
  bool version() const { return version_; }

  bool flag(char letter);
  int number(char letter, int fallback);
  // Exact fraction, e.g. "/F29.97" or "/F30000;1001"; false when absent.
  bool fraction(char letter, uint32_t &num, uint32_t &den);
  // The switches as one text that the library's switch readers edit in
  // place (SFileCommandLine and friends).
  char *switches() { return switches_.data(); }
  // What no call took, trimmed; empty when every switch was known.
  std::string leftover() const;

  // A name that does not exist and has the look of a single switch ('/',
  // a letter, no other '/'): most likely a mistyped switch. For messages.
  static bool looks_like_switch(const std::string &name);
  // Tells, one line each on stderr ("TOOL: /Fabc: a bad value for /F
  // (...)", "TOOL: /Zq: no such switch"), the names before "--" that look
  // like a switch and are none of this tool's, then "see TOOL --help";
  // true when there was any.
  bool report_bad_switches(const char *tool) const;

private:
  bool is_switch_word(const std::string &w, std::span<const SwitchRule> switches) const;

  std::vector<std::string> names_;
  size_t names_before_dashes_ = 0; // names_ read before "--"
  std::vector<SwitchRule> rules_;
  std::vector<char> switches_; // zero-terminated, edited in place by the library
  bool help_ = false;
  bool version_ = false;
};

// A bad command line: "TOOL: message" and "see TOOL --help" on stderr;
// returns the exit status 2.
int bad_command_line(const char *tool, const std::string &message);

// The name rule above in a few lines, for the tools' --help texts, with
// switch words of the tool as examples ("/S10, /F29.97, /O/Q, /-O").
std::string name_rule_help(const char *examples);

} // namespace vex::tools
