#include "testkit/util/shell_words.h"

#include <cstring>

namespace vex::testkit {

std::optional<std::vector<std::string>> shell_words(const std::string &text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word)
        words.push_back(word);
      word.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '\'') {
      const size_t end = text.find('\'', i + 1);
      if (end == std::string::npos)
        return std::nullopt;
      word.append(text, i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      for (++i;; ++i) {
        if (i >= text.size())
          return std::nullopt;
        if (text[i] == '"')
          break;
        if (text[i] == '$' || text[i] == '`')
          return std::nullopt;
        if (text[i] == '\\' && i + 1 < text.size() && std::strchr("$`\"\\", text[i + 1]) != nullptr)
          ++i;
        word += text[i];
      }
    } else if (c == '\\') {
      if (++i >= text.size())
        return std::nullopt;
      word += text[i];
    } else if (std::strchr("$`*?[]{}~|&;<>()#", c) != nullptr) {
      return std::nullopt;
    } else {
      word += c;
    }
  }
  if (in_word)
    words.push_back(word);
  return words;
}

} // namespace vex::testkit
