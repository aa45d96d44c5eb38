// Frame durations of FLIC headers and the handle's rate unit. The rate is
// a speed value: negative, the frame duration in 10 us units, negated.
#pragma once

#include <cstdint>

namespace vex::flic {

// Rate of a file from its magic, speed field and creator field.
int32_t rate_from_header(uint32_t magic, uint32_t speed, uint32_t creator);

struct SpeedFields {
  uint32_t speed;   // milliseconds per frame
  uint32_t creator; // exact rate for this library's reader, or 0
};
// Header fields the writer stores for a speed value.
SpeedFields speed_fields(int32_t rate);

} // namespace vex::flic
