// Exact rationals for rates: reduction, parsing, and frame-rate values.
#include <cstdint>

#include "vexutil/util.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads digits[.digits] into n/d (unsigned, wrapping) and reduces it.
const char *read_unsigned_rational(const char *p, uint32_t &n, uint32_t &d) {
  n = 0;
  d = 1;
  for (; is_digit(*p); ++p)
    n = n * 10u + static_cast<uint32_t>(*p - '0');
  if (*p == '.') {
    for (++p; is_digit(*p); ++p) {
      n = n * 10u + static_cast<uint32_t>(*p - '0');
      d *= 10u;
    }
    GCDNums(&n, &d);
  }
  return p;
}

} // namespace

extern "C" void GCDNums(uint32_t *num, uint32_t *den) {
  if (!num || !den || *num == 0 || *den == 0)
    return;
  for (;;) {
    uint32_t a = *num > *den ? *num : *den;
    uint32_t b = *num > *den ? *den : *num;
    while (b != 0) {
      const uint32_t r = a % b;
      a = b;
      b = r;
    }
    if (a == 1)
      return;
    *num /= a;
    *den /= a;
  }
}

extern "C" char *atofr(const char *text, uint32_t *num, uint32_t *den) {
  uint32_t n = 0, d = 1;
  const char *p = text;
  if (p && (is_digit(*p) || *p == '.' || *p == '-')) {
    const bool negative = *p == '-';
    if (negative)
      ++p;
    p = read_unsigned_rational(p, n, d);
    if (*p == ';') {
      ++p;
      if (is_digit(*p)) {
        uint32_t m, e;
        p = read_unsigned_rational(p, m, e);
        n *= e;
        d *= m;
        GCDNums(&n, &d);
      }
    }
    if (negative)
      n = 0u - n;
    if (d == 0)
      d = 1;
  }
  if (num)
    *num = n;
  if (den)
    *den = d;
  return const_cast<char *>(p);
}

extern "C" int32_t MakeFrameRate(int32_t v) {
  int32_t r;
  if (v == 0)
    return 0;
  if (v > 0)
    r = 100000 / v; // milliseconds per frame
  else if (v >= -1500)
    r = -v * 100; // whole frames per second
  else
    r = v == INT32_MIN ? INT32_MAX : -v; // already hundredths of a frame per second
  return r < 5 ? 5 : r;
}
