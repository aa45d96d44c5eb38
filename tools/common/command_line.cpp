#include "common/command_line.h"

#include <cctype>
#include <cstring>
#include <filesystem>

#include "vexutil/util.h"

namespace vex::tools {

namespace {

bool looks_like_path(const std::string &w) {
  std::error_code ec;
  if (std::filesystem::exists(w, ec))
    return true;
  const size_t slash = w.find('/', 1);
  return slash != std::string::npos && std::filesystem::is_directory(w.substr(0, slash), ec);
}

bool is_switch_word(const std::string &w) {
  return w.size() >= 2 && w[0] == '/' && (std::isalpha(static_cast<unsigned char>(w[1])) || w[1] == '-') &&
         !looks_like_path(w);
}

} // namespace

CommandLine::CommandLine(int argc, char **argv, const std::vector<std::pair<std::string, std::string>> &aliases) {
  std::string sw;
  bool names_only = false;
  for (int i = 1; i < argc; ++i) {
    std::string w = argv[i];
    if (!names_only) {
      if (w == "--") {
        names_only = true;
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
      if (is_switch_word(w)) {
        sw += ' ';
        // A value with blanks keeps them inside double quotes.
        sw += w.find(' ') == std::string::npos ? w : w.substr(0, 2) + '"' + w.substr(2) + '"';
        continue;
      }
    }
    names_.push_back(w);
  }
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
