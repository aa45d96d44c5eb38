// Decoding of one Tolm plane: bands of eight rows, each preceded by the
// refill of its exhausted bundles, walked block by block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vex::formats::tolm {

struct PlaneView {
  uint8_t *target;          // null with reference null: a dry run, reading every bit and storing nothing
  const uint8_t *reference; // may equal target
  uint32_t pitch;
  uint32_t width8, height8; // decoded area, multiples of 8, within pitch x rows
  unsigned scale;           // 1 luma and alpha, 2 chroma (block map columns)
  uint8_t *block_map;       // may be null
  uint32_t map_pitch, map_rows;
};

struct PlaneResult {
  size_t bytes_loaded; // whole 32-bit words the bit reader loaded
  uint32_t faults;
};

PlaneResult decode_plane(const PlaneView &plane, std::span<const uint8_t> data, void *const *bundles,
                         bool signed_colours);

} // namespace vex::formats::tolm
