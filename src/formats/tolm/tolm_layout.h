// Packing several buffers into one allocation so that successive pieces
// start at different offsets modulo 1024 (their first cache lines then fall
// into different cache sets).
#pragma once

#include <cstdint>

namespace vex::formats::tolm {

class PieceLayout {
public:
  // The first piece of the allocation, at offset 0.
  explicit PieceLayout(uint64_t first_size) : total_(round16(first_size)) {}

  // Offset of a new piece of `size` bytes, placed behind a gap of 32 * k
  // bytes with k = ((total >> 5) - ((size >> 5) & 31) + 1) & 31, size being
  // the piece rounded up to 16.
  uint64_t add(uint64_t size) {
    const uint64_t rounded = round16(size);
    const uint64_t k = ((total_ >> 5) - ((rounded >> 5) & 31) + 1) & 31;
    const uint64_t offset = total_ + 32 * k;
    total_ = offset + rounded;
    return offset;
  }

  uint64_t total() const { return total_; }
  // Whether the whole allocation can be asked of vexmalloc.
  bool fits() const { return total_ < 0xFFFFFF00u; }

private:
  static uint64_t round16(uint64_t v) { return (v + 15) & ~uint64_t{15}; }
  uint64_t total_;
};

} // namespace vex::formats::tolm
