// Source sample frames out of the source buffer, refilled from the reader
// when less than a frame is left. Samples come out as signed 16-bit values
// in 32-bit ints: 8-bit samples become (byte - 128) * 256; a mono source
// gives its sample on both sides.
#pragma once

#include <cstdint>

#include "sfile/sound_source.h"

namespace vex::sfile {

// Refills the buffer; false when not even one frame could be had (at_end
// is then set).
bool refill_buffer(Source &s);

struct Frame {
  int32_t left = 0, right = 0;
};

inline int32_t sample16(const uint8_t *p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8)); }
inline int32_t sample8(const uint8_t *p) { return (static_cast<int32_t>(p[0]) - 128) * 256; }

} // namespace vex::sfile
