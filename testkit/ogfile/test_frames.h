// Frames and palettes for the output writer's tests, and the pictures
// they show (the palette lookup done directly, as the oracle).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit {

// A moving 8-bit pattern, rows `pitch` bytes apart (the padding is 0xEE, a
// colour that must never show).
std::vector<uint8_t> indexed_frame(int32_t w, int32_t h, int32_t pitch, int f);
// Palette p: 256 distinct red, green, blue triplets that change with p.
std::vector<uint8_t> palette(int p);
// A moving 32-bit pattern (blue, green, red, x), rows `pitch` pixels apart.
std::vector<uint8_t> colour_frame(int32_t w, int32_t h, int32_t pitch, int f);

// The picture a frame shows, top row first, as packed red, green, blue.
std::vector<uint8_t> rgb_of_indexed(const std::vector<uint8_t> &frame, int32_t w, int32_t h, int32_t pitch,
                                    const std::vector<uint8_t> &pal);
std::vector<uint8_t> rgb_of_colour(const std::vector<uint8_t> &frame, int32_t w, int32_t h, int32_t pitch);
// Red, green, blue, alpha (ImageMagick's form) down to red, green, blue.
std::vector<uint8_t> drop_alpha(const std::vector<uint8_t> &rgba);

} // namespace vex::testkit
