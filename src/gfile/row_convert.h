// Row converters: one visible row of the source frame into one output row.
// Source pixels: 8-bit palette indices, 16-bit 5-5-5 (red in bits 10-14,
// bit 15 ignored), 24-bit blue, green, red, 32-bit blue, green, red, fourth
// byte. True-colour output is blue, green, red, fourth byte.
#pragma once

#include <array>
#include <cstdint>

#include "palette/colour_match.h"

namespace vex::gfile {

// A palette (red, green, blue entries) as the 32-bit output pixels its
// indices become: blue in the low byte, the fourth byte 0.
using Palette32 = std::array<uint32_t, 256>;
Palette32 palette32(const uint8_t (*palette)[3]);

// To 32 bits. The 8-bit converter goes through palette32's table; 32-bit
// keeps the fourth byte when `alpha` is set.
void row8_to_32(uint8_t *dst, const uint8_t *src, int32_t width, const Palette32 &bgrx);
void row16_to_32(uint8_t *dst, const uint8_t *src, int32_t width);
void row24_to_32(uint8_t *dst, const uint8_t *src, int32_t width);
void row32_to_32(uint8_t *dst, const uint8_t *src, int32_t width, bool alpha);

// To 8 bits: indices copied or through a remap table.
void row8_copy(uint8_t *dst, const uint8_t *src, int32_t width);
void row8_remap(uint8_t *dst, const uint8_t *src, int32_t width, const uint8_t *remap);
// True colour to palette indices through the nearest-colour search.
void row16_to_8(uint8_t *dst, const uint8_t *src, int32_t width, palette::NearestColour &nearest);
void row24_to_8(uint8_t *dst, const uint8_t *src, int32_t width, palette::NearestColour &nearest);
void row32_to_8(uint8_t *dst, const uint8_t *src, int32_t width, palette::NearestColour &nearest);

} // namespace vex::gfile
