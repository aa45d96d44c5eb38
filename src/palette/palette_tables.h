// Fixed data of palette building and colour matching.
//
// Colours are reduced to 6 bits per channel for counting and matching; a
// reduced colour is one of 2^18 buckets, numbered red6 x 4096 + green6 x 64
// + blue6. Palettes are 256 entries of red, green, blue bytes (768 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vex::palette {

inline constexpr uint32_t kBucketCount = 1u << 18;
inline constexpr uint32_t kPaletteEntries = 256;
inline constexpr uint32_t kPaletteBytes = kPaletteEntries * 3;

using Palette = std::span<uint8_t, kPaletteBytes>;
using ConstPalette = std::span<const uint8_t, kPaletteBytes>;

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb &) const = default;
};

constexpr uint32_t bucket_of6(uint32_t r6, uint32_t g6, uint32_t b6) { return r6 << 12 | g6 << 6 | b6; }
// The top 6 bits of each 8-bit component.
constexpr uint32_t bucket_of8(uint32_t r8, uint32_t g8, uint32_t b8) { return bucket_of6(r8 >> 2, g8 >> 2, b8 >> 2); }
constexpr uint32_t red6(uint32_t bucket) { return bucket >> 12; }
constexpr uint32_t green6(uint32_t bucket) { return bucket >> 6 & 63; }
constexpr uint32_t blue6(uint32_t bucket) { return bucket & 63; }

// 6 to 8 bits: the top two bits repeat below, so 0 -> 0, 16 -> 65, 63 -> 255.
constexpr uint8_t expand6(uint32_t c6) { return static_cast<uint8_t>(c6 * 4 + c6 / 16); }
constexpr Rgb bucket_colour(uint32_t bucket) {
  return {expand6(red6(bucket)), expand6(green6(bucket)), expand6(blue6(bucket))};
}

inline Rgb palette_entry(ConstPalette p, uint32_t i) { return {p[i * 3], p[i * 3 + 1], p[i * 3 + 2]}; }
inline void set_palette_entry(Palette p, uint32_t i, Rgb c) {
  p[i * 3] = c.r;
  p[i * 3 + 1] = c.g;
  p[i * 3 + 2] = c.b;
}

// The twenty system colours: ten at the bottom of the palette and ten at
// the top (entries 246-255).
inline constexpr uint32_t kSystemLowCount = 10;
inline constexpr uint32_t kSystemHighFirst = 246;
inline constexpr std::array<Rgb, 10> kSystemLow{{{0, 0, 0},
                                                 {128, 0, 0},
                                                 {0, 128, 0},
                                                 {128, 128, 0},
                                                 {0, 0, 128},
                                                 {128, 0, 128},
                                                 {0, 128, 128},
                                                 {192, 192, 192},
                                                 {192, 220, 192},
                                                 {166, 202, 240}}};
inline constexpr std::array<Rgb, 10> kSystemHigh{{{255, 251, 240},
                                                  {160, 160, 164},
                                                  {128, 128, 128},
                                                  {255, 0, 0},
                                                  {0, 255, 0},
                                                  {255, 255, 0},
                                                  {0, 0, 255},
                                                  {255, 0, 255},
                                                  {0, 255, 255},
                                                  {255, 255, 255}}};

// Writes entries 0-9 and 246-255.
void write_system_colours(Palette palette);

// Entry a x 64 + b = (a - b)^2 for 6-bit a and b: the distance terms of
// the nearest-colour search.
inline constexpr std::array<uint16_t, 4096> kSquaredDifference = [] {
  std::array<uint16_t, 4096> t{};
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b)
      t[static_cast<size_t>(a * 64 + b)] = static_cast<uint16_t>((a - b) * (a - b));
  return t;
}();

} // namespace vex::palette
