// Frame-rate switches (/F, /A) as exact fractions: a negative value is a
// frame duration, turned into frames per second.
#pragma once

#include <cstdint>

namespace vex::gfile {

// With den != 0 and q = num / den (both read as signed, integer division):
// q < -1500 is a duration in 10 us units (rate |den| * 100000 / |num|),
// -1500 <= q < 0 one in milliseconds (rate |den| * 1000 / |num|), both
// reduced; non-negative values stay as they are.
void normalise_rate(uint32_t &num, uint32_t &den);

} // namespace vex::gfile
