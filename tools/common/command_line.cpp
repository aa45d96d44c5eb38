#include "common/command_line.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "vexutil/util.h"

namespace vex::tools {

std::string name_rule_help(const char *examples) {
  return std::string("Names and switches: a word is a switch only when it starts with '/', the\n"
                     "whole word reads as switches of this tool (") +
         examples +
         ") and\n"
         "no file or folder of that name exists. Every other word is a file name,\n"
         "so /data/s1/movie.avi is a name even when /data does not exist. After --\n"
         "every word is a name (-- /s1 names the file /s1).\n";
}

int bad_command_line(const char *tool, const std::string &message) {
  std::fprintf(stderr, "%s: %s\nsee %s --help\n", tool, message.c_str(), tool);
  return 2;
}

namespace {

bool entry_exists(const std::string &w) { // a dangling link counts
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(w, ec));
}

// Takes every switch of one kind out of the text with the library's own
// parser; true when it took anything.
bool take(std::vector<char> &text, const SwitchRule &s) {
  bool took = false;
  for (;;) {
    const size_t before = std::strlen(text.data());
    switch (s.kind) {
    case SwitchKind::flag: GetSwitch(text.data(), s.letter); break;
    case SwitchKind::number: GetSwitchNum(text.data(), s.letter, 0); break;
    case SwitchKind::fraction: {
      uint32_t num = 0, den = 0;
      GetSwitchFractional(text.data(), s.letter, &num, &den, 0, 0);
      break;
    }
    case SwitchKind::text: {
      std::vector<char> value(before + 1);
      GetSwitchStr(text.data(), s.letter, value.data(), "");
      break;
    }
    }
    if (std::strlen(text.data()) == before)
      return took;
    took = true;
  }
}

bool blank(const char *s) {
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) > ' ')
      return false;
  return true;
}

} // namespace

// The library's parsers, run on the word alone, must consume all of it.
bool CommandLine::is_switch_word(const std::string &w, std::span<const SwitchRule> switches) const {
  if (w.size() < 2 || w[0] != '/' || w.find(' ') != std::string::npos || entry_exists(w))
    return false;
  std::vector<char> text(w.begin(), w.end());
  text.push_back('\0');
  RemoveMinusSwitches(text.data());
  for (const SwitchRule &s : switches)
    take(text, s);
  return blank(text.data());
}

namespace {

// What a switch of this kind takes, for the message about a bad value.
const char *wants(SwitchKind kind) {
  switch (kind) {
  case SwitchKind::flag: return "takes no value";
  case SwitchKind::number: return "takes a whole number";
  case SwitchKind::fraction: return "takes a rate: 15, 29.97, 30000;1001 or -<ms>";
  case SwitchKind::text: return "takes a name";
  }
  return "";
}

} // namespace

bool CommandLine::report_bad_switches(const char *tool) const {
  bool any = false;
  for (size_t i = 0; i < names_before_dashes_; ++i) {
    const std::string &w = names_[i];
    if (!looks_like_switch(w))
      continue;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(w[1])));
    std::string why = "no such switch";
    for (const SwitchRule &r : rules_)
      if (r.letter == letter) {
        why = std::string("a bad value for /") + letter + " (/" + letter + " " + wants(r.kind) + ")";
        break;
      }
    std::fprintf(stderr, "%s: %s: %s\n", tool, w.c_str(), why.c_str());
    any = true;
  }
  if (any)
    std::fprintf(stderr, "see %s --help\n", tool);
  return any;
}

bool CommandLine::looks_like_switch(const std::string &name) {
  return name.size() >= 2 && name[0] == '/' && std::isalpha(static_cast<unsigned char>(name[1])) &&
         name.find('/', 1) == std::string::npos && !entry_exists(name);
}

CommandLine::CommandLine(int argc, char **argv, std::span<const SwitchRule> switches,
                         const std::vector<std::pair<std::string, std::string>> &aliases)
    : rules_(switches.begin(), switches.end()) {
  std::string sw;
  bool names_only = false;
  for (int i = 1; i < argc; ++i) {
    std::string w = argv[i];
    if (!names_only) {
      if (w == "--") {
        names_only = true;
        names_before_dashes_ = names_.size();
        continue;
      }
      if (w == "-h" || w == "--help") {
        help_ = true;
        continue;
      }
      if (w == "--version") {
        version_ = true;
        continue;
      }
      for (const auto &[from, to] : aliases)
        if (w == from)
          w = to;
      if (is_switch_word(w, switches)) {
        sw += ' ';
        sw += w;
        continue;
      }
    }
    names_.push_back(w);
  }
  if (!names_only)
    names_before_dashes_ = names_.size();
  switches_.assign(sw.begin(), sw.end());
  switches_.push_back('\0');
  RemoveMinusSwitches(switches_.data());
}

bool CommandLine::flag(char letter) {
  bool found = false;
  while (GetSwitch(switches_.data(), std::toupper(letter)))
    found = true;
  return found;
}

int CommandLine::number(char letter, int fallback) {
  return GetSwitchNum(switches_.data(), std::toupper(letter), fallback);
}

bool CommandLine::fraction(char letter, uint32_t &num, uint32_t &den) {
  GetSwitchFractional(switches_.data(), std::toupper(letter), &num, &den, 0, 0);
  return den != 0;
}

std::string CommandLine::leftover() const {
  std::string s(switches_.data());
  const size_t a = s.find_first_not_of(" \t");
  return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

} // namespace vex::tools
