// Mapping colours onto an output palette: the remap table of palettised
// sources and the nearest-colour search (with its cache) of true-colour
// sources. Both search only the usable range of the palette.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vex::palette {

struct UsableRange {
  uint32_t first = 0; // first usable entry
  uint32_t count = 256;
};

// For each source index i: the usable entry j nearest to the source colour,
// by (squared distance of the 8-bit components) x 256 + |i - j|, searched
// from the entry i itself when it is usable (else from the first) and
// wrapping round; the first strictly smallest wins and 0 stops.
std::array<uint8_t, 256> build_remap(const uint8_t (*source)[3], const uint8_t (*output)[3], UsableRange r);

// Nearest usable entry to a colour of 6 bits per channel, by the sum of
// squared differences against the entries' top 6 bits; the first strictly
// smallest wins and 0 stops. The cache (2^18 entries, index red6 x 4096 +
// green6 x 64 + blue6) holds 256 + the entry once found; smaller values
// are empty.
class NearestColour {
public:
  NearestColour(std::span<uint16_t> cache, const uint8_t (*palette)[3], UsableRange r)
      : cache_(cache), palette_(palette), range_(r) {}
  uint8_t operator()(uint32_t r6, uint32_t g6, uint32_t b6) {
    const uint32_t key = r6 << 12 | g6 << 6 | b6;
    if (cache_[key] >= 256)
      return static_cast<uint8_t>(cache_[key] - 256);
    const uint8_t found = search(r6, g6, b6);
    cache_[key] = static_cast<uint16_t>(256 + found);
    return found;
  }
  uint8_t search(uint32_t r6, uint32_t g6, uint32_t b6) const;

private:
  std::span<uint16_t> cache_;
  const uint8_t (*palette_)[3];
  UsableRange range_;
};

inline constexpr uint32_t kCacheEntries = 1u << 18;

} // namespace vex::palette
