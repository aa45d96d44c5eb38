// Trimming and taking words off the front of a text, all in place.
#include <cstring>

#include "util/text_util.h"
#include "vexutil/util.h"

using vex::util::is_blank;

namespace {

template <class Removable> void trim_with(char *s, Removable removable) {
  if (!s)
    return;
  size_t len = std::strlen(s);
  while (len > 0 && removable(s[len - 1]))
    s[--len] = '\0';
  size_t lead = 0;
  while (lead < len && removable(s[lead]))
    ++lead;
  if (lead > 0)
    std::memmove(s, s + lead, len - lead + 1);
}

// Moves the first n characters of s into dest and closes the gap.
void take_front(char *dest, char *s, size_t n) {
  std::memmove(dest, s, n);
  dest[n] = '\0';
  vex::util::erase(s, n);
}

// Length of the first word, the blanks after it and one comma after those.
size_t first_word_span(const char *s) {
  size_t i = 0;
  while (s[i] != '\0' && !is_blank(s[i]))
    ++i;
  while (is_blank(s[i]))
    ++i;
  if (s[i] == ',')
    ++i;
  return i;
}

} // namespace

extern "C" void Trim(char *s) { trim_with(s, is_blank); }

extern "C" void TrimAscii(char *s) {
  trim_with(s, [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 33 || u > 127;
  });
}

extern "C" void TrimL(char *s) {
  if (!s)
    return;
  size_t lead = 0;
  while (is_blank(s[lead]))
    ++lead;
  if (lead > 0)
    vex::util::erase(s, lead);
}

extern "C" void GetAndRemoveFirst(char *dest, char *s) {
  if (!dest || !s)
    return;
  TrimL(s);
  take_front(dest, s, first_word_span(s));
  Trim(dest);
  TrimL(s);
}

extern "C" void GetAndRemoveFirstQuoted(char *dest, char *s) {
  if (!dest || !s)
    return;
  TrimL(s);
  const char *close = s[0] == '"' ? std::strchr(s + 1, '"') : nullptr;
  if (close) {
    const size_t inner = static_cast<size_t>(close - s - 1);
    std::memmove(dest, s + 1, inner);
    dest[inner] = '\0';
    vex::util::erase(s, inner + 2);
  } else {
    take_front(dest, s, first_word_span(s));
  }
  Trim(dest);
  Trim(s);
}

extern "C" void RemoveQuotes(char *s) {
  if (!s)
    return;
  Trim(s);
  const size_t len = std::strlen(s);
  if (len >= 2 && s[0] == '"' && s[len - 1] == '"') {
    s[len - 1] = '\0';
    vex::util::erase(s, 1);
  }
}

extern "C" void AddBackslash(char *path) {
  if (!path)
    return;
  Trim(path);
  const size_t len = std::strlen(path);
  // '/' is this system's directory separator; ':' still ends a device prefix.
  if (len > 0 && path[len - 1] != ':' && path[len - 1] != '/') {
    path[len] = '/';
    path[len + 1] = '\0';
  }
}
