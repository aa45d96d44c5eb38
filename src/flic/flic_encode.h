// Encoders of the FLC writer. Each writes into an area of limit bytes and
// gives up (result 0) as soon as its output could not stay below limit, so
// a result other than 0 is always smaller than limit. Frames are width x
// height bytes with rows exactly width bytes apart.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vex::flic {

// Largest COLOR_256 data: 2 + 128 packets x 2 + 256 entries x 3.
constexpr size_t kMaxPaletteData = 1026;

// COLOR_256 data for the entries of pal that differ from old (all 256 in
// one packet when all is set). Returns the data size; out holds
// kMaxPaletteData bytes.
size_t encode_palette(const uint8_t *pal, const uint8_t *old, bool all, uint8_t *out);
size_t encode_byte_run(const uint8_t *frame, uint32_t width, uint32_t height, uint8_t *out, size_t limit);
// Word delta against prev; width must be even.
size_t encode_delta_flc(const uint8_t *cur, const uint8_t *prev, uint32_t width, uint32_t height, uint8_t *out,
                        size_t limit);
// Byte delta against prev; cur must differ from prev somewhere.
size_t encode_delta_fli(const uint8_t *cur, const uint8_t *prev, uint32_t width, uint32_t height, uint8_t *out,
                        size_t limit);

} // namespace vex::flic
