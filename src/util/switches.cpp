// Command-line switches: '/' + letter, read as a flag, number, fraction or
// string, and taken out of the command line in place.
#include <cstring>

#include "util/text_util.h"
#include "vexutil/util.h"

namespace vt = vex::util;

namespace {

// First '/X' (X compared in upper case) whose following character passes
// `qualifies`; null when there is none.
template <class Qualifies> char *find_switch(char *cmd, int32_t letter, Qualifies qualifies) {
  if (!cmd)
    return nullptr;
  for (char *p = std::strchr(cmd, '/'); p; p = std::strchr(p + 1, '/')) {
    if (p[1] != '\0' && vt::upper(p[1]) == letter && qualifies(p + 2))
      return p;
  }
  return nullptr;
}

bool starts_number(const char *p) { return vt::is_digit(p[0]) || (p[0] == '-' && vt::is_digit(p[1])); }

// Length of a switch value starting at p: quoted through its closing quote
// (or to the end), unquoted to the first blank, '/' or end; never past limit.
size_t value_length(const char *p, const char *limit) {
  size_t n = 0;
  if (p[0] == '"') {
    n = 1;
    while (p + n < limit && p[n] != '\0' && p[n] != '"')
      ++n;
    if (p + n < limit && p[n] == '"')
      ++n;
    return n;
  }
  while (p + n < limit && p[n] != '\0' && !vt::is_blank(p[n]) && p[n] != '/')
    ++n;
  return n;
}

} // namespace

extern "C" int32_t GetSwitch(char *cmd, int32_t letter) {
  char *p = find_switch(cmd, letter, [](const char *after) { return static_cast<unsigned char>(*after) < '0'; });
  if (!p)
    return 0;
  vt::erase(p, 2);
  return 1;
}

extern "C" int32_t GetSwitchNum(char *cmd, int32_t letter, int32_t def) {
  char *p = find_switch(cmd, letter, starts_number);
  if (!p)
    return def;
  const int32_t value = atou32(p + 2);
  size_t n = 2 + (p[2] == '-' ? 1 : 0);
  while (vt::is_digit(p[n]))
    ++n;
  vt::erase(p, n);
  return value;
}

extern "C" void GetSwitchFractional(char *cmd, int32_t letter, uint32_t *num, uint32_t *den, uint32_t def_num,
                                    uint32_t def_den) {
  char *p = find_switch(cmd, letter, starts_number);
  if (!p) {
    if (num)
      *num = def_num;
    if (den)
      *den = def_den;
    return;
  }
  const char *end = atofr(p + 2, num, den);
  vt::erase(p, static_cast<size_t>(end - p));
}

extern "C" int32_t GetSwitchStr(char *cmd, int32_t letter, char *dest, const char *def) {
  // The end of the text does not qualify either: a string switch needs a value.
  char *p = find_switch(cmd, letter, [](const char *after) { return *after != '\0' && !vt::is_blank(*after); });
  if (!p) {
    if (dest) {
      if (def)
        std::memmove(dest, def, std::strlen(def) + 1);
      else
        dest[0] = '\0';
    }
    return 0;
  }
  const char *value = p + 2;
  const size_t span = value_length(value, value + std::strlen(value));
  size_t first = 0, count = span;
  if (value[0] == '"') { // drop the quotes themselves
    first = 1;
    count = span - 1;
    if (count > 0 && value[span - 1] == '"')
      --count;
  }
  if (dest) {
    std::memmove(dest, value + first, count);
    dest[count] = '\0';
  }
  vt::erase(p, 2 + span);
  return 1;
}

extern "C" void RemoveMinusSwitches(char *cmd) {
  if (!cmd)
    return;
  char *p = std::strchr(cmd, '/');
  while (p) {
    if (p[1] != '-') {
      p = std::strchr(p + 1, '/');
      continue;
    }
    if (p[2] == '\0') {
      *p = '\0';
      return;
    }
    const char x = vt::upper(p[2]);
    // Every earlier '/X' goes, with its value; p moves down with the text.
    for (char *q = cmd; q < p;) {
      if (q[0] == '/' && vt::is_letter(q[1]) && vt::upper(q[1]) == x) {
        const size_t n = 2 + value_length(q + 2, p);
        vt::erase(q, n);
        p -= n;
      } else {
        ++q;
      }
    }
    vt::erase(p, 3);
    p = std::strchr(p, '/');
  }
}
