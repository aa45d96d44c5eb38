#include "flic/flic_rate.h"

#include "vexutil/flic.h"

namespace vex::flic {

namespace {

constexpr uint32_t kDefaultMs = 200;     // for a speed of 0 or beyond 30 s
constexpr uint32_t kLongestMs = 30000;
// FLI speeds count ticks of 1/70 s. A tick is 100000/70 = 1428.57 units of
// 10 us; t ticks become the nearest whole number of units, (t * 10000 + 3) / 7
// (no ties: the divisor is odd). A speed of 0 ticks, or beyond 30 s (2100
// ticks), takes 14 ticks, which is exactly the 200 ms an FLC gets then.
constexpr uint32_t kDefaultTicks = 14;
constexpr uint32_t kLongestTicks = 2100;

int32_t fli_rate(uint32_t ticks) {
  if (ticks == 0 || ticks > kLongestTicks)
    ticks = kDefaultTicks;
  return -static_cast<int32_t>((ticks * 10000 + 3) / 7);
}

int32_t flc_rate(uint32_t speed, uint32_t creator) {
  const uint32_t ms = speed == 0 || speed > kLongestMs ? kDefaultMs : speed;
  int32_t rate = -static_cast<int32_t>(ms * 100);
  // The creator field holds this library's exact rate when it agrees with
  // the speed it was rounded to.
  const auto c = static_cast<int32_t>(creator);
  if (c < 0 && static_cast<uint64_t>(-static_cast<int64_t>(c)) / 100 == speed)
    rate = c;
  return rate;
}

} // namespace

int32_t rate_from_header(uint32_t magic, uint32_t speed, uint32_t creator) {
  return magic == VEXFLIC_MAGIC_FLI ? fli_rate(speed) : flc_rate(speed, creator);
}

SpeedFields speed_fields(int32_t rate) {
  if (rate >= 0)
    return {static_cast<uint32_t>(rate), 0};
  const auto units = static_cast<uint64_t>(-static_cast<int64_t>(rate));
  return {static_cast<uint32_t>(units / 100), static_cast<uint32_t>(rate)};
}

} // namespace vex::flic
