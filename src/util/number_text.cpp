// Decimal and duration texts, and thin wrappers over standard text routines.
#include <cctype>
#include <cstdint>
#include <cstring>

#include "vexutil/util.h"

namespace {

char *append(char *out, const char *text) {
  const size_t n = std::strlen(text);
  std::memcpy(out, text, n + 1);
  return out + n;
}

// "<n> <unit>" with the plural 's' unless n is 1.
char *append_count(char *out, uint32_t n, const char *unit) {
  out = u32toa(out, n);
  out = append(out, unit);
  return n == 1 ? out : append(out, "s");
}

} // namespace

extern "C" char *u32toa(char *buffer, uint32_t value) {
  char digits[10];
  int count = 0;
  // Written as a signed 32-bit number; the magnitude is taken unsigned so
  // that 2^31 needs no special case.
  uint32_t magnitude = value;
  if (value >= 0x80000000u) {
    *buffer++ = '-';
    magnitude = 0u - value;
  }
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  while (count > 0)
    *buffer++ = digits[--count];
  *buffer = '\0';
  return buffer;
}

extern "C" int32_t atou32(const char *text) {
  if (!text)
    return 0;
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  while (std::isspace(*p))
    ++p;
  bool negative = false;
  if (*p == '+' || *p == '-')
    negative = *p++ == '-';
  uint32_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    v = v * 10u + (*p - '0'); // wraps like the 32-bit original
  return static_cast<int32_t>(negative ? 0u - v : v);
}

extern "C" char *findchar(const char *text, int c) {
  return text ? const_cast<char *>(std::strchr(text, c)) : nullptr;
}

extern "C" char *GetElapsedTime(char *buffer, uint32_t ms) {
  char *out = buffer;
  if (ms < 1000u) {
    append_count(out, ms, " millisecond");
  } else if (ms < 60000u) {
    append_count(out, ms / 1000u, " second");
  } else if (ms < 3600000u) {
    out = append_count(out, ms / 60000u, " minute");
    out = append(out, " ");
    append_count(out, ms % 60000u / 1000u, " second");
  } else {
    out = append_count(out, ms / 3600000u, " hour");
    out = append(out, " ");
    append_count(out, ms % 3600000u / 60000u, " minute");
  }
  return buffer;
}

extern "C" void CommaNum(char *buffer, uint32_t value) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10u);
    value /= 10u;
  } while (value != 0);
  for (int i = count - 1; i >= 0; --i) {
    *buffer++ = digits[i];
    if (i > 0 && i % 3 == 0)
      *buffer++ = ',';
  }
  *buffer = '\0';
}
