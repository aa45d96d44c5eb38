#include "stills/packed_indices.h"

#include <cstring>

namespace vex::stills {

void unpack_indices(const uint8_t *packed, int bits, int32_t width, uint8_t *out) {
  if (bits == 8) {
    std::memcpy(out, packed, static_cast<size_t>(width));
    return;
  }
  const int per_byte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (int32_t x = 0; x < width; ++x) {
    const int shift = 8 - bits * (x % per_byte + 1);
    out[x] = static_cast<uint8_t>((packed[x / per_byte] >> shift) & mask);
  }
}

void unpack_planes(const uint8_t *row, size_t plane_bytes, int planes, int32_t width, uint8_t *out) {
  for (int32_t x = 0; x < width; ++x) {
    const size_t byte = static_cast<size_t>(x) / 8;
    const int shift = 7 - x % 8;
    unsigned v = 0;
    for (int k = 0; k < planes; ++k)
      v |= ((row[static_cast<size_t>(k) * plane_bytes + byte] >> shift) & 1u) << k;
    out[x] = static_cast<uint8_t>(v);
  }
}

} // namespace vex::stills
