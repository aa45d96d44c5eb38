// Small text predicates shared by the in-place text editors.
#pragma once

#include <cstring>
#include <string_view>

namespace vex::util {

// A blank is a byte 1..32: the control characters and the space.
inline bool is_blank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool is_letter(char c) { return upper(c) >= 'A' && upper(c) <= 'Z'; }

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The text without the blanks (spaces, tabs, line ends) at either end.
inline std::string_view trimmed(std::string_view s) {
  const auto a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos)
    return {};
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// Removes n characters at p by moving the rest, terminating zero included.
inline void erase(char *p, size_t n) { std::memmove(p, p + n, std::strlen(p + n) + 1); }

} // namespace vex::util
