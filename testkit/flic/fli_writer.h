// A small FLI (0xAF11) writer for the chunk types that only FLI files use:
// COLOR_64, FLI_LC (the byte delta), BLACK, BRUN and COPY. Its encoders are
// plain and independent of the library's FLC writer, so reading its files
// checks the reader against a second implementation.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/pattern.h"

namespace vex::testkit {

// All 256 entries in one packet, components reduced to 0..63.
SubChunk color64_full(const Palette &p);
// One packet from the first to the last entry that differs from old; none
// when nothing differs.
std::optional<SubChunk> color64_changed(const Palette &p, const Palette &old);
SubChunk black_chunk();
SubChunk brun_chunk(const uint8_t *px, uint32_t width, uint32_t height);
SubChunk copy_chunk(const uint8_t *px, uint32_t width, uint32_t height);
// Byte delta against prev; none when the frames are equal or a line would
// need more than 255 packets.
std::optional<SubChunk> lc_chunk(const uint8_t *cur, const uint8_t *prev, uint32_t width, uint32_t height);

// Writes the animation as FLI with speed in 1/70 s ticks: frame 1 is
// COLOR_64 + BRUN, all-zero frames are BLACK, the others FLI_LC, or COPY
// when the delta is not smaller than the raw picture; a changed palette adds
// COLOR_64. No ring frame. Returns how often each chunk type was used, or an
// empty map when the file could not be written.
std::map<uint16_t, int> write_fli(const PatternAnimation &anim, uint32_t ticks, const std::string &path);

} // namespace vex::testkit
