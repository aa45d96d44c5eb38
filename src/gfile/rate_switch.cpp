#include "gfile/rate_switch.h"

#include <cstdlib>

#include "vexutil/util.h"

namespace vex::gfile {

void normalise_rate(uint32_t &num, uint32_t &den) {
  const auto n = static_cast<int64_t>(static_cast<int32_t>(num));
  const auto d = static_cast<int64_t>(static_cast<int32_t>(den));
  if (d == 0)
    return;
  const int64_t q = n / d;
  if (q >= 0)
    return;
  const uint64_t units = q < -1500 ? 100000 : 1000; // per second: 10 us units, or milliseconds
  const uint64_t new_num = static_cast<uint64_t>(std::llabs(d)) * units;
  const uint64_t new_den = static_cast<uint64_t>(std::llabs(n));
  // |num| >= |den| here, so new_num / new_den <= units, and the whole
  // fraction stays within 32 bits after dividing both by a power of ten
  // where needed.
  uint64_t a = new_num, b = new_den;
  while (a > UINT32_MAX || b > UINT32_MAX) {
    a /= 10;
    b /= 10;
  }
  num = static_cast<uint32_t>(a);
  den = static_cast<uint32_t>(b == 0 ? 1 : b);
  GCDNums(&num, &den);
}

} // namespace vex::gfile
