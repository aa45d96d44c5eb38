// One source sample frame at a time out of the source buffer, refilled from
// the reader when less than a frame is left. Samples come out as signed
// 16-bit values in 32-bit ints: 8-bit samples become (byte - 128) * 256;
// a mono source gives its sample on both sides.
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

// Takes the next source frame into f and counts it. False at the end.
inline bool take_frame(Source &s, Frame &f) {
  const uint32_t fb = s.source_frame_bytes;
  if (static_cast<uint32_t>(s.buffer_end - s.buffer_read) < fb && !refill_buffer(s))
    return false;
  const uint8_t *p = s.buffer_read;
  if (s.source_bits == 16) {
    f.left = sample16(p);
    f.right = s.source_channels == 2 ? sample16(p + 2) : f.left;
  } else {
    f.left = sample8(p);
    f.right = s.source_channels == 2 ? sample8(p + 1) : f.left;
  }
  s.buffer_read += fb;
  ++s.taken;
  if (static_cast<uint32_t>(s.buffer_end - s.buffer_read) < fb && s.remaining < fb)
    s.at_end = 1;
  return true;
}

} // namespace vex::sfile
